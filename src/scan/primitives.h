// Renaming, moving and removal primitives: a move within one volume is a
// rename, whatever the size of the file or tree. Paths are OEM texts of at
// most 511 characters; every output buffer is 512 bytes.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Moves or renames `existing` to `newName`, creating the folders on the way
// to `newName` first. With `replace`, an existing file under `newName` is
// replaced. True on success; false with the last error set: among others
// ERROR_ALREADY_EXISTS for an existing target without `replace`,
// ERROR_NOT_SAME_DEVICE across volumes (it never copies). Shows nothing.
// The NT family uses the system's move; the 9x family, whose move cannot
// replace, renames the target aside to a temporary name first and puts it
// back when the second rename fails.
bool MoveOrRename(const char* existing, const char* newName, bool replace);

// The root of `path` after substitutions are resolved: "D:" for a drive
// path, "\\server\share" for a network path. 1 with out[512] filled, else 0
// (out empty).
int PathRoot(const char* path, char* out);

// `path` with its last component replaced by a temporary 8.3 name of
// hexadecimal digits ("%8.8x.%3.3x"), in out[512]. A path without a
// backslash keeps its drive ("D:name" gives "D:" and the name). Two calls
// within one second give the same name. 1, or 0 (out empty) when the
// result would not fit.
int MakeTempName(const char* path, char* out);

// Removes an empty directory, even a read-only or system one. 1 when it was
// removed; 0 with its attributes put back and the last error as
// RemoveDirectory left it (ERROR_DIR_NOT_EMPTY for one that is not empty).
int RemoveEmptyDirectory(const char* path);

// The size of an open file, both halves of GetFileSize combined. A failed
// query gives UINT64_MAX, which no caller takes for a real size (a move
// then keeps its source).
uint64_t FileSize64(HANDLE file);
