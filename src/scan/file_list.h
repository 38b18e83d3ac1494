// The run's list of source/destination pairs. Entry 2k is the source path
// of pair k; entry 2k+1 is its destination path followed at once by its
// 64-byte FileRecord. Offsets, not addresses, are kept, so the name buffer
// may move while it grows; entries are never removed or reordered.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

#pragma pack(push, 1)
struct FileRecord {
  uint32_t attributes;  // the source's, with 0x0800 and 0x4000 always set
  uint32_t sizeLow;
  FILETIME creationTime;
  FILETIME lastAccessTime;
  FILETIME lastWriteTime;
  int32_t renameNumber;     // N > 0: written under NumberedName(destination, N)
  int32_t overwriteChoice;  // taken by the scan: 0 none, 1 overwrite, 3 append
  uint32_t state;           // Entry… flags
  uint32_t sizeHigh;
  uint64_t bytesRead;
  uint64_t bytesWritten;
};
#pragma pack(pop)

static_assert(sizeof(FileRecord) == 64);
static_assert(offsetof(FileRecord, sizeLow) == 4 && offsetof(FileRecord, creationTime) == 8 &&
              offsetof(FileRecord, lastAccessTime) == 16 &&
              offsetof(FileRecord, lastWriteTime) == 24 && offsetof(FileRecord, renameNumber) == 32 &&
              offsetof(FileRecord, overwriteChoice) == 36 && offsetof(FileRecord, state) == 40 &&
              offsetof(FileRecord, sizeHigh) == 44 && offsetof(FileRecord, bytesRead) == 48 &&
              offsetof(FileRecord, bytesWritten) == 56);

// FileRecord state bits.
enum : uint32_t {
  EntryDone = 0x01,
  EntrySourceRemoved = 0x02,
  EntrySkip = 0x04,
  EntryFailed = 0x08,
  EntryNotNewer = 0x10,
  EntryRemoveTarget = 0x20,
  EntryTotalsAdjusted = 0x40,
  EntryNoDescription = 0x80,
  // The reader went past the entry, or stopped reading it, because it was
  // skipped: it may not be taken back into the run.
  EntryReaderPassed = 0x100,
  // A folder of a move whose description file still holds texts that could
  // not be carried to the destination: it is not emptied.
  EntryKeepDescriptions = 0x200,
  EntryMovedByRename = EntryDone | EntrySourceRemoved | EntrySkip,
};

// Scan flags, passed down ScanEntry's recursion.
enum : uint32_t {
  ScanMove = 0x01,
  ScanClearReadOnly = 0x02,
  ScanSingleItem = 0x04,
  ScanStream = 0x08,
  ScanNoDescriptions = 0x10,
};

// Growth step of both blocks, and their first size.
constexpr DWORD FileListStep = 256000;

struct FileList {
  HANDLE heap;             // the run's private heap
  char* names;             // the entries, back to back
  DWORD namesUsed;         // bytes
  DWORD namesCapacity;     // bytes
  DWORD* offsets;          // one per entry
  DWORD entryCount;
  DWORD offsetsCapacity;   // bytes
};

extern FileList List;

// The run's byte total: what the engine has left to copy. Atomic: the
// writer thread lowers it while the progress display reads it.
extern std::atomic<uint64_t> TotalBytes;

inline DWORD PairCount() { return List.entryCount / 2; }
inline const char* SourceOf(DWORD pair) { return List.names + List.offsets[2 * pair]; }
inline char* DestinationOf(DWORD pair) { return List.names + List.offsets[2 * pair + 1]; }
// The record after the destination path's terminator.
FileRecord* RecordOf(DWORD pair);

// An entry that is not copied, reported where it happens: the error box
// (the name shown, `message` and the system's text for the last error, none
// for ERROR_SUCCESS), then EntrySkip | EntryFailed under ListLock, so that
// the run lists it among the files not copied and a move keeps its source.
// Every way of leaving an entry out goes through here; any thread.
void ReportNotCopied(FileRecord* record, int message, const char* shownName);

inline uint64_t SizeOf(const FileRecord* record) {
  return (static_cast<uint64_t>(record->sizeHigh) << 32) | record->sizeLow;
}
