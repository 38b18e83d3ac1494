#include <cstring>

#include "common/text.h"
#include "paths.h"
#include "platform/platform.h"

namespace {

constexpr const char* kSubstPrefix = "\\??\\";
constexpr const char* kRedirectorPrefix = "\\Device\\LanmanRedirector\\";
constexpr const char* kDynamicPrefix = "\\Device\\HarddiskDmVolumes\\";

// 26 letters: a longer chain of substitutions must come round to a letter
// already passed, and would never end.
constexpr int kMaxSubstSteps = 26;

// Copies `length` characters of `text` into out[512]; refused (out empty)
// when they do not fit.
bool CopySpan(char* out, const char* text, size_t length) {
  if (length >= 512) {
    out[0] = 0;
    return false;
  }
  std::memcpy(out, text, length);
  out[length] = 0;
  return true;
}

// The device behind the drive letter of `path` ("D:"), in device[512].
bool QueryDrive(const char* path, char* device) {
  char drive[3] = {path[0], ':', 0};
  if (!platform::QueryDosDeviceA(drive, device, 512)) return false;
  device[511] = 0;
  return true;
}

bool HasDrive(const char* path) { return path[0] && path[1] == ':'; }

// Both names converted from OEM to ANSI, then compared by `compare`.
int CompareConverted(const char* a, const char* b, int (*compare)(LPCSTR, LPCSTR)) {
  char ansiA[512], ansiB[512];
  if (strnlen(a, sizeof ansiA) == sizeof ansiA || strnlen(b, sizeof ansiB) == sizeof ansiB) {
    // No room to convert: only the very same text counts as the same name.
    int d = std::strcmp(a, b);
    return (d > 0) - (d < 0);
  }
  platform::OemToCharA(a, ansiA);
  platform::OemToCharA(b, ansiB);
  int d = compare(ansiA, ansiB);
  return (d > 0) - (d < 0);
}

// The identity of the object at `path`; false when it cannot be opened.
bool IdentityOf(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = platform::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool known = platform::GetFileInformationByHandle(file, info) != FALSE;
  platform::CloseHandle(file);
  return known;
}

}  // namespace

int CompareNamesOem(const char* a, const char* b) {
  return CompareConverted(a, b, platform::lstrcmpiA);
}

int CompareFileNames(const char* a, const char* b) {
  return CompareConverted(a, b, platform::CompareFileNamesA);
}

int SameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  // The last error of a failed probe is no one's business.
  DWORD error = platform::GetLastError();
  // The destination first: it is mostly not there, and that settles it.
  bool same = IdentityOf(b, &second) && IdentityOf(a, &first) &&
              first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
              first.nFileIndexHigh == second.nFileIndexHigh &&
              first.nFileIndexLow == second.nFileIndexLow;
  platform::SetLastError(error);
  return same ? 1 : 0;
}

int ResolveSubst(const char* path, char* out) {
  char work[512];
  if (!CopyText(work, sizeof work, path)) {
    out[0] = 0;
    return 0;
  }
  for (int steps = 0; HasDrive(work); ++steps) {
    char device[512];
    if (!QueryDrive(work, device)) break;
    if (std::strncmp(device, kSubstPrefix, 4) != 0) break;
    if (steps == kMaxSubstSteps) {
      out[0] = 0;
      return 0;
    }
    const char* target = device + 4;
    char next[512] = "";
    // A substituted share reads "\??\UNC\server\share".
    if (CompareNoCaseN(target, "UNC\\", 4) == 0) {
      target += 4;
      CopyText(next, sizeof next, "\\\\");
    }
    // "S:x" has no backslash to drop: x stays.
    const char* rest = work + 2;
    if (*rest == '\\') ++rest;
    size_t targetLength = std::strlen(target);
    bool fits = AppendText(next, sizeof next, target);
    if (fits && (targetLength == 0 || target[targetLength - 1] != '\\'))
      fits = AppendText(next, sizeof next, "\\");
    if (!fits || !AppendText(next, sizeof next, rest)) {
      out[0] = 0;
      return 0;
    }
    CopyText(work, sizeof work, next);
  }
  std::memcpy(out, work, std::strlen(work) + 1);
  return 1;
}

int NetworkServerName(const char* path, char* out) {
  out[0] = 0;
  if (!path[0] || !path[1]) return 0;
  if (path[0] == '\\' && path[1] == '\\') {
    const char* name = path + 2;
    size_t length = std::strcspn(name, "\\");
    return length > 0 && CopySpan(out, name, length);
  }
  if (path[1] != ':') return 0;
  char device[512];
  if (!QueryDrive(path, device)) return 0;
  char* semicolon = std::strchr(device, ';');
  if (!semicolon) return 0;
  *semicolon = 0;
  if (CompareNamesOem(device, kRedirectorPrefix) != 0) return 0;
  // ";D:0000000000012345\server\share"
  const char* name = std::strchr(semicolon + 1, '\\');
  if (!name) return 0;
  ++name;
  const char* end = std::strchr(name, '\\');
  if (!end || end == name) return 0;
  return CopySpan(out, name, static_cast<size_t>(end - name));
}

int DiskGroupName(const char* path, char* out) {
  out[0] = 0;
  if (!HasDrive(path)) return 0;
  char device[512];
  if (!QueryDrive(path, device)) return 0;
  size_t prefixLength = std::strlen(kDynamicPrefix);
  if (CompareNoCaseN(device, kDynamicPrefix, prefixLength) != 0) return 0;
  const char* name = device + prefixLength;
  const char* end = std::strchr(name, '\\');
  if (!end || end == name) return 0;
  return CopySpan(out, name, static_cast<size_t>(end - name));
}
