// errno to Win32 codes, and the system texts FormatMessageA gives for them.
#include "errors.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "../common/layer.h"

namespace platform::detail {
namespace {

struct ErrnoCode {
  int error;
  DWORD code;
};

// The one errno table. Whatever is not here is a generic failure, never
// ERROR_SUCCESS: a failed call must not read as a successful one.
constexpr ErrnoCode kErrnoTable[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},  {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {ELOOP, ERROR_PATH_NOT_FOUND},   {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY}, {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EACCES, ERROR_ACCESS_DENIED},   {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},   {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},       {EFBIG, ERROR_DISK_FULL},
    {EROFS, ERROR_WRITE_PROTECT},    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EINVAL, ERROR_INVALID_PARAMETER}, {EFAULT, ERROR_INVALID_PARAMETER},
    {EBUSY, ERROR_BUSY},             {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES}, {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EIO, ERROR_IO_DEVICE},          {EBADF, ERROR_INVALID_HANDLE},
    {ENOTSUP, ERROR_NOT_SUPPORTED},  {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ENOSYS, ERROR_NOT_SUPPORTED},   {ETXTBSY, ERROR_SHARING_VIOLATION},
    {ENXIO, ERROR_NOT_READY},        {ENODEV, ERROR_NOT_READY},
    {ENOMEDIUM, ERROR_NOT_READY},    {EPIPE, ERROR_BROKEN_PIPE},
    {ERANGE, ERROR_INSUFFICIENT_BUFFER}, {EILSEQ, ERROR_INVALID_NAME},
    {ENODATA, ERROR_FILE_NOT_FOUND},  // a missing extended attribute (named stream)
};

constexpr DWORD kUnknownErrno = ERROR_INVALID_FUNCTION;

struct MessageText {
  DWORD code;
  const char* text;
};

// Every code the table gives, and the others callers show to the user.
constexpr MessageText kMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "The function is not valid for this object."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path."},
    {ERROR_TOO_MANY_OPEN_FILES, "Too many files are open."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is not valid."},
    {ERROR_NOT_ENOUGH_MEMORY, "There is not enough memory for this operation."},
    {ERROR_OUTOFMEMORY, "There is not enough storage for this operation."},
    {ERROR_NOT_SAME_DEVICE, "The file cannot be moved to a different disk drive."},
    {ERROR_WRITE_PROTECT, "The media is write-protected."},
    {ERROR_NOT_READY, "The device is not ready."},
    {ERROR_CRC, "Data error (cyclic redundancy check)."},
    {ERROR_WRITE_FAULT, "The device cannot be written to."},
    {ERROR_READ_FAULT, "The device cannot be read from."},
    {ERROR_SHARING_VIOLATION, "The file is in use by another process."},
    {ERROR_HANDLE_EOF, "The end of the file has been reached."},
    {ERROR_HANDLE_DISK_FULL, "The disk is full."},
    {ERROR_NOT_SUPPORTED, "This request is not supported."},
    {ERROR_FILE_EXISTS, "The file already exists."},
    {ERROR_INVALID_PARAMETER, "A parameter is not valid."},
    {ERROR_BROKEN_PIPE, "The pipe has been closed."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer given to the system is too small."},
    {ERROR_INVALID_NAME, "The file name, folder name or volume label syntax is not valid."},
    {ERROR_DIR_NOT_ROOT, "The directory is not the root directory of a volume."},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
    {ERROR_BAD_PATHNAME, "The path is not valid."},
    {ERROR_BUSY, "The resource is in use."},
    {ERROR_ALREADY_EXISTS, "A file of that name already exists."},
    {ERROR_FILENAME_EXCED_RANGE, "The file name or extension is too long."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_DIRECTORY, "The directory name is not valid."},
    {ERROR_ENVVAR_NOT_FOUND, "The system could not find the environment option that was entered."},
    {ERROR_MR_MID_NOT_FOUND, "No message text exists for this message number."},
    {ERROR_BADDB, "The registry database is corrupt."},
    {ERROR_BADKEY, "The registry key is not valid."},
    {ERROR_CANTOPEN, "The registry key could not be opened."},
    {ERROR_CANTREAD, "The registry key could not be read."},
    {ERROR_CANTWRITE, "The registry key could not be written."},
    {ERROR_KEY_DELETED, "The registry key has been marked for deletion."},
    {ERROR_IO_DEVICE, "An I/O device error prevented the request."},
    {ERROR_NOT_A_REPARSE_POINT, "The file or directory is not a reparse point."},
};

const char* MessageFor(DWORD code) {
  for (const MessageText& m : kMessages)
    if (m.code == code) return m.text;
  return nullptr;
}

// True when the folder that would hold `hostPath` exists.
bool ParentExists(const char* hostPath) {
  std::string parent = hostPath;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  size_t slash = parent.rfind('/');
  if (slash == std::string::npos) return true;  // relative to the working folder
  parent.resize(slash == 0 ? 1 : slash);
  struct stat st;
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

DWORD ErrorFromErrno(int error) {
  for (const ErrnoCode& e : kErrnoTable)
    if (e.error == error) return e.code;
  return kUnknownErrno;
}

void SetLastErrorFromErrno(int error, const char* hostPath) {
  if (error == ENOENT && hostPath && !ParentExists(hostPath)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return;
  }
  SetLastError(ErrorFromErrno(error));
}

}  // namespace platform::detail

namespace platform {

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list*) {
  DWORD error;
  if (detail::Fault("FormatMessageA", nullptr, &error)) return detail::Fail(error);
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) return detail::Fail(ERROR_INVALID_PARAMETER);
  const char* text = detail::MessageFor(messageId);
  if (!text) return detail::Fail(ERROR_MR_MID_NOT_FOUND);
  size_t length = std::strlen(text) + 2;  // with the line end Windows' texts carry
  if (length + 1 > size) {
    if (size) buffer[0] = 0;
    return detail::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, text, length - 2);
  std::memcpy(buffer + length - 2, "\r\n", 3);
  return static_cast<DWORD>(length);
}

}  // namespace platform
