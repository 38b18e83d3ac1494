#include "descriptions.h"

#include <cstring>

#include "common/run_state.h"
#include "common/text.h"
#include "engine/boxes.h"
#include "engine/file_access.h"
#include "host/messages.h"
#include "paths/paths.h"
#include "scan/file_list.h"
#include "scan/primitives.h"
#include "settings/settings.h"

namespace {

constexpr size_t kPathSize = 512;
constexpr int32_t kSlotStep = 100;
constexpr int32_t kPoolStep = 4096;
constexpr int32_t kKeptLine = -1;
// Offsets are signed 32-bit: no block may grow past what they address.
constexpr uint64_t kMaxBlock = 0x7FFFFFFF;

HANDLE Heap() { return platform::GetProcessHeap(); }

void* Allocate(uint64_t bytes) {
  if (bytes > kMaxBlock) {
    platform::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return platform::HeapAlloc(Heap(), 0, static_cast<SIZE_T>(bytes));
}

// Grows *block to `bytes`; on failure *block is left as it was.
bool Grow(void** block, uint64_t bytes) {
  if (bytes > kMaxBlock) {
    platform::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  void* grown = platform::HeapReAlloc(Heap(), 0, *block, static_cast<SIZE_T>(bytes));
  if (grown == nullptr) return false;
  *block = grown;
  return true;
}

bool IsBlank(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

bool JoinPath(char* out, const char* directory, const char* name) {
  if (CopyText(out, kPathSize, directory) && AppendText(out, kPathSize, "\\") &&
      AppendText(out, kPathSize, name))
    return true;
  out[0] = 0;
  return false;
}

// A blank would end a bare name, a leading quotation mark would open a
// quoted one and a leading '>' would read as a continuation of the entry
// before: such names are written between quotation marks.
bool NeedsQuotes(const char* name, size_t length) {
  if (name[0] == '"' || name[0] == '>') return true;
  for (size_t i = 0; i < length; ++i)
    if (IsBlank(name[i])) return true;
  return false;
}

// Whether the file can hold the name as it stands and give it back.
bool CanWriteName(const char* name, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (IsLineEnd(name[i])) return false;
  return !NeedsQuotes(name, length) || std::memchr(name, '"', length) == nullptr;
}

bool CanWrite(const char* name, const char* text) {
  return CanWriteName(name, std::strlen(name)) && std::strchr(text, '\r') == nullptr;
}

// Room for one more entry of `bytes` pool bytes; the table is unchanged
// when it cannot be had.
bool Reserve(DescriptionTable* table, uint64_t bytes) {
  if (table->count >= table->capacity) {
    uint64_t slots = uint64_t(table->capacity) + kSlotStep;
    void* names = table->nameOffsets;
    void* texts = table->textOffsets;
    // A first array that grew while the second did not only has spare room.
    bool grown = Grow(&names, slots * sizeof(int32_t));
    table->nameOffsets = static_cast<int32_t*>(names);
    if (!grown || !Grow(&texts, slots * sizeof(int32_t))) return false;
    table->textOffsets = static_cast<int32_t*>(texts);
    table->capacity = static_cast<int32_t>(slots);
  }
  uint64_t needed = uint64_t(table->poolUsed) + bytes;
  if (needed > uint64_t(table->poolCapacity)) {
    uint64_t size = (needed + kPoolStep - 1) / kPoolStep * kPoolStep;
    void* pool = table->pool;
    if (!Grow(&pool, size)) return false;
    table->pool = static_cast<char*>(pool);
    table->poolCapacity = static_cast<int32_t>(size);
  }
  return true;
}

uint64_t EntryBytes(size_t nameLength, size_t textLength) {
  return uint64_t(nameLength) + textLength + 2;
}

// Appends after Reserve; a null text makes a kept line.
int32_t Append(DescriptionTable* table, const char* name, size_t nameLength, const char* text,
               size_t textLength) {
  int32_t at = table->count;
  table->nameOffsets[at] = table->poolUsed;
  std::memcpy(table->pool + table->poolUsed, name, nameLength + 1);
  table->poolUsed += static_cast<int32_t>(nameLength + 1);
  if (text == nullptr) {
    table->textOffsets[at] = kKeptLine;
  } else {
    table->textOffsets[at] = table->poolUsed;
    std::memcpy(table->pool + table->poolUsed, text, textLength + 1);
    table->poolUsed += static_cast<int32_t>(textLength + 1);
  }
  return table->count = at + 1;
}

// The offset of `text` when it lies in the table's pool, which may move as
// it grows; else -1.
int64_t PoolOffset(const DescriptionTable* table, const char* text) {
  uintptr_t at = reinterpret_cast<uintptr_t>(text);
  uintptr_t start = reinterpret_cast<uintptr_t>(table->pool);
  if (at < start || at >= start + uintptr_t(table->poolUsed)) return -1;
  return static_cast<int64_t>(at - start);
}

bool AddKeptLine(DescriptionTable* table, const char* line) {
  size_t length = std::strlen(line);
  if (!Reserve(table, EntryBytes(length, 0))) return false;
  Append(table, line, length, nullptr, 0);
  return true;
}

char* LineEnd(char* p, const char* end) {
  while (p < end && !IsLineEnd(*p)) ++p;
  return p;
}

char* SkipBlanks(char* p, const char* end) {
  while (p < end && IsBlank(*p)) ++p;
  return p;
}

bool HasLiveEntry(const DescriptionTable* table) {
  for (int32_t i = 0; i < table->count; ++i)
    if (table->pool[table->nameOffsets[i]] != 0) return true;
  return false;
}

bool IsDescriptionName(const char* name) {
  for (int i = 0; i < Settings.DescriptionNameCount; ++i)
    if (CompareFileNames(name, Settings.DescriptionNames[i]) == 0) return true;
  return false;
}

bool IsDots(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Directory and name of a path, split at its last backslash.
bool SplitPath(const char* path, char* directory, char* name) {
  const char* slash = std::strrchr(path, '\\');
  if (slash == nullptr || size_t(slash - path) >= kPathSize) return false;
  std::memcpy(directory, path, slash - path);
  directory[slash - path] = 0;
  return CopyText(name, kPathSize, slash + 1);
}

bool Differ(const char* a, const char* b) { return CompareFileNames(a, b) != 0; }

}  // namespace

int FindDescriptionFile(const char* directory, char* out) {
  DWORD error = ERROR_FILE_NOT_FOUND;
  for (int i = 0; i < Settings.DescriptionNameCount; ++i) {
    if (!JoinPath(out, directory, Settings.DescriptionNames[i])) continue;
    if (platform::GetFileAttributesA(out) != INVALID_FILE_ATTRIBUTES) return 1;
    DWORD why = platform::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND && why != ERROR_FILE_NOT_FOUND && why != ERROR_PATH_NOT_FOUND)
      error = why;
  }
  out[0] = 0;
  platform::SetLastError(error);
  return 0;
}

namespace {

bool NoDescriptionFile() { return platform::GetLastError() == ERROR_FILE_NOT_FOUND; }

}  // namespace

DescriptionTable* NewDescriptions() {
  auto* table = static_cast<DescriptionTable*>(Allocate(sizeof(DescriptionTable)));
  if (table == nullptr) return nullptr;
  *table = DescriptionTable{};
  table->pool = static_cast<char*>(Allocate(kPoolStep));
  table->nameOffsets = static_cast<int32_t*>(Allocate(kSlotStep * sizeof(int32_t)));
  table->textOffsets = static_cast<int32_t*>(Allocate(kSlotStep * sizeof(int32_t)));
  if (!table->pool || !table->nameOffsets || !table->textOffsets) {
    FreeDescriptions(table);
    return nullptr;
  }
  table->capacity = kSlotStep;
  table->poolCapacity = kPoolStep;
  return table;
}

void FreeDescriptions(DescriptionTable* table) {
  if (table == nullptr) return;
  platform::HeapFree(Heap(), 0, table->pool);
  platform::HeapFree(Heap(), 0, table->nameOffsets);
  platform::HeapFree(Heap(), 0, table->textOffsets);
  platform::HeapFree(Heap(), 0, table);
}

int ParseDescriptions(DescriptionTable* table, char* text, DWORD length) {
  if (table == nullptr) return 0;
  // A 0 byte would end the text early, and the rest would be lost on rewrite.
  if (std::memchr(text, 0, length) != nullptr) return 0;
  char* const end = text + length;
  bool afterKept = false;  // '>' lines after a kept line belong to it
  for (char* line = text; line < end;) {
    char* lineEnd = LineEnd(line, end);
    char* first = SkipBlanks(line, lineEnd);
    if (first == lineEnd) {
      line = lineEnd + 1;
      continue;
    }

    // The name, and where the text starts; each must lie on this line, so
    // that no line is ever taken for another one's text.
    char* name = first;
    char* nameEnd = nullptr;
    char* after = nullptr;
    if (*first == '"') {
      name = first + 1;
      nameEnd = static_cast<char*>(std::memchr(name, '"', lineEnd - name));
      if (nameEnd != nullptr) after = nameEnd + 1;
    } else {
      nameEnd = first;
      while (nameEnd < lineEnd && !IsBlank(*nameEnd)) ++nameEnd;
      after = nameEnd;
    }
    char* textStart = after != nullptr ? SkipBlanks(after, lineEnd) : lineEnd;
    bool isEntry = !(afterKept && *first == '>') && textStart < lineEnd && nameEnd != nullptr &&
                   nameEnd > name && CanWriteName(name, nameEnd - name);
    if (!isEntry) {
      *lineEnd = 0;
      if (!AddKeptLine(table, line)) return 0;
      afterKept = true;
      line = lineEnd + 1;
      continue;
    }
    afterKept = false;
    *nameEnd = 0;

    // Continuation lines are joined in place, behind the first line: each
    // '>' and line end ahead of a piece leaves room for the LF that joins it.
    char* write = lineEnd;
    char* next = lineEnd < end ? lineEnd + 1 : end;  // where the next entry's line starts
    for (char* p = next;;) {
      while (p < end && IsBlank(*p)) {
        if (IsLineEnd(*p)) next = p + 1;
        ++p;
      }
      if (p == end || *p != '>') break;
      char* piece = p + 1;
      char* pieceEnd = LineEnd(piece, end);
      *write++ = '\n';
      std::memmove(write, piece, pieceEnd - piece);
      write += pieceEnd - piece;
      p = next = pieceEnd < end ? pieceEnd + 1 : end;
    }
    *write = 0;
    if (!AddDescription(table, name, textStart)) return 0;
    line = next;
  }
  return 1;
}

DescriptionTable* ReadDescriptions(const char* directory) {
  DescriptionTable* table = NewDescriptions();
  char path[kPathSize];
  if (table == nullptr) return nullptr;
  if (!FindDescriptionFile(directory, path)) {
    if (NoDescriptionFile()) return table;
    FreeDescriptions(table);  // one that could not be looked at is unread
    return nullptr;
  }

  HANDLE file = platform::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    FreeDescriptions(table);
    return nullptr;
  }
  DWORD high = 0;
  DWORD size = platform::GetFileSize(file, &high);
  char* buffer = nullptr;
  bool read = high == 0 && size < kMaxBlock;  // a failed size is all ones
  if (read) buffer = static_cast<char*>(Allocate(uint64_t(size) + 1));
  read = buffer != nullptr;
  for (DWORD total = 0; read && total < size;) {
    DWORD done = 0;
    read = platform::ReadFile(file, buffer + total, size - total, &done, nullptr) && done > 0;
    total += done;
  }
  if (read) {
    buffer[size] = 0;
    read = ParseDescriptions(table, buffer, size);
  }
  platform::HeapFree(Heap(), 0, buffer);
  platform::CloseHandle(file);
  if (!read) {
    FreeDescriptions(table);
    return nullptr;
  }
  return table;
}

namespace {

// A new entry at the end; with `replace`, the name's first entry goes once
// the new one is sure to fit.
int AddEntry(DescriptionTable* table, const char* name, const char* text, bool replace) {
  if (table == nullptr || name == nullptr || *name == 0 || text == nullptr || *text == 0 ||
      !CanWrite(name, text))
    return 0;
  size_t nameLength = std::strlen(name);
  size_t textLength = std::strlen(text);
  // Name or text may lie in the pool, which the reservation can move.
  int64_t nameAt = PoolOffset(table, name);
  int64_t textAt = PoolOffset(table, text);
  if (!Reserve(table, EntryBytes(nameLength, textLength))) return 0;
  if (nameAt >= 0) name = table->pool + nameAt;
  if (textAt >= 0) text = table->pool + textAt;
  if (replace) TakeDescription(table, name, 1);
  return Append(table, name, nameLength, text, textLength);
}

}  // namespace

int AddDescription(DescriptionTable* table, const char* name, const char* text) {
  return AddEntry(table, name, text, false);
}

const char* TakeDescription(DescriptionTable* table, const char* name, int remove) {
  if (table == nullptr || name == nullptr || *name == 0) return nullptr;
  for (int32_t i = 0; i < table->count; ++i) {
    if (table->textOffsets[i] == kKeptLine) continue;
    char* entry = table->pool + table->nameOffsets[i];
    if (*entry == 0 || CompareFileNames(entry, name) != 0) continue;
    if (remove) *entry = 0;
    return table->pool + table->textOffsets[i];
  }
  return nullptr;
}

int SetDescription(DescriptionTable* table, const char* name, const char* text) {
  return AddEntry(table, name, text, true);
}

char* DescriptionImage(const DescriptionTable* table, DWORD* size) {
  uint64_t total = 0;
  for (int32_t i = 0; i < table->count; ++i) {
    const char* name = table->pool + table->nameOffsets[i];
    size_t nameLength = std::strlen(name);
    if (nameLength == 0) continue;
    total += nameLength + 2;
    if (table->textOffsets[i] == kKeptLine) continue;
    total += (NeedsQuotes(name, nameLength) ? 2 : 0) + 1;
    for (const char* p = table->pool + table->textOffsets[i]; *p; ++p) total += *p == '\n' ? 4 : 1;
  }
  char* image = static_cast<char*>(Allocate(total > 0 ? total : 1));
  if (image == nullptr) return nullptr;

  char* out = image;
  for (int32_t i = 0; i < table->count; ++i) {
    const char* name = table->pool + table->nameOffsets[i];
    size_t nameLength = std::strlen(name);
    if (nameLength == 0) continue;
    bool kept = table->textOffsets[i] == kKeptLine;
    bool quoted = !kept && NeedsQuotes(name, nameLength);
    if (quoted) *out++ = '"';
    std::memcpy(out, name, nameLength);
    out += nameLength;
    if (quoted) *out++ = '"';
    if (!kept) {
      *out++ = '\t';
      for (const char* p = table->pool + table->textOffsets[i]; *p; ++p) {
        if (*p != '\n') {
          *out++ = *p;
          continue;
        }
        std::memcpy(out, "\r\n >", 4);
        out += 4;
      }
    }
    *out++ = '\r';
    *out++ = '\n';
  }
  *size = static_cast<DWORD>(total);
  return image;
}

int WriteDescriptions(const DescriptionTable* table, const char* directory) {
  if (table == nullptr) return 0;
  char target[kPathSize];
  bool isNew = false;
  bool live = HasLiveEntry(table);
  if (!FindDescriptionFile(directory, target)) {
    if (!NoDescriptionFile()) return 0;  // a file not seen is never replaced
    if (!live) return 1;
    if (Settings.DescriptionNameCount <= 0 ||
        !JoinPath(target, directory, Settings.DescriptionNames[0]))
      return 0;
    isNew = true;
  }

  if (!live) {
    DWORD attributes = platform::GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      platform::SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
      if (!platform::DeleteFileA(target)) platform::SetFileAttributesA(target, attributes);
    }
    return 1;
  }

  DWORD size = 0;
  char* image = DescriptionImage(table, &size);
  if (image == nullptr) return 0;
  DWORD attributes = Settings.HideDescs ? FILE_ATTRIBUTE_HIDDEN : 0;
  if (isNew && RunOptions.EncryptionMode == ModeOn) attributes |= FILE_ATTRIBUTE_ENCRYPTED;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  // An existing read-only file, or a hidden one while HideDescs is off, is
  // refused before anything of it changes, as the system refuses to
  // recreate it.
  DWORD existing = isNew ? INVALID_FILE_ATTRIBUTES : platform::GetFileAttributesA(target);
  if (existing != INVALID_FILE_ATTRIBUTES &&
      ((existing & FILE_ATTRIBUTE_READONLY) ||
       (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) & ~attributes))) {
    platform::HeapFree(Heap(), 0, image);
    platform::SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  // Written beside the file and renamed over it: a write that fails leaves
  // the old file, and every text it holds, as it was.
  char temporary[kPathSize];
  HANDLE file = INVALID_HANDLE_VALUE;
  if (MakeTempName(target, temporary))
    file = platform::CreateFileA(temporary, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                 nullptr, CREATE_NEW, attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    platform::HeapFree(Heap(), 0, image);
    return 0;
  }
  if (isNew && RunOptions.CompressionMode != ModeLeave)
    SetCompressionState(file, RunOptions.CompressionMode);
  bool written = true;
  for (DWORD total = 0; written && total < size;) {
    DWORD done = 0;
    written = platform::WriteFile(file, image + total, size - total, &done, nullptr) && done > 0;
    total += done;
  }
  platform::HeapFree(Heap(), 0, image);
  written = platform::CloseHandle(file) && written && MoveOrRename(temporary, target, true);
  if (!written) {
    DWORD error = platform::GetLastError();
    platform::DeleteFileA(temporary);
    platform::SetLastError(error);
    return 0;
  }
  if (isNew && RunOptions.EncryptionMode == ModeOff) SetEncryptionState(target, 0);
  return 1;
}

char* JoinText(char* string, const char* text) {
  if (text == nullptr) text = "";
  size_t length = std::strlen(text);
  if (string == nullptr) {
    char* copy = static_cast<char*>(Allocate(uint64_t(length) + 1));
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    return copy;
  }
  size_t used = std::strlen(string);
  void* block = string;
  if (!Grow(&block, uint64_t(used) + length + 1)) return nullptr;
  char* joined = static_cast<char*>(block);
  std::memcpy(joined + used, text, length + 1);
  return joined;
}

void FreeDescriptionText(char* text) { platform::HeapFree(Heap(), 0, text); }

namespace {

// The pass's current source and destination directories with their tables.
struct DescriptionPass {
  int isMove;
  char source[kPathSize];
  DescriptionTable* sourceTable;
  char destination[kPathSize];
  DescriptionTable* destinationTable;
  // A destination file could not be written since the source table was
  // read: the source keeps what it gave away.
  bool destinationFailed;
};

void WriteDestination(DescriptionPass* pass) {
  if (pass->destination[0] && pass->destinationTable &&
      !WriteDescriptions(pass->destinationTable, pass->destination))
    pass->destinationFailed = true;
}

// The source directory's pair, if the run moved that directory.
FileRecord* FolderRecord(const char* directory) {
  for (DWORD pair = 0; pair < PairCount(); ++pair) {
    FileRecord* record = RecordOf(pair);
    if ((record->attributes & FILE_ATTRIBUTE_DIRECTORY) && !Differ(SourceOf(pair), directory))
      return record;
  }
  return nullptr;
}

void WriteSource(DescriptionPass* pass) {
  if (!pass->isMove || !pass->source[0]) return;
  if (!pass->destinationFailed && pass->sourceTable) {
    WriteDescriptions(pass->sourceTable, pass->source);
    return;
  }
  // The source file holds the only copy of the texts that did not arrive
  // (or that could not be read).
  if (FileRecord* folder = FolderRecord(pass->source)) folder->state |= EntryKeepDescriptions;
}

// A name given a new name in its own directory. Both tables hold that
// directory; on a move the source table is written last, so it takes the
// removal and the new entry together or neither.
void RenameInPlace(DescriptionPass* pass, const char* sourceName, const char* destinationName,
                   bool remove) {
  const char* found = TakeDescription(pass->sourceTable, sourceName, 0);
  char* text = found != nullptr ? JoinText(nullptr, found) : nullptr;
  if (text == nullptr) return;
  DescriptionTable* table = pass->sourceTable;
  if (!remove) {
    SetDescription(table, destinationName, text);
  } else if (CanWrite(destinationName, text) &&
             Reserve(table, EntryBytes(std::strlen(destinationName), std::strlen(text)))) {
    TakeDescription(table, sourceName, 1);
    SetDescription(table, destinationName, text);
  }
  SetDescription(pass->destinationTable, destinationName, text);
  FreeDescriptionText(text);
}

}  // namespace

void UpdateDescriptions(int isMove) {
  HANDLE saved = Host.SaveScreen(RunBox.left, RunBox.top, RunBox.right + 2, RunBox.bottom + 2);
  ShowStatusBox(Msg(MsgStatusDescriptions));

  DescriptionPass pass{};
  pass.isMove = isMove;
  for (DWORD pair = 0; pair < PairCount(); ++pair) {
    const FileRecord* record = RecordOf(pair);
    bool taken = (record->state & EntryDone) || ((record->attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                                  !(record->state & EntryFailed));
    if (!taken || (record->state & EntryNoDescription)) continue;
    char sourceDirectory[kPathSize], sourceName[kPathSize];
    char destinationDirectory[kPathSize], destinationName[kPathSize];
    if (!SplitPath(SourceOf(pair), sourceDirectory, sourceName) ||
        !SplitPath(DestinationOf(pair), destinationDirectory, destinationName))
      continue;

    // Both old files are written before either new one is read, the
    // destination's first: a directory read again sees what was written.
    bool newSource = Differ(sourceDirectory, pass.source);
    bool newDestination = Differ(destinationDirectory, pass.destination);
    if (newDestination) WriteDestination(&pass);
    if (newSource) WriteSource(&pass);
    if (newDestination) {
      CopyText(pass.destination, kPathSize, destinationDirectory);
      FreeDescriptions(pass.destinationTable);
      pass.destinationTable = ReadDescriptions(pass.destination);
    }
    if (newSource) {
      CopyText(pass.source, kPathSize, sourceDirectory);
      FreeDescriptions(pass.sourceTable);
      pass.sourceTable = ReadDescriptions(pass.source);
      pass.destinationFailed = false;
    }
    // A destination that could not be read takes no text: the source keeps them all.
    if (pass.destinationTable == nullptr) pass.destinationFailed = true;

    bool remove = (record->state & EntrySourceRemoved) != 0;
    if (Differ(pass.destination, pass.source)) {
      // The source's entry goes only once the destination holds the text.
      const char* text = TakeDescription(pass.sourceTable, sourceName, 0);
      if (SetDescription(pass.destinationTable, destinationName, text) && remove)
        TakeDescription(pass.sourceTable, sourceName, 1);
    } else {
      RenameInPlace(&pass, sourceName, destinationName, remove);
    }
  }
  WriteDestination(&pass);
  WriteSource(&pass);
  FreeDescriptions(pass.sourceTable);
  FreeDescriptions(pass.destinationTable);

  Host.RestoreScreen(nullptr);
  Host.RestoreScreen(saved);
}

void ClearDescriptionOnlyDirectory(const char* directory) {
  char pattern[kPathSize];
  if (!JoinPath(pattern, directory, "*.*")) return;
  WIN32_FIND_DATAA found;
  HANDLE find = platform::FindFirstFileA(pattern, &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (!IsDots(found.cFileName) && !IsDescriptionName(found.cFileName)) {
        platform::FindClose(find);
        return;
      }
    } while (platform::FindNextFileA(find, &found));
    platform::FindClose(find);
  }
  // Only description files go, even if something else arrived meanwhile.
  find = platform::FindFirstFileA(pattern, &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      char path[kPathSize];
      if (!IsDots(found.cFileName) && IsDescriptionName(found.cFileName) &&
          JoinPath(path, directory, found.cFileName))
        platform::DeleteFileA(path);
    } while (platform::FindNextFileA(find, &found));
    platform::FindClose(find);
  }
  RemoveEmptyDirectory(directory);
}
