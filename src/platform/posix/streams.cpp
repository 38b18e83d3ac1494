// BackupRead and BackupSeek on Linux: a file's data, then one alternate
// data stream per user extended attribute, in Windows' backup format.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "../common/layer.h"
#include "errors.h"
#include "file_object.h"
#include "paths.h"

namespace platform::detail {
namespace {

constexpr DWORD kErrorSeek = 25;    // ERROR_SEEK: the stream ended before the seek did
constexpr size_t kHeaderSize = 20;  // id, attributes, 64-bit size, name size
constexpr char kUserPrefix[] = "user.";

// The state of one walk, behind BackupRead's context.
struct BackupWalk {
  std::vector<std::string> attributes;  // streams after the data, by name
  size_t nextAttribute = 0;
  bool dataPending = true;  // the file's own data comes first

  bool inStream = false;              // a stream is being reported
  std::vector<unsigned char> header;  // its header with its name
  size_t headerDone = 0;
  bool fromFile = false;  // its bytes come from the file, else from `value`
  std::vector<char> value;
  unsigned long long size = 0;
  unsigned long long done = 0;  // bytes of its data given or skipped
};

void PutLittle(std::vector<unsigned char>* out, unsigned long long value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// The header of a stream: `name` widened byte by byte to UTF-16LE, so that
// narrowing it gives the stream's path back as "file:name:$DATA".
std::vector<unsigned char> Header(DWORD id, unsigned long long size, const std::string& name) {
  std::vector<unsigned char> header;
  PutLittle(&header, id, 4);
  PutLittle(&header, 0, 4);  // STREAM_NORMAL_ATTRIBUTE
  PutLittle(&header, size, 8);
  PutLittle(&header, name.size() * 2, 4);
  for (char c : name) PutLittle(&header, static_cast<unsigned char>(c), 2);
  return header;
}

// The user attributes that are streams, sorted for a stable order.
bool ListStreams(int fd, std::vector<std::string>* names) {
  std::vector<char> list;
  for (;;) {
    ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size < 0) return errno == ENOTSUP;  // no attributes: only the data
    list.resize(static_cast<size_t>(size));
    ssize_t got = ::flistxattr(fd, list.data(), list.size());
    if (got >= 0) {
      list.resize(static_cast<size_t>(got));
      break;
    }
    if (errno != ERANGE) return false;
  }
  for (size_t i = 0; i < list.size();) {
    std::string name(list.data() + i);
    i += name.size() + 1;
    if (name.compare(0, sizeof kUserPrefix - 1, kUserPrefix) == 0 && name != kAttributesAttribute &&
        name.size() > sizeof kUserPrefix - 1)
      names->push_back(name);
  }
  std::sort(names->begin(), names->end());
  return true;
}

// Makes the walk's current stream the given one, its header unread.
bool Begin(BackupWalk& walk, std::vector<unsigned char> header, unsigned long long size,
           bool fromFile) {
  walk.header = std::move(header);
  walk.size = size;
  walk.fromFile = fromFile;
  walk.headerDone = 0;
  walk.done = 0;
  walk.inStream = true;
  return true;
}

// Begins the next stream; false at the end of the walk, or on a failure
// (then *failed is true and the last error set).
bool StartNext(BackupWalk& walk, File& file, bool* failed) {
  *failed = false;
  if (walk.dataPending) {
    walk.dataPending = false;
    struct stat st;
    if (!file.directory) {  // a directory has no data stream
      if (::fstat(file.fd, &st) == 0) {
        auto size = static_cast<unsigned long long>(st.st_size);
        return Begin(walk, Header(BACKUP_DATA, size, ""), size, true);
      }
      SetLastErrorFromErrno(errno);
      *failed = true;
      return false;
    }
  }
  while (walk.nextAttribute < walk.attributes.size()) {
    const std::string& name = walk.attributes[walk.nextAttribute++];
    ssize_t size = ::fgetxattr(file.fd, name.c_str(), nullptr, 0);
    if (size >= 0) {
      walk.value.resize(static_cast<size_t>(size));
      size = ::fgetxattr(file.fd, name.c_str(), walk.value.data(), walk.value.size());
    }
    if (size < 0 && errno == ENODATA) continue;  // removed since the walk began
    if (size < 0) {
      SetLastErrorFromErrno(errno);
      *failed = true;
      return false;
    }
    walk.value.resize(static_cast<size_t>(size));
    std::string stream = ":" + WindowsName(name.substr(sizeof kUserPrefix - 1)) + ":$DATA";
    return Begin(walk, Header(BACKUP_ALTERNATE_DATA, walk.value.size(), stream), walk.value.size(),
                 false);
  }
  return false;
}

// The file behind a backup call, after the fault check; null with the last
// error set.
std::shared_ptr<File> BackupFile(const char* operation, HANDLE handle) {
  std::shared_ptr<File> file = FileOf(handle);
  DWORD error;
  if (!Fault(operation, FaultPathOf(file), &error))
    error = !file            ? ERROR_INVALID_HANDLE
            : file->isStream ? ERROR_INVALID_PARAMETER
            : !file->canRead ? ERROR_ACCESS_DENIED
                             : ERROR_SUCCESS;
  if (error == ERROR_SUCCESS) return file;
  SetLastError(error);
  return nullptr;
}

}  // namespace
}  // namespace platform::detail

namespace platform {

using detail::BackupWalk;

BOOL BackupRead(HANDLE handle, LPBYTE buffer, DWORD count, LPDWORD done, BOOL abort, BOOL,
                LPVOID* context) {
  if (done) *done = 0;
  if (!context) return detail::Fail(ERROR_INVALID_PARAMETER);
  if (abort) {
    delete static_cast<BackupWalk*>(*context);
    *context = nullptr;
    return TRUE;
  }
  std::shared_ptr<detail::File> file = detail::BackupFile("BackupRead", handle);
  if (!file) return FALSE;
  if (!buffer && count) return detail::Fail(ERROR_INVALID_PARAMETER);
  auto* walk = static_cast<BackupWalk*>(*context);
  if (!walk) {
    walk = new BackupWalk;
    if (!detail::ListStreams(file->fd, &walk->attributes)) {
      detail::SetLastErrorFromErrno(errno);
      delete walk;
      return FALSE;
    }
    *context = walk;
  }
  std::lock_guard<std::mutex> lock(file->mutex);
  DWORD given = 0;
  bool failed = false;
  if (!walk->inStream && !detail::StartNext(*walk, *file, &failed)) return failed ? FALSE : TRUE;
  // One call ends at the end of a stream: the next begins with its header.
  if (walk->headerDone < walk->header.size()) {
    size_t n = std::min<size_t>(count, walk->header.size() - walk->headerDone);
    std::memcpy(buffer, walk->header.data() + walk->headerDone, n);
    walk->headerDone += n;
    given += static_cast<DWORD>(n);
  }
  while (walk->headerDone == walk->header.size() && given < count && walk->done < walk->size) {
    size_t n =
        static_cast<size_t>(std::min<unsigned long long>(count - given, walk->size - walk->done));
    if (!walk->fromFile) {
      std::memcpy(buffer + given, walk->value.data() + walk->done, n);
    } else {
      ssize_t got = ::pread(file->fd, buffer + given, n, static_cast<off_t>(walk->done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {  // failed, or the file shrank below the size its header gave
        if (got < 0)
          detail::SetLastErrorFromErrno(errno);
        else
          SetLastError(ERROR_HANDLE_EOF);
        if (done) *done = given;
        return FALSE;
      }
      n = static_cast<size_t>(got);
    }
    walk->done += n;
    given += static_cast<DWORD>(n);
  }
  if (walk->headerDone == walk->header.size() && walk->done == walk->size) walk->inStream = false;
  if (done) *done = given;
  return TRUE;
}

BOOL BackupSeek(HANDLE handle, DWORD lowToSeek, DWORD highToSeek, LPDWORD lowSeeked,
                LPDWORD highSeeked, LPVOID* context) {
  if (lowSeeked) *lowSeeked = 0;
  if (highSeeked) *highSeeked = 0;
  std::shared_ptr<detail::File> file = detail::BackupFile("BackupSeek", handle);
  if (!file) return FALSE;
  if (!context) return detail::Fail(ERROR_INVALID_PARAMETER);
  auto* walk = static_cast<BackupWalk*>(*context);
  std::lock_guard<std::mutex> lock(file->mutex);
  unsigned long long wanted = (static_cast<unsigned long long>(highToSeek) << 32) | lowToSeek;
  unsigned long long left = 0;
  // Only the data of the stream whose header has been read can be skipped.
  if (walk && walk->inStream && walk->headerDone == walk->header.size())
    left = walk->size - walk->done;
  unsigned long long step = std::min(wanted, left);
  if (walk && step) {
    walk->done += step;
    if (walk->done == walk->size) walk->inStream = false;
  }
  if (lowSeeked) *lowSeeked = static_cast<DWORD>(step);
  if (highSeeked) *highSeeked = static_cast<DWORD>(step >> 32);
  return step < wanted ? detail::Fail(detail::kErrorSeek) : TRUE;
}

}  // namespace platform
