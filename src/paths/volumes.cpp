#include <cstring>

#include "common/text.h"
#include "paths.h"
#include "platform/platform.h"

namespace {

// Caps of the volume whose root `root` names, or -1 when it names none.
int RootCaps(const char* root) {
  DWORD maxComponent = 0, flags = 0;
  char fileSystem[32];
  if (!platform::GetVolumeInformationA(root, nullptr, 0, nullptr, &maxComponent, &flags,
                                       fileSystem, sizeof fileSystem))
    return -1;
  struct Bit {
    DWORD flag;
    int cap;
  };
  static constexpr Bit kBits[] = {
      {FILE_FILE_COMPRESSION, CapsCompression}, {FILE_SUPPORTS_ENCRYPTION, CapsEncryption},
      {FILE_PERSISTENT_ACLS, CapsAccessRights}, {FILE_NAMED_STREAMS, CapsNamedStreams},
      {FILE_READ_ONLY_VOLUME, CapsReadOnly},    {FILE_UNICODE_ON_DISK, CapsUnicode},
  };
  int caps = 0;
  for (const Bit& bit : kBits)
    if (flags & bit.flag) caps |= bit.cap;
  if (platform::GetDriveTypeA(root) == DRIVE_CDROM) caps |= CapsCdRom;
  return caps;
}

// Where the share root of a UNC path ends (its backslash after the share
// name, or the end); 0 for other paths. Shorter prefixes such as "\\" or
// "\" would name the current drive, not the unreachable share.
size_t ShareRootEnd(const char* path, size_t length) {
  if (path[0] != '\\' || path[1] != '\\') return 0;
  size_t server = 2 + std::strcspn(path + 2, "\\");
  if (server >= length) return length;
  return server + 1 + std::strcspn(path + server + 1, "\\");
}

// The last folder EntryVolumeCaps examined ("" for none) and its answer.
char RememberedFolder[512];
int RememberedCaps;

UINT DriveTypeOf(const char* path) {
  if (!platform::SetCurrentDirectoryA(path)) return DRIVE_UNKNOWN;
  return platform::GetDriveTypeA(nullptr);
}

}  // namespace

int GetVolumeCaps(const char* path) {
  char work[512];
  if (!CopyText(work, sizeof work, path)) return -1;
  size_t length = std::strlen(work);
  size_t shortestRoot = ShareRootEnd(work, length);
  bool inFolder = false;
  for (size_t i = length + 1; i-- > 0;) {
    char c = work[i];
    if ((c == '*' || c == '?') && inFolder) return -1;
    if (c == '|' || c == '<' || c == '>') return -1;
    if (c == ':' && i != 1 && inFolder) return -1;
    if (c != 0 && c != '\\') continue;
    if (i < shortestRoot) return -1;
    if (c == '\\') {
      work[i + 1] = 0;
      inFolder = true;
    }
    int caps = RootCaps(work);
    if (caps >= 0) return caps;
  }
  return -1;
}

int EntryVolumeCaps(const char* path) {
  const char* slash = std::strrchr(path, '\\');
  // Names with "|<>" are refused by GetVolumeCaps whatever their folder.
  if (slash == nullptr || slash[1] == 0 || std::strpbrk(slash + 1, "|<>") != nullptr)
    return GetVolumeCaps(path);
  size_t length = static_cast<size_t>(slash + 1 - path);
  if (length >= sizeof RememberedFolder) return GetVolumeCaps(path);
  if (std::strncmp(RememberedFolder, path, length) != 0 || RememberedFolder[length] != 0) {
    std::memcpy(RememberedFolder, path, length);
    RememberedFolder[length] = 0;
    RememberedCaps = GetVolumeCaps(RememberedFolder);
  }
  return RememberedCaps;
}

void ForgetVolumeCaps() { RememberedFolder[0] = 0; }

int DriveRelation(const char* pathA, const char* pathB) {
  char a[512], b[512], saved[512];
  if (!ResolveSubst(pathA, a) || !ResolveSubst(pathB, b)) return -1;
  DWORD savedLength = platform::GetCurrentDirectoryA(sizeof saved, saved);
  if (savedLength == 0 || savedLength >= sizeof saved) return -1;  // could not be put back

  // Each side from the saved directory, so that a relative B is not read
  // against A.
  UINT typeA = DriveTypeOf(a);
  platform::SetCurrentDirectoryA(saved);
  UINT typeB = typeA == DRIVE_UNKNOWN ? DRIVE_UNKNOWN : DriveTypeOf(b);
  platform::SetCurrentDirectoryA(saved);

  if (typeA == DRIVE_UNKNOWN || typeA == DRIVE_NO_ROOT_DIR || typeB == DRIVE_UNKNOWN ||
      typeB == DRIVE_NO_ROOT_DIR)
    return -1;
  if (typeA != typeB) return 1;

  char nameA[512], nameB[512];
  if (typeA == DRIVE_FIXED) {
    if (!DiskGroupName(a, nameA) || !DiskGroupName(b, nameB)) return -1;
    return CompareNamesOem(nameA, nameB) != 0;
  }
  if (typeA == DRIVE_REMOTE) {
    if (!NetworkServerName(a, nameA) || !NetworkServerName(b, nameB)) return -1;
    return CompareNamesOem(nameA, nameB) != 0;
  }
  return -1;
}
