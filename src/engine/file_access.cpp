#include "file_access.h"

#include <cstring>

#include "host/messages.h"
#include "prompts.h"
#include "settings/settings.h"

namespace {

constexpr size_t kPathSize = 512;
constexpr DWORD kSecurityBufferSize = 16384;
constexpr DWORD kOwnerGroupDacl =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
// GetCurrentProcess()'s pseudo handle.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

typedef BOOL(WINAPI* EncryptFileFunction)(LPCSTR path);
typedef BOOL(WINAPI* DecryptFileFunction)(LPCSTR path, DWORD reserved);
typedef BOOL(WINAPI* OpenProcessTokenFunction)(HANDLE process, DWORD access, PHANDLE token);
typedef BOOL(WINAPI* LookupPrivilegeValueFunction)(LPCSTR system, LPCSTR name, PLUID luid);
typedef BOOL(WINAPI* AdjustTokenPrivilegesFunction)(HANDLE token, BOOL disableAll,
                                                    PTOKEN_PRIVILEGES state, DWORD bufferLength,
                                                    PTOKEN_PRIVILEGES previous,
                                                    LPDWORD returnLength);
typedef BOOL(WINAPI* GetFileSecurityFunction)(LPCSTR path, SECURITY_INFORMATION parts,
                                              PSECURITY_DESCRIPTOR descriptor, DWORD length,
                                              LPDWORD needed);
typedef BOOL(WINAPI* SetFileSecurityFunction)(LPCSTR path, SECURITY_INFORMATION parts,
                                              PSECURITY_DESCRIPTOR descriptor);

// The optional advapi32 functions; null where the system lacks one.
EncryptFileFunction EncryptFileProc;
DecryptFileFunction DecryptFileProc;
OpenProcessTokenFunction OpenProcessTokenProc;
LookupPrivilegeValueFunction LookupPrivilegeValueProc;
AdjustTokenPrivilegesFunction AdjustTokenPrivilegesProc;
GetFileSecurityFunction GetFileSecurityProc;
SetFileSecurityFunction SetFileSecurityProc;

// Set once the security privilege has been asked for; never cleared. Only
// one thread at a time copies security, so a plain flag does.
int SecurityPrivilegeEnabled;

template <typename F>
F Lookup(HMODULE module, const char* name) {
  FARPROC found = module ? platform::GetProcAddress(module, name) : nullptr;
  // Through void (*)(), the one function type any other converts to quietly.
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(found));
}

// The audit list can be read and written only with this privilege held.
void EnableSecurityPrivilege() {
  if (!OpenProcessTokenProc || !LookupPrivilegeValueProc || !AdjustTokenPrivilegesProc) return;
  HANDLE token = nullptr;
  if (!OpenProcessTokenProc(kCurrentProcess, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (LookupPrivilegeValueProc(nullptr, "SeSecurityPrivilege", &privileges.Privileges[0].Luid))
    AdjustTokenPrivilegesProc(token, FALSE, &privileges, 0, nullptr, nullptr);
  platform::CloseHandle(token);
}

}  // namespace

HANDLE OpenForCopy(const char* path, int mode, DWORD attributes) {
  if (mode == OpenRead)
    return platform::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 attributes | FILE_FLAG_NO_BUFFERING, nullptr);

  // Normal first, so that a read-only, hidden or system file can be
  // replaced; nothing there, or none of these, needs no change.
  constexpr DWORD kBlocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  DWORD previous = platform::GetFileAttributesA(path);
  bool normalised = previous != INVALID_FILE_ATTRIBUTES && (previous & kBlocking) != 0;
  if (normalised) platform::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  HANDLE file =
      platform::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            mode == OpenAppend ? OPEN_ALWAYS : CREATE_ALWAYS, attributes, nullptr);
  if (file != INVALID_HANDLE_VALUE && mode == OpenAppend) {
    // Writing from 0 would overwrite what the file holds: no end, no file.
    LONG high = 0;
    platform::SetLastError(ERROR_SUCCESS);  // an end of 0xFFFFFFFF is no failure
    if (platform::SetFilePointer(file, 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
        platform::GetLastError() != ERROR_SUCCESS) {
      DWORD error = platform::GetLastError();
      platform::CloseHandle(file);
      platform::SetLastError(error);
      file = INVALID_HANDLE_VALUE;
    }
  }
  if (file != INVALID_HANDLE_VALUE) {
    platform::SetFileAttributesA(path, attributes);
    return file;
  }
  // A file that was not replaced keeps its own attributes, and the caller's
  // box tells why the open failed.
  DWORD error = platform::GetLastError();
  if (normalised) platform::SetFileAttributesA(path, previous);
  platform::SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

int32_t ReadBlock(HANDLE file, void* buffer, DWORD count) {
  DWORD done = 0;
  if (!platform::ReadFile(file, buffer, count, &done, nullptr)) return -1;
  return static_cast<int32_t>(done);
}

int32_t WriteBlock(HANDLE file, const void* buffer, DWORD count) {
  DWORD done = 0;
  if (!platform::WriteFile(file, buffer, count, &done, nullptr)) return -1;
  return static_cast<int32_t>(done);
}

int RemoveFile(const char* path) {
  DWORD attributes = platform::GetFileAttributesA(path);
  platform::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if (platform::DeleteFileA(path)) return 1;
  DWORD error = platform::GetLastError();
  if (attributes != INVALID_FILE_ATTRIBUTES) platform::SetFileAttributesA(path, attributes);
  platform::SetLastError(error);
  return 0;
}

void SetCompressionState(HANDLE file, int mode) {
  WORD format = mode != 0 ? COMPRESSION_FORMAT_DEFAULT : COMPRESSION_FORMAT_NONE;
  DWORD returned = 0;
  if (!platform::DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0,
                                 &returned, nullptr))
    ShowErrorBox(Msg(MsgCompressionFailed));
}

void SetEncryptionState(const char* path, int encrypt) {
  if (!Settings.IsNT5) return;
  if (encrypt ? !EncryptFileProc : !DecryptFileProc) return;
  // The conversion keeps the length, so a path that fits converts into the
  // buffer; a longer one is refused rather than written past its end.
  char ansiPath[kPathSize];
  BOOL done = FALSE;
  if (std::strlen(path) >= sizeof ansiPath) {
    platform::SetLastError(ERROR_FILENAME_EXCED_RANGE);
  } else {
    platform::OemToCharA(path, ansiPath);
    done = encrypt ? EncryptFileProc(ansiPath) : DecryptFileProc(ansiPath, 0);
  }
  if (!done) ShowFileErrorBox(Msg(MsgEncryptionFailed), path);
}

void CopySecurity(const char* source, const char* destination) {
  if (!SecurityPrivilegeEnabled) {
    EnableSecurityPrivilege();
    SecurityPrivilegeEnabled = 1;
  }
  CopySecurityPart(source, destination, kOwnerGroupDacl);
  CopySecurityPart(source, destination, SACL_SECURITY_INFORMATION);
}

void CopySecurityPart(const char* source, const char* destination, DWORD parts) {
  if (!GetFileSecurityProc || !SetFileSecurityProc) return;
  alignas(8) BYTE descriptor[kSecurityBufferSize];
  DWORD needed = 0;
  if (GetFileSecurityProc(source, parts, descriptor, sizeof descriptor, &needed))
    SetFileSecurityProc(destination, parts, descriptor);
}

void LoadOptionalFunctions() {
  HMODULE advapi = platform::GetModuleHandleA("advapi32.dll");
  EncryptFileProc = Lookup<EncryptFileFunction>(advapi, "EncryptFileA");
  DecryptFileProc = Lookup<DecryptFileFunction>(advapi, "DecryptFileA");
  OpenProcessTokenProc = Lookup<OpenProcessTokenFunction>(advapi, "OpenProcessToken");
  LookupPrivilegeValueProc = Lookup<LookupPrivilegeValueFunction>(advapi, "LookupPrivilegeValueA");
  AdjustTokenPrivilegesProc =
      Lookup<AdjustTokenPrivilegesFunction>(advapi, "AdjustTokenPrivileges");
  GetFileSecurityProc = Lookup<GetFileSecurityFunction>(advapi, "GetFileSecurityA");
  SetFileSecurityProc = Lookup<SetFileSecurityFunction>(advapi, "SetFileSecurityA");
}
