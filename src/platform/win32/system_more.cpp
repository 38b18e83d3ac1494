// Memory, critical sections, threads, time, the temporary folder and the
// optional advapi32 functions: forwarders to the system. Heaps, threads and
// tokens are counted as handles for the leak checks.
#include <cstring>

#include "../common/layer.h"

namespace platform {
namespace {

BOOL Fail(DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

LPVOID NoMemory(DWORD error) {
  ::SetLastError(error);
  return nullptr;
}

// Through void (*)(), the one function type any other converts to quietly.
template <typename To, typename From>
To CastFunction(From function) {
  return reinterpret_cast<To>(reinterpret_cast<void (*)()>(function));
}

bool IsAdvapi(LPCSTR name) {
  return name && (::lstrcmpiA(name, "advapi32.dll") == 0 || ::lstrcmpiA(name, "advapi32") == 0);
}

HMODULE Advapi() { return ::GetModuleHandleA("advapi32.dll"); }

// The system's own function, or null where this system lacks it.
template <typename F>
F Real(const char* name) {
  HMODULE module = Advapi();
  return module ? CastFunction<F>(::GetProcAddress(module, name)) : nullptr;
}

// The layer's wrappers, handed out only where the system has the function.
BOOL WINAPI LayerEncryptFileA(LPCSTR path) {
  DWORD error;
  if (detail::Fault("EncryptFileA", path, &error)) return Fail(error);
  static const auto real = Real<decltype(&::EncryptFileA)>("EncryptFileA");
  return real(path);
}

BOOL WINAPI LayerDecryptFileA(LPCSTR path, DWORD reserved) {
  DWORD error;
  if (detail::Fault("DecryptFileA", path, &error)) return Fail(error);
  static const auto real = Real<decltype(&::DecryptFileA)>("DecryptFileA");
  return real(path, reserved);
}

BOOL WINAPI LayerGetFileSecurityA(LPCSTR path, SECURITY_INFORMATION wanted,
                                  PSECURITY_DESCRIPTOR descriptor, DWORD length, LPDWORD needed) {
  DWORD error;
  if (detail::Fault("GetFileSecurityA", path, &error)) return Fail(error);
  static const auto real = Real<decltype(&::GetFileSecurityA)>("GetFileSecurityA");
  return real(path, wanted, descriptor, length, needed);
}

BOOL WINAPI LayerSetFileSecurityA(LPCSTR path, SECURITY_INFORMATION wanted,
                                  PSECURITY_DESCRIPTOR descriptor) {
  DWORD error;
  if (detail::Fault("SetFileSecurityA", path, &error)) return Fail(error);
  static const auto real = Real<decltype(&::SetFileSecurityA)>("SetFileSecurityA");
  return real(path, wanted, descriptor);
}

BOOL WINAPI LayerOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  DWORD error;
  if (detail::Fault("OpenProcessToken", nullptr, &error)) return Fail(error);
  static const auto real = Real<decltype(&::OpenProcessToken)>("OpenProcessToken");
  BOOL ok = real(process, access, token);
  if (ok) detail::HandleOpened();  // closed through platform::CloseHandle
  return ok;
}

BOOL WINAPI LayerLookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
  DWORD error;
  if (detail::Fault("LookupPrivilegeValueA", name, &error)) return Fail(error);
  static const auto real = Real<decltype(&::LookupPrivilegeValueA)>("LookupPrivilegeValueA");
  return real(system, name, luid);
}

BOOL WINAPI LayerAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state,
                                       DWORD bufferLength, PTOKEN_PRIVILEGES previous,
                                       PDWORD returnLength) {
  DWORD error;
  if (detail::Fault("AdjustTokenPrivileges", nullptr, &error)) return Fail(error);
  static const auto real = Real<decltype(&::AdjustTokenPrivileges)>("AdjustTokenPrivileges");
  return real(token, disableAll, state, bufferLength, previous, returnLength);
}

struct Export {
  const char* name;
  FARPROC wrapper;
};

const Export kExports[] = {
    {"EncryptFileA", CastFunction<FARPROC>(&LayerEncryptFileA)},
    {"DecryptFileA", CastFunction<FARPROC>(&LayerDecryptFileA)},
    {"GetFileSecurityA", CastFunction<FARPROC>(&LayerGetFileSecurityA)},
    {"SetFileSecurityA", CastFunction<FARPROC>(&LayerSetFileSecurityA)},
    {"OpenProcessToken", CastFunction<FARPROC>(&LayerOpenProcessToken)},
    {"LookupPrivilegeValueA", CastFunction<FARPROC>(&LayerLookupPrivilegeValueA)},
    {"AdjustTokenPrivileges", CastFunction<FARPROC>(&LayerAdjustTokenPrivileges)},
};

}  // namespace

// ---- Memory ---------------------------------------------------------------

HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize) {
  DWORD error;
  if (detail::Fault("HeapCreate", nullptr, &error)) return NoMemory(error);
  HANDLE heap = ::HeapCreate(options, initialSize, maximumSize);
  if (heap) detail::HandleOpened();
  return heap;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
  DWORD error;
  if (detail::Fault("HeapReAlloc", nullptr, &error)) return NoMemory(error);
  if (!block) return NoMemory(ERROR_INVALID_PARAMETER);
  LPVOID moved = ::HeapReAlloc(heap, flags, block, bytes);
  if (!moved) ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return moved;
}

BOOL HeapDestroy(HANDLE heap) {
  // The process heap is never a caller's to destroy.
  if (!heap || heap == ::GetProcessHeap()) return Fail(ERROR_INVALID_HANDLE);
  BOOL ok = ::HeapDestroy(heap);
  if (ok) detail::HandleClosed();
  return ok;
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  DWORD error;
  if (detail::Fault("VirtualAlloc", nullptr, &error)) return NoMemory(error);
  return ::VirtualAlloc(address, size, type, protect);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  return ::VirtualFree(address, size, type);
}

void GlobalMemoryStatus(MEMORYSTATUS* status) { ::GlobalMemoryStatus(status); }

// ---- Critical sections and threads ----------------------------------------

void InitializeCriticalSection(CRITICAL_SECTION* section) { ::InitializeCriticalSection(section); }
void EnterCriticalSection(CRITICAL_SECTION* section) { ::EnterCriticalSection(section); }
void LeaveCriticalSection(CRITICAL_SECTION* section) {
  ::LeaveCriticalSection(section);
  detail::Hooks("LeaveCriticalSection");
}
void DeleteCriticalSection(CRITICAL_SECTION* section) { ::DeleteCriticalSection(section); }

HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId) {
  DWORD error;
  if (detail::Fault("CreateThread", nullptr, &error)) return NoMemory(error);
  if (!start) return NoMemory(ERROR_INVALID_PARAMETER);
  HANDLE thread = ::CreateThread(security, stackSize, start, parameter, flags, threadId);
  if (thread) detail::HandleOpened();
  return thread;
}

// ---- Time and the temporary folder ----------------------------------------

void GetSystemTimeAsFileTime(FILETIME* time) {
  if (detail::SystemTimeOverride(time)) return;
  ::GetSystemTimeAsFileTime(time);
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) { return ::CompareFileTime(a, b); }

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  DWORD error;
  if (detail::Fault("FileTimeToLocalFileTime", nullptr, &error)) return Fail(error);
  return ::FileTimeToLocalFileTime(utc, local);
}

BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* system) {
  DWORD error;
  if (detail::Fault("FileTimeToSystemTime", nullptr, &error)) return Fail(error);
  return ::FileTimeToSystemTime(time, system);
}

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
  DWORD error;
  if (detail::Fault("GetTempPathA", nullptr, &error)) return Fail(error);
  return ::GetTempPathA(bufferLength, buffer);
}

// ---- Optional advapi32 functions ------------------------------------------

HMODULE GetModuleHandleA(LPCSTR name) {
  DWORD error;
  if (detail::Fault("GetModuleHandleA", name, &error)) {
    ::SetLastError(error);
    return nullptr;
  }
  // Only the module the layer answers for, as on Linux.
  if (!IsAdvapi(name)) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return Advapi();
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  // A value below 64 Ki is an ordinal, not a name: never read through it.
  bool byName = reinterpret_cast<ULONG_PTR>(name) > 0xFFFF;
  DWORD error;
  if (detail::Fault("GetProcAddress", byName ? name : nullptr, &error)) {
    ::SetLastError(error);
    return nullptr;
  }
  if (!module || module != Advapi()) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  for (const Export& entry : kExports)
    if (byName && std::strcmp(entry.name, name) == 0 && Real<FARPROC>(entry.name))
      return entry.wrapper;
  ::SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

}  // namespace platform
