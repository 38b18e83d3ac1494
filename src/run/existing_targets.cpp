#include "existing_targets.h"

#include "run/run_state.h"
#include "scan/file_list.h"
#include "scan/names.h"

void CheckExistingTargets(DWORD firstPair) {
  // The reader may take offsets while the overwrite dialog runs this pass.
  platform::EnterCriticalSection(&ListLock);
  DWORD count = PairCount();
  for (DWORD pair = firstPair; pair < count; ++pair) {
    FileRecord* record = RecordOf(pair);
    const char* destination = DestinationOf(pair);
    uint64_t size = SizeOf(record);

    // Only-newer switched off in the overwrite dialog: undo its skips.
    if (!RunOptions.OnlyNewer && (record->state & EntryNotNewer)) {
      record->state &= ~(EntryNotNewer | EntrySkip);
      TotalBytes += size;
    }
    if ((record->state & EntrySkip) || !NumberedNameExists(destination, 0)) continue;

    if (RunOptions.OnlyNewer && DestinationNotOlder(destination, record->lastWriteTime)) {
      TotalBytes -= size;
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
    TotalBytes -= size;
    record->state |= EntrySkip;
  }
  platform::LeaveCriticalSection(&ListLock);
}
