// Attributes, directories, deletes and renames on Linux, with Windows' rules
// where Linux would allow more (read-only files, replacing directories).
#include "files.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../common/layer.h"
#include "errors.h"
#include "paths.h"

namespace platform::detail {
namespace {

constexpr const char* kAttributeName = "user.quickferry.attributes";
// The bits Linux has no place for but the extended attribute.
constexpr DWORD kKeptBits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

DWORD KeptAttributes(const char* hostPath) {
  char text[32];
  ssize_t n = ::getxattr(hostPath, kAttributeName, text, sizeof text - 1);
  if (n <= 0) return 0;
  text[n] = 0;
  return static_cast<DWORD>(std::strtoul(text, nullptr, 0)) & kKeptBits;
}

// Stores the kept bits; false with errno set. A file system without user
// extended attributes, or a file kind that takes none, loses them silently,
// as a FAT volume loses what it cannot hold.
bool KeepAttributes(const char* hostPath, const struct stat& st, DWORD bits) {
  int rc;
  if (bits) {
    char text[16];
    int n = std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(bits));
    rc = ::setxattr(hostPath, kAttributeName, text, static_cast<size_t>(n), 0);
  } else {
    rc = ::removexattr(hostPath, kAttributeName);
    if (rc != 0 && errno == ENODATA) rc = 0;
  }
  if (rc == 0 || errno == ENOTSUP) return true;
  return errno == EPERM && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool ReadOnly(const struct stat& st) { return !S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR); }

// The Linux path of `path`, or false with the last error set.
bool Resolve(const char* path, std::string* host) {
  DWORD error;
  if (HostPathOf(path, host, &error)) return true;
  SetLastError(error);
  return false;
}

// Fault check and path resolution shared by the one-path calls.
bool Begin(const char* operation, const char* path, std::string* host) {
  DWORD error;
  if (Fault(operation, path, &error)) return Fail(error);
  return Resolve(path, host);
}

BOOL FailFromErrno(const std::string& host) {
  SetLastErrorFromErrno(errno, host.c_str());
  return FALSE;
}

BOOL Move(const char* existing, const char* newName, DWORD flags) {
  std::string from, to;
  if (!Resolve(existing, &from) || !Resolve(newName, &to)) return FALSE;
  struct stat source, target;
  if (::lstat(from.c_str(), &source) != 0) return FailFromErrno(from);
  bool targetExists = ::lstat(to.c_str(), &target) == 0;
  if (targetExists && !(source.st_dev == target.st_dev && source.st_ino == target.st_ino)) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
    // Windows replaces files only, and never a read-only one.
    if (S_ISDIR(target.st_mode) || S_ISDIR(source.st_mode) || ReadOnly(target))
      return Fail(ERROR_ACCESS_DENIED);
  }
  unsigned renameFlags = (flags & MOVEFILE_REPLACE_EXISTING) ? 0 : RENAME_NOREPLACE;
  int rc = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), renameFlags);
  if (rc != 0 && errno == EINVAL && renameFlags) {
    // A file system without RENAME_NOREPLACE: the check above stands in,
    // with a short window in which another process could create the name.
    if (::lstat(to.c_str(), &target) == 0) return Fail(ERROR_ALREADY_EXISTS);
    rc = ::rename(from.c_str(), to.c_str());
  }
  if (rc == 0) return TRUE;
  // The source was there a moment ago: a missing folder is on the new side.
  if (errno == ENOENT) return Fail(ERROR_PATH_NOT_FOUND);
  return FailFromErrno(to);
}

}  // namespace

DWORD AttributesOf(const char* hostPath, const struct stat& st) {
  DWORD attributes = KeptAttributes(hostPath);
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  const char* slash = std::strrchr(hostPath, '/');
  const char* name = slash ? slash + 1 : hostPath;
  if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
    attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

DWORD LinkAttributes(DWORD targetAttributes) {
  return (targetAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)) |
         FILE_ATTRIBUTE_REPARSE_POINT;
}

}  // namespace platform::detail

namespace platform {

DWORD GetFileAttributesA(LPCSTR path) {
  std::string host;
  if (!detail::Begin("GetFileAttributesA", path, &host)) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) {
    detail::FailFromErrno(host);
    return INVALID_FILE_ATTRIBUTES;
  }
  // A link answers for itself, as on Windows.
  bool link = S_ISLNK(st.st_mode);
  if (link && ::stat(host.c_str(), &st) != 0) return detail::LinkAttributes(0);
  DWORD attributes = detail::AttributesOf(host.c_str(), st);
  return link ? detail::LinkAttributes(attributes) : attributes;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
  std::string host;
  if (!detail::Begin("SetFileAttributesA", path, &host)) return FALSE;
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) return detail::FailFromErrno(host);
  // A link has no attributes of its own on Linux; what it leads to is
  // never changed through it.
  if (S_ISLNK(st.st_mode)) return TRUE;
  bool readOnly = attributes & FILE_ATTRIBUTE_READONLY;
  // Write permission first when it is granted, last when it is taken, so a
  // non-root owner can still write the extended attribute in between.
  mode_t writable = st.st_mode | S_IWUSR;
  mode_t locked = st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH);
  if (!readOnly && !(st.st_mode & S_IWUSR) && ::chmod(host.c_str(), writable & 07777) != 0)
    return detail::FailFromErrno(host);
  if (!detail::KeepAttributes(host.c_str(), st, attributes & detail::kKeptBits))
    return detail::FailFromErrno(host);
  if (readOnly && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) &&
      ::chmod(host.c_str(), locked & 07777) != 0)
    return detail::FailFromErrno(host);
  return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  std::string host;
  if (!detail::Begin("CreateDirectoryA", path, &host)) return FALSE;
  if (::mkdir(host.c_str(), 0777) != 0) return detail::FailFromErrno(host);
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
  std::string host;
  if (!detail::Begin("RemoveDirectoryA", path, &host)) return FALSE;
  while (host.size() > 1 && host.back() == '/') host.pop_back();  // rmdir of a link needs no '/'
  struct stat st, target;
  if (::lstat(host.c_str(), &st) != 0) return detail::FailFromErrno(host);
  if (S_ISLNK(st.st_mode)) {
    // A link to a directory goes as Windows removes a directory link;
    // what it points at stays.
    if (::stat(host.c_str(), &target) != 0 || !S_ISDIR(target.st_mode))
      return detail::Fail(ERROR_DIRECTORY);
    return ::unlink(host.c_str()) == 0 ? TRUE : detail::FailFromErrno(host);
  }
  if (!S_ISDIR(st.st_mode)) return detail::Fail(ERROR_DIRECTORY);
  if (detail::ReadOnly(st)) return detail::Fail(ERROR_ACCESS_DENIED);
  if (::rmdir(host.c_str()) != 0) {
    // Some file systems say EEXIST for a directory that still has entries.
    if (errno == EEXIST) return detail::Fail(ERROR_DIR_NOT_EMPTY);
    return detail::FailFromErrno(host);
  }
  return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
  std::string host;
  if (!detail::Begin("DeleteFileA", path, &host)) return FALSE;
  struct stat st, target;
  if (::lstat(host.c_str(), &st) != 0) return detail::FailFromErrno(host);
  // Windows refuses directories, links to directories and read-only files,
  // even for an administrator.
  if (S_ISDIR(st.st_mode) || detail::ReadOnly(st)) return detail::Fail(ERROR_ACCESS_DENIED);
  if (S_ISLNK(st.st_mode) && ::stat(host.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
    return detail::Fail(ERROR_ACCESS_DENIED);
  if (::unlink(host.c_str()) != 0) return detail::FailFromErrno(host);
  return TRUE;
}

BOOL MoveFileA(LPCSTR existing, LPCSTR newName) {
  DWORD error;
  if (detail::Fault("MoveFileA", existing, &error)) return detail::Fail(error);
  return detail::Move(existing, newName, 0);
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  DWORD error;
  if (detail::Fault("MoveFileExA", existing, &error)) return detail::Fail(error);
  return detail::Move(existing, newName, flags);
}

}  // namespace platform
