// Description files: the comments of a directory's files, carried along
// with the files a run copies or moves. Paths are OEM texts of at most 511
// characters; names inside a table may be longer (they are never copied
// into a fixed buffer).
//
// A file is read as entries (a name, bare or between quotation marks, then
// the text; continuation lines begin, after blanks, with '>'). Lines that do
// not read as an entry (a name alone, a quotation mark that is never closed,
// a name that could not be written back as read) are kept as they stand and
// written back unchanged, so a rewrite never loses what the user wrote.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// One description file in memory. Names and texts live in `pool`, each
// ending in a 0 byte, in the order they were added.
struct DescriptionTable {
  char* pool;
  int32_t* nameOffsets;  // an entry whose name is empty has been removed
  int32_t* textOffsets;  // -1: a kept line, whose whole text is at its name offset
  int32_t count;         // entries added so far, removed ones included
  int32_t capacity;      // slots of both offset arrays: 100 at first, then +100
  int32_t poolUsed;
  int32_t poolCapacity;  // 4096 at first, then in steps of 4096
};

// The first of the description names that exists in `directory` (no
// trailing backslash), as a path in out[512]. 1, or 0 (out empty) with the
// last error ERROR_FILE_NOT_FOUND when there is none, or the error of a name
// that could not be looked at (such a file may exist).
int FindDescriptionFile(const char* directory, char* out);

// An empty table, or null when memory is short.
DescriptionTable* NewDescriptions();

// The directory's description file as a table: empty when there is none.
// Null when a file is there but cannot be read whole (cannot be opened,
// sized or read, holds a 0 byte, is 2 GiB or more, or memory is short):
// such a file must not be rewritten from what little was understood of it.
DescriptionTable* ReadDescriptions(const char* directory);

void FreeDescriptions(DescriptionTable* table);

// Parses text[length] (text[length] must be 0) into the table, cutting
// names and lines in place. 0 when the text holds a 0 byte or memory ran
// short; the table then holds part of the text and must not be written.
int ParseDescriptions(DescriptionTable* table, char* text, DWORD length);

// Appends an entry. Returns the new count; 0 when nothing was added: no
// table, an empty name or text, a name or text that the file could not
// hold (a line end in the name, a quotation mark in a name that needs
// quoting, a CR in the text), or no memory (the table is then unchanged).
int AddDescription(DescriptionTable* table, const char* name, const char* text);

// The text of the first live entry named `name` (case ignored as the host
// does), or null. With `remove`, that entry is removed. The text stays
// valid until the table changes or is freed.
const char* TakeDescription(DescriptionTable* table, const char* name, int remove);

// Gives `name` the text: its first entry goes and a new one is appended.
// Returns the new count, or 0 with the table unchanged when `text` is null
// or empty or AddDescription would refuse the pair.
int SetDescription(DescriptionTable* table, const char* name, const char* text);

// The file image of the table's live entries, from the process heap
// (release it with FreeDescriptionText), its size in *size. Null when
// memory is short.
char* DescriptionImage(const DescriptionTable* table, DWORD* size);

// Rewrites the directory's description file from the table (the first of
// the description names when it has none yet), or deletes the file when
// the table holds no live entry. A new file is hidden with HideDescs and
// takes the run's compression and encryption. 1 when the file holds the
// table (or was to be deleted); 0 when it could not be written, the old file
// then usually as it was (an existing file that is read-only, or hidden
// while HideDescs is off, is refused before anything changes).
int WriteDescriptions(const DescriptionTable* table, const char* directory);

// `text` appended to `string` (null: a new copy of `text`), on the process
// heap. Null when memory is short; `string` is then still the caller's.
char* JoinText(char* string, const char* text);
void FreeDescriptionText(char* text);

// After a run: carries the description of every finished pair (EntryDone,
// or a directory that was not refused; not EntryNoDescription) from its
// source directory's file to its destination directory's file under its
// destination name. On a move (`isMove`), a pair whose source is gone leaves
// its source file too, but only once its destination file has been written;
// when that write fails, the source directory's pair gets
// EntryKeepDescriptions, so that its file is never cleared away.
void UpdateDescriptions(int isMove);

// For a moved source directory that could not be removed as not empty:
// when it holds nothing but description files, they are deleted and the
// directory removed. Anything else in it leaves it untouched.
void ClearDescriptionOnlyDirectory(const char* directory);
