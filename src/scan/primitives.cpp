#include "primitives.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/text.h"
#include "paths/paths.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace {

constexpr size_t kPathSize = 512;
constexpr int kTempNameLength = 12;  // "%8.8x.%3.3x"

bool Fail(DWORD error) {
  platform::SetLastError(error);
  return false;
}

// The 9x family's move cannot replace: the target goes aside under a
// temporary name and comes back when the second rename fails, so a replace
// either completes or leaves both files as they were.
bool MoveOrRename9x(const char* existing, const char* newName, bool replace) {
  char rootA[kPathSize], rootB[kPathSize];
  if (!PathRoot(existing, rootA) || !PathRoot(newName, rootB)) return Fail(ERROR_PATH_NOT_FOUND);
  if (CompareNamesOem(rootA, rootB) != 0) return Fail(ERROR_NOT_SAME_DEVICE);

  char from[kPathSize], to[kPathSize];
  if (!ResolveSubst(existing, from) || !ResolveSubst(newName, to))
    return Fail(ERROR_FILENAME_EXCED_RANGE);
  if (CompareFileNames(from, to) == 0) {
    if (std::strcmp(from, to) == 0) return true;  // the same object: nothing to do
    return platform::MoveFileA(from, to) != FALSE;  // a change of case only
  }

  DWORD fromAttributes = platform::GetFileAttributesA(from);
  if (fromAttributes == INVALID_FILE_ATTRIBUTES) return Fail(ERROR_FILE_NOT_FOUND);
  DWORD toAttributes = platform::GetFileAttributesA(to);
  if (toAttributes == INVALID_FILE_ATTRIBUTES) return platform::MoveFileA(from, to) != FALSE;
  if ((fromAttributes | toAttributes) & FILE_ATTRIBUTE_DIRECTORY) return Fail(ERROR_ACCESS_DENIED);
  if (!replace) return Fail(ERROR_ALREADY_EXISTS);
  // As the NT family's replace: a read-only target is refused. Renamed aside
  // it could not be deleted, and would stay behind under the temporary name.
  if (toAttributes & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);

  char temporary[kPathSize];
  if (!MakeTempName(to, temporary)) return Fail(ERROR_FILENAME_EXCED_RANGE);
  if (!platform::MoveFileA(to, temporary)) return false;
  if (platform::MoveFileA(from, to)) {
    platform::DeleteFileA(temporary);  // the move is done even if this fails
    return true;
  }
  DWORD error = platform::GetLastError();
  platform::MoveFileA(temporary, to);
  platform::SetLastError(error);
  return false;
}

}  // namespace

bool MoveOrRename(const char* existing, const char* newName, bool replace) {
  CreateParentDirectories(newName);
  if (!Settings.IsNT) return MoveOrRename9x(existing, newName, replace);
  // Without MOVEFILE_COPY_ALLOWED a move to another volume fails, and the
  // caller copies instead.
  return platform::MoveFileExA(existing, newName, replace ? MOVEFILE_REPLACE_EXISTING : 0) != FALSE;
}

int PathRoot(const char* path, char* out) {
  out[0] = 0;
  char resolved[kPathSize];
  if (!ResolveSubst(path, resolved)) return 0;

  size_t length = std::strlen(resolved);
  if (length >= 2 && resolved[1] == ':') {
    std::memcpy(out, resolved, 2);
    out[2] = 0;
    return 1;
  }
  if (resolved[0] != '\\' || resolved[1] != '\\') return 0;

  const char* server = resolved;
  while (*server == '\\') ++server;
  const char* serverEnd = std::strchr(server, '\\');
  if (serverEnd == nullptr || serverEnd == server) return 0;
  const char* share = serverEnd + 1;
  const char* shareEnd = std::strchr(share, '\\');
  if (shareEnd == nullptr || shareEnd == share) return 0;

  // Always two leading backslashes, so that equal shares give equal roots.
  int written = std::snprintf(out, kPathSize, "\\\\%.*s", static_cast<int>(shareEnd - server),
                              server);
  if (written < 0 || static_cast<size_t>(written) >= kPathSize) {
    out[0] = 0;
    return 0;
  }
  return 1;
}

int MakeTempName(const char* path, char* out) {
  out[0] = 0;
  const char* slash = std::strrchr(path, '\\');
  size_t keep = 0;
  if (slash != nullptr)
    keep = static_cast<size_t>(slash - path) + 1;
  else if (path[0] != 0 && path[1] == ':')
    keep = 2;  // "D:name": the name stays on its drive
  if (keep + kTempNameLength >= kPathSize) return 0;

  std::srand(static_cast<unsigned>(std::time(nullptr)));
  // Unsigned, so that the product wraps as a 32-bit value.
  uint32_t product = static_cast<uint32_t>(std::rand());
  product *= static_cast<uint32_t>(std::rand());
  product *= static_cast<uint32_t>(std::rand());
  char fourth[16];
  std::snprintf(fourth, sizeof fourth, "%3.3x", static_cast<unsigned>(std::rand()));

  std::memcpy(out, path, keep);
  std::snprintf(out + keep, kPathSize - keep, "%8.8x.%.3s", static_cast<unsigned>(product),
                fourth);
  return 1;
}

int RemoveEmptyDirectory(const char* path) {
  DWORD attributes = platform::GetFileAttributesA(path);
  platform::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if (platform::RemoveDirectoryA(path)) return 1;
  DWORD error = platform::GetLastError();
  if (attributes != INVALID_FILE_ATTRIBUTES) platform::SetFileAttributesA(path, attributes);
  platform::SetLastError(error);
  return 0;
}

uint64_t FileSize64(HANDLE file) {
  DWORD high = 0;
  platform::SetLastError(ERROR_SUCCESS);
  DWORD low = platform::GetFileSize(file, &high);
  // All ones in the low half is a real size unless the call set an error.
  if (low == INVALID_FILE_SIZE && platform::GetLastError() != ERROR_SUCCESS) return UINT64_MAX;
  return (static_cast<uint64_t>(high) << 32) | low;
}
