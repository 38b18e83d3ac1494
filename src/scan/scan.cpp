#include "scan.h"

#include <cstring>
#include <iterator>

#include "common/run_state.h"
#include "common/text.h"
#include "engine/copy.h"
#include "engine/prompts.h"
#include "host/messages.h"
#include "names.h"
#include "overwrite.h"
#include "paths/paths.h"
#include "primitives.h"
#include "settings/settings.h"

namespace {

constexpr size_t kPathSize = 512;
constexpr DWORD kModeBits = FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED;
constexpr DWORD kStreamHeaderSize = 20;  // id, attributes, 64-bit size, name size

// parent + separator + name into out[capacity]; false (out empty) when it
// does not fit.
bool JoinPath(char* out, size_t capacity, const char* parent, const char* separator,
              const char* name) {
  if (CopyText(out, capacity, parent) && AppendText(out, capacity, separator) &&
      AppendText(out, capacity, name))
    return true;
  out[0] = 0;
  return false;
}

// An object whose path does not fit is left out with its subtree; the user
// is told, as it will be missing from the copy. With its source at hand it
// is listed as not copied.
[[gnu::noinline]] void ReportTooLong(int message, const char* parent, const char* separator,
                                     const char* name, const char* source = nullptr,
                                     DWORD attributes = 0) {
  char shown[kPathSize];
  ShortenPathLeft(parent, shown, 40);
  if (AppendText(shown, sizeof shown, separator)) AppendText(shown, sizeof shown, name);
  platform::SetLastError(ERROR_FILENAME_EXCED_RANGE);
  if (source != nullptr)
    ListNotCopied(source, attributes, message, shown);
  else
    ShowFileErrorBox(Msg(message), shown);
}

// Matched by the rule the description reader finds the file by: the file
// system's own.
bool IsDescriptionFile(const char* source) {
  const char* slash = std::strrchr(source, '\\');
  if (slash == nullptr) return false;
  for (int i = 0; i < Settings.DescriptionNameCount; ++i)
    if (CompareFileNames(slash + 1, Settings.DescriptionNames[i]) == 0) return true;
  return false;
}

// A source that is its own destination (the same path, or the same file
// reached through a link, a bind mount, a hard link or another case) is
// refused: writing the target would destroy the source.
[[gnu::noinline]] void ReportSameFile(const char* source) {
  char shown[kPathSize];
  ShortenPathLeft(source, shown, 56);
  const char* lines[] = {Msg(MsgErrorTitle), shown, "\x01", Msg(MsgSameFile), "\x01", Msg(MsgOk)};
  Host.Message(Host.ModuleNumber, MessageWarning | MessageLeftAlign, nullptr, lines,
               static_cast<int>(std::size(lines)), 1);
}

// A name the system could not give whole (listed ending in '?') or any
// wildcard: no call can reach such an entry.
bool IsUnreachableName(const char* name) { return std::strpbrk(name, "*?") != nullptr; }

// Esc (or the host's break) stops a long scan; the console is looked at
// every so many entries.
bool ScanBroken() {
  static unsigned polls;
  if (BreakRequested) return true;
  if ((++polls & 31) == 0 && BreakKeyPressed()) {
    BreakRequested = 1;
    // The stop is for a writer thread, and none runs yet: left set, it
    // would hide every later box of this run and of the runs after it.
    RunStopping.store(false);
  }
  return BreakRequested != 0;
}

// A link inside a tree is made again as a link, never followed. True when
// that settled the pair; false when the system keeps no such links
// (Windows), and the pair goes on as any other.
[[gnu::noinline]] bool CopyLink(const char* source, const char* working, DWORD pair, int choice) {
  FileRecord* record = RecordOf(pair);
  bool made = platform::CopySymbolicLinkA(source, working) != FALSE;
  DWORD error = platform::GetLastError();
  if (!made && error == ERROR_PATH_NOT_FOUND) {  // its folder comes before the engine's
    CreateParentDirectories(working);
    made = platform::CopySymbolicLinkA(source, working) != FALSE;
    error = platform::GetLastError();
  }
  if (!made && error == ERROR_NOT_SUPPORTED) return false;
  bool replace = choice == AnswerOverwrite || RunOptions.OverwriteMode == OverwriteAll;
  if (!made && error == ERROR_ALREADY_EXISTS && RunOptions.OverwriteMode == OverwriteSkip) {
    record->state |= EntrySkip;
    return true;
  }
  // Only a file or another link gives way; a folder never does.
  DWORD existing = platform::GetFileAttributesA(working);
  if (!made && error == ERROR_ALREADY_EXISTS && replace && existing != INVALID_FILE_ATTRIBUTES &&
      ((existing & FILE_ATTRIBUTE_REPARSE_POINT) || !(existing & FILE_ATTRIBUTE_DIRECTORY))) {
    bool removed = (existing & FILE_ATTRIBUTE_DIRECTORY) ? platform::RemoveDirectoryA(working)
                                                         : platform::DeleteFileA(working);
    made = removed && platform::CopySymbolicLinkA(source, working);
    if (!made) error = platform::GetLastError();
  }
  // Nothing below a link is the engine's, nor any folder's step.
  record->attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
  if (!made) {
    record->state |= EntrySkip | EntryFailed;
    platform::SetLastError(error);
    ShowFileErrorBox(Msg(MsgCannotCreate), working);
    return true;
  }
  record->state |= EntryDone | EntrySkip;
  if (!IsMove) return true;
  DWORD sourceAttributes = platform::GetFileAttributesA(source);
  bool gone = sourceAttributes != INVALID_FILE_ATTRIBUTES &&
              ((sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) ? platform::RemoveDirectoryA(source)
                                                            : platform::DeleteFileA(source));
  if (gone)
    record->state |= EntrySourceRemoved;
  else
    ReportNotCopied(record, MsgCannotDeleteSource, source);  // copied, not moved
  return true;
}

// A stream's UTF-16 name for a path, narrowed unit by unit: exact for the
// Linux layer, which widens names byte by byte, and for ASCII and Latin-1
// letters under Windows' ANSI page. A unit that has no byte becomes '?', as
// the system's conversion makes it; such a stream then fails visibly in the
// engine instead of being dropped here.
void StreamNameToAnsi(const WORD* name, char* out, size_t capacity) {
  size_t length = 0;
  for (; name[length] != 0 && length + 1 < capacity; ++length)
    out[length] = name[length] < 0x100 ? static_cast<char>(name[length]) : '?';
  out[length] = 0;
}

// The helpers with large buffers stay out of line, so that the recursion
// through ScanEntry and ListChildren keeps small frames.

// The rename-first step of a move. True when the scan settled the object
// (moved whole, or skipped) and nothing more is listed for it; false leaves
// it to the engine with *choice. `working` may change to a new name.
[[gnu::noinline]] bool MoveByRename(const char* source, const char* destination, char* working,
                                    bool isDirectory, const FILETIME* lastWrite, DWORD pair,
                                    int* choice) {
  int nextNumber = 0;  // numbers already tried are not tried again
  for (;;) {
    if (MoveOrRename(source, working, false)) {
      RecordOf(pair)->state |= EntryMovedByRename;
      return true;
    }
    // A directory that meets an existing one is merged child by child.
    if (platform::GetLastError() != ERROR_ALREADY_EXISTS || isDirectory) return false;

    char newName[kPathSize] = "";
    int decision;
    if (RunOptions.OnlyNewer && lastWrite != nullptr && DestinationNotOlder(working, *lastWrite))
      decision = AnswerSkip;
    else if (RunOptions.OverwriteMode != OverwriteAsk)
      decision = RunOptions.OverwriteMode;
    else
      decision = AskOverwrite(source, working, -1, newName);

    switch (decision) {
      case AnswerOverwrite:
        *choice = AnswerOverwrite;
        if (!MoveOrRename(source, working, true)) return false;
        RecordOf(pair)->state |= EntryMovedByRename;
        return true;
      case AnswerSkip:
        RecordOf(pair)->state |= EntrySkip;
        return true;
      case AnswerAppend:
        *choice = AnswerAppend;
        return false;
      case AnswerRename:
        if (RunOptions.OverwriteMode == OverwriteRename) {
          // Numbers come from the destination as passed in, not the working copy.
          int n = nextNumber;
          while (NumberedNameExists(destination, n)) ++n;
          bool named = n == 0 ? CopyText(newName, sizeof newName, destination)
                              : NumberedName(destination, n, newName);
          if (!named) return false;
          nextNumber = n + 1;
        }
        newName[kPathSize - 1] = 0;
        if (newName[0] == 0) return false;
        CopyText(working, kPathSize, newName);
        break;
      default:
        return false;
    }
  }
}

// Step 11: every child below the working destination, each followed at once
// by its own subtree. A folder that cannot be read (or read to its end) is
// reported: in a move its source stays.
void ListChildren(const char* source, const char* working, DWORD scanFlags, DWORD pair) {
  char childSource[kPathSize + 8];  // the pattern first, then each child's path
  if (!JoinPath(childSource, sizeof childSource, source, "\\", "*.*")) return;
  WIN32_FIND_DATAA found;
  HANDLE find = platform::FindFirstFileA(childSource, &found);
  if (find == INVALID_HANDLE_VALUE) {
    // An empty root has not even "." to list.
    if (platform::GetLastError() != ERROR_FILE_NOT_FOUND)
      ReportNotCopied(RecordOf(pair), MsgCannotReadFolder, source);
    return;
  }
  bool broken = false;
  do {
    const char* name = found.cFileName;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    broken = ScanBroken();
    if (broken) break;
    if (IsUnreachableName(name)) {
      ReportTooLong(MsgCannotOpenSource, source, "\\", name);
      continue;
    }
    char childDestination[kPathSize];
    if (!JoinPath(childSource, kPathSize, source, "\\", name)) {
      ReportTooLong(MsgCannotOpenSource, source, "\\", name);
      continue;
    }
    if (!JoinPath(childDestination, kPathSize, working, "\\", name)) {
      ReportTooLong(MsgCannotCreate, working, "\\", name, childSource,
                    found.dwFileAttributes | kModeBits);
      continue;
    }
    ScanEntry(childSource, childDestination, found.dwFileAttributes | kModeBits, found.nFileSizeLow,
              found.nFileSizeHigh, &found.ftCreationTime, &found.ftLastAccessTime,
              &found.ftLastWriteTime, scanFlags);
  } while (platform::FindNextFileA(find, &found));
  DWORD error = platform::GetLastError();
  platform::FindClose(find);
  if (!broken && error != ERROR_NO_MORE_FILES) {
    platform::SetLastError(error);
    ReportNotCopied(RecordOf(pair), MsgCannotReadFolder, source);
  }
}

// Step 12: a pair "file:name:$DATA" for every named stream of the file
// (pair `pair`), in the order BackupRead reports them. A walk that fails
// fails the file: its streams would be left out, and a move would remove
// them with the file.
[[gnu::noinline]] void ListStreams(const char* source, const char* working, DWORD attributes,
                                   const FILETIME* creation, const FILETIME* lastAccess,
                                   const FILETIME* lastWrite, DWORD scanFlags, DWORD pair) {
  HANDLE file = platform::CreateFileA(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ReportNotCopied(RecordOf(pair), MsgCannotOpenSource, source);
    return;
  }
  LPVOID context = nullptr;
  bool failed = false;
  for (;;) {
    BYTE header[kStreamHeaderSize];
    DWORD done = 0;
    bool read = platform::BackupRead(file, header, sizeof header, &done, FALSE, FALSE, &context);
    if (!read || done != sizeof header) {
      // Nothing read is the end; a system that cannot walk streams has none.
      DWORD why = read ? ERROR_SUCCESS : platform::GetLastError();
      failed = read ? done != 0
                    : why != ERROR_NOT_SUPPORTED && why != ERROR_CALL_NOT_IMPLEMENTED &&
                          why != ERROR_INVALID_FUNCTION;
      break;
    }
    DWORD id, sizeLow, sizeHigh, nameSize;
    std::memcpy(&id, header, 4);
    std::memcpy(&sizeLow, header + 8, 4);
    std::memcpy(&sizeHigh, header + 12, 4);
    std::memcpy(&nameSize, header + 16, 4);

    WORD name[kPathSize / 2] = {};
    if (nameSize != 0) {
      // No file system has stream names this long; the buffer keeps room
      // for the terminator.
      failed = nameSize > sizeof name - sizeof(WORD) ||
               !platform::BackupRead(file, reinterpret_cast<BYTE*>(name), nameSize, &done, FALSE,
                                     FALSE, &context) ||
               done != nameSize;
      if (failed) break;
      name[nameSize / 2] = 0;
    }

    if ((id == BACKUP_DATA || id == BACKUP_EA_DATA || id == BACKUP_ALTERNATE_DATA) &&
        name[0] != 0) {
      char streamName[kPathSize], streamSource[kPathSize], streamDestination[kPathSize];
      StreamNameToAnsi(name, streamName, sizeof streamName);
      if (!JoinPath(streamSource, sizeof streamSource, source, "", streamName))
        ReportTooLong(MsgCannotOpenSource, source, "", streamName);
      else if (!JoinPath(streamDestination, sizeof streamDestination, working, "", streamName))
        ReportTooLong(MsgCannotCreate, working, "", streamName, streamSource, attributes);
      else
        ScanEntry(streamSource, streamDestination, attributes, sizeLow, sizeHigh, creation,
                  lastAccess, lastWrite, scanFlags | ScanStream);
    }

    if (sizeLow != 0 || sizeHigh != 0) {
      DWORD seekLow = 0, seekHigh = 0;
      platform::BackupSeek(file, sizeLow, sizeHigh, &seekLow, &seekHigh, &context);
      // Judged by what was skipped: a short skip would read data as a header.
      failed = seekLow != sizeLow || seekHigh != sizeHigh;
      if (failed) break;
    }
  }
  DWORD error = platform::GetLastError();
  // The walk's context is the system's memory until an aborting call frees it.
  DWORD ignored = 0;
  if (context != nullptr) platform::BackupRead(file, nullptr, 0, &ignored, TRUE, FALSE, &context);
  platform::CloseHandle(file);
  if (!failed) return;
  platform::SetLastError(error);
  ReportNotCopied(RecordOf(pair), MsgReadError, source);
}

}  // namespace

void ScanEntry(const char* source, const char* destination, DWORD attributes, DWORD sizeLow,
               DWORD sizeHigh, const FILETIME* creation, const FILETIME* lastAccess,
               const FILETIME* lastWrite, DWORD scanFlags) {
  if (attributes == INVALID_FILE_ATTRIBUTES || BreakRequested) return;
  bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !(scanFlags & ScanStream);
  if (!(scanFlags & ScanStream)) {
    bool sameName = CompareFileNames(source, destination) == 0;
    // Where names ignore case, a move that changes only the case renames.
    bool caseRename = IsMove && sameName && std::strcmp(source, destination) != 0;
    // A link is copied as itself: what it leads to is no matter.
    if (!caseRename && (sameName || (!isLink && SameFile(source, destination)))) {
      ReportSameFile(source);
      return;
    }
  }
  char working[kPathSize];
  // Callers build paths within 511 characters; a longer one is refused whole.
  if (std::strlen(source) >= kPathSize || !CopyText(working, sizeof working, destination)) return;
  bool isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;

  // Description files are written by the descriptions step itself.
  if (Settings.CopyDescs && !(scanFlags & (ScanSingleItem | ScanStream | ScanNoDescriptions)) &&
      !isDirectory && IsDescriptionFile(source))
    return;
  scanFlags &= ~ScanSingleItem;

  if (!(scanFlags & ScanClearReadOnly) && Settings.ClearROFromCD) {
    int caps = EntryVolumeCaps(source);
    if (caps != -1 && (caps & CapsCdRom)) scanFlags |= ScanClearReadOnly;
  }
  if (scanFlags & ScanClearReadOnly) attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);

  if (isDirectory) sizeLow = sizeHigh = 0;
  // A pair goes in whole or not at all: a lone source entry would shift
  // every later pair. A failed growth drops the object and all below it.
  DWORD usedBefore = List.namesUsed, countBefore = List.entryCount;
  if (!AddListEntry(source, false, 0, 0, 0, nullptr, nullptr, nullptr)) return;
  if (!AddListEntry(working, true, attributes, sizeLow, sizeHigh, creation, lastAccess,
                    lastWrite)) {
    List.namesUsed = usedBefore;
    List.entryCount = countBefore;
    return;
  }
  DWORD pair = PairCount() - 1;
  if (scanFlags & ScanNoDescriptions) RecordOf(pair)->state |= EntryNoDescription;

  int choice = 0;
  if (!(scanFlags & ScanStream) && IsMove &&
      MoveByRename(source, destination, working, isDirectory, lastWrite, pair, &choice))
    return;
  if (isLink && CopyLink(source, working, pair, choice)) return;

  TotalBytes += (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
  RecordOf(pair)->overwriteChoice = choice;
  if (scanFlags & ScanStream) return;
  // A move never reaches through a link: what it leads to is not the user's
  // choice, and the move's removal must not touch it.
  if (isLink && IsMove) return;

  if (isDirectory)
    ListChildren(source, working,
                 scanFlags | (Settings.DescsInDirs ? 0u : DWORD{ScanNoDescriptions}), pair);
  else if (RunOptions.CopyStreams)
    ListStreams(source, working, attributes, creation, lastAccess, lastWrite, scanFlags, pair);
}

void ListNotCopied(const char* source, DWORD attributes, int message, const char* shownName) {
  DWORD error = platform::GetLastError();
  DWORD usedBefore = List.namesUsed, countBefore = List.entryCount;
  if (!AddListEntry(source, false, 0, 0, 0, nullptr, nullptr, nullptr)) return;
  if (!AddListEntry("", true, attributes, 0, 0, nullptr, nullptr, nullptr)) {
    List.namesUsed = usedBefore;
    List.entryCount = countBefore;
    return;
  }
  platform::SetLastError(error);
  ReportNotCopied(RecordOf(PairCount() - 1), message, shownName);
}
