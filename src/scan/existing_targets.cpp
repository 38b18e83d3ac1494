#include "existing_targets.h"

#include "common/run_state.h"
#include "engine/progress.h"
#include "scan/file_list.h"
#include "scan/names.h"

namespace {

// Once only: the writer skips the entry again when it reaches its pieces.
// During the copy the reader may have read part of the entry already.
void TakeOutOfTotals(FileRecord* record, uint64_t size) {
  TotalBytes -= size;
  TotalRead -= record->bytesRead;
  TotalWritten -= record->bytesWritten;
  record->state |= EntryTotalsAdjusted;
}

}  // namespace

void CheckExistingTargets(DWORD firstPair) {
  // The reader may take offsets while the overwrite dialog runs this pass.
  platform::EnterCriticalSection(&ListLock);
  DWORD count = PairCount();
  for (DWORD pair = firstPair; pair < count; ++pair) {
    FileRecord* record = RecordOf(pair);
    const char* destination = DestinationOf(pair);
    uint64_t size = SizeOf(record);

    // Only-newer switched off in the overwrite dialog: undo its skips, but
    // not for an entry the reader has already passed: it would be written
    // incomplete.
    if (!RunOptions.OnlyNewer && (record->state & EntryNotNewer) &&
        !(record->state & EntryReaderPassed)) {
      record->state &= ~(EntryNotNewer | EntrySkip | EntryTotalsAdjusted);
      TotalBytes += size;
    }
    if ((record->state & EntrySkip) || !NumberedNameExists(destination, 0)) continue;

    FILETIME lastWrite = record->lastWriteTime;  // records are packed: copied, not referenced
    if (RunOptions.OnlyNewer && DestinationNotOlder(destination, lastWrite)) {
      TakeOutOfTotals(record, size);
      record->state |= EntrySkip | EntryNotNewer;
      continue;
    }
    if (RunOptions.OverwriteMode == OverwriteRename) {
      char name[512];
      int n = FirstFreeName(destination, name);
      if (n >= 0) {
        record->renameNumber = n;
        continue;
      }
      // No numbered name fits: skip rather than write over the target.
    } else if (RunOptions.OverwriteMode != OverwriteSkip) {
      continue;
    }
    TakeOutOfTotals(record, size);
    record->state |= EntrySkip;
  }
  platform::LeaveCriticalSection(&ListLock);
}
