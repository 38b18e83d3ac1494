// Time and sound: forwarders to kernel32, and the PC speaker's ports for
// the Windows 95/98/Me family.
#include "../common/layer.h"

namespace platform {

DWORD GetTickCount() {
  DWORD ticks;
  if (detail::TickOverride(&ticks)) return ticks;
  return ::GetTickCount();
}

void Sleep(DWORD milliseconds) {
  if (detail::RecordPause(milliseconds)) return;
  ::Sleep(milliseconds);
}

BOOL Beep(DWORD frequency, DWORD duration) {
  DWORD error;
  if (detail::Fault("Beep", nullptr, &error)) {
    ::SetLastError(error);
    return FALSE;
  }
  if (detail::RecordTone(frequency, duration)) return TRUE;
  return ::Beep(frequency, duration);
}

// Port I/O is privileged on the NT family; callers come here only on 9x,
// where user code may reach the speaker.
BYTE PortIn(WORD port) {
  BYTE value = 0;
  if (detail::RecordPortRead(port, &value)) return value;
#if defined(__i386__) || defined(__x86_64__)
  __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(port));
#endif
  return value;
}

void PortOut(WORD port, BYTE value) {
  if (detail::RecordPortWrite(port, value)) return;
#if defined(__i386__) || defined(__x86_64__)
  __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(port));
#endif
}

}  // namespace platform
