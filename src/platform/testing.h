// Controls of the platform layer for tests and hosts only; the plug-in never
// includes this header. The state they change lives in the platform layer
// (on Linux the shared libquickferry-platform.so, which the plug-in and its
// host share), so a host sees the same console and registry as the plug-in.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

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
// last error). A failed CloseHandle or FindClose has closed the handle all
// the same, as when a write put off until the close fails there.

enum class Repeat { Once, FromThenOn };

void ArmFault(const char* operation, const char* pathPattern, int callNumber, DWORD error,
              Repeat repeat = Repeat::Once);

// A fault in the middle of a transfer: the matching ReadFile or WriteFile
// call moves at most `count` bytes and then fails with `error`, reporting
// what it moved in *done, the file position after it (as a device error met
// mid-transfer does). With "*" as operation only these two calls are
// matched and counted. Sweeps arm one per call number and count.
void ArmTransferFault(const char* operation, const char* pathPattern, int callNumber,
                      DWORD count, DWORD error, Repeat repeat = Repeat::Once);

// A short transfer instead of a failure: the matching ReadFile or WriteFile
// call moves at most `count` bytes and succeeds.
void ArmShortFault(const char* operation, const char* pathPattern, int callNumber, DWORD count,
                   Repeat repeat = Repeat::Once);

// Runs `hook` on the calling thread when the matching call is made, before
// the call does anything else; the call then goes on unharmed. For a test
// that must hold one thread at a chosen point, or slip work in between two
// steps of another. Hooks also see LeaveCriticalSection (by that name only,
// never through "*"; run once the section is left), which faults and call
// counts leave out: it cannot fail.
void ArmHook(const char* operation, const char* pathPattern, int callNumber,
             std::function<void()> hook, Repeat repeat = Repeat::Once);

// Clears every fault and call count, and starts counting calls.
void ResetFaults();

// Calls of `operation` ("*" for all) since the last ResetFaults; counts are
// kept only after ResetFaults has been called once.
int CallCount(const char* operation);

// Every operation called since the last ResetFaults, with its count, by
// name: what a sweep fails call by call.
std::vector<std::pair<std::string, int>> CallCounts();

// How many armed faults have fired since the last ResetFaults.
int FaultsFired();

// ---- Handles --------------------------------------------------------------

// Handles opened through the layer and not yet closed (registry keys and
// events now; files, finds and threads as they arrive).
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

// ---- Drive table (Linux; Windows has its real drives) ----------------------
//
// Z: is always / and cannot be changed. A test maps further drive letters
// to real directories, each with the kind QueryDosDeviceA, GetDriveTypeA
// and GetVolumeInformationA then report.

enum class DriveKind {
  Fixed,      // a basic fixed disk
  Subst,      // a substitution: `detail` is the Windows path it stands for
  Network,    // a mapped network drive: `detail` is "server\share"
  Dynamic,    // a volume on a dynamic disk: `detail` is the disk group's name
  CdRom,      // a CD-ROM drive (read-only volume)
  Removable,  // a removable disk
  ReadOnly,   // a fixed disk whose volume is read-only
};

// Maps `letter` (A..Y, either case) to `directory` (an absolute Linux path;
// ignored for Subst, whose directory is that of `detail`, resolved now).
// Returns false for a bad letter, a relative directory, a Subst detail
// that reaches no drive, a Network detail that is not "server\share", or a
// Dynamic drive without a group name.
bool MapDrive(char letter, DriveKind kind, const char* directory, const char* detail = "");
void UnmapDrive(char letter);
// Removes every mapping but Z:, and sets the current directory back to the
// process's working directory.
void ResetDrives();

// The Linux path a Windows path stands for, by GetFullPathNameA's rules
// (".." never leaves a drive's directory). False with "" in `out` when it
// reaches no drive or does not fit `capacity` with its terminator.
// For hosts that show or check paths; the plug-in never needs it.
bool HostPath(const char* windowsPath, char* out, int capacity);

// Linux names as the plug-in sees them (platform.h, "Names"). WindowsPathOf
// gives "Z:" and the escaped components of an absolute Linux path;
// NameOnDisk puts every escaped byte of a text back as it is on disk (a
// text without escapes stays as it is). Both false with "" in `out` when
// the result does not fit `capacity` with its terminator. Windows copies.
bool WindowsPathOf(const char* linuxPath, char* out, int capacity);
bool NameOnDisk(const char* listedText, char* out, int capacity);

// ---- Virtual console ------------------------------------------------------

// Windows build only: routes the console calls to the virtual console
// (there is no real console under Wine in CI). Linux always uses it.
void UseVirtualConsole(bool on);

// Empties the input queue and the title and makes a blank screen of the
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
// The title the plug-in last set.
void ConsoleTitle(char* out, int capacity);

// ---- Time and sound -------------------------------------------------------

// GetTickCount reports `ticks` from now on (not advancing) until reset.
void SetTickCount(DWORD ticks);
void ResetTickCount();

// GetSystemTimeAsFileTime reports `ticks` (100 ns units since 1601) from now
// on, not advancing, until reset.
void SetSystemTime(unsigned long long ticks);
void ResetSystemTime();

// While recording, Beep, PortIn, PortOut and Sleep only append an event
// (no sound, no port access, no waiting; PortIn reads `portValue`, as set
// by SetPortValue, initially 0).
struct SoundEvent {
  enum Kind { Tone, PortRead, PortWrite, Pause } kind;
  DWORD first;   // frequency, port, or milliseconds
  DWORD second;  // duration, or the value read or written
};
void RecordSound(bool on);
void SetPortValue(BYTE value);
int SoundEventCount();
SoundEvent SoundEventAt(int index);

// The Linux tone generator's samples for a tone: signed 16-bit mono at
// `rate` per second. Returns how many it wrote (at most `capacity`).
int ToneSamples(DWORD frequency, DWORD duration, int rate, short* out, int capacity);

}  // namespace platform::testing
