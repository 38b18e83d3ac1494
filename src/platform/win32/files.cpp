// Files, paths, drives, volumes and texts: forwarders to kernel32/user32,
// with the fault table first.
#include "../common/layer.h"
#include "../testing.h"

namespace platform {
namespace {
bool Faulted(const char* operation, const char* path) {
  DWORD error;
  if (!detail::Fault(operation, path, &error)) return false;
  ::SetLastError(error);
  return true;
}
}  // namespace

DWORD GetFileAttributesA(LPCSTR path) {
  if (Faulted("GetFileAttributesA", path)) return INVALID_FILE_ATTRIBUTES;
  return ::GetFileAttributesA(path);
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
  if (Faulted("SetFileAttributesA", path)) return FALSE;
  return ::SetFileAttributesA(path, attributes);
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
  if (Faulted("CreateDirectoryA", path)) return FALSE;
  return ::CreateDirectoryA(path, security);
}

BOOL RemoveDirectoryA(LPCSTR path) {
  if (Faulted("RemoveDirectoryA", path)) return FALSE;
  return ::RemoveDirectoryA(path);
}

BOOL DeleteFileA(LPCSTR path) {
  if (Faulted("DeleteFileA", path)) return FALSE;
  return ::DeleteFileA(path);
}

BOOL MoveFileA(LPCSTR existing, LPCSTR newName) {
  if (Faulted("MoveFileA", existing)) return FALSE;
  return ::MoveFileA(existing, newName);
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  if (Faulted("MoveFileExA", existing)) return FALSE;
  return ::MoveFileExA(existing, newName, flags);
}

DWORD GetFullPathNameA(LPCSTR path, DWORD bufferLength, LPSTR buffer, LPSTR* filePart) {
  if (Faulted("GetFullPathNameA", path)) return 0;
  return ::GetFullPathNameA(path, bufferLength, buffer, filePart);
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
  if (Faulted("GetCurrentDirectoryA", nullptr)) return 0;
  return ::GetCurrentDirectoryA(bufferLength, buffer);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
  if (Faulted("SetCurrentDirectoryA", path)) return FALSE;
  return ::SetCurrentDirectoryA(path);
}

DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
  if (Faulted("ExpandEnvironmentStringsA", source)) return 0;
  return ::ExpandEnvironmentStringsA(source, destination, size);
}

DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR target, DWORD size) {
  if (Faulted("QueryDosDeviceA", deviceName)) return 0;
  return ::QueryDosDeviceA(deviceName, target, size);
}

UINT GetDriveTypeA(LPCSTR root) {
  if (Faulted("GetDriveTypeA", root)) return DRIVE_UNKNOWN;
  return ::GetDriveTypeA(root);
}

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
  if (Faulted("GetVolumeInformationA", root)) return FALSE;
  return ::GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber,
                                 maxComponentLength, fileSystemFlags, fileSystemName,
                                 fileSystemNameSize);
}

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, va_list* arguments) {
  if (Faulted("FormatMessageA", nullptr)) return 0;
  return ::FormatMessageA(flags, source, messageId, languageId, buffer, size, arguments);
}

BOOL OemToCharA(LPCSTR source, LPSTR destination) { return ::OemToCharA(source, destination); }

BOOL CharToOemBuffA(LPCSTR source, LPSTR destination, DWORD length) {
  return ::CharToOemBuffA(source, destination, length);
}

int lstrcmpiA(LPCSTR a, LPCSTR b) { return ::lstrcmpiA(a, b); }

int CompareFileNamesA(LPCSTR a, LPCSTR b) { return ::lstrcmpiA(a, b); }

BOOL CopySymbolicLinkA(LPCSTR existing, LPCSTR) {
  if (Faulted("CopySymbolicLinkA", existing)) return FALSE;
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                        WCHAR* destination, int destinationSize) {
  if (Faulted("MultiByteToWideChar", nullptr)) return 0;
  return ::MultiByteToWideChar(codePage, flags, source, sourceLength, destination,
                               destinationSize);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* source, int sourceLength,
                        LPSTR destination, int destinationSize, LPCSTR defaultChar,
                        BOOL* usedDefaultChar) {
  if (Faulted("WideCharToMultiByte", nullptr)) return 0;
  return ::WideCharToMultiByte(codePage, flags, source, sourceLength, destination,
                               destinationSize, defaultChar, usedDefaultChar);
}

}  // namespace platform

namespace platform::testing {

// Windows has its real drives: nothing to map.
bool MapDrive(char, DriveKind, const char*, const char*) { return false; }
void UnmapDrive(char) {}
void ResetDrives() {}

namespace {
bool CopyAsIs(const char* text, char* out, int capacity) {
  int n = 0;
  for (; text[n] && n < capacity - 1; ++n) out[n] = text[n];
  if (capacity > 0) out[text[n] ? 0 : n] = 0;
  return capacity > 0 && !text[n];
}
}  // namespace

bool WindowsPathOf(const char* linuxPath, char* out, int capacity) {
  return CopyAsIs(linuxPath, out, capacity);
}
bool NameOnDisk(const char* listedText, char* out, int capacity) {
  return CopyAsIs(listedText, out, capacity);
}

bool HostPath(const char* windowsPath, char* out, int capacity) {
  int n = 0;
  for (; windowsPath[n] && n < capacity - 1; ++n) out[n] = windowsPath[n];
  if (capacity > 0) out[n] = 0;
  return windowsPath[n] == 0;
}

}  // namespace platform::testing
