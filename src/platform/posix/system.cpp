// Last error, version and process heap on Linux.
#include <cstdlib>
#include <cstring>

#include "../common/layer.h"

namespace platform {

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
// Any non-null value: the process heap is malloc's.
HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7E0));
}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  DWORD error;
  if (detail::Fault("GetVersionExA", nullptr, &error)) {
    SetLastError(error);
    return FALSE;
  }
  if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!detail::VersionOverride(info)) {
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    info->szCSDVersion[0] = 0;
  }
  return TRUE;
}

HANDLE GetProcessHeap() { return kProcessHeap; }

LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
  DWORD error;
  if (detail::Fault("HeapAlloc", nullptr, &error)) {
    SetLastError(error);
    return nullptr;
  }
  void* block = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1)
                                           : std::malloc(bytes ? bytes : 1);
  if (!block) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID block) {
  std::free(block);
  return TRUE;
}

}  // namespace platform
