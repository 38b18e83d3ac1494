#include "run.h"

#include <cstdlib>
#include <cstring>

#include "common/run_state.h"
#include "common/text.h"
#include "copy_dialog.h"
#include "describe/descriptions.h"
#include "engine/boxes.h"
#include "engine/copy.h"
#include "engine/file_access.h"
#include "engine/progress.h"
#include "engine/prompts.h"
#include "host/messages.h"
#include "paths/paths.h"
#include "scan/existing_targets.h"
#include "scan/names.h"
#include "scan/primitives.h"
#include "scan/scan.h"
#include "settings/settings.h"
#include "settings/tune.h"

int IsMove;
HANDLE ScreenLock;
RunOptionsRecord RunOptions;
CRITICAL_SECTION ListLock;
RunBoxRecord RunBox;

namespace {

// Longest prompt line that fits the copy dialog.
constexpr int kPromptWidth = 62;

bool IsDotDot(const PanelItem& item) { return std::strcmp(item.FindData.cFileName, "..") == 0; }

// The panel's folder with one trailing backslash, or "" when it is hidden or
// shows no folder (quick view, information).
bool PassiveDestination(const PanelInfo& passive, RunStart* start) {
  start->defaultDestination[0] = 0;
  start->passiveIsPlugin = passive.Plugin != 0;
  if (start->passiveIsPlugin) return CopyText(start->defaultDestination, 512, "plugin:");
  if (passive.PanelType == PanelTypeQuickView || passive.PanelType == PanelTypeInformation ||
      !passive.Visible)
    return true;
  char folder[sizeof passive.CurDir + 1] = {};
  std::memcpy(folder, passive.CurDir, sizeof passive.CurDir);  // the host's text may lack its end
  size_t length = std::strlen(folder);
  bool fits = CopyText(start->defaultDestination, 512, folder);
  if (fits && (length == 0 || folder[length - 1] != '\\'))
    fits = AppendText(start->defaultDestination, 512, "\\");
  return fits;
}

}  // namespace

int ReadPanelsAndPrompt(int isMove, int currentItemOnly, PanelInfo* active, RunStart* start) {
  std::memset(start, 0, sizeof *start);
  PanelInfo passive{};
  Host.Control(INVALID_HANDLE_VALUE, ControlGetPassivePanel, &passive);
  if (!PassiveDestination(passive, start)) start->defaultDestination[0] = 0;

  std::memset(active, 0, sizeof *active);
  Host.Control(INVALID_HANDLE_VALUE, ControlGetActivePanel, active);
  if (active->PanelType == PanelTypeQuickView || active->PanelType == PanelTypeInformation ||
      active->ItemsNumber <= 0 || !active->PanelItems)
    return 0;
  if (active->CurrentItem < 0 || active->CurrentItem >= active->ItemsNumber) return 0;
  const PanelItem& current = active->PanelItems[active->CurrentItem];

  bool several = active->SelectedItemsNumber > 1 && !currentItemOnly;
  if (several) {
    if (!CopyText(start->prompt, sizeof start->prompt,
                  Msg(isMove ? MsgPromptMoveSeveral : MsgPromptCopySeveral)))
      return 0;
  } else {
    bool fromSelection =
        active->SelectedItemsNumber > 0 && active->SelectedItems && !currentItemOnly;
    const PanelItem& subject = fromSelection ? active->SelectedItems[0] : current;
    if (IsDotDot(subject)) return 0;
    const char* format = Msg(isMove ? MsgPromptMoveOne : MsgPromptCopyOne);
    char name[512];
    ShortenPathLeft(subject.FindData.cFileName, name,
                    kPromptWidth - static_cast<int>(std::strlen(format)));
    if (!FormatWithText(start->prompt, sizeof start->prompt, format, name)) return 0;
  }

  char folder[sizeof active->CurDir + 1] = {};
  std::memcpy(folder, active->CurDir, sizeof active->CurDir);
  if (!CopyText(start->sourceDirectory, sizeof start->sourceDirectory, folder)) return 0;
  if (currentItemOnly &&
      !CopyText(start->defaultDestination, sizeof start->defaultDestination,
                current.FindData.cFileName))
    return 0;
  return 1;
}

namespace {

// The panel items a run covers: the current item alone, or the selection in
// the host's order.
struct RunItems {
  const PanelItem* items;
  int count;
};

RunItems ItemsOfRun(const PanelInfo& active, int currentItemOnly) {
  if (currentItemOnly || active.SelectedItemsNumber <= 0 || !active.SelectedItems)
    return {&active.PanelItems[active.CurrentItem], 1};
  return {active.SelectedItems, active.SelectedItemsNumber};
}

// The item's source and destination paths; false when either cannot be
// formed, with the last error set and `source` empty when it is the source
// that does not fit.
bool ItemPaths(const RunStart& start, const char* destination, const PanelItem& item,
               char* source, char* target) {
  size_t length = std::strlen(start.sourceDirectory);
  bool fits = CopyText(source, 512, start.sourceDirectory);
  if (fits && (length == 0 || start.sourceDirectory[length - 1] != '\\'))
    fits = AppendText(source, 512, "\\");
  fits = fits && AppendText(source, 512, item.FindData.cFileName);
  if (!fits) {
    source[0] = 0;
    platform::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  return DestinationPath(source, destination, target);
}

void ComputeRunBox() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  platform::GetConsoleScreenBufferInfo(platform::GetStdHandle(STD_OUTPUT_HANDLE), &info);
  RunBox.left = (info.dwSize.X - 60) / 2;
  RunBox.right = RunBox.left + 59;
  RunBox.top = (info.dwSize.Y - 13) / 2 - 2;
  RunBox.bottom = RunBox.top + 12;
}

// Saves the run box and its shadow and shows one status line over it.
HANDLE ShowStatus(int message) {
  HANDLE saved = Host.SaveScreen(RunBox.left, RunBox.top, RunBox.right + 2, RunBox.bottom + 2);
  ShowStatusBox(Msg(message));
  return saved;
}

// `path` lies below `folder` (not the folder itself), by name.
bool IsBelow(const char* path, const char* folder) {
  char resolvedPath[512], resolvedFolder[512];
  if (ResolveSubst(path, resolvedPath) && ResolveSubst(folder, resolvedFolder)) {
    path = resolvedPath;
    folder = resolvedFolder;
  }
  size_t length = std::strlen(folder);
  if (length == 0 || std::strlen(path) <= length + 1 || path[length] != '\\') return false;
  char prefix[512];
  std::memcpy(prefix, path, length);
  prefix[length] = 0;
  return CompareNamesOem(prefix, folder) == 0;
}

bool IsFolder(const char* path) {
  DWORD attributes = platform::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Into a folder every item keeps its own name; a name or a mask may give two
// items the same one.
bool DestinationIsFolder(const char* destination) {
  size_t length = std::strlen(destination);
  return (length > 0 && destination[length - 1] == '\\') || IsFolder(destination);
}

// A run that would destroy what it moves is refused whole, before anything
// moves: one box, no system text.
void RefuseRun(int message, const char* name) {
  char shown[512];
  ShortenPathLeft(name, shown, 56);
  platform::SetLastError(ERROR_SUCCESS);
  ShowFileErrorBox(Msg(message), shown);
}

const char* SortedNames;  // the list's names while its offsets are sorted

int CompareEntries(const void* a, const void* b) {
  return CompareNamesOem(SortedNames + *static_cast<const DWORD*>(a),
                         SortedNames + *static_cast<const DWORD*>(b));
}

// Before the scan: a folder moved into itself would be buried in its own
// tree, and two items with one destination would replace each other (in a
// move the first one's data would be gone). The list holds the targets for
// a moment and is left empty.
bool RunItemsAllowed(const RunStart& start, const char* destination, RunItems run) {
  bool allowed = true;
  bool sameNames = !DestinationIsFolder(destination);
  for (int i = 0; allowed && i < run.count; ++i) {
    const PanelItem& item = run.items[i];
    char source[512], target[512];
    if (IsDotDot(item) || !ItemPaths(start, destination, item, source, target)) continue;
    if (IsMove && (item.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        IsBelow(target, source)) {
      RefuseRun(MsgMoveIntoItself, source);
      allowed = false;
    } else if (sameNames) {
      allowed = AddListEntry(target, false, 0, 0, 0, nullptr, nullptr, nullptr);
    }
  }
  if (allowed && List.entryCount > 1) {
    SortedNames = List.names;
    std::qsort(List.offsets, List.entryCount, sizeof(DWORD), CompareEntries);
    for (DWORD k = 1; allowed && k < List.entryCount; ++k) {
      const char* target = List.names + List.offsets[k];
      if (CompareNamesOem(List.names + List.offsets[k - 1], target) != 0) continue;
      RefuseRun(MsgSameDestination, target);
      allowed = false;
    }
  }
  List.namesUsed = 0;
  List.entryCount = 0;
  return allowed;
}

// Phase 5: every item of the run into the FileList. An item without a
// destination name is listed as not copied.
void ScanItems(const RunStart& start, const char* destination, RunItems run) {
  HANDLE saved = ShowStatus(MsgStatusScanning);
  TotalBytes = 0;
  BreakRequested = 0;  // Esc during the scan ends the run before any copy
  LastDoneIndex = -1;
  DWORD flags = 0;
  if (run.count == 1) flags |= ScanSingleItem;
  if (IsMove) flags |= ScanMove;
  for (int i = 0; i < run.count && !BreakRequested; ++i) {
    const PanelItem& item = run.items[i];
    char source[512], target[512];
    if (IsDotDot(item)) continue;
    if (!ItemPaths(start, destination, item, source, target)) {
      if (source[0] != 0)
        ListNotCopied(source, item.FindData.dwFileAttributes, MsgNoDestinationName, source);
      else
        ShowFileErrorBox(Msg(MsgCannotOpenSource), item.FindData.cFileName);
      continue;
    }
    const HostFindData& data = item.FindData;
    // The host's items are packed: their times may lie on any address.
    FILETIME creation = data.ftCreationTime, lastAccess = data.ftLastAccessTime,
             lastWrite = data.ftLastWriteTime;
    ScanEntry(source, target, data.dwFileAttributes | FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED,
              data.nFileSizeLow, data.nFileSizeHigh, &creation, &lastAccess, &lastWrite, flags);
  }
  Host.RestoreScreen(saved);
}

// Compression, encryption and security of a created folder, as the run's
// options say.
void ApplyFolderExtras(const char* source, const char* folder, DWORD attributes) {
  HANDLE handle = platform::CreateFileA(folder, GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    if (RunOptions.CompressionMode != ModeLeave && (attributes & FILE_ATTRIBUTE_COMPRESSED))
      SetCompressionState(handle, RunOptions.CompressionMode);
    platform::CloseHandle(handle);
  }
  if (RunOptions.EncryptionMode != ModeLeave && (attributes & FILE_ATTRIBUTE_ENCRYPTED))
    SetEncryptionState(folder, RunOptions.EncryptionMode);
  if (RunOptions.CopyAccessRights) CopySecurity(source, folder);
}

// A destination folder that cannot be made (a file has its name, say): one
// box for it, and everything below it, which follows it in the list, is
// left out with it; a move keeps all of it.
void RefuseFolder(DWORD pair) {
  DWORD error = platform::GetLastError();
  FileRecord* folder = RecordOf(pair);
  if (!(folder->state & EntryFailed)) {
    platform::SetLastError(error);
    ReportNotCopied(folder, MsgCannotCreateFolder, DestinationOf(pair));
  }
  const char* source = SourceOf(pair);
  size_t length = std::strlen(source);
  for (DWORD below = pair + 1; below < PairCount(); ++below) {
    const char* path = SourceOf(below);
    if (std::strncmp(path, source, length) != 0 || path[length] != '\\') break;
    FileRecord* record = RecordOf(below);
    if (record->state & EntrySkip) continue;
    record->state |= EntrySkip | EntryFailed | EntryTotalsAdjusted;
    TotalBytes -= SizeOf(record);
  }
}

// Phase 7: every destination folder exists before the engine starts, so the
// engine only creates files.
void CreateDestinationFolders(const RunStart& start, const char* destination, RunItems run) {
  HANDLE saved = ShowStatus(MsgStatusFolders);
  for (int i = 0; i < run.count; ++i) {
    char source[512], target[512];
    if (!IsDotDot(run.items[i]) && ItemPaths(start, destination, run.items[i], source, target))
      CreateParentDirectories(target);
  }
  for (DWORD pair = 0; pair < PairCount(); ++pair) {
    const FileRecord* record = RecordOf(pair);
    const char* folder = DestinationOf(pair);
    if (!(record->attributes & FILE_ATTRIBUTE_DIRECTORY) || folder[0] == 0) continue;
    if (!platform::CreateDirectoryA(folder, nullptr) && !IsFolder(folder)) {
      RefuseFolder(pair);
      continue;
    }
    // The folder's attributes and extras are the system's to refuse.
    platform::SetFileAttributesA(folder, record->attributes);
    ApplyFolderExtras(SourceOf(pair), folder, record->attributes);
  }
  Host.RestoreScreen(saved);
}

// Phase 8: the engine copies every file's data under the progress box.
void CopyFiles() {
  HANDLE saved = Host.SaveScreen(RunBox.left, RunBox.top, RunBox.right + 2, RunBox.bottom + 2);
  DrawProgressBox(Msg(IsMove ? MsgProgressMove : MsgProgressCopy));
  Host.RestoreScreen(nullptr);
  ResetProgress();
  BreakRequested = 0;
  LastDoneIndex = -1;
  RunCopy(static_cast<int>(PairCount()), List.offsets, List.names, IsMove);
  Host.RestoreScreen(saved);
}

// Moved source folders, deepest first: the list holds a folder's pair
// before its contents. After a break only what the engine reached.
void RemoveMovedFolders() {
  HANDLE saved = ShowStatus(MsgStatusRemoving);
  int first = BreakRequested ? LastDoneIndex : static_cast<int>(PairCount()) - 1;
  for (int pair = first; pair >= 0; --pair) {
    const FileRecord* record = RecordOf(static_cast<DWORD>(pair));
    // A folder that was not copied keeps its source, even an empty one.
    if (!(record->attributes & FILE_ATTRIBUTE_DIRECTORY) || (record->state & EntryFailed))
      continue;
    const char* folder = SourceOf(static_cast<DWORD>(pair));
    if (RemoveEmptyDirectory(folder)) continue;
    DWORD error = platform::GetLastError();
    if (error == ERROR_DIR_NOT_EMPTY) {
      if (Settings.CopyDescs && !(record->state & EntryKeepDescriptions))
        ClearDescriptionOnlyDirectory(folder);
    } else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      // Moved, yet still there: told and listed as a moved file would be.
      ReportNotCopied(RecordOf(static_cast<DWORD>(pair)), MsgCannotDeleteSource, folder);
    }
  }
  Host.RestoreScreen(nullptr);
  Host.RestoreScreen(saved);
}

// The list file of the files that were not copied: "<temp folder>\Quickferry.temp".
bool NotCopiedListPath(char* path) {
  char folder[512];
  DWORD length = platform::GetTempPathA(sizeof folder, folder);
  if (length == 0 || length >= sizeof folder) return false;
  if (folder[length - 1] != '\\' && !AppendText(folder, sizeof folder, "\\")) return false;
  return CopyText(path, 512, folder) && AppendText(path, 512, "Quickferry.temp");
}

// Once per run: whether the failed files go into the list.
bool AskListFailed() {
  const char* items[] = {Msg(IsMove ? MsgTitleMove : MsgTitleCopy), Msg(MsgListFailed1),
                         Msg(MsgListFailed2), "\x01", Msg(MsgYes), Msg(MsgNo)};
  return Host.Message(Host.ModuleNumber, 0, nullptr, items, 6, 2) == 0;
}

bool WriteWhole(HANDLE file, const char* data, DWORD size) {
  DWORD written = 0;
  return platform::WriteFile(file, data, size, &written, nullptr) && written == size;
}

// The files that were not copied go to the host's temporary panel: the list
// is written, and the command line that opens it runs after the plug-in
// returns (the Enter key waits in the console input).
void HandNotCopiedToHost() {
  char path[512];
  if (!NotCopiedListPath(path)) return;
  bool asked = false, listFailed = false, listed = false, whole = true;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (DWORD pair = 0; pair < PairCount(); ++pair) {
    const FileRecord* record = RecordOf(pair);
    bool failed = record->state & EntryFailed;
    // A failed folder, and a file copied but not moved, are listed too.
    if (!failed &&
        ((record->attributes & FILE_ATTRIBUTE_DIRECTORY) || (record->state & EntryDone)))
      continue;
    if (failed && !asked) {
      asked = true;
      listFailed = AskListFailed();
    }
    if (!(failed && listFailed) && !RunOptions.ListNotCopied) continue;
    if (!listed)
      file = platform::CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    listed = true;
    if (file == INVALID_HANDLE_VALUE) continue;
    const char* source = SourceOf(pair);
    whole = whole && WriteWhole(file, source, static_cast<DWORD>(std::strlen(source))) &&
            WriteWhole(file, "\r\n", 2);
  }
  if (!listed) return;
  // A list that did not reach its file would hide what was not copied.
  whole = file != INVALID_HANDLE_VALUE && whole;
  if (file != INVALID_HANDLE_VALUE) whole = platform::CloseHandle(file) && whole;
  if (!whole) {
    ShowFileErrorBox(Msg(MsgCannotCreate), path);
    return;
  }
  // The temporary panel reads "tmp:[+option]... [list file]": "+replace"
  // drops what the panel held, and a name with blanks goes in quotes.
  const char* quote = std::strchr(path, ' ') ? "\"" : "";
  char command[512];
  if (!CopyText(command, sizeof command, "tmp:+replace ") ||
      !AppendText(command, sizeof command, quote) || !AppendText(command, sizeof command, path) ||
      !AppendText(command, sizeof command, quote))
    return;
  Host.Control(INVALID_HANDLE_VALUE, ControlSetCommandLine, command);
  INPUT_RECORD enter{};
  enter.EventType = KEY_EVENT;
  enter.Event.KeyEvent.bKeyDown = TRUE;
  enter.Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
  enter.Event.KeyEvent.uChar.AsciiChar = '\r';
  DWORD written;
  platform::WriteConsoleInputA(platform::GetStdHandle(STD_INPUT_HANDLE), &enter, 1, &written);
}

// The run's resources go, and both panels are read and drawn again.
void FinishRun() {
  FreeFileList();
  platform::DeleteCriticalSection(&ListLock);
  platform::CloseHandle(ScreenLock);
  ScreenLock = nullptr;
  Host.Control(INVALID_HANDLE_VALUE, ControlUpdateActive, nullptr);
  Host.Control(INVALID_HANDLE_VALUE, ControlUpdatePassive, reinterpret_cast<void*>(1));
  Host.Control(INVALID_HANDLE_VALUE, ControlRedrawActive, nullptr);
  Host.Control(INVALID_HANDLE_VALUE, ControlRedrawPassive, nullptr);
}

}  // namespace

int RunCopyMove(int isMove, int currentItemOnly) {
  IsMove = isMove;
  PanelInfo active;
  RunStart start;
  if (!ReadPanelsAndPrompt(isMove, currentItemOnly, &active, &start)) return 0;

  char destination[512];
  int dialog = RunCopyDialog(isMove, start.prompt, start.defaultDestination, start.sourceDirectory,
                             start.passiveIsPlugin, destination);
  if (dialog != DialogGoOn) return dialog;

  // Phase 4. ScreenLock is null until the list exists, so the error box of
  // a failed allocation never waits on a lock of an earlier run.
  ComputeRunBox();
  if (!CreateFileList()) {
    ShowErrorBox(Msg(MsgNoMemory));
    return 1;
  }
  ScreenLock = platform::CreateEventA(nullptr, FALSE, TRUE, nullptr);
  platform::InitializeCriticalSection(&ListLock);
  FetchColours();
  DWORD startTick = platform::GetTickCount();

  RunItems run = ItemsOfRun(active, currentItemOnly);
  if (!RunItemsAllowed(start, destination, run)) {
    FinishRun();
    return 1;
  }
  ScanItems(start, destination, run);

  if (!BreakRequested) {
    if (RunOptions.OverwriteMode == OverwriteSkip || RunOptions.OverwriteMode == OverwriteRename ||
        RunOptions.OnlyNewer) {
      HANDLE saved = ShowStatus(MsgStatusChecking);
      CheckExistingTargets(0);
      Host.RestoreScreen(saved);
    }
    CreateDestinationFolders(start, destination, run);
    CopyFiles();
  }

  if (Settings.CopyDescs) UpdateDescriptions(IsMove);
  if (IsMove) RemoveMovedFolders();
  if (Settings.CompleteBeep && !BreakRequested) PlayCompletionTune(startTick);
  HandNotCopiedToHost();
  FinishRun();
  return 1;
}
