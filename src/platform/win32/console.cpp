// Console: forwarders to kernel32, or the virtual console when a test asks.
#include "../common/layer.h"
#include "../testing.h"

namespace platform {
namespace {
std::atomic<bool> g_virtual{false};

bool Faulted(const char* operation) {
  DWORD error;
  if (!detail::Fault(operation, nullptr, &error)) return false;
  ::SetLastError(error);
  return true;
}
}  // namespace

HANDLE GetStdHandle(DWORD which) {
  return g_virtual ? detail::VirtualStdHandle(which) : ::GetStdHandle(which);
}

BOOL PeekConsoleInputA(HANDLE input, INPUT_RECORD* buffer, DWORD length, LPDWORD read) {
  if (Faulted("PeekConsoleInputA")) return FALSE;
  if (detail::IsVirtualHandle(input)) return detail::VirtualPeekInput(buffer, length, read);
  return ::PeekConsoleInputA(input, buffer, length, read);
}

BOOL ReadConsoleInputA(HANDLE input, INPUT_RECORD* buffer, DWORD length, LPDWORD read) {
  if (Faulted("ReadConsoleInputA")) return FALSE;
  if (detail::IsVirtualHandle(input)) return detail::VirtualReadInput(buffer, length, read);
  return ::ReadConsoleInputA(input, buffer, length, read);
}

BOOL WriteConsoleInputA(HANDLE input, const INPUT_RECORD* buffer, DWORD length, LPDWORD written) {
  if (Faulted("WriteConsoleInputA")) return FALSE;
  if (detail::IsVirtualHandle(input)) return detail::VirtualWriteInput(buffer, length, written);
  return ::WriteConsoleInputA(input, buffer, length, written);
}

BOOL GetConsoleScreenBufferInfo(HANDLE output, CONSOLE_SCREEN_BUFFER_INFO* info) {
  if (Faulted("GetConsoleScreenBufferInfo")) return FALSE;
  if (detail::IsVirtualHandle(output)) return detail::VirtualScreenInfo(info);
  return ::GetConsoleScreenBufferInfo(output, info);
}

BOOL ReadConsoleOutputAttribute(HANDLE output, WORD* attributes, DWORD length, COORD start,
                                LPDWORD done) {
  if (Faulted("ReadConsoleOutputAttribute")) return FALSE;
  if (detail::IsVirtualHandle(output))
    return detail::VirtualReadAttributes(attributes, length, start, done);
  return ::ReadConsoleOutputAttribute(output, attributes, length, start, done);
}

BOOL WriteConsoleOutputAttribute(HANDLE output, const WORD* attributes, DWORD length, COORD start,
                                 LPDWORD done) {
  if (Faulted("WriteConsoleOutputAttribute")) return FALSE;
  if (detail::IsVirtualHandle(output))
    return detail::VirtualWriteAttributes(attributes, length, start, done);
  return ::WriteConsoleOutputAttribute(output, attributes, length, start, done);
}

BOOL SetConsoleTitleA(LPCSTR title) {
  if (Faulted("SetConsoleTitleA")) return FALSE;
  if (g_virtual) return detail::VirtualSetTitle(title);
  return ::SetConsoleTitleA(title);
}

}  // namespace platform

namespace platform::testing {
void UseVirtualConsole(bool on) { g_virtual = on; }
}  // namespace platform::testing
