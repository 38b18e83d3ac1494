// Events: forwarders to kernel32, counted for the leak checks (CloseHandle
// is with the file calls, which know a handle's path).
#include "../common/layer.h"

namespace platform {

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                    LPCSTR name) {
  DWORD error;
  if (detail::Fault("CreateEventA", name, &error)) {
    ::SetLastError(error);
    return nullptr;
  }
  HANDLE event = ::CreateEventA(security, manualReset, initialState, name);
  if (event) detail::HandleOpened();
  return event;
}

BOOL SetEvent(HANDLE event) { return ::SetEvent(event); }
BOOL ResetEvent(HANDLE event) { return ::ResetEvent(event); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}

}  // namespace platform
