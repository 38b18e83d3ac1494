// Names and identity on Linux: names compare as bytes, a file is its device
// and inode, and a link is copied as a link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "../common/layer.h"
#include "errors.h"
#include "file_object.h"
#include "filetime.h"
#include "paths.h"

namespace platform {

int CompareFileNamesA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return a ? 1 : b ? -1 : 0;
  int d = std::strcmp(a, b);
  return (d > 0) - (d < 0);
}

BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info) {
  std::shared_ptr<detail::File> file = detail::FileOf(handle);
  DWORD error;
  if (detail::Fault("GetFileInformationByHandle", detail::FaultPathOf(file), &error))
    return detail::Fail(error);
  if (!file) return detail::Fail(ERROR_INVALID_HANDLE);
  if (!info) return detail::Fail(ERROR_INVALID_PARAMETER);
  struct stat st;
  if (::fstat(file->fd, &st) != 0) return detail::SetLastErrorFromErrno(errno), FALSE;
  *info = BY_HANDLE_FILE_INFORMATION{};
  info->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (!(st.st_mode & S_IWUSR)) info->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  info->ftLastWriteTime = detail::FileTimeOf(st.st_mtim);
  info->ftLastAccessTime = detail::FileTimeOf(st.st_atim);
  info->ftCreationTime = info->ftLastWriteTime;
  auto device = static_cast<unsigned long long>(st.st_dev);
  info->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
  auto size = static_cast<unsigned long long>(S_ISDIR(st.st_mode) ? 0 : st.st_size);
  info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  info->nFileSizeLow = static_cast<DWORD>(size);
  info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  auto inode = static_cast<unsigned long long>(st.st_ino);
  info->nFileIndexHigh = static_cast<DWORD>(inode >> 32);
  info->nFileIndexLow = static_cast<DWORD>(inode);
  return TRUE;
}

BOOL CopySymbolicLinkA(LPCSTR existing, LPCSTR newName) {
  DWORD error;
  if (detail::Fault("CopySymbolicLinkA", existing, &error)) return detail::Fail(error);
  std::string from, to;
  if (!existing || !newName) return detail::Fail(ERROR_INVALID_PARAMETER);
  if (!detail::HostPathOf(existing, &from, &error) || !detail::HostPathOf(newName, &to, &error))
    return detail::Fail(error);
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return detail::SetLastErrorFromErrno(errno, from.c_str()), FALSE;
  if (!S_ISLNK(st.st_mode)) return detail::Fail(ERROR_NOT_A_REPARSE_POINT);
  std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
  ssize_t n;
  // A link may change between the two calls: read until the text fits.
  while ((n = ::readlink(from.c_str(), target.data(), target.size())) >= 0 &&
         static_cast<size_t>(n) == target.size())
    target.resize(target.size() * 2);
  if (n < 0) return detail::SetLastErrorFromErrno(errno, from.c_str()), FALSE;
  target[static_cast<size_t>(n)] = 0;
  if (::symlink(target.data(), to.c_str()) != 0)
    return detail::SetLastErrorFromErrno(errno, to.c_str()), FALSE;
  timespec times[2] = {st.st_atim, st.st_mtim};
  ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);  // as cp -a; no matter if not
  return TRUE;
}

}  // namespace platform
