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

bool CheckFaultSlow(const char* operation, const char* path, DWORD* error);

// True when an armed fault fires for this call; *error is what to report.
inline bool Fault(const char* operation, const char* path, DWORD* error) {
  return g_watching.load(std::memory_order_relaxed) && CheckFaultSlow(operation, path, error);
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

}  // namespace platform::detail
