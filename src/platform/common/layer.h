// Pieces of the platform layer shared by its Linux and Windows halves:
// the fault table, the handle count, the version override and the virtual
// console. Internal to src/platform/.
#pragma once

#include <atomic>

#include "../platform.h"

namespace platform::detail {

// ---- Fault table ----------------------------------------------------------

// Set once tests start counting; shipped code pays one relaxed load per call.
extern std::atomic<bool> g_watching;

// One check per call. With `limit` null, transfer faults are not seen (only
// ReadFile and WriteFile move bytes).
bool CheckFaultSlow(const char* operation, const char* path, DWORD* error, DWORD* limit);

// True when an armed fault fires for this call; *error is what to report.
inline bool Fault(const char* operation, const char* path, DWORD* error) {
  return g_watching.load(std::memory_order_relaxed) &&
         CheckFaultSlow(operation, path, error, nullptr);
}

// For ReadFile and WriteFile: true when an armed fault fires. Then the call
// moves at most *limit bytes (0 for a plain fault) and afterwards fails
// with *error, or succeeds short when *error is ERROR_SUCCESS. A failure
// after some bytes behaves as a device error met mid-transfer: *done holds
// what moved and the file position is after it.
inline bool TransferFault(const char* operation, const char* path, DWORD* error, DWORD* limit) {
  return g_watching.load(std::memory_order_relaxed) &&
         CheckFaultSlow(operation, path, error, limit);
}

// Set while a test has a hook armed.
extern std::atomic<bool> g_hooked;
void RunHooksSlow(const char* operation);

// For calls that cannot fail and are not counted (LeaveCriticalSection):
// runs the hooks armed for exactly this operation, nothing else.
inline void Hooks(const char* operation) {
  if (g_hooked.load(std::memory_order_relaxed)) RunHooksSlow(operation);
}

// ---- Handles --------------------------------------------------------------

void HandleOpened();
void HandleClosed();

// ---- Version --------------------------------------------------------------

// True when a test set a version; fills the record's numbers.
bool VersionOverride(OSVERSIONINFOA* info);

// ---- Virtual console ------------------------------------------------------

// Pseudo handles of the virtual console.
HANDLE VirtualStdHandle(DWORD which);
bool IsVirtualHandle(HANDLE handle);

BOOL VirtualPeekInput(INPUT_RECORD* buffer, DWORD length, LPDWORD read);
BOOL VirtualReadInput(INPUT_RECORD* buffer, DWORD length, LPDWORD read);
BOOL VirtualWriteInput(const INPUT_RECORD* buffer, DWORD length, LPDWORD written);
BOOL VirtualScreenInfo(CONSOLE_SCREEN_BUFFER_INFO* info);
BOOL VirtualReadAttributes(WORD* attributes, DWORD length, COORD start, LPDWORD done);
BOOL VirtualWriteAttributes(const WORD* attributes, DWORD length, COORD start, LPDWORD done);
BOOL VirtualSetTitle(LPCSTR title);

// ---- Time and sound (sound_record.cpp) ------------------------------------

// True when a test set the tick count (testing.h); *ticks is then that value.
bool TickOverride(DWORD* ticks);
// Likewise for GetSystemTimeAsFileTime; one atomic load when no test set it.
bool SystemTimeOverride(FILETIME* time);

// While a test records sound, each appends its event and returns true
// (RecordPortRead also gives the value the test set); otherwise false.
bool RecordTone(DWORD frequency, DWORD duration);
bool RecordPause(DWORD milliseconds);
bool RecordPortRead(WORD port, BYTE* value);
bool RecordPortWrite(WORD port, BYTE value);

// Samples [first, first + capacity) of a tone of `frequency` Hz lasting
// `duration` ms, signed 16-bit mono at `rate` per second, so a long tone can
// be made piece by piece. Returns how many it wrote.
int ToneSamples(DWORD frequency, DWORD duration, int rate, unsigned long long first, short* out,
                int capacity);

}  // namespace platform::detail
