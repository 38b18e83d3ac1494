// Display helpers for names and paths, automatic numbered names and the
// existence and age tests shared by the scan, the pre-pass and the overwrite
// dialog. Every output buffer is 512 bytes (at most 511 characters).
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Writes `path` into out[512], shortened from the left to at most n
// characters: a longer path keeps its last n characters, the first three of
// them replaced by dots (n below 3 gives n dots). n is taken as 0..511.
void ShortenPathLeft(const char* path, char* out, int n);

// The automatic name number n of `path` into out[512]: "_n" inserted before
// the extension of the last component ("D:\dir\a.b.txt", 1 -> "D:\dir\a.b_1.txt"),
// appended when it has no dot ("D:\dir.x\file", 2 -> "D:\dir.x\file_2").
// Only a dot after the last backslash counts. A result longer than 511
// characters is refused: returns false with out empty (""), never a cut name
// that could name another file.
bool NumberedName(const char* path, int n, char* out);

// True when something exists (GetFileAttributesA succeeds) under `path` itself
// (n = 0) or under NumberedName(path, n) (n > 0). A numbered name that is too
// long counts as not existing (nothing can be created under it either).
bool NumberedNameExists(const char* path, int n);

// The first free name for `path` into out[512]: the path itself when nothing
// exists under it (returns 0), else NumberedName(path, N) for the smallest N
// with nothing under it (returns N >= 1). Returns -1 with out empty when no
// free numbered name fits in 511 characters.
int FirstFreeName(const char* path, char* out);

// CompareFileTime(a, b) >= 0: a is the same as b or later.
bool TimeNotEarlier(const FILETIME& a, const FILETIME& b);

// True when FindFirstFileA finds `path` and its last-write time is not
// earlier than t (the search handle is closed at once); false when nothing
// is found.
bool DestinationNotOlder(const char* path, const FILETIME& t);

// Decimal with a comma between groups of three digits ("1,234,567"), into
// out[32] at least.
void FormatSize(uint64_t size, char* out);

// size / 1024 (integer division), formatted as FormatSize.
void FormatSizeKb(uint64_t size, char* out);

// The time as local time, "dd.mm.yyyy hh:mm", into out[32] at least. A time
// that cannot be converted gives an empty text.
void FormatDateTime(const FILETIME& time, char* out);

// One file line of the overwrite dialog into out[512]: "%-17s%13s     %s"
// with label, size text and date text. Overlong parts are cut to fit.
void FormatFileLine(const char* label, const char* size, const char* date, char* out);
