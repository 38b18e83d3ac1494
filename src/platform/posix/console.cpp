// Console calls on Linux: always the virtual console.
#include "../common/layer.h"

namespace platform {

namespace {
// Shared prologue: an armed fault or a handle that is not the console's.
bool Refused(const char* operation, HANDLE handle) {
  DWORD error;
  if (detail::Fault(operation, nullptr, &error)) {
    SetLastError(error);
    return true;
  }
  if (!detail::IsVirtualHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return true;
  }
  return false;
}
}  // namespace

HANDLE GetStdHandle(DWORD which) { return detail::VirtualStdHandle(which); }

BOOL PeekConsoleInputA(HANDLE input, INPUT_RECORD* buffer, DWORD length, LPDWORD read) {
  if (Refused("PeekConsoleInputA", input)) return FALSE;
  return detail::VirtualPeekInput(buffer, length, read);
}

BOOL ReadConsoleInputA(HANDLE input, INPUT_RECORD* buffer, DWORD length, LPDWORD read) {
  if (Refused("ReadConsoleInputA", input)) return FALSE;
  return detail::VirtualReadInput(buffer, length, read);
}

BOOL WriteConsoleInputA(HANDLE input, const INPUT_RECORD* buffer, DWORD length, LPDWORD written) {
  if (Refused("WriteConsoleInputA", input)) return FALSE;
  return detail::VirtualWriteInput(buffer, length, written);
}

BOOL GetConsoleScreenBufferInfo(HANDLE output, CONSOLE_SCREEN_BUFFER_INFO* info) {
  if (Refused("GetConsoleScreenBufferInfo", output)) return FALSE;
  return detail::VirtualScreenInfo(info);
}

}  // namespace platform

namespace platform::testing {
void UseVirtualConsole(bool) {}
}  // namespace platform::testing

namespace platform {

BOOL ReadConsoleOutputAttribute(HANDLE output, WORD* attributes, DWORD length, COORD start,
                                LPDWORD done) {
  if (Refused("ReadConsoleOutputAttribute", output)) return FALSE;
  return detail::VirtualReadAttributes(attributes, length, start, done);
}

BOOL WriteConsoleOutputAttribute(HANDLE output, const WORD* attributes, DWORD length, COORD start,
                                 LPDWORD done) {
  if (Refused("WriteConsoleOutputAttribute", output)) return FALSE;
  return detail::VirtualWriteAttributes(attributes, length, start, done);
}

BOOL SetConsoleTitleA(LPCSTR title) {
  DWORD error;
  if (detail::Fault("SetConsoleTitleA", title, &error)) {
    SetLastError(error);
    return FALSE;
  }
  return detail::VirtualSetTitle(title);
}

}  // namespace platform
