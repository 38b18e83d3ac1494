// File contents on Linux: CreateFileA with Windows' dispositions and
// results, reads, writes, the 64-bit file pointer, sizes and times. A named
// stream "file:name" lives in the file's extended attribute "user.name".
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "../common/layer.h"
#include "errors.h"
#include "file_object.h"
#include "files.h"
#include "filetime.h"
#include "pages.h"
#include "paths.h"

namespace platform::detail {
namespace {

constexpr DWORD kGenericAll = 0x10000000;
constexpr DWORD kKeptBits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
// Linux takes no attribute value larger than this (XATTR_SIZE_MAX).
constexpr size_t kMaxStream = 65536;
// Unbuffered reads keep this much asked for ahead and drop what is behind
// in pieces of half of it.
constexpr off_t kReadWindow = 8 << 20;
// An unbuffered read with at least this much of its file still ahead
// readies the memory it is about to fill (PrepareLargeFill).
constexpr unsigned long long kLargeFill = 4 << 20;
// A write hands the kernel at most this much at a time. Measured on a
// virtual machine: writes of 2 MiB and more were three to eight times
// slower in half of the runs, those of 1 MiB never (2 MiB page-cache pages,
// it seems, from memory the host must first provide).
constexpr DWORD kWriteStep = 1 << 20;

struct Request {
  DWORD disposition;
  DWORD attributes;  // the low word of flagsAndAttributes
  bool truncates;    // CREATE_ALWAYS or TRUNCATE_EXISTING
  bool creates;      // any disposition that may create
};

// Sets the last error and returns the call's failure value.
DWORD FailWith(DWORD error, DWORD result) {
  SetLastError(error);
  return result;
}

HANDLE FailHandle(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

HANDLE FailHandleFromErrno(int error, const std::string& host) {
  SetLastErrorFromErrno(error, host.c_str());
  return INVALID_HANDLE_VALUE;
}

// Splits a full path whose last component is "file:name[:$DATA]" into the
// file's path and the stream's name ("" for the file's own data, also for
// "file::$DATA"). False with *error for a malformed stream part.
bool SplitStream(const std::string& full, std::string* file, std::string* stream, DWORD* error) {
  size_t last = full.rfind('\\');
  last = last == std::string::npos ? 0 : last + 1;
  size_t colon = full.find(':', last);
  // "\\?\X:" ends in a drive, not a stream.
  if (colon == std::string::npos || colon == 1 || (last == 4 && colon == 5)) {
    *file = full;
    stream->clear();
    return true;
  }
  std::string rest = full.substr(colon + 1);
  std::string type;
  size_t second = rest.find(':');
  if (second != std::string::npos) {
    type = rest.substr(second + 1);
    rest.resize(second);
  }
  bool dataType = type.size() == 5 && type[0] == '$' &&
                  std::equal(type.begin() + 1, type.end(), "DATA",
                             [](char a, char b) { return (a & ~0x20) == b; });
  bool badType = second != std::string::npos && !dataType;
  // The stream's name is escaped as a file's name is (BackupRead lists it so).
  if (colon == last || badType || (rest.empty() && second == std::string::npos) ||
      !PosixName(rest, stream, error) || *stream == "quickferry.attributes")
    return *error = ERROR_INVALID_NAME, false;
  *file = full.substr(0, colon);
  return true;
}

// Hidden and system as Windows' CREATE_ALWAYS checks them: a dot name alone
// does not count, or a dot file could never be replaced (its name cannot
// lose the attribute).
DWORD GuardedAttributes(const std::string& host, const struct stat& st) {
  DWORD attributes =
      AttributesOf(host.c_str(), st) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  size_t slash = host.rfind('/');
  if (host[slash == std::string::npos ? 0 : slash + 1] == '.') attributes &= ~FILE_ATTRIBUTE_HIDDEN;
  return attributes;
}

// Gives a new or replaced file the attribute word it was created with, as
// SetFileAttributesA keeps it (a replaced file loses what it had). False
// with errno set.
bool ApplyAttributes(int fd, DWORD attributes, bool replaced) {
  DWORD kept = attributes & kKeptBits;
  int rc = 0;
  if (kept) {
    char text[16];
    int n = std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(kept));
    rc = ::fsetxattr(fd, kAttributesAttribute, text, static_cast<size_t>(n), 0);
  } else if (replaced) {
    rc = ::fremovexattr(fd, kAttributesAttribute);
    if (rc != 0 && errno == ENODATA) rc = 0;
  }
  if (rc != 0 && errno != ENOTSUP) return false;  // a file system without them loses them
  struct stat st;
  if ((attributes & FILE_ATTRIBUTE_READONLY) &&
      (::fstat(fd, &st) != 0 || ::fchmod(fd, st.st_mode & 07777 & ~0222) != 0))
    return false;
  return true;
}

// Creates the file (O_EXCL) with its attributes; -1 with errno set, and
// EEXIST when another came first.
int CreateNew(const std::string& host, int mode, DWORD attributes) {
  int fd = ::open(host.c_str(), mode | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 || ApplyAttributes(fd, attributes, false)) return fd;
  int error = errno;
  ::close(fd);
  ::unlink(host.c_str());
  errno = error;
  return -1;
}

// The file's own data, or a directory with FILE_FLAG_BACKUP_SEMANTICS.
HANDLE OpenData(std::shared_ptr<File> file, const std::string& host, const Request& r,
                bool backup) {
  int mode = file->canWrite ? (file->canRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  for (int attempt = 0; attempt < 2; ++attempt) {
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) {
      if (errno != ENOENT || !r.creates) return FailHandleFromErrno(errno, host);
      file->fd = CreateNew(host, mode, r.attributes);
      if (file->fd < 0 && errno == EEXIST) continue;  // created meanwhile: open it
      if (file->fd < 0) return FailHandleFromErrno(errno, host);
      SetLastError(ERROR_SUCCESS);
      return AddHandle(std::move(file));
    }
    if (r.disposition == CREATE_NEW) return FailHandle(ERROR_FILE_EXISTS);
    if (S_ISDIR(st.st_mode)) {
      if (!backup || r.truncates) return FailHandle(ERROR_ACCESS_DENIED);
      file->fd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (file->fd < 0) return FailHandleFromErrno(errno, host);
      file->directory = true;
    } else {
      // Pipes and devices have no place on a Windows volume; opening a pipe
      // would wait for a writer forever.
      if (!S_ISREG(st.st_mode)) return FailHandle(ERROR_ACCESS_DENIED);
      bool readOnly = !(st.st_mode & S_IWUSR);
      if (readOnly && (file->canWrite || r.truncates)) return FailHandle(ERROR_ACCESS_DENIED);
      if (r.disposition == CREATE_ALWAYS && (GuardedAttributes(host, st) & ~r.attributes))
        return FailHandle(ERROR_ACCESS_DENIED);
      int flags = mode | O_CLOEXEC;
      if (r.truncates) flags = (mode == O_RDONLY ? O_RDWR : mode) | O_TRUNC | O_CLOEXEC;
      file->fd = ::open(host.c_str(), flags);
      if (file->fd < 0) return FailHandleFromErrno(errno, host);
      if (r.disposition == CREATE_ALWAYS && !ApplyAttributes(file->fd, r.attributes, true))
        return FailHandleFromErrno(errno, host);
      file->knownEnd = r.truncates ? 0 : static_cast<unsigned long long>(st.st_size);
    }
    bool existed = r.disposition == CREATE_ALWAYS || r.disposition == OPEN_ALWAYS;
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return AddHandle(std::move(file));
  }
  return FailHandle(ERROR_SHARING_VIOLATION);  // created and removed under our feet
}

// Reads a stream's whole contents; false with errno set.
bool ReadStream(File& file) {
  for (;;) {
    ssize_t size = ::fgetxattr(file.fd, file.attribute.c_str(), nullptr, 0);
    if (size < 0) return false;
    file.data.resize(static_cast<size_t>(size));
    ssize_t got = ::fgetxattr(file.fd, file.attribute.c_str(), file.data.data(), file.data.size());
    if (got >= 0) {
      file.data.resize(static_cast<size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;  // grew meanwhile: again
  }
}

// The stream's part once the file is open: its existence decides.
HANDLE OpenStreamOf(std::shared_ptr<File> file, const std::string& host, const Request& r,
                    bool createdFile) {
  const char* name = file->attribute.c_str();
  bool exists = ::fgetxattr(file->fd, name, nullptr, 0) >= 0;
  int error = 0;
  DWORD code = ERROR_SUCCESS;
  if (!exists && errno != ENODATA)
    error = errno;
  else if (exists && r.disposition == CREATE_NEW)
    code = ERROR_FILE_EXISTS;
  else if (!exists && !r.creates)
    code = ERROR_FILE_NOT_FOUND;
  else if (r.truncates || !exists)  // created or emptied now, as NTFS does it
    error = ::fsetxattr(file->fd, name, "", 0, 0) == 0 ? 0 : errno;
  else
    error = ReadStream(*file) ? 0 : errno;
  if (error || code) {
    if (createdFile) ::unlink(host.c_str());
    return error ? FailHandleFromErrno(error, host) : FailHandle(code);
  }
  bool existed = exists && (r.disposition == CREATE_ALWAYS || r.disposition == OPEN_ALWAYS);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return AddHandle(std::move(file));
}

// A named stream; a creating disposition creates a missing file empty.
HANDLE OpenStream(std::shared_ptr<File> file, const std::string& host, const Request& r) {
  file->isStream = true;
  for (int attempt = 0; attempt < 2; ++attempt) {
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) {
      if (errno != ENOENT || !r.creates) return FailHandleFromErrno(errno, host);
      file->fd = CreateNew(host, O_RDONLY, r.attributes);
      if (file->fd < 0 && errno == EEXIST) continue;
      if (file->fd < 0) return FailHandleFromErrno(errno, host);
      return OpenStreamOf(std::move(file), host, r, true);
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return FailHandle(ERROR_ACCESS_DENIED);
    if (!(st.st_mode & S_IWUSR) && (file->canWrite || r.truncates))
      return FailHandle(ERROR_ACCESS_DENIED);
    file->fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (file->fd < 0) return FailHandleFromErrno(errno, host);
    return OpenStreamOf(std::move(file), host, r, false);
  }
  return FailHandle(ERROR_SHARING_VIOLATION);
}

DWORD StreamWriteError(int error) {
  // The attribute cannot take that much: the volume is full for this stream.
  return error == E2BIG ? ERROR_DISK_FULL : ErrorFromErrno(error);
}

// Read-ahead before the position and drop-behind after it, for unbuffered
// reads served from the page cache. Not within a file's first MiB:
// the kernel's own read-ahead serves a small file, and each hint is a call.
void Hint(File& file) {
  off_t position = static_cast<off_t>(file.position);
  if (position < file.droppedUpTo) file.droppedUpTo = file.hintedUpTo = position;  // went back
  if (position < kReadWindow / 8) return;
  if (position + kReadWindow / 2 >= file.hintedUpTo) {
    off_t from = std::max(position, file.hintedUpTo);
    if (file.hintedUpTo == 0) ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    ::posix_fadvise(file.fd, from, position + kReadWindow - from, POSIX_FADV_WILLNEED);
    file.hintedUpTo = position + kReadWindow;
  }
  if (position - file.droppedUpTo >= kReadWindow / 2) {
    ::posix_fadvise(file.fd, file.droppedUpTo, position - file.droppedUpTo, POSIX_FADV_DONTNEED);
    file.droppedUpTo = position;
  }
}

// The size of the open file or stream; false with the last error set.
bool SizeOf(File& file, unsigned long long* size) {
  if (file.isStream) return *size = file.data.size(), true;
  struct stat st;
  if (::fstat(file.fd, &st) != 0) return SetLastErrorFromErrno(errno), false;
  *size = file.directory ? 0 : static_cast<unsigned long long>(st.st_size);
  return true;
}

bool TimeGiven(const FILETIME* time) {
  // Zero, and all ones, leave a time as it is on Windows too.
  return time && !(time->dwLowDateTime == 0 && time->dwHighDateTime == 0) &&
         !(time->dwLowDateTime == 0xFFFFFFFF && time->dwHighDateTime == 0xFFFFFFFF);
}

}  // namespace

File::~File() {
  if (fd >= 0) ::close(fd);
}

BOOL File::Close() {
  BOOL ok = TRUE;
  if (isStream && changed && ::fsetxattr(fd, attribute.c_str(), data.data(), data.size(), 0) != 0)
    ok = Fail(StreamWriteError(errno));
  if (timesSet && writtenSinceTimes && ::futimens(fd, times) != 0 && ok) {
    SetLastErrorFromErrno(errno);
    ok = FALSE;
  }
  if (::close(fd) != 0 && errno != EINTR && ok) {  // a lost write on a network volume
    SetLastErrorFromErrno(errno);
    ok = FALSE;
  }
  fd = -1;
  return ok;
}

}  // namespace platform::detail

namespace platform {

using detail::File;

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE) {
  DWORD error;
  if (detail::Fault("CreateFileA", path, &error)) return detail::FailHandle(error);
  if (!path || disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
      (share & ~(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)))
    return detail::FailHandle(ERROR_INVALID_PARAMETER);
  std::string full, filePath, stream, host;
  if (!detail::FullWindowsPath(path, &full, &error) ||
      !detail::SplitStream(full, &filePath, &stream, &error) ||
      !detail::HostPathOf(filePath.c_str(), &host, &error))
    return detail::FailHandle(error);

  auto file = std::make_shared<File>();
  file->path = path;
  file->canRead = access & (GENERIC_READ | detail::kGenericAll);
  file->canWrite = access & (GENERIC_WRITE | detail::kGenericAll);
  file->noBuffering = flagsAndAttributes & FILE_FLAG_NO_BUFFERING;
  detail::Request request{
      disposition, flagsAndAttributes & 0xFFFF,
      disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING,
      disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING};
  if (stream.empty())
    return detail::OpenData(std::move(file), host, request,
                            flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS);
  file->attribute = "user." + stream;
  return detail::OpenStream(std::move(file), host, request);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD done, LPVOID overlapped) {
  if (done) *done = 0;
  std::shared_ptr<File> file = detail::FileOf(handle);
  DWORD error = ERROR_SUCCESS, limit = count;
  detail::TransferFault("ReadFile", detail::FaultPathOf(file), &error, &limit);
  if (error != ERROR_SUCCESS && limit == 0) return detail::Fail(error);
  if (!file) return detail::Fail(ERROR_INVALID_HANDLE);
  if (overlapped || (!buffer && count)) return detail::Fail(ERROR_INVALID_PARAMETER);
  if (file->directory) return detail::Fail(ERROR_INVALID_FUNCTION);
  if (!file->canRead) return detail::Fail(ERROR_ACCESS_DENIED);
  count = std::min(count, limit);
  std::lock_guard<std::mutex> lock(file->mutex);
  char* out = static_cast<char*>(buffer);
  DWORD got = 0;
  if (file->isStream) {
    size_t size = file->data.size();
    if (file->position < size)
      got = static_cast<DWORD>(std::min<unsigned long long>(count, size - file->position));
    if (got) std::memcpy(out, file->data.data() + file->position, got);
  } else {
    // Once per stretch of memory: the reads that follow go on filling it.
    unsigned long long ahead = file->knownEnd > file->position ? file->knownEnd - file->position : 0;
    uintptr_t at = reinterpret_cast<uintptr_t>(out);
    if (file->noBuffering && ahead >= detail::kLargeFill &&
        !(at >= file->preparedFrom && at < file->preparedTo)) {
      size_t bytes = static_cast<size_t>(std::min<unsigned long long>(ahead, SIZE_MAX - at));
      detail::PrepareLargeFill(out, bytes);
      file->preparedFrom = at;
      file->preparedTo = at + bytes;
    }
    while (got < count) {
      ssize_t n =
          ::pread(file->fd, out + got, count - got, static_cast<off_t>(file->position + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        detail::SetLastErrorFromErrno(errno);
        file->position += got;
        if (done) *done = got;
        return FALSE;
      }
      if (n == 0) break;
      got += static_cast<DWORD>(n);
      // Short at or past the end this handle knows: the end, without a read
      // of nothing to confirm it. Short before it, the loop asks again.
      if (got < count && file->position + got >= file->knownEnd) break;
    }
  }
  file->position += got;
  if (file->noBuffering && !file->isStream) detail::Hint(*file);
  if (done) *done = got;
  return error == ERROR_SUCCESS ? TRUE : detail::Fail(error);
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD done, LPVOID overlapped) {
  if (done) *done = 0;
  std::shared_ptr<File> file = detail::FileOf(handle);
  DWORD error = ERROR_SUCCESS, limit = count;
  detail::TransferFault("WriteFile", detail::FaultPathOf(file), &error, &limit);
  if (error != ERROR_SUCCESS && limit == 0) return detail::Fail(error);
  if (!file) return detail::Fail(ERROR_INVALID_HANDLE);
  if (overlapped || (!buffer && count)) return detail::Fail(ERROR_INVALID_PARAMETER);
  if (file->directory) return detail::Fail(ERROR_INVALID_FUNCTION);
  if (!file->canWrite) return detail::Fail(ERROR_ACCESS_DENIED);
  count = std::min(count, limit);
  std::lock_guard<std::mutex> lock(file->mutex);
  const char* in = static_cast<const char*>(buffer);
  DWORD put = 0;
  if (file->isStream) {
    if (count && file->position + count > detail::kMaxStream) return detail::Fail(ERROR_DISK_FULL);
    if (file->position + count > file->data.size()) file->data.resize(file->position + count);
    if (count) std::memcpy(file->data.data() + file->position, in, count);
    put = count;
    file->changed = true;
  } else {
    while (put < count) {
      ssize_t n = ::pwrite(file->fd, in + put, std::min(count - put, detail::kWriteStep),
                           static_cast<off_t>(file->position + put));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {  // ENOSPC gives ERROR_DISK_FULL
        detail::SetLastErrorFromErrno(n < 0 ? errno : ENOSPC);
        file->position += put;
        file->writtenSinceTimes = true;
        if (done) *done = put;
        return FALSE;
      }
      put += static_cast<DWORD>(n);
    }
  }
  file->position += put;
  file->knownEnd = std::max(file->knownEnd, file->position);
  file->writtenSinceTimes = true;
  if (done) *done = put;
  return error == ERROR_SUCCESS ? TRUE : detail::Fail(error);
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
  std::shared_ptr<File> file = detail::FileOf(handle);
  DWORD error;
  if (detail::Fault("SetFilePointer", detail::FaultPathOf(file), &error))
    return detail::FailWith(error, INVALID_SET_FILE_POINTER);
  if (!file) return detail::FailWith(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
  if (method > FILE_END) return detail::FailWith(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
  long long move = distance;
  if (distanceHigh)
    move = static_cast<long long>((static_cast<unsigned long long>(*distanceHigh) << 32) |
                                  static_cast<DWORD>(distance));
  std::lock_guard<std::mutex> lock(file->mutex);
  unsigned long long base = method == FILE_CURRENT ? file->position : 0;
  if (method == FILE_END && !detail::SizeOf(*file, &base)) return INVALID_SET_FILE_POINTER;
  long long target;
  if (__builtin_add_overflow(static_cast<long long>(base), move, &target) || target < 0)
    error = move < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER;
  else if (!distanceHigh && (target >> 32))  // the caller could not read the answer
    error = ERROR_INVALID_PARAMETER;
  else
    error = ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return detail::FailWith(error, INVALID_SET_FILE_POINTER);
  file->position = static_cast<unsigned long long>(target);
  if (distanceHigh) *distanceHigh = static_cast<LONG>(target >> 32);
  SetLastError(ERROR_SUCCESS);  // tells a low half of all ones from a failure
  return static_cast<DWORD>(target);
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
  std::shared_ptr<File> file = detail::FileOf(handle);
  DWORD error;
  if (detail::Fault("GetFileSize", detail::FaultPathOf(file), &error))
    return detail::FailWith(error, INVALID_FILE_SIZE);
  if (!file) return detail::FailWith(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  std::lock_guard<std::mutex> lock(file->mutex);
  unsigned long long size;
  if (!detail::SizeOf(*file, &size)) return INVALID_FILE_SIZE;
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

BOOL SetEndOfFile(HANDLE handle) {
  std::shared_ptr<File> file = detail::FileOf(handle);
  DWORD error;
  if (detail::Fault("SetEndOfFile", detail::FaultPathOf(file), &error)) return detail::Fail(error);
  if (!file) return detail::Fail(ERROR_INVALID_HANDLE);
  if (file->directory) return detail::Fail(ERROR_INVALID_FUNCTION);
  if (!file->canWrite) return detail::Fail(ERROR_ACCESS_DENIED);
  std::lock_guard<std::mutex> lock(file->mutex);
  if (file->isStream) {
    if (file->position > detail::kMaxStream) return detail::Fail(ERROR_DISK_FULL);
    file->data.resize(file->position);
    file->changed = true;
  } else if (::ftruncate(file->fd, static_cast<off_t>(file->position)) != 0) {
    detail::SetLastErrorFromErrno(errno);
    return FALSE;
  }
  file->knownEnd = file->position;
  file->writtenSinceTimes = true;
  return TRUE;
}

BOOL SetFileTime(HANDLE handle, const FILETIME*, const FILETIME* lastAccess,
                 const FILETIME* lastWrite) {
  std::shared_ptr<File> file = detail::FileOf(handle);
  DWORD error;
  if (detail::Fault("SetFileTime", detail::FaultPathOf(file), &error)) return detail::Fail(error);
  if (!file) return detail::Fail(ERROR_INVALID_HANDLE);
  if (!file->canWrite) return detail::Fail(ERROR_ACCESS_DENIED);
  std::lock_guard<std::mutex> lock(file->mutex);
  timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
  if (detail::TimeGiven(lastAccess)) times[0] = detail::TimespecOf(*lastAccess);
  if (detail::TimeGiven(lastWrite)) times[1] = detail::TimespecOf(*lastWrite);
  if (::futimens(file->fd, times) != 0) {
    detail::SetLastErrorFromErrno(errno);
    return FALSE;
  }
  for (int i = 0; i < 2; ++i)
    if (times[i].tv_nsec != UTIME_OMIT || !file->timesSet) file->times[i] = times[i];
  file->timesSet = true;
  file->writtenSinceTimes = false;
  return TRUE;
}

}  // namespace platform
