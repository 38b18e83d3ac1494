// Windows paths on Linux: the drive table, the layer's own current
// directory, GetFullPathNameA's rules and environment expansion.
#include "paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "../common/layer.h"
#include "errors.h"

extern char** environ;

namespace platform::detail {
namespace {

struct DriveSlot {
  bool mapped = false;
  Drive drive;
};

std::mutex g_mutex;  // guards the table and the current directory
DriveSlot g_drives[26];
std::string g_current;  // empty until first use

bool SameLetter(char a, char b) {
  return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

bool IsDriveSpec(const std::string& p) {
  return p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':';
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!SameLetter(a[i], b[i])) return false;
  return true;
}

// The process's working directory as a Windows path on Z:. The layer never
// changes the process's own: the plug-in shares the process with its host.
std::string ProcessDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (!::getcwd(buffer.data(), buffer.size())) return "Z:\\";
  return WindowsPathOfHost(buffer.data());
}

// Bytes a Windows name cannot hold as they are.
bool Reserved(unsigned char c) {
  return c < 0x20 || c == kNameEscape || std::strchr("\"*:<>?\\|", c) != nullptr;
}

// Windows drops trailing dots and spaces from a component.
void StripTrailingDotsAndSpaces(std::string* part) {
  while (!part->empty() && (part->back() == '.' || part->back() == ' ')) part->pop_back();
}

// Call with g_mutex held.
void EnsureTable() {
  if (!g_current.empty()) return;
  g_drives['Z' - 'A'] = DriveSlot{true, Drive{testing::DriveKind::Fixed, "/", ""}};
  g_current = ProcessDirectory();
}

// The parts of a UNC path after its two leading backslashes.
void SplitUnc(const std::string& full, std::string* server, std::string* share) {
  size_t serverEnd = full.find('\\', 2);
  *server = full.substr(2, serverEnd == std::string::npos ? std::string::npos : serverEnd - 2);
  share->clear();
  if (serverEnd == std::string::npos) return;
  size_t shareEnd = full.find('\\', serverEnd + 1);
  *share = full.substr(serverEnd + 1,
                       shareEnd == std::string::npos ? std::string::npos : shareEnd - serverEnd - 1);
}

// Folds "." and "..", never above the root, and collapses separators.
// `absolute` is "X:..." or "\\server\share...".
std::string Fold(const std::string& absolute) {
  std::string root;
  size_t restStart;
  if (absolute.size() >= 2 && absolute[0] == '\\' && absolute[1] == '\\') {
    // Server and share are the first two non-empty components.
    std::vector<std::string> head;
    size_t i = 2;
    while (head.size() < 2 && i < absolute.size()) {
      size_t end = absolute.find('\\', i);
      if (end == std::string::npos) end = absolute.size();
      if (end > i) head.push_back(absolute.substr(i, end - i));
      i = end;
      if (head.size() < 2 && i < absolute.size()) ++i;
    }
    root = "\\\\" + (head.size() > 0 ? head[0] : "") + (head.size() > 1 ? "\\" + head[1] : "");
    restStart = i;
  } else {
    root = absolute.substr(0, 2);
    restStart = 2;
  }
  std::vector<std::string> parts;
  size_t i = restStart;
  while (i < absolute.size()) {
    size_t end = absolute.find('\\', i);
    if (end == std::string::npos) end = absolute.size();
    std::string part = absolute.substr(i, end - i);
    // A find pattern keeps its dots: "*." asks for names without one.
    if (part != "." && part != ".." && part.find_first_of("*?") == std::string::npos)
      StripTrailingDotsAndSpaces(&part);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  bool trailing = absolute.size() > 2 && absolute.back() == '\\';
  std::string full = root;
  for (const std::string& part : parts) full += "\\" + part;
  // A root keeps its backslash when anything followed it ("X:" alone is not
  // a full path); ".." never takes it away.
  bool rootOnly = parts.empty() && (root[0] != '\\' || restStart < absolute.size());
  if (trailing || rootOnly) full += "\\";
  return full;
}

}  // namespace

std::string WindowsName(const std::string& posixName) {
  if (posixName == "." || posixName == "..") return posixName;  // never a file's own name
  std::string out;
  out.reserve(posixName.size() + 2);
  for (size_t i = 0; i < posixName.size(); ++i) {
    auto c = static_cast<unsigned char>(posixName[i]);
    bool last = i + 1 == posixName.size();
    if (Reserved(c) || (last && (c == '.' || c == ' '))) {
      out += static_cast<char>(kNameEscape);
      out += static_cast<char>(c ^ 0x80);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool PosixName(const std::string& windowsName, std::string* posixName, DWORD* error) {
  posixName->clear();
  for (size_t i = 0; i < windowsName.size(); ++i) {
    auto c = static_cast<unsigned char>(windowsName[i]);
    if (c == kNameEscape) {
      if (i + 1 == windowsName.size()) return *error = ERROR_INVALID_NAME, false;
      c = static_cast<unsigned char>(windowsName[++i]) ^ 0x80;
      if (!Reserved(c) && c != '.' && c != ' ') return *error = ERROR_INVALID_NAME, false;
    } else if (Reserved(c)) {
      return *error = ERROR_INVALID_NAME, false;
    }
    *posixName += static_cast<char>(c);
  }
  return true;
}

std::string WindowsPathOfHost(const std::string& hostPath) {
  std::string out = "Z:";
  size_t i = 0;
  while (i < hostPath.size()) {
    size_t end = hostPath.find('/', i);
    if (end == std::string::npos) end = hostPath.size();
    if (end > i) out += "\\" + WindowsName(hostPath.substr(i, end - i));
    i = end + 1;
  }
  if (out.size() == 2 || (!hostPath.empty() && hostPath.back() == '/')) out += '\\';
  return out;
}

bool DriveOf(char letter, Drive* drive) {
  int index = std::toupper(static_cast<unsigned char>(letter)) - 'A';
  if (index < 0 || index >= 26) return false;
  std::lock_guard<std::mutex> lock(g_mutex);
  EnsureTable();
  if (!g_drives[index].mapped) return false;
  *drive = g_drives[index].drive;
  return true;
}

char NetworkDriveFor(const std::string& server, const std::string& share) {
  std::lock_guard<std::mutex> lock(g_mutex);
  EnsureTable();
  std::string wanted = server + "\\" + share;
  for (int i = 0; i < 26; ++i) {
    const DriveSlot& slot = g_drives[i];
    if (slot.mapped && slot.drive.kind == testing::DriveKind::Network &&
        EqualsIgnoringCase(slot.drive.detail, wanted))
      return static_cast<char>('A' + i);
  }
  return 0;
}

std::string CurrentDirectory() {
  std::lock_guard<std::mutex> lock(g_mutex);
  EnsureTable();
  return g_current;
}

size_t RootLength(const std::string& full) {
  if (IsDriveSpec(full) && full.size() >= 3 && full[2] == '\\') return 3;
  if (full.size() < 3 || full[0] != '\\' || full[1] != '\\') return 0;
  std::string server, share;
  SplitUnc(full, &server, &share);
  size_t length = 2 + server.size() + 1 + share.size();
  if (server.empty() || share.empty()) return 0;
  return std::min(length + 1, full.size());
}

std::string WithoutLongPrefix(const std::string& full) {
  if (full.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + full.substr(8);
  if (full.compare(0, 4, "\\\\?\\") == 0) return full.substr(4);
  return full;
}

bool FullWindowsPath(const char* path, std::string* full, DWORD* error) {
  if (!path) return *error = ERROR_INVALID_PARAMETER, false;
  if (!*path) return *error = ERROR_INVALID_NAME, false;
  std::string p = path;
  for (char& c : p)
    if (c == '/') c = '\\';
  // "\\?\" asks Windows to take the path as it stands.
  if (p.compare(0, 4, "\\\\?\\") == 0) return *full = p, true;
  std::string current = CurrentDirectory();
  std::string absolute;
  if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
    absolute = p;
  } else if (IsDriveSpec(p)) {
    if (p.size() >= 3 && p[2] == '\\')
      absolute = p;
    else if (p.size() == 2 && IsDriveSpec(current) && SameLetter(current[0], p[0]))
      absolute = current;
    else if (IsDriveSpec(current) && SameLetter(current[0], p[0]))
      absolute = current + "\\" + p.substr(2);
    else  // another drive's own current directory is not kept: its root
      absolute = p.substr(0, 2) + "\\" + p.substr(2);
  } else if (p[0] == '\\') {
    std::string root = current.substr(0, RootLength(current));
    absolute = (IsDriveSpec(root) ? root.substr(0, 2) : root) + p;
  } else {
    absolute = current + "\\" + p;
  }
  *full = Fold(absolute);
  return true;
}

bool HostPathOf(const char* windowsPath, std::string* host, DWORD* error) {
  std::string full;
  if (!FullWindowsPath(windowsPath, &full, error)) return false;
  full = WithoutLongPrefix(full);
  Drive drive;
  std::string rest;
  if (IsDriveSpec(full)) {
    if (!DriveOf(full[0], &drive)) return *error = ERROR_PATH_NOT_FOUND, false;
    rest = full.substr(2);
  } else {
    std::string server, share;
    SplitUnc(full, &server, &share);
    char letter = share.empty() ? 0 : NetworkDriveFor(server, share);
    if (!letter || !DriveOf(letter, &drive)) return *error = ERROR_PATH_NOT_FOUND, false;
    rest = full.substr(std::min(full.size(), 2 + server.size() + 1 + share.size()));
  }
  // Each component back to its POSIX name: no listed name can hold a
  // separator or step out of its folder.
  std::string mapped;
  size_t i = 0;
  while (i < rest.size()) {
    size_t end = rest.find('\\', i);
    if (end == std::string::npos) end = rest.size();
    std::string part;
    if (end > i && !PosixName(rest.substr(i, end - i), &part, error)) return false;
    if (end > i) mapped += "/" + part;
    i = end + 1;
  }
  if (!rest.empty() && rest.back() == '\\') mapped += '/';
  if (drive.directory == "/" && !mapped.empty()) drive.directory.clear();
  *host = drive.directory + mapped;
  return true;
}

}  // namespace platform::detail

namespace platform {

namespace {
// Copies `text` by the rule the path calls share: the length without the
// terminator when it fits, else the size needed with it (buffer untouched).
DWORD CopyOut(const std::string& text, DWORD bufferLength, LPSTR buffer) {
  if (!buffer || text.size() + 1 > bufferLength) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

// An environment variable by its exact name, else ignoring ASCII case as
// Windows names are.
const char* Variable(const std::string& name) {
  if (const char* value = std::getenv(name.c_str())) return value;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals && static_cast<size_t>(equals - *entry) == name.size() &&
        detail::EqualsIgnoringCase(std::string(*entry, name.size()), name))
      return equals + 1;
  }
  return nullptr;
}
}  // namespace

DWORD GetFullPathNameA(LPCSTR path, DWORD bufferLength, LPSTR buffer, LPSTR* filePart) {
  DWORD error;
  if (detail::Fault("GetFullPathNameA", path, &error)) return detail::Fail(error);
  std::string full;
  if (!detail::FullWindowsPath(path, &full, &error)) return detail::Fail(error);
  DWORD result = CopyOut(full, bufferLength, buffer);
  if (result == full.size() && filePart) {
    size_t slash = full.rfind('\\');
    *filePart = full.back() == '\\' || slash == std::string::npos ? nullptr : buffer + slash + 1;
  }
  return result;
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
  DWORD error;
  if (detail::Fault("GetCurrentDirectoryA", nullptr, &error)) return detail::Fail(error);
  return CopyOut(detail::CurrentDirectory(), bufferLength, buffer);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
  DWORD error;
  if (detail::Fault("SetCurrentDirectoryA", path, &error)) return detail::Fail(error);
  std::string full, host;
  if (!detail::FullWindowsPath(path, &full, &error) || !detail::HostPathOf(path, &host, &error))
    return detail::Fail(error);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) {
    detail::SetLastErrorFromErrno(errno, host.c_str());
    return FALSE;
  }
  if (!S_ISDIR(st.st_mode)) return detail::Fail(ERROR_DIRECTORY);
  full = detail::WithoutLongPrefix(full);
  // Kept without a trailing backslash, except at a root, as Windows reports it.
  if (full.size() > detail::RootLength(full) && full.back() == '\\') full.pop_back();
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  detail::g_current = full;
  return TRUE;
}

DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
  DWORD error;
  if (detail::Fault("ExpandEnvironmentStringsA", source, &error)) return detail::Fail(error);
  if (!source) return detail::Fail(ERROR_INVALID_PARAMETER);
  std::string out;
  for (const char* p = source; *p;) {
    const char* close = *p == '%' ? std::strchr(p + 1, '%') : nullptr;
    if (!close) {  // plain text, or a '%' that no other closes
      out += *p++;
      continue;
    }
    std::string name(p + 1, close);
    const char* value = name.empty() ? nullptr : Variable(name);
    if (value) {
      out += value;
      p = close + 1;
    } else {  // not set: the text stays as it is
      out.append(p, close + 1);
      p = close + 1;
    }
  }
  if (destination && size) {
    size_t n = std::min<size_t>(out.size(), size - 1);
    std::memcpy(destination, out.data(), n);
    destination[n] = 0;
  }
  return static_cast<DWORD>(out.size() + 1);
}

}  // namespace platform

namespace platform::testing {

bool MapDrive(char letter, DriveKind kind, const char* directory, const char* detail) {
  int index = std::toupper(static_cast<unsigned char>(letter)) - 'A';
  if (index < 0 || index >= 25) return false;  // Z: stays /
  std::string info = detail ? detail : "";
  std::string dir;
  DWORD error;
  if (kind == DriveKind::Subst) {
    std::string full;
    if (!detail::FullWindowsPath(info.c_str(), &full, &error) ||
        !detail::HostPathOf(full.c_str(), &dir, &error))
      return false;
    if (full.size() > detail::RootLength(full) && full.back() == '\\') full.pop_back();
    info = full;
  } else {
    if (!directory || directory[0] != '/') return false;
    dir = directory;
    if (kind == DriveKind::Network) {
      size_t slash = info.find('\\');
      if (slash == 0 || slash == std::string::npos || slash + 1 == info.size() ||
          info.find_first_of("\\/", slash + 1) != std::string::npos)
        return false;
    }
    if (kind == DriveKind::Dynamic && info.empty()) return false;
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  detail::EnsureTable();
  detail::g_drives[index] = detail::DriveSlot{true, detail::Drive{kind, dir, info}};
  return true;
}

void UnmapDrive(char letter) {
  int index = std::toupper(static_cast<unsigned char>(letter)) - 'A';
  if (index < 0 || index >= 25) return;
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  detail::g_drives[index] = detail::DriveSlot{};
}

void ResetDrives() {
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  for (int i = 0; i < 25; ++i) detail::g_drives[i] = detail::DriveSlot{};
  detail::g_current.clear();
  detail::EnsureTable();
}

bool HostPath(const char* windowsPath, char* out, int capacity) {
  std::string host;
  DWORD error;
  bool ok = detail::HostPathOf(windowsPath, &host, &error) &&
            host.size() < static_cast<size_t>(std::max(capacity, 0));
  if (capacity > 0) {
    size_t n = ok ? host.size() : 0;
    std::memcpy(out, host.data(), n);
    out[n] = 0;
  }
  return ok;
}

namespace {
bool CopyResult(const std::string& text, char* out, int capacity) {
  bool fits = text.size() < static_cast<size_t>(std::max(capacity, 0));
  if (capacity > 0) {
    size_t n = fits ? text.size() : 0;
    std::memcpy(out, text.data(), n);
    out[n] = 0;
  }
  return fits;
}
}  // namespace

bool WindowsPathOf(const char* linuxPath, char* out, int capacity) {
  return CopyResult(detail::WindowsPathOfHost(linuxPath ? linuxPath : ""), out, capacity);
}

bool NameOnDisk(const char* listedText, char* out, int capacity) {
  std::string text = listedText ? listedText : "", shown;
  for (size_t i = 0; i < text.size(); ++i) {
    std::string one;
    DWORD error;
    // An escape pair that maps back is shown as its byte; anything else as it is.
    if (static_cast<unsigned char>(text[i]) == detail::kNameEscape && i + 1 < text.size() &&
        detail::PosixName(text.substr(i, 2), &one, &error)) {
      shown += one;
      ++i;
    } else {
      shown += text[i];
    }
  }
  return CopyResult(shown, out, capacity);
}

}  // namespace platform::testing
