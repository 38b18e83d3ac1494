// The plug-in's only door to the system. Every operation has its Win32 name,
// signature and last-error behaviour; plug-in code calls platform::X and reads
// like Win32 code on both systems.
//
// Rules of this layer:
// - No system header is included outside src/platform/. On Windows the types
//   and constants come from <windows.h>; on Linux from win32_types.h.
// - The same call behaves the same on both systems. Where Linux cannot match
//   Windows the difference is written next to the declaration below.
// - Every entry point first asks the fault table (testing.h), on both
//   builds, so the code under test is the code that ships.
// - Functions that Windows reports through GetLastError set the calling
//   thread's last error on failure; the registry calls return their error.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "win32_types.h"
#endif

namespace platform {

// ---- Last error -----------------------------------------------------------

// The calling thread's last-error value (per thread on both systems).
DWORD GetLastError();
void SetLastError(DWORD code);

// ---- System version -------------------------------------------------------

// Fills *info (dwOSVersionInfoSize must be at least 148). Linux reports the
// NT family, version 10.0; tests may set another version (testing.h), and
// the Windows build then reports that instead of the real one.
BOOL GetVersionExA(OSVERSIONINFOA* info);

// ---- Memory ---------------------------------------------------------------

// The process heap. HeapAlloc returns null on failure (last error
// ERROR_NOT_ENOUGH_MEMORY); HeapFree of null succeeds.
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);

// ---- Registry (below HKEY_CURRENT_USER) -----------------------------------
//
// Linux keeps the registry in one SQLite database:
// $QUICKFERRY_REGISTRY, else $XDG_CONFIG_HOME/quickferry/registry.db (else
// ~/.config/...), created on first use. Key and value names compare without
// regard to ASCII case. Every write is one transaction: a crash leaves the
// old value or the new one, never a part. A database that cannot be opened
// or read makes every call fail with ERROR_BADDB (and never crashes).
// Linux offers only HKEY_CURRENT_USER as a root. Every call returns its
// error code (ERROR_SUCCESS on success) and does not touch the last error.

// Opens an existing key; *result is null on failure (ERROR_FILE_NOT_FOUND
// for a missing key).
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);

// Opens the key, creating it and any missing parents; *disposition (when
// given) tells REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);

// Reads a value. With data null, only *type and *dataSize are set. A value
// larger than *dataSize gives ERROR_MORE_DATA with *dataSize set to the size
// needed; the buffer's contents are then undefined. A missing value gives
// ERROR_FILE_NOT_FOUND. Data are returned as stored (a REG_SZ written
// without its terminator comes back without it).
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);

// Writes a value, replacing any value of the same name (whatever its type).
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);

// Deletes a subkey and its values. As on the NT family, a key that still has
// subkeys is not deleted (ERROR_ACCESS_DENIED); a missing key gives
// ERROR_FILE_NOT_FOUND.
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);

// Enumerates values by index (0 upward); ERROR_NO_MORE_ITEMS past the last.
// The order is not part of the contract (Linux keeps the order of first
// writing, Windows mostly too, Wine sorts by name). *nameLength is in characters:
// in, the name buffer's size with its terminator; out, the name's length
// without it. A name or data that does not fit gives ERROR_MORE_DATA
// (*dataSize then holds the size needed).
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize);

// Counts and longest lengths of a key's subkeys and values; any output
// pointer may be null. Lengths of names exclude the terminator.
LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                      LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptorSize, FILETIME* lastWriteTime);

LONG RegCloseKey(HKEY key);

// ---- Console --------------------------------------------------------------
//
// Linux has no console of its own: these work on an in-process virtual
// console (a cell buffer, an input queue and a title) that the host renders
// and feeds (testing.h). The Windows build's tests may route them there too.

// The standard handles; on Linux fixed pseudo handles of the virtual console.
HANDLE GetStdHandle(DWORD which);

// Copies up to `length` records from the front of the input queue without
// removing them; *read tells how many (0 when the queue is empty).
BOOL PeekConsoleInputA(HANDLE input, INPUT_RECORD* buffer, DWORD length, LPDWORD read);

// Removes up to `length` records from the front of the queue. Waits while
// the queue is empty, as Windows does.
BOOL ReadConsoleInputA(HANDLE input, INPUT_RECORD* buffer, DWORD length, LPDWORD read);

// Appends records to the back of the input queue.
BOOL WriteConsoleInputA(HANDLE input, const INPUT_RECORD* buffer, DWORD length, LPDWORD written);

// Screen buffer size, cursor and window of the output handle.
BOOL GetConsoleScreenBufferInfo(HANDLE output, CONSOLE_SCREEN_BUFFER_INFO* info);

}  // namespace platform
