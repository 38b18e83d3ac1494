#include "copy_dialog.h"

#include <cstring>
#include <iterator>

#include "common/run_state.h"
#include "common/text.h"
#include "host/dialog_template.h"
#include "host/messages.h"
#include "paths/paths.h"
#include "platform/platform.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"

namespace {

// Items of the full form.
enum : int {
  DlgBox = 0,
  DlgDestination = 2,
  DlgParallel = 4,
  DlgOnlyNewer = 5,
  DlgListNotCopied = 6,
  DlgExistingLabel = 8,
  DlgAsk = 9,
  DlgOverwrite = 10,
  DlgSkip = 11,
  DlgAppend = 12,
  DlgRename = 13,
  DlgRights = 15,
  DlgStreams = 16,
  DlgCompressionLabel = 17,
  DlgCompressOff = 18,
  DlgCompressOn = 19,
  DlgEncryptionLabel = 21,
  DlgEncryptOff = 22,
  DlgEncryptOn = 23,
  DlgStart = 26,
  DlgConfigure = 28,
  DlgItemCount = 29,

  // The compact form: the three buttons moved up over items 15 to 17.
  CompactFirstButton = 15,
  CompactStart = 15,
  CompactConfigure = 17,
  CompactItemCount = 18,
};

constexpr char kHistoryName[] = "Copy";
constexpr char kPluginDestination[] = "plugin:";

bool FullForm() { return Settings.IsNT && Settings.NtfsOpts; }

int TextLength(const DialogItem& item) {
  return static_cast<int>(strnlen(item.Data, sizeof item.Data));
}

// The item after `item` on the same row, `gap` columns behind its text.
void PlaceAfter(DialogItem* items, int next, int item, int gap) {
  items[next].X1 = items[item].X1 + TextLength(items[item]) + gap;
}

// Texts come from the language file, so the rows are laid out at each
// display from their lengths. X2 of a placed item holds the gap behind it.
void PlaceItems(DialogItem* items, bool full) {
  PlaceAfter(items, DlgOnlyNewer, DlgParallel, 5);
  PlaceAfter(items, DlgAsk, DlgExistingLabel, items[DlgExistingLabel].X2);
  PlaceAfter(items, DlgOverwrite, DlgAsk, items[DlgAsk].X2);
  items[DlgSkip].X1 = items[DlgAsk].X1;
  PlaceAfter(items, DlgAppend, DlgSkip, 4);
  PlaceAfter(items, DlgRename, DlgAppend, 4);
  if (!full) return;
  PlaceAfter(items, DlgStreams, DlgRights, 5);
  for (int label : {DlgCompressionLabel, DlgEncryptionLabel})
    for (int item = label; item < label + 3; ++item)
      PlaceAfter(items, item + 1, item, items[item].X2);
}

int InitialParallel(const char* sourceDirectory, const char* destinationText) {
  if (!Settings.AllowParallel) return 0;
  switch (DriveRelation(sourceDirectory, destinationText)) {
    case 1: return 1;
    case 0: return 0;
    default: return Settings.ParallelDef != 0;
  }
}

// Fills items[DlgItemCount] for one display; returns how many are shown.
int BuildDialog(DialogItem* items, bool full, int isMove, const char* prompt,
                const char* destinationText, const char* sourceDirectory) {
  const DialogItemTemplate templates[] = {
      {ItemDoubleBox, 3, 1, 67, 16, 0, 0, 0, 0, Msg(isMove ? MsgTitleMove : MsgTitleCopy)},
      {ItemText, 5, 2, 0, 0, 0, 0, 0, 0, prompt},
      {ItemEdit, 5, 3, 64, 0, 1, reinterpret_cast<intptr_t>(kHistoryName), ItemFlagHistory, 0,
       destinationText},
      {ItemText, 5, 4, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemCheckBox, 5, 5, 0, 0, 0, 0, 0, 0, Msg(MsgDlgParallel)},
      {ItemCheckBox, 0, 5, 0, 0, 0, 0, 0, 0, Msg(MsgDlgOnlyNewer)},
      {ItemCheckBox, 5, 6, 0, 0, 0, 0, 0, 0, Msg(MsgDlgListNotCopied)},
      {ItemText, 5, 7, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemText, 5, 8, 0, 0, 0, 0, 0, 0, Msg(MsgDlgExisting)},
      {ItemRadioButton, 0, 8, 4, 0, 0, 0, 0, 0, Msg(MsgDlgAsk)},
      {ItemRadioButton, 0, 8, 4, 0, 0, 0, 0, 0, Msg(MsgDlgOverwrite)},
      {ItemRadioButton, 0, 9, 0, 0, 0, 0, 0, 0, Msg(MsgDlgSkip)},
      {ItemRadioButton, 0, 9, 0, 0, 0, 0, 0, 0, Msg(MsgDlgAppend)},
      {ItemRadioButton, 0, 9, 0, 0, 0, 0, 0, 0, Msg(MsgDlgRename)},
      {ItemText, 5, 10, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemCheckBox, 5, 11, 0, 0, 0, 0, 0, 0, Msg(MsgDlgRights)},
      {ItemCheckBox, 0, 11, 0, 0, 0, 0, 0, 0, Msg(MsgDlgStreams)},
      {ItemText, 5, 12, 0, 0, 0, 0, 0, 0, Msg(MsgDlgCompression)},
      {ItemRadioButton, 0, 12, 6, 0, 0, 0, 0, 0, Msg(MsgDlgModeOff)},
      {ItemRadioButton, 0, 12, 6, 0, 0, 0, 0, 0, Msg(MsgDlgModeOn)},
      {ItemRadioButton, 0, 12, 6, 0, 0, 1, 0, 0, Msg(MsgDlgModeLeave)},
      {ItemText, 5, 13, 0, 0, 0, 0, 0, 0, Msg(MsgDlgEncryption)},
      {ItemRadioButton, 0, 13, 6, 0, 0, 0, 0, 0, Msg(MsgDlgModeOff)},
      {ItemRadioButton, 0, 13, 6, 0, 0, 0, 0, 0, Msg(MsgDlgModeOn)},
      {ItemRadioButton, 0, 13, 6, 0, 0, 1, 0, 0, Msg(MsgDlgModeLeave)},
      {ItemText, 5, 14, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemButton, 0, 15, 0, 0, 0, 0, ItemFlagCenterGroup, 1, Msg(MsgDlgStart)},
      {ItemButton, 0, 15, 0, 0, 0, 0, ItemFlagCenterGroup, 0, Msg(MsgCancel)},
      {ItemButton, 0, 15, 0, 0, 0, 0, ItemFlagCenterGroup, 0, Msg(MsgDlgConfigure)},
  };
  static_assert(std::size(templates) == DlgItemCount);
  ExpandDialogItems(templates, items, DlgItemCount);

  items[DlgParallel].Selected = InitialParallel(sourceDirectory, destinationText);
  items[DlgAsk].Selected = Settings.OverwriteDef == 0;
  items[DlgOverwrite].Selected = Settings.OverwriteDef != 0;
  if (full) {
    items[DlgRights].Selected = Settings.CopyRightsDef && Settings.IsNT;
    items[DlgStreams].Selected = Settings.CopyStreamsDef && Settings.IsNT;
    PlaceItems(items, true);
    return DlgItemCount;
  }
  PlaceItems(items, false);
  for (int i = 0; i < 3; ++i) {
    items[CompactFirstButton + i] = items[DlgStart + i];
    items[CompactFirstButton + i].Y1 -= 4;
  }
  items[DlgBox].Y2 = 12;
  return CompactItemCount;
}

// The one-button warning for a destination that cannot be used at all.
void WarnDestination(int isMove) {
  const char* lines[] = {Msg(isMove ? MsgTitleMove : MsgTitleCopy), Msg(MsgVolInvalid), "\x01",
                         Msg(MsgOk)};
  Host.Message(Host.ModuleNumber, MessageWarning, nullptr, lines,
               static_cast<int>(std::size(lines)), 1);
}

// The typed text with '/' read as '\', variables expanded, and made full
// against the source directory. The process's current directory is the
// same afterwards: when it cannot be saved, nothing is resolved.
bool ResolveDestination(const char* typed, const char* sourceDirectory, char* out) {
  out[0] = 0;
  char slashed[512];
  if (!CopyText(slashed, sizeof slashed, typed)) return false;
  for (char* p = slashed; *p; ++p)
    if (*p == '/') *p = '\\';

  // Two spare bytes: Windows may count one more than the ANSI text needs.
  char expanded[514];
  DWORD needed = platform::ExpandEnvironmentStringsA(slashed, expanded, sizeof expanded);
  if (needed == 0 || needed > sizeof expanded || strnlen(expanded, 512) == 512) return false;

  char saved[512];
  DWORD savedLength = platform::GetCurrentDirectoryA(sizeof saved, saved);
  if (savedLength == 0 || savedLength >= sizeof saved) return false;
  if (!platform::SetCurrentDirectoryA(sourceDirectory)) return false;
  char full[512];
  DWORD length = platform::GetFullPathNameA(expanded, sizeof full, full, nullptr);
  platform::SetCurrentDirectoryA(saved);
  if (length == 0 || length >= sizeof full) return false;
  std::memcpy(out, full, length + 1);
  return true;
}

void SetRunOptions(const DialogItem* items, bool full) {
  if (full) {
    RunOptions.CopyAccessRights = items[DlgRights].Selected && Settings.IsNT;
    RunOptions.CopyStreams = items[DlgStreams].Selected && Settings.IsNT;
    RunOptions.CompressionMode = items[DlgCompressOff].Selected  ? ModeOff
                                 : items[DlgCompressOn].Selected ? ModeOn
                                                                 : ModeLeave;
    RunOptions.EncryptionMode = items[DlgEncryptOff].Selected  ? ModeOff
                                : items[DlgEncryptOn].Selected ? ModeOn
                                                               : ModeLeave;
    // Encrypting or decrypting leaves the compression state to the system.
    if (RunOptions.EncryptionMode != ModeLeave) RunOptions.CompressionMode = ModeLeave;
  } else {
    RunOptions.CopyStreams = Settings.CopyStreamsDef && Settings.IsNT;
    RunOptions.CopyAccessRights = Settings.CopyRightsDef && Settings.IsNT;
    RunOptions.CompressionMode = ModeLeave;
    RunOptions.EncryptionMode = ModeLeave;
  }
  RunOptions.Parallel = items[DlgParallel].Selected != 0;
  RunOptions.OverwriteMode = items[DlgOverwrite].Selected ? OverwriteAll
                             : items[DlgSkip].Selected    ? OverwriteSkip
                             : items[DlgAppend].Selected  ? OverwriteAppend
                             : items[DlgRename].Selected  ? OverwriteRename
                                                          : OverwriteAsk;
  RunOptions.OnlyNewer = items[DlgOnlyNewer].Selected != 0;
  RunOptions.ListNotCopied = items[DlgListNotCopied].Selected != 0;
}

// Asks about what the destination volume cannot do; false when the user
// wants the dialog back.
bool CheckVolume(const char* destination, bool full) {
  int caps = GetVolumeCaps(destination);
  if (caps == -1) return AskContinue(Msg(MsgVolInvalid));
  if (!full) {  // the compact form never shows these, so it never asks about them
    if (!(caps & CapsNamedStreams)) RunOptions.CopyStreams = 0;
    if (!(caps & CapsAccessRights)) RunOptions.CopyAccessRights = 0;
  }
  if ((caps & CapsReadOnly) && !AskContinue(Msg(MsgVolReadOnly))) return false;

  // A wish the volume cannot keep; going on drops it.
  struct Lack {
    int cap;
    int RunOptionsRecord::*option;
    int asked;  // the option's value that needs the cap
    int message;
    int dropped;
  };
  static constexpr Lack kLacks[] = {
      {CapsCompression, &RunOptionsRecord::CompressionMode, ModeOn, MsgVolNoCompression, ModeLeave},
      {CapsEncryption, &RunOptionsRecord::EncryptionMode, ModeOn, MsgVolNoEncryption, ModeLeave},
      {CapsNamedStreams, &RunOptionsRecord::CopyStreams, 1, MsgVolNoStreams, 0},
      {CapsAccessRights, &RunOptionsRecord::CopyAccessRights, 1, MsgVolNoRights, 0},
  };
  for (const Lack& lack : kLacks) {
    if ((caps & lack.cap) || RunOptions.*lack.option != lack.asked) continue;
    if (!AskContinue(Msg(lack.message))) return false;
    RunOptions.*lack.option = lack.dropped;
  }
  return true;
}

}  // namespace

int RunCopyDialog(int isMove, const char* prompt, const char* defaultDestination,
                  const char* sourceDirectory, int passiveIsPlugin, char* destination) {
  destination[0] = 0;
  char text[512];  // the destination text of the next display
  if (!CopyText(text, sizeof text, defaultDestination)) text[0] = 0;

  for (;;) {
    const bool full = FullForm();
    DialogItem items[DlgItemCount];
    int count = BuildDialog(items, full, isMove, prompt, text, sourceDirectory);
    int closedBy = Host.Dialog(Host.ModuleNumber, -1, -1, 71, full ? 18 : 14, "Main", items, count);

    // The user's text survives to the next display; a field the host left
    // without its terminator is not taken.
    const DialogItem& typed = items[DlgDestination];
    size_t typedLength = strnlen(typed.Data, sizeof typed.Data);
    bool typedFits = typedLength < sizeof typed.Data;
    if (typedFits) std::memcpy(text, typed.Data, typedLength + 1);

    if (closedBy == (full ? DlgConfigure : CompactConfigure)) {
      ShowConfigDialog();
      SaveSettings();
      continue;
    }
    if (closedBy != (full ? DlgStart : CompactStart)) return DialogCancelled;

    if (typedFits && CompareNoCase(text, kPluginDestination) == 0) {
      if (passiveIsPlugin) return DialogHostPlugin;
      WarnDestination(isMove);
      continue;
    }
    char resolved[512];
    if (!typedFits || !ResolveDestination(text, sourceDirectory, resolved)) {
      WarnDestination(isMove);
      continue;
    }
    SetRunOptions(items, full);
    if (!CheckVolume(resolved, full)) {
      CopyText(text, sizeof text, resolved);
      continue;
    }
    CopyText(destination, 512, resolved);
    return DialogGoOn;
  }
}
