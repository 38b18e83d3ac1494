// FSCTL_SET_COMPRESSION on Linux: the file system's compression flag.
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>

#include <cerrno>
#include <cstring>

#include "../common/layer.h"
#include "errors.h"
#include "file_object.h"

namespace platform::detail {
namespace {

constexpr WORD kFormatLznt1 = 2;  // COMPRESSION_FORMAT_LZNT1, what DEFAULT means
// btrfs compresses files that carry FS_COMPR_FL. ext4 keeps the flag and
// compresses nothing, so only the file systems that act on it are asked,
// the same ones whose volumes report FILE_FILE_COMPRESSION.
constexpr long kBtrfsMagic = 0x9123683E;

// The last error for a refused flags call.
BOOL FailFlags(int error) {
  if (error == ENOTTY || error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP)
    return Fail(ERROR_NOT_SUPPORTED);
  SetLastErrorFromErrno(error);
  return FALSE;
}

BOOL SetCompression(int fd, bool on) {
  struct statfs fs;
  if (::fstatfs(fd, &fs) != 0) return FailFlags(errno);
  if (static_cast<long>(fs.f_type) != kBtrfsMagic) return Fail(ERROR_NOT_SUPPORTED);
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return FailFlags(errno);
  if (((flags & FS_COMPR_FL) != 0) == on) return TRUE;
  flags ^= FS_COMPR_FL;
  if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) return FailFlags(errno);
  // A file system may take the call and keep nothing.
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return FailFlags(errno);
  return ((flags & FS_COMPR_FL) != 0) == on ? TRUE : Fail(ERROR_NOT_SUPPORTED);
}

}  // namespace
}  // namespace platform::detail

namespace platform {

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID, DWORD,
                     LPDWORD returned, LPVOID overlapped) {
  if (returned) *returned = 0;
  std::shared_ptr<detail::File> file = detail::FileOf(device);
  DWORD error;
  if (detail::Fault("DeviceIoControl", detail::FaultPathOf(file), &error))
    return detail::Fail(error);
  if (!file) return detail::Fail(ERROR_INVALID_HANDLE);
  if (code != FSCTL_SET_COMPRESSION) return detail::Fail(ERROR_INVALID_FUNCTION);
  WORD format = 0;
  if (overlapped || !input || inputSize < sizeof format)
    return detail::Fail(ERROR_INVALID_PARAMETER);
  std::memcpy(&format, input, sizeof format);
  if (format > detail::kFormatLznt1) return detail::Fail(ERROR_INVALID_PARAMETER);
  if (!file->canWrite) return detail::Fail(ERROR_ACCESS_DENIED);
  std::lock_guard<std::mutex> lock(file->mutex);
  return detail::SetCompression(file->fd, format != COMPRESSION_FORMAT_NONE);
}

}  // namespace platform
