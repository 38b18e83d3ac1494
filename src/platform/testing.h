// Controls of the platform layer for tests and hosts only; the plug-in never
// includes this header. The state they change lives in the platform layer
// (on Linux the shared libquickferry-platform.so, which the plug-in and its
// host share), so a host sees the same console and registry as the plug-in.
#pragma once

#include "platform.h"

namespace platform::testing {

// ---- Faults ---------------------------------------------------------------
//
// Every platform entry point asks the fault table first. A fault matches an
// operation name (the Win32 name, e.g. "RegQueryValueExA", or "*" for every
// operation) and a path pattern ('*' and '?' wildcards, ASCII case ignored;
// null or "*" matches every call, including calls without a path). The
// registry calls match the key's path below HKEY_CURRENT_USER, followed by
// "\" and the value name for the calls on one value. Matching calls are
// counted from 1; the fault fires on call number `callNumber`, and with
// FromThenOn on every later matching call too. A fired fault makes the call
// fail with `error` (the registry calls return it; the others set it as the
// last error).

enum class Repeat { Once, FromThenOn };

void ArmFault(const char* operation, const char* pathPattern, int callNumber, DWORD error,
              Repeat repeat = Repeat::Once);

// Clears every fault and call count, and starts counting calls.
void ResetFaults();

// Calls of `operation` ("*" for all) since the last ResetFaults; counts are
// kept only after ResetFaults has been called once.
int CallCount(const char* operation);

// How many armed faults have fired since the last ResetFaults.
int FaultsFired();

// ---- Handles --------------------------------------------------------------

// Handles opened through the layer and not yet closed (registry keys now;
// files, finds and events as they arrive).
int OpenHandleCount();

// ---- System version -------------------------------------------------------

// The version GetVersionExA reports from now on (platform id
// VER_PLATFORM_WIN32_NT or VER_PLATFORM_WIN32_WINDOWS).
void SetReportedVersion(DWORD platformId, DWORD major, DWORD minor);
// Back to the default: NT 10.0 on Linux, the real version on Windows.
void ResetReportedVersion();

// ---- Registry -------------------------------------------------------------

// Closes the database so that the next registry call opens it afresh from
// $QUICKFERRY_REGISTRY or the default path. Tests point the variable at a
// file of their own. No effect on Windows.
void ReopenRegistry();

// ---- Virtual console ------------------------------------------------------

// Windows build only: routes the console calls to the virtual console
// (there is no real console under Wine in CI). Linux always uses it.
void UseVirtualConsole(bool on);

// Empties the input queue and makes a blank screen of the
// given size (attribute 0x07).
void ConsoleReset(int width, int height);

// Input queue as the plug-in left it; PopInput removes the front record.
int ConsoleInputCount();
bool ConsolePopInput(INPUT_RECORD* record);
void ConsoleFeedInput(const INPUT_RECORD& record);

// Screen cells, for hosts that draw (Text, SaveScreen) and tests that read.
int ConsoleWidth();
int ConsoleHeight();
CHAR_INFO ConsoleCell(int x, int y);
void ConsoleSetCell(int x, int y, CHAR_INFO cell);
// Writes text from (x, y) on one row, clipped to the screen.
void ConsoleWriteText(int x, int y, WORD attributes, const char* text);
// One row's characters as a string of `width` bytes.
void ConsoleReadRow(int y, char* out, int capacity);

}  // namespace platform::testing
