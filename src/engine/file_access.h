// The engine's thin file layer and the NT extras that travel with a copy:
// compression, encryption and security descriptors. Paths are OEM texts.
// Everything here may run on the writer thread.
#pragma once

#include <cstdint>

#include "platform/platform.h"

enum : int {
  OpenRead = 0,    // read access, unbuffered
  OpenCreate = 1,  // replaces whatever is there, read-only included
  OpenAppend = 2,  // opens or creates, positioned at the end
};

// A file handle or INVALID_HANDLE_VALUE. For OpenCreate and OpenAppend the
// path's attributes are set to normal before the open and to `attributes`
// after it; when the open fails (for an append, also when the end cannot be
// reached) an existing file gets its own attributes back and the last error
// is the open's.
HANDLE OpenForCopy(const char* path, int mode, DWORD attributes);

// Bytes moved, 0 at the end of the file for a read, -1 on failure.
int32_t ReadBlock(HANDLE file, void* buffer, DWORD count);
int32_t WriteBlock(HANDLE file, const void* buffer, DWORD count);

// Deletes a file even when it is read-only. 1 on success; 0 with its
// attributes put back and the last error kept. Shows nothing.
int RemoveFile(const char* path);

// FSCTL_SET_COMPRESSION on a handle opened with write access: compressed
// when `mode` is non-zero. A failure shows message 37.
void SetCompressionState(HANDLE file, int mode);

// Encrypts (1) or decrypts (0) the file or folder by name; only on NT 5 and
// later, and only where the system has the function. A failure, or a path
// too long for the 512-byte ANSI copy, shows message 38 with the path.
void SetEncryptionState(const char* path, int encrypt);

// Copies owner, group and access list, then the audit list, from `source`
// to `destination`; enables the security privilege the first time. Silent.
void CopySecurity(const char* source, const char* destination);
// One part (a SECURITY_INFORMATION mask) through a 16384-byte buffer.
void CopySecurityPart(const char* source, const char* destination, DWORD parts);

// Looks up the optional advapi32 functions; called once when the library
// is loaded (SetStartupInfo). A function the system lacks stays null.
void LoadOptionalFunctions();
