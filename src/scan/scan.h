// The scan: every selected item expanded into the FileList, moving whole
// items by renaming where the run is a move within one volume.
#pragma once

#include "file_list.h"

// Creates the run's private heap and both blocks (256,000 bytes each, in a
// heap of four times that), empty. False when any allocation failed; what
// was obtained is freed again (the caller reports message 36).
bool CreateFileList();
// Frees both blocks and the heap.
void FreeFileList();

// Appends one entry: the path, and with a record the record made from the
// other arguments. False (after the error box of message 36) when a block
// could not grow; nothing of the entry is then in the list.
bool AddListEntry(const char* path, bool withRecord, DWORD attributes, DWORD sizeLow,
                  DWORD sizeHigh, const FILETIME* creation, const FILETIME* lastAccess,
                  const FILETIME* lastWrite);

// Lists one object and, below it, its contents or its streams; adds what the
// engine will copy to TotalBytes. `attributes` carries 0x0800 and 0x4000.
// In a move, each object is first renamed whole where it can be (state
// EntryMovedByRename, nothing below it listed); a file that meets an existing
// target is decided by OnlyNewer, the run's OverwriteMode or AskOverwrite.
// Paths given longer than 511 characters are refused whole.
// - A child or stream whose source or destination path would exceed 511
//   characters is left out with everything below it, after an error box
//   (message 42 or 39 with the system's text for ERROR_FILENAME_EXCED_RANGE,
//   and the path's end); the scan goes on with the next object. In a move its
//   source stays where it is. One whose source fits is listed as not copied.
// - A folder that cannot be listed, or not to its end, is reported (message
//   113) and marked not copied, with the children listed so far.
// - When the list cannot grow (message 36 shown by AddListEntry), the object
//   whose pair could not be added is left out with everything below it: no
//   half pair stays in the list and no record is marked; the scan goes on
//   with the next object.
void ScanEntry(const char* source, const char* destination, DWORD attributes, DWORD sizeLow,
               DWORD sizeHigh, const FILETIME* creation, const FILETIME* lastAccess,
               const FILETIME* lastWrite, DWORD scanFlags);

// Lists `source` as an object that is not copied: a pair whose destination
// is empty, reported through ReportNotCopied(message, shownName) with the
// last error as the caller left it. Nothing below it is listed.
void ListNotCopied(const char* source, DWORD attributes, int message, const char* shownName);
