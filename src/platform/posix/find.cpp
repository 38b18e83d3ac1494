// Finding files on Linux: a folder's names matched as Windows matches them,
// listed "." and ".." first and then by name as NTFS lists them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "../common/layer.h"
#include "errors.h"
#include "files.h"
#include "filetime.h"
#include "handles.h"
#include "paths.h"

namespace platform::detail {
namespace {

struct Find : KernelObject {
  static constexpr ObjectKind kKind = ObjectKind::Find;
  Find() : KernelObject(kKind) {}
  std::string pattern;  // as given: faults match it
  std::mutex mutex;
  std::string folder;  // the Linux folder, ending in '/'
  std::vector<std::string> names;
  size_t next = 0;
};

// The pattern as Windows' find turns it into a file-system expression:
// '?' is a DOS question mark, '*' before a '.' a DOS star, and '.' before
// '?', '*' or the end a DOS dot.
enum Token : char { kStar = '*', kDosStar = '<', kDosQm = '>', kDosDot = '"' };

std::string Expression(const std::string& pattern) {
  if (pattern == "*.*") return "*";
  std::string out = pattern;
  for (size_t i = 0; i < out.size(); ++i) {
    char next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
    if (pattern[i] == '?')
      out[i] = kDosQm;
    else if (pattern[i] == '*' && next == '.')
      out[i] = kDosStar;
    else if (pattern[i] == '.' && (next == '?' || next == '*' || next == 0))
      out[i] = kDosDot;
  }
  return out;
}

bool SameLetter(char a, char b) {
  return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

// The file system's rules: '*' any run; DOS star any run that does not pass
// the name's last dot; DOS question mark one character that is not a dot,
// or nothing at a dot or the end; DOS dot a dot, or nothing at the end.
// Dynamic programming over (expression, name) positions: no blow-up on
// many stars.
bool Matches(const std::string& expression, const std::string& name) {
  size_t n = name.size(), m = expression.size();
  size_t lastDot = name.rfind('.');
  // reach[j]: the expression's first i tokens can match name[0, j).
  std::vector<char> reach(n + 1, 0), next(n + 1);
  reach[0] = 1;
  for (size_t i = 0; i < m; ++i) {
    char t = expression[i];
    std::fill(next.begin(), next.end(), 0);
    for (size_t j = 0; j <= n; ++j) {
      if (!reach[j]) continue;
      if (t == kStar || t == kDosStar) {
        next[j] = 1;
        for (size_t k = j; k < n && (t == kStar || k != lastDot); ++k) next[k + 1] = 1;
      } else if (t == kDosQm) {
        if (j < n && name[j] != '.') next[j + 1] = 1;
        if (j == n || name[j] == '.') next[j] = 1;
      } else if (t == kDosDot) {
        if (j < n && name[j] == '.') next[j + 1] = 1;
        if (j == n) next[j] = 1;
      } else if (j < n && SameLetter(t, name[j])) {
        next[j + 1] = 1;
      }
    }
    reach.swap(next);
  }
  return reach[n];
}

bool HasWildcards(const std::string& pattern) {
  return pattern.find_first_of("*?") != std::string::npos;
}

// NTFS's order: by name ignoring case, then by bytes.
bool NameOrder(const std::string& a, const std::string& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    int x = std::toupper(static_cast<unsigned char>(a[i]));
    int y = std::toupper(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// The name as cFileName holds it: escaped, or, when that is too long, as
// much as fits ended by '?' (as Windows' ANSI calls give a name they cannot
// convert): every path call refuses it, so the entry fails visibly.
void ListedName(const std::string& name, char* out, size_t capacity) {
  std::string listed = WindowsName(name);
  if (listed.size() >= capacity) {
    size_t keep = 0;
    for (size_t i = 0; i < listed.size() && i + 2 < capacity;) {
      size_t step = static_cast<unsigned char>(listed[i]) == kNameEscape ? 2 : 1;
      if (i + step + 1 >= capacity) break;
      i += step;
      keep = i;
    }
    listed.resize(keep);
    listed += '?';
  }
  std::memcpy(out, listed.c_str(), listed.size() + 1);
}

// Fills *data for `name` (a POSIX name) in `folder`; false when it is gone.
// A symbolic link is listed as itself: the reparse-point attribute, the
// directory bit when it leads to a folder, the link's own times, no size.
bool Describe(const std::string& folder, const std::string& name, WIN32_FIND_DATAA* data) {
  std::string host = folder + name;
  struct statx sx;
  if (::statx(AT_FDCWD, host.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) !=
      0)
    return false;
  bool link = S_ISLNK(sx.stx_mode);
  struct stat st {};
  st.st_mode = sx.stx_mode;
  if (link && ::stat(host.c_str(), &st) != 0) st.st_mode = S_IFREG | 0666;
  auto time = [](const statx_timestamp& t) {
    return FileTimeOf(timespec{static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)});
  };
  *data = WIN32_FIND_DATAA{};
  data->dwFileAttributes = AttributesOf(host.c_str(), st);
  if (link) data->dwFileAttributes = LinkAttributes(data->dwFileAttributes);
  data->ftLastWriteTime = time(sx.stx_mtime);
  data->ftLastAccessTime = time(sx.stx_atime);
  // Linux may keep no creation time: the last write stands in for it.
  data->ftCreationTime = (sx.stx_mask & STATX_BTIME) ? time(sx.stx_btime) : data->ftLastWriteTime;
  unsigned long long size = S_ISDIR(sx.stx_mode) || link ? 0 : sx.stx_size;
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  ListedName(name, data->cFileName, sizeof data->cFileName);
  return true;
}

// The next entry that can still be described, or false at the end.
bool Next(Find& find, WIN32_FIND_DATAA* data) {
  while (find.next < find.names.size())
    if (Describe(find.folder, find.names[find.next++], data)) return true;
  return false;
}

// Lists `host` (a folder) for `pattern`; false with the last error set.
bool List(const std::string& host, const std::string& pattern, bool root, Find* find) {
  DIR* dir = ::opendir(host.c_str());
  if (!dir) return SetLastErrorFromErrno(errno == ENOENT ? ENOTDIR : errno), false;
  std::string expression = Expression(pattern);
  bool dot = false, dotDot = false;
  std::vector<std::pair<std::string, std::string>> found;  // as listed, as on disk
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == ".") {
      dot = !root && Matches(expression, name);
    } else if (name == "..") {
      dotDot = !root && Matches(expression, name);
    } else {
      std::string listed = WindowsName(name);
      if (Matches(expression, listed)) found.emplace_back(std::move(listed), std::move(name));
    }
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return NameOrder(a.first, b.first); });
  for (auto& entry : found) find->names.push_back(std::move(entry.second));
  if (dotDot) find->names.insert(find->names.begin(), "..");
  if (dot) find->names.insert(find->names.begin(), ".");
  return true;
}

}  // namespace
}  // namespace platform::detail

namespace platform {

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) {
  DWORD error;
  if (detail::Fault("FindFirstFileA", pattern, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  std::string full;
  if (!data) error = ERROR_INVALID_PARAMETER;
  if (!data || !detail::FullWindowsPath(pattern, &full, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  full = detail::WithoutLongPrefix(full);
  // The folder is mapped as a path; the last component is matched against
  // the names as the plug-in sees them.
  size_t slash = full.rfind('\\');
  std::string name = full.substr(slash + 1);
  auto find = std::make_shared<detail::Find>();
  find->pattern = pattern;
  if (!detail::HostPathOf(full.substr(0, slash + 1).c_str(), &find->folder, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  if (find->folder.back() != '/') find->folder += '/';
  if (name.empty()) {  // a folder's path with its backslash names no entry
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (!detail::HasWildcards(name)) {
    std::string posixName, host;
    if (!detail::PosixName(name, &posixName, &error)) {
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
    host = find->folder + posixName;
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) {
      detail::SetLastErrorFromErrno(errno, host.c_str());
      return INVALID_HANDLE_VALUE;
    }
    find->names.push_back(posixName);
  } else {
    bool root = slash + 1 == detail::RootLength(full);
    if (!detail::List(find->folder, name, root, find.get())) return INVALID_HANDLE_VALUE;
  }
  if (!detail::Next(*find, data)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return detail::AddHandle(std::move(find));
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data) {
  std::shared_ptr<detail::Find> find = detail::FindHandleOf<detail::Find>(handle);
  DWORD error;
  if (detail::Fault("FindNextFileA", find ? find->pattern.c_str() : nullptr, &error))
    return detail::Fail(error);
  if (!find) return detail::Fail(ERROR_INVALID_HANDLE);
  if (!data) return detail::Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lock(find->mutex);
  return detail::Next(*find, data) ? TRUE : detail::Fail(ERROR_NO_MORE_FILES);
}

BOOL FindClose(HANDLE handle) {
  std::shared_ptr<detail::Find> find = detail::FindHandleOf<detail::Find>(handle);
  DWORD error;
  bool faulted = detail::Fault("FindClose", find ? find->pattern.c_str() : nullptr, &error);
  std::shared_ptr<detail::KernelObject> object = detail::TakeHandle(handle, true);
  if (!object) return detail::Fail(ERROR_INVALID_HANDLE);
  BOOL closed = object->Close();
  return closed && faulted ? detail::Fail(error) : closed;
}

}  // namespace platform
