#include <cstring>

#include "common/run_state.h"
#include "engine/prompts.h"
#include "host/messages.h"
#include "paths/paths.h"
#include "scan.h"

FileList List;
std::atomic<uint64_t> TotalBytes;

namespace {

// Offsets are 32-bit: a block may never grow past what they can address.
constexpr uint64_t kMaxBlock = 0xFFFFFFFFu;

// Makes room for `needed` bytes past `used` in a block, growing it in whole
// steps; the block stays as it was when that fails.
bool Reserve(void** block, DWORD* capacity, uint64_t used, uint64_t needed) {
  uint64_t size = *capacity;
  while (used + needed > size) size += FileListStep;
  if (size == *capacity) return true;
  if (size > kMaxBlock) {
    platform::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  void* grown = platform::HeapReAlloc(List.heap, 0, *block, static_cast<SIZE_T>(size));
  if (grown == nullptr) return false;
  *block = grown;
  *capacity = static_cast<DWORD>(size);
  return true;
}

}  // namespace

FileRecord* RecordOf(DWORD pair) {
  char* destination = DestinationOf(pair);
  return reinterpret_cast<FileRecord*>(destination + std::strlen(destination) + 1);
}

void ReportNotCopied(FileRecord* record, int message, const char* shownName) {
  DWORD error = platform::GetLastError();
  platform::EnterCriticalSection(&ListLock);
  record->state |= EntrySkip | EntryFailed;
  platform::LeaveCriticalSection(&ListLock);
  platform::SetLastError(error);
  ShowFileErrorBox(Msg(message), shownName);
}

bool CreateFileList() {
  List = FileList{};
  ForgetVolumeCaps();  // a volume may have come or gone since the last run
  List.heap = platform::HeapCreate(0, 4 * FileListStep, 0);
  if (List.heap == nullptr) return false;
  List.names = static_cast<char*>(platform::HeapAlloc(List.heap, 0, FileListStep));
  List.offsets = List.names == nullptr
                     ? nullptr
                     : static_cast<DWORD*>(platform::HeapAlloc(List.heap, 0, FileListStep));
  if (List.offsets == nullptr) {
    DWORD error = platform::GetLastError();  // for the caller's box
    FreeFileList();
    platform::SetLastError(error);
    return false;
  }
  List.namesCapacity = FileListStep;
  List.offsetsCapacity = FileListStep;
  return true;
}

void FreeFileList() {
  if (List.heap != nullptr) {
    platform::HeapFree(List.heap, 0, List.names);
    platform::HeapFree(List.heap, 0, List.offsets);
    platform::HeapDestroy(List.heap);
  }
  List = FileList{};
}

bool AddListEntry(const char* path, bool withRecord, DWORD attributes, DWORD sizeLow,
                  DWORD sizeHigh, const FILETIME* creation, const FILETIME* lastAccess,
                  const FILETIME* lastWrite) {
  size_t length = std::strlen(path);
  uint64_t needed = length + 1 + (withRecord ? sizeof(FileRecord) : 0);
  // Both blocks grow before anything is written, so a failure leaves no
  // trace of the entry.
  void* names = List.names;
  void* offsets = List.offsets;
  bool grown = Reserve(&names, &List.namesCapacity, List.namesUsed, needed);
  List.names = static_cast<char*>(names);
  if (grown) {
    grown = Reserve(&offsets, &List.offsetsCapacity, uint64_t{List.entryCount} * sizeof(DWORD),
                    sizeof(DWORD));
    List.offsets = static_cast<DWORD*>(offsets);
  }
  if (!grown) {
    ShowErrorBox(Msg(MsgNoMemory));
    return false;
  }

  char* entry = List.names + List.namesUsed;
  std::memcpy(entry, path, length + 1);
  if (withRecord) {
    FileRecord record{};
    record.attributes = attributes;
    record.sizeLow = sizeLow;
    record.sizeHigh = sizeHigh;
    if (creation) record.creationTime = *creation;
    if (lastAccess) record.lastAccessTime = *lastAccess;
    if (lastWrite) record.lastWriteTime = *lastWrite;
    std::memcpy(entry + length + 1, &record, sizeof record);
  }
  List.offsets[List.entryCount++] = List.namesUsed;
  List.namesUsed += static_cast<DWORD>(needed);
  return true;
}
