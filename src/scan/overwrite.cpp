#include "overwrite.h"

#include <cstring>
#include <iterator>

#include "common/run_state.h"
#include "common/text.h"
#include "engine/boxes.h"
#include "host/dialog_template.h"
#include "engine/prompts.h"
#include "host/messages.h"
#include "scan/existing_targets.h"
#include "scan/names.h"

namespace {

enum : int {
  ItemDestination = 2,
  ItemSourceLine = 4,
  ItemDestinationLine = 5,
  ItemForAll = 7,
  ItemOnlyNewer = 8,
  ItemListNotCopied = 9,
  ItemOverwrite = 11,
  ItemRename = 14,
  OverwriteItemCount = 15,
};
enum : int { RenameEdit = 2, RenameOk = 4, RenameItemCount = 6 };

constexpr int kShownPathLength = 54;

struct FileFacts {
  bool found;
  FILETIME lastWrite;
};

// The file line of one side; nothing found (a stream path, say) shows the
// label alone rather than a size and date that belong to nothing.
FileFacts DescribeFile(const char* path, const char* label, char* line) {
  FileFacts facts{};
  WIN32_FIND_DATAA data;
  HANDLE find = platform::FindFirstFileA(path, &data);
  if (find == INVALID_HANDLE_VALUE) {
    CopyText(line, 512, label);
    return facts;
  }
  platform::FindClose(find);
  facts.found = true;
  facts.lastWrite = data.ftLastWriteTime;
  char size[32], date[32];
  FormatSize((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, size);
  FormatDateTime(data.ftLastWriteTime, date);
  FormatFileLine(label, size, date, line);
  return facts;
}

// The rename dialog until a free name is confirmed (true, the path in
// newName) or it is left otherwise (false).
bool AskNewName(const char* destination, char* newName) {
  const char* slash = std::strrchr(destination, '\\');
  char folder[512];
  size_t folderLength = static_cast<size_t>(slash - destination) + 1;
  std::memcpy(folder, destination, folderLength);
  folder[folderLength] = 0;

  const DialogItemTemplate templates[] = {
      {ItemDoubleBox, 3, 1, 36, 6, 0, 0, 0, 0, Msg(MsgRenameTitle)},
      {ItemText, 5, 2, 0, 0, 0, 0, 0, 0, Msg(MsgRenameLabel)},
      {ItemEdit, 5, 3, 34, 0, 1, reinterpret_cast<intptr_t>("Quickferry_Rename"),
       ItemFlagHistory, 0, slash + 1},
      {ItemText, 5, 4, 36, 4, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemButton, 0, 5, 0, 0, 0, 0, ItemFlagCenterGroup, 1, Msg(MsgOk)},
      {ItemButton, 0, 5, 0, 0, 0, 0, ItemFlagCenterGroup, 0, Msg(MsgCancel)},
  };
  static_assert(std::size(templates) == RenameItemCount);
  DialogItem items[RenameItemCount];
  ExpandDialogItems(templates, items, RenameItemCount);
  // Shown again, with the text as edited, while the name is taken (or too
  // long to be a path).
  for (;;) {
    int closedBy =
        Host.Dialog(Host.ModuleNumber, -1, -1, 40, 8, "Rename", items, RenameItemCount);
    if (closedBy != RenameOk) return false;
    char path[512];
    items[RenameEdit].Data[sizeof items[RenameEdit].Data - 1] = 0;
    if (!CopyText(path, sizeof path, folder) ||
        !AppendText(path, sizeof path, items[RenameEdit].Data))
      continue;
    if (!NumberedNameExists(path, 0)) {
      CopyText(newName, 512, path);
      return true;
    }
  }
}

// The area of 80 by 20 cells around the screen's centre, kept on the screen.
HANDLE SaveCentre() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  platform::GetConsoleScreenBufferInfo(platform::GetStdHandle(STD_OUTPUT_HANDLE), &info);
  int width = info.dwSize.X, height = info.dwSize.Y;
  int x1 = width / 2 - 40, y1 = height / 2 - 10;
  int x2 = x1 + 79, y2 = y1 + 19;
  if (x1 < 0) x1 = 0;
  if (y1 < 0) y1 = 0;
  if (x2 > width - 1) x2 = width - 1;
  if (y2 > height - 1) y2 = height - 1;
  return Host.SaveScreen(x1, y1, x2, y2);
}

int Ask(const char* source, const char* destination, int pairIndex, char* newName) {
  char shown[512], sourceLine[512], destinationLine[512];
  ShortenPathLeft(destination, shown, kShownPathLength);
  FileFacts sourceFacts = DescribeFile(source, Msg(MsgOverwriteSource), sourceLine);
  FileFacts destinationFacts =
      DescribeFile(destination, Msg(MsgOverwriteDestination), destinationLine);

  const DialogItemTemplate templates[] = {
      {ItemDoubleBox, 3, 1, 60, 13, 0, 0, 0, 0, Msg(IsMove ? MsgTitleMove : MsgTitleCopy)},
      {ItemText, 5, 2, 0, 0, 0, 0, 0, 0, Msg(MsgOverwriteExists)},
      {ItemText, 5, 3, 0, 0, 0, 0, 0, 0, shown},
      {ItemText, 5, 4, 60, 4, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemText, 5, 5, 0, 0, 0, 0, 0, 0, sourceLine},
      {ItemText, 5, 6, 0, 0, 0, 0, 0, 0, destinationLine},
      {ItemText, 5, 7, 60, 7, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemCheckBox, 5, 8, 0, 8, 1, 0, 0, 0, Msg(MsgOverwriteForAll)},
      {ItemCheckBox, 5, 9, 0, 0, 0, RunOptions.OnlyNewer, 0, 0, Msg(MsgOverwriteOnlyNewer)},
      {ItemCheckBox, 5, 10, 0, 0, 0, RunOptions.ListNotCopied, 0, 0,
       Msg(MsgOverwriteListNotCopied)},
      {ItemText, 5, 11, 60, 9, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemButton, 0, 12, 0, 0, 0, 0, ItemFlagCenterGroup, 1, Msg(MsgOverwriteOverwrite)},
      {ItemButton, 0, 12, 0, 0, 0, 0, ItemFlagCenterGroup, 0, Msg(MsgOverwriteSkip)},
      {ItemButton, 0, 12, 0, 0, 0, 0, ItemFlagCenterGroup, 0, Msg(MsgOverwriteAppend)},
      {ItemButton, 0, 12, 0, 0, 0, 0, ItemFlagCenterGroup, 0, Msg(MsgOverwriteRename)},
  };
  static_assert(std::size(templates) == OverwriteItemCount);
  DialogItem items[OverwriteItemCount];
  ExpandDialogItems(templates, items, OverwriteItemCount);

  int choice = AnswerSkip, answer = AnswerSkip;
  bool onlyNewer = false, typedName = false;
  // The run's values change only once an answer stands: Esc, also after a
  // cancelled rename dialog, leaves them as they were.
  for (;;) {
    int closedBy = Host.Dialog(Host.ModuleNumber, -1, -1, 64, 15, "Overwrite", items,
                               OverwriteItemCount);
    if (closedBy < ItemOverwrite || closedBy > ItemRename) return AnswerSkip;
    choice = closedBy - ItemOverwrite + AnswerOverwrite;
    answer = choice;
    onlyNewer = items[ItemOnlyNewer].Selected != 0;
    if (onlyNewer && sourceFacts.found && destinationFacts.found &&
        TimeNotEarlier(destinationFacts.lastWrite, sourceFacts.lastWrite)) {
      answer = AnswerSkip;
      break;
    }
    if (choice != AnswerRename || items[ItemForAll].Selected) break;
    if (!std::strchr(destination, '\\')) {
      answer = AnswerSkip;
      break;
    }
    if (AskNewName(destination, newName)) {
      typedName = true;
      break;
    }
  }

  bool onlyNewerSwitched = onlyNewer != (RunOptions.OnlyNewer != 0);
  RunOptions.OnlyNewer = onlyNewer;
  RunOptions.ListNotCopied = items[ItemListNotCopied].Selected != 0;
  bool forAll = items[ItemForAll].Selected != 0;
  if (forAll) RunOptions.OverwriteMode = choice;

  bool automaticName = answer == AnswerRename && !typedName;
  if (!forAll && !onlyNewerSwitched) return answer;
  if (pairIndex < 0 && !automaticName) return answer;

  HANDLE saved = nullptr;
  if (pairIndex >= 0) {
    saved = SaveCentre();
    ShowStatusBox(Msg(MsgStatusChecking));
    Host.RestoreScreen(nullptr);
    CheckExistingTargets(static_cast<DWORD>(pairIndex) + 1);
  }
  // Rename for all: the first free numbered name, for the scan too. None
  // that fits means this file is skipped, never written over its target.
  if (automaticName && FirstFreeName(destination, newName) < 0) answer = AnswerSkip;
  if (pairIndex >= 0) Host.RestoreScreen(saved);
  return answer;
}

}  // namespace

int AskOverwrite(const char* source, const char* destination, int pairIndex, char* newName) {
  bool held;
  if (!TakeScreen(&held)) return AnswerSkip;
  int answer = Ask(source, destination, pairIndex, newName);
  GiveScreen(held);
  return answer;
}
