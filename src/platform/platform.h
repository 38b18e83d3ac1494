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

#include <cstdarg>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>  // FSCTL_SET_COMPRESSION
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

// Reads or writes the attributes of `length` cells from `start`, row after
// row, stopping at the end of the screen buffer; *done tells how many.
BOOL ReadConsoleOutputAttribute(HANDLE output, WORD* attributes, DWORD length, COORD start,
                                LPDWORD done);
BOOL WriteConsoleOutputAttribute(HANDLE output, const WORD* attributes, DWORD length, COORD start,
                                 LPDWORD done);

// The console window's title.
BOOL SetConsoleTitleA(LPCSTR title);


// ---- Handles --------------------------------------------------------------

// Closes any handle the layer gave out but a find handle (FindClose closes
// those). Null or an unknown handle: FALSE, ERROR_INVALID_HANDLE. Linux:
// closing a handle that wrote a named stream writes the stream back; when
// the file system refuses it, CloseHandle returns FALSE with the last error
// (ERROR_DISK_FULL for a stream too large), the handle closed all the same.
BOOL CloseHandle(HANDLE handle);

// ---- Events ---------------------------------------------------------------

// An unnamed event (Linux ignores `name` and `security`); null on failure.
// SetEvent, ResetEvent and WaitForSingleObject do not ask the fault table
// (nor do the text calls at the end): they have no failure worth a sweep.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits up to `milliseconds` (INFINITE: no limit; 0: a test) for the object
// to be signalled. WAIT_OBJECT_0 when it was (an auto-reset event is then
// reset), WAIT_TIMEOUT when the time ran out, WAIT_FAILED for a bad handle.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// ---- Paths, files and directories -----------------------------------------
//
// Paths are Windows paths on both systems. On Linux a drive table maps drive
// letters to directories: Z: is / (as under Wine); tests and hosts map more
// (testing.h), each with a kind that QueryDosDeviceA and GetDriveTypeA
// report. "\\server\share\..." paths reach the directory of a network
// drive mapped for that server and share. '/' counts as '\'.
//
// Attributes on Linux: directory from the file type; read-only when the
// owner may not write; hidden for a name that begins with a dot or when
// set; hidden, system and archive are kept in the extended attribute
// "user.quickferry.attributes" where the file system has them. As on
// Windows, a read-only file or directory cannot be deleted, removed or
// replaced (ERROR_ACCESS_DENIED) until its read-only attribute is cleared,
// even for root.
//
// Errors on Linux come from one errno table: ENOENT gives
// ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when a folder on the way is
// missing; EEXIST ERROR_ALREADY_EXISTS; ENOTEMPTY ERROR_DIR_NOT_EMPTY;
// EXDEV ERROR_NOT_SAME_DEVICE; EACCES/EPERM ERROR_ACCESS_DENIED; ENOSPC
// ERROR_DISK_FULL; EROFS ERROR_WRITE_PROTECT; and so on (posix/errors.cpp).

// INVALID_FILE_ATTRIBUTES on failure.
DWORD GetFileAttributesA(LPCSTR path);
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);

// Fails with ERROR_ALREADY_EXISTS when anything exists under the name, and
// ERROR_PATH_NOT_FOUND when its parent does not.
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
// Only an empty directory (ERROR_DIR_NOT_EMPTY otherwise; ERROR_DIRECTORY
// for a file). A link to a directory is removed itself, as on Windows.
BOOL RemoveDirectoryA(LPCSTR path);
BOOL DeleteFileA(LPCSTR path);

// Renames a file or directory; fails with ERROR_ALREADY_EXISTS when the new
// name exists. Across file systems it fails with ERROR_NOT_SAME_DEVICE: it
// never copies.
BOOL MoveFileA(LPCSTR existing, LPCSTR newName);
// As MoveFileA; with MOVEFILE_REPLACE_EXISTING an existing file under the
// new name is replaced (a directory never is, a read-only file never is,
// and a directory never replaces a file: ERROR_ACCESS_DENIED). Linux
// ignores MOVEFILE_COPY_ALLOWED and never copies.
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);

// ---- Names, identity and links ---------------------------------------------
//
// Linux names: a POSIX name may hold bytes a Windows path gives meaning to.
// The layer lists every name escaped and maps it back in every call that
// takes a path, one reversible mapping for all names (posix/paths.h):
// '\', ':', '*', '?', '"', '<', '>', '|', control bytes, the escape byte
// 0xFF and a trailing dot or space each become 0xFF and the byte with its
// top bit flipped. A path holding such a byte raw, or a broken escape,
// fails with ERROR_INVALID_NAME (as on Windows); a name whose escaped form
// does not fit cFileName is listed cut, ending in '?', and every path call
// refuses it the same way. Hosts show and take names unescaped (testing.h).
//
// Symbolic links on Linux are listed as themselves (FindFirstFileA,
// GetFileAttributesA): FILE_ATTRIBUTE_REPARSE_POINT, with the directory bit
// when they lead to a folder, never read-only; SetFileAttributesA leaves a
// link and what it leads to alone. Other calls follow them, as Windows does.

// Compares two names or paths by the file system's rule: <0, 0, >0.
// Windows ignores case as lstrcmpiA does; Linux compares bytes, since two
// names that differ in case are two files there.
int CompareFileNamesA(LPCSTR a, LPCSTR b);

// The open file's identity and attributes. Two handles are of the same
// file when dwVolumeSerialNumber and nFileIndexHigh/Low match (Linux: the
// device folded to 32 bits and the inode; a named stream's handle answers
// for its file).
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);

// Makes `newName` a link with the same target text as the link `existing`
// (as cp -a does). Fails with ERROR_ALREADY_EXISTS when the new name
// exists, and with ERROR_NOT_A_REPARSE_POINT when `existing` is no link.
// Windows: ERROR_NOT_SUPPORTED; the plug-in then treats the link as it
// always did.
BOOL CopySymbolicLinkA(LPCSTR existing, LPCSTR newName);

// The full path by Windows rules (relative to the current directory, "."
// and ".." folded, '/' read as '\', a trailing backslash kept). Returns the
// length without the terminator; when the buffer is too small, the size
// needed with it (the buffer is then untouched); 0 on failure (Linux: ""
// gives ERROR_INVALID_NAME). *filePart (when given) points at the last component
// in the buffer, or is null when the path ends in a backslash. A root keeps
// its backslash ("\\server\share\a\.." is "\\server\share\"); "X:foo" for a
// drive other than the current one starts at X:'s root. Linux gives a
// "\\?\" path back as it stands (Wine folds it).
// Trailing dots and spaces of a component are dropped, as Windows drops
// them (Linux names that end in them are listed escaped).
DWORD GetFullPathNameA(LPCSTR path, DWORD bufferLength, LPSTR buffer, LPSTR* filePart);

// The process's current directory, a Windows path (Linux keeps its own,
// which starts as Z: and the real working directory). Same length rules as
// GetFullPathNameA.
DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);
// Fails, leaving the current directory as it was, unless the path is an
// existing directory (ERROR_DIRECTORY for a file). Linux never changes the
// process's own working directory, which the host shares.
BOOL SetCurrentDirectoryA(LPCSTR path);

// Replaces each %NAME% by the variable's value (a name that is not set
// stays as it is, and so do "%%" and a lone "%"). Names ignore ASCII case
// (Linux: an exact match first). Returns the size needed with the
// terminator; the text is complete only when that is at most `size` (Linux
// then stores as much as fits, terminated). 0 on failure.
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size);

// ---- Drives and volumes ---------------------------------------------------

// The device behind a drive name such as "D:": "\??\<path>" for a
// substitution, "\Device\LanmanRedirector\;D:0...\server\share" for a
// network drive, "\Device\HarddiskDmVolumes\<group>\Volume1" for a
// dynamic-disk volume, another "\Device\..." name otherwise. The answer is
// followed by an empty string (two terminators). Returns the characters
// stored with both terminators, 0 on failure (ERROR_FILE_NOT_FOUND for an
// unknown drive, ERROR_INSUFFICIENT_BUFFER when it does not fit; the
// buffer is then untouched). Linux answers drive names only (null:
// ERROR_INVALID_PARAMETER); drives on one Linux file system answer the same
// "\Device\HarddiskVolume<n>", as they are one volume.
DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR target, DWORD size);

// DRIVE_FIXED, DRIVE_REMOTE, DRIVE_CDROM, DRIVE_REMOVABLE… of the drive
// whose root `root` names ("D:\", "D:", "\\server\share\"); null means the
// current directory's drive. DRIVE_NO_ROOT_DIR for an unknown one. Linux
// also answers for a mount point's directory (with its backslash) and
// gives DRIVE_NO_ROOT_DIR for other folders (Wine gives their volume's type).
UINT GetDriveTypeA(LPCSTR root);

// Asks about the volume whose root directory `root` is (with its trailing
// backslash): a drive root, a network share root, or (Linux) a mount point.
// The root is first made full as GetFullPathNameA does (null: the current
// directory's root). Without the trailing backslash it fails with
// ERROR_INVALID_NAME; a folder that is no volume's root with
// ERROR_DIR_NOT_ROOT, as Windows reports; an unknown drive with
// ERROR_PATH_NOT_FOUND (Linux: an unknown share too; a CD-ROM drive without
// its directory: ERROR_NOT_READY). The file system's name is cut to fit its buffer.
// Linux builds the flags from the file system: user extended attributes give
// FILE_NAMED_STREAMS, POSIX ACLs FILE_PERSISTENT_ACLS, btrfs
// FILE_FILE_COMPRESSION, a read-only mount (or a drive mapped read-only or
// as a CD-ROM) FILE_READ_ONLY_VOLUME; never FILE_SUPPORTS_ENCRYPTION.
BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize);

// ---- Texts ----------------------------------------------------------------

// The system's text for an error code (flags FORMAT_MESSAGE_FROM_SYSTEM |
// FORMAT_MESSAGE_IGNORE_INSERTS; source and arguments unused). Returns the
// characters stored without the terminator; 0 when the system has no text
// (ERROR_MR_MID_NOT_FOUND) or it does not fit. Texts end in ".\r\n" as
// Windows' do.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, va_list* arguments);

// Code-page conversions. Linux has one code page for both: they copy.
BOOL OemToCharA(LPCSTR source, LPSTR destination);
BOOL CharToOemBuffA(LPCSTR source, LPSTR destination, DWORD length);

// Between a code page (CP_ACP, CP_OEMCP, CP_UTF8) and UTF-16. A length of -1
// takes the source up to and with its terminator; a destination size of 0
// asks for the size needed. Return the characters (or bytes) stored, 0 on
// failure: ERROR_INSUFFICIENT_BUFFER when the result does not fit,
// ERROR_INVALID_PARAMETER for an empty source or another code page (Linux).
// Bytes that are no character, and lone surrogates, become U+FFFD. Linux's
// one code page is UTF-8, whichever of the three is named; flags, the
// default character and its flag are not used there (pass 0 and nulls).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                        WCHAR* destination, int destinationSize);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* source, int sourceLength,
                        LPSTR destination, int destinationSize, LPCSTR defaultChar,
                        BOOL* usedDefaultChar);

// Case-insensitive comparison: <0, 0, >0. Windows compares under the user's
// locale; Linux folds ASCII letters only and compares bytes.
int lstrcmpiA(LPCSTR a, LPCSTR b);

// ---- Time and sound -------------------------------------------------------

// Milliseconds since the system started, wrapping at 2^32; tests may set it
// (testing.h).
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

// Sounds a tone and returns when it has ended. Linux plays it on ALSA's
// default device, or waits the same time in silence where no device opens
// (never an error, never a hang). Tests may record tones instead.
BOOL Beep(DWORD frequency, DWORD duration);

// The PC speaker's I/O ports, for the Windows 95/98/Me family only: real
// port I/O in the Windows build (a privileged instruction on the NT family,
// so never reached there); Linux has no speaker port and records the calls
// when tests ask, else does nothing (PortIn gives 0).
BYTE PortIn(WORD port);
void PortOut(WORD port, BYTE value);

// ---- File contents --------------------------------------------------------
//
// Linux: a path "file:name:$DATA" (or "file:name") opens the named stream
// "name" of the file, kept in its extended attribute "user.name" (the whole
// stream is read when opened and written back when closed; a stream is
// limited to what the file system takes in one attribute: about 4 KiB on
// ext4, and never more than 64 KiB, which WriteFile refuses with
// ERROR_DISK_FULL; see CloseHandle). Reads with
// FILE_FLAG_NO_BUFFERING are served from the page cache with read-ahead and
// drop-behind hints past a file's first MiB (O_DIRECT with small requests
// is far slower here); while at least 4 MiB of such a file is still ahead,
// the VirtualAlloc memory a read goes to is readied for it in one call,
// backed by large pages. The
// access and sharing arguments are checked for sense, not enforced between
// handles.

// INVALID_HANDLE_VALUE on failure. CREATE_ALWAYS and OPEN_ALWAYS on an
// existing file set the last error to ERROR_ALREADY_EXISTS on success, as
// Windows does; CREATE_NEW on one fails with ERROR_FILE_EXISTS. A created
// or replaced file takes the attributes given. As on Windows, a read-only
// file is neither replaced nor opened for writing (ERROR_ACCESS_DENIED,
// even for root), and CREATE_ALWAYS on a hidden or system file fails the
// same way unless those attributes are given (Linux: a dot name alone does
// not count). FILE_FLAG_BACKUP_SEMANTICS opens a directory (for its times,
// security and compression). Linux refuses pipes and devices
// (ERROR_ACCESS_DENIED): a Windows volume has none.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);

// *done holds the bytes moved (0 at the end of the file for a read). A
// short write is a success with *done below the count (tests arm them).
// A failure met mid-transfer (Linux; tests arm it on both systems) reports
// FALSE with *done holding what moved before it and the file position after
// that; what Windows itself leaves there is not promised, so a caller that
// retries sets the position first.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPVOID overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done, LPVOID overlapped);

// Moves the file pointer (FILE_BEGIN, FILE_CURRENT, FILE_END) by a 64-bit
// distance split in two halves; returns the new position's low half
// (INVALID_SET_FILE_POINTER with the last error set on failure: a position
// before the start gives ERROR_NEGATIVE_SEEK, one beyond 4 GiB without
// distanceHigh ERROR_INVALID_PARAMETER, and the pointer stays). On success
// the last error is ERROR_SUCCESS, so a low half of all ones can be told.
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
// The size's low half; the high half into *sizeHigh (INVALID_FILE_SIZE and
// the last error on failure).
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL SetEndOfFile(HANDLE file);
// Null times are left as they are. Linux keeps no creation time: it is
// accepted and dropped. Times set through a handle stay through its later
// writes, as on NTFS.
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite);

// ---- Finding files --------------------------------------------------------

// Finds the entries of a folder whose names match the last component of
// `pattern` ('*' and '?' as Windows reads them: "*.*" matches every name,
// a name without a dot matches "*."). "." and ".." come first, as on NTFS.
// INVALID_HANDLE_VALUE (ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND) when
// nothing matches; a pattern ending in a backslash names nothing. A
// drive's root lists no "." and "..". FindNextFileA fails with
// ERROR_NO_MORE_FILES at the end. Linux lists the other names by name
// ignoring ASCII case, as NTFS does; the creation time is the file's birth
// time where the file system keeps one, else its last write time.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
BOOL FindClose(HANDLE find);

// ---- Streams --------------------------------------------------------------

// Reads a file's backup stream: a 20-byte header (id, attributes, 64-bit
// size, name size in bytes), the UTF-16 name, then the data, stream after
// stream. Linux reports the file's data (id BACKUP_DATA, no name) and then
// one BACKUP_ALTERNATE_DATA stream ":name:$DATA" per user extended
// attribute (not the layer's own attributes), its name widened byte by byte
// so that narrowing it gives the stream's path part back; processSecurity
// adds nothing. One call never goes past the end of a stream; *done is 0
// when every stream has been read. *context is the walk's state (null at
// the start; a call with abort TRUE frees it).
BOOL BackupRead(HANDLE file, LPBYTE buffer, DWORD count, LPDWORD done, BOOL abort,
                BOOL processSecurity, LPVOID* context);
// Skips up to the given number of bytes of the current stream's data, never
// into the next stream's header. When less was left it stops at the
// stream's end, reports how far it went in *lowSeeked/*highSeeked and
// returns FALSE (ERROR_SEEK, 25); the next BackupRead gives the next header.
BOOL BackupSeek(HANDLE file, DWORD lowToSeek, DWORD highToSeek, LPDWORD lowSeeked,
                LPDWORD highSeeked, LPVOID* context);

// ---- NT extras ------------------------------------------------------------

// Only FSCTL_SET_COMPRESSION (a 2-byte COMPRESSION_FORMAT_NONE or _DEFAULT)
// on Linux: FS_COMPR_FL where the file system compresses with it (btrfs,
// as the volume flags say), else ERROR_NOT_SUPPORTED (ext4 keeps the flag
// but compresses nothing). ERROR_INVALID_FUNCTION for other codes. The
// handle needs write access.
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                     DWORD outputSize, LPDWORD returned, LPVOID overlapped);

// The optional advapi32 functions, found by name at load: GetModuleHandleA
// ("advapi32.dll") then GetProcAddress. Each name answers with the layer's
// own function (asking the fault table, then the system), or null when the
// system lacks it. Linux offers GetFileSecurityA and SetFileSecurityA (the
// owner, group, mode bits and POSIX ACL in a private blob; parts
// OWNER/GROUP/DACL; SACL reads as empty), OpenProcessToken,
// LookupPrivilegeValueA and AdjustTokenPrivileges (they succeed and change
// nothing), and no EncryptFileA or DecryptFileA.
// Both builds answer "advapi32.dll" (any case) only, and only those seven
// names (null with ERROR_PROC_NOT_FOUND otherwise; an ordinal is refused).
HMODULE GetModuleHandleA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

// ---- Memory (more) --------------------------------------------------------

// The frees (HeapFree, HeapDestroy, VirtualFree) and the calls without a
// result (critical sections, GlobalMemoryStatus, GetSystemTimeAsFileTime,
// CompareFileTime) do not ask the fault table: no caller can meet their failure.

// A private growable heap, counted as an open handle; HeapDestroy frees
// every block in it at once (the process heap is refused). Linux ignores
// the sizes, and HeapFree and HeapReAlloc refuse a block of another heap
// (ERROR_INVALID_PARAMETER), where Windows would corrupt the heap.
HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
// Null on failure (ERROR_NOT_ENOUGH_MEMORY; a null block:
// ERROR_INVALID_PARAMETER), the old block then untouched. HEAP_ZERO_MEMORY
// zeroes the part that grew.
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL HeapDestroy(HANDLE heap);

// Committed read/write pages (MEM_COMMIT, PAGE_READWRITE), page-aligned;
// VirtualFree(address, 0, MEM_RELEASE) returns them. Linux offers only
// that: a given address, another protection or type gives
// ERROR_INVALID_PARAMETER.
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type);

// Sizes as the 32-bit API reports them: a program marked large-address
// aware sees at most 4 GiB - 1, any other at most 2 GiB - 1 (Windows and
// Wine alike; the host's program decides). Linux reports as the former.
void GlobalMemoryStatus(MEMORYSTATUS* status);

// ---- Critical sections and threads ----------------------------------------

// Recursive, as on Windows.
void InitializeCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);

// Starts `start(parameter)` at once on a new thread; the handle is waited on
// with WaitForSingleObject (signalled when the thread has ended) and closed
// with CloseHandle, which leaves the thread running. Null on failure.
// Linux ignores the stack size and the flags.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                    LPDWORD threadId);

// ---- Time -----------------------------------------------------------------

void GetSystemTimeAsFileTime(FILETIME* time);
LONG CompareFileTime(const FILETIME* a, const FILETIME* b);
// Linux adds the zone's offset at that instant (summer time where it was in
// force then); Windows adds the offset in force now.
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
// Fails (ERROR_INVALID_PARAMETER) from 2^63 ticks on, as Windows does.
BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* system);

// The folder for temporary files with a trailing backslash (Linux: $TMPDIR
// or /tmp as a Windows path). Same length rules as GetFullPathNameA.
DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer);

}  // namespace platform
