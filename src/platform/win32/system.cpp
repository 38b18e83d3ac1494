// Last error, version and process heap: forwarders to kernel32.
#include "../common/layer.h"

namespace platform {

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD code) { ::SetLastError(code); }

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  DWORD error;
  if (detail::Fault("GetVersionExA", nullptr, &error)) {
    ::SetLastError(error);
    return FALSE;
  }
  if (!::GetVersionExA(info)) return FALSE;
  detail::VersionOverride(info);
  return TRUE;
}

HANDLE GetProcessHeap() { return ::GetProcessHeap(); }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  DWORD error;
  if (detail::Fault("HeapAlloc", nullptr, &error)) {
    ::SetLastError(error);
    return nullptr;
  }
  LPVOID block = ::HeapAlloc(heap, flags, bytes);
  if (!block) ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block) {
  return block ? ::HeapFree(heap, flags, block) : TRUE;
}

}  // namespace platform
