#include "config_dialog.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "host/dialog_template.h"
#include "host/messages.h"
#include "macros.h"
#include "settings.h"
#include "tune.h"

namespace {

// Dialog item flags used only here.
constexpr DWORD kItemFlagGroup = 0x400;          // starts a group of radio buttons
constexpr DWORD kItemFlagShowAmpersand = 0x2000;  // '&' shown, not a hot-key mark

// Items of the configuration dialog.
enum : int {
  ConfigByPercent = 2,
  ConfigByKb = 3,
  ConfigPercent = 4,
  ConfigKb = 5,
  ConfigTune = 21,
  ConfigHotkeys = 23,
  ConfigAbout = 24,
  ConfigOk = 26,
  ConfigItemCount = 28,
};

constexpr int kTuneCount = 3;

struct CheckOption {
  int item;
  int SettingsRecord::*field;
};
constexpr CheckOption kCheckOptions[] = {
    {7, &SettingsRecord::OverwriteDef},   {8, &SettingsRecord::CopyStreamsDef},
    {9, &SettingsRecord::CopyRightsDef},  {10, &SettingsRecord::AllowParallel},
    {11, &SettingsRecord::ParallelDef},   {13, &SettingsRecord::CopyDescs},
    {14, &SettingsRecord::DescsInDirs},   {15, &SettingsRecord::HideDescs},
    {17, &SettingsRecord::ClearROFromCD}, {18, &SettingsRecord::NtfsOpts},
    {19, &SettingsRecord::ConfirmBreak},  {20, &SettingsRecord::CompleteBeep},
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The number in an edit field read as atoi reads it (blanks, a sign, then
// digits up to the first other character; no digits give 0), except that a
// number beyond the int range stops at INT_MAX or INT_MIN instead of
// overflowing. Reads no further than `capacity` bytes.
int ReadNumber(const char* text, size_t capacity) {
  size_t i = 0;
  while (i < capacity && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < capacity && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  for (; i < capacity && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) value = limit;
  }
  return static_cast<int>(negative ? -value : value);
}

// Puts the two edit fields right behind the labels of their radio buttons,
// whatever the labels' lengths in the user's language.
void PlaceBufferFields(DialogItem* items) {
  DialogItem& percent = items[ConfigPercent];
  DialogItem& byKb = items[ConfigByKb];
  DialogItem& kb = items[ConfigKb];
  const DialogItem& byPercent = items[ConfigByPercent];
  percent.X1 = byPercent.X1 + static_cast<int>(strnlen(byPercent.Data, sizeof byPercent.Data)) + 4;
  percent.X2 = percent.X1 + 4;
  byKb.X1 = percent.X1 + 7;
  kb.X1 = byKb.X1 + static_cast<int>(strnlen(byKb.Data, sizeof byKb.Data)) + 4;
  kb.X2 = kb.X1 + 4;
}

void StoreOptions(const DialogItem* items) {
  Settings.BufPercent = ReadNumber(items[ConfigPercent].Data, sizeof items[ConfigPercent].Data);
  Settings.BufKb = ReadNumber(items[ConfigKb].Data, sizeof items[ConfigKb].Data);
  Settings.BufInKb = items[ConfigByKb].Selected != 0;
  for (const CheckOption& option : kCheckOptions)
    Settings.*option.field = items[option.item].Selected != 0;
}

}  // namespace

void ShowConfigDialog() {
  const DialogItemTemplate templates[] = {
      {ItemDoubleBox, 3, 1, 48, 23, 0, 0, 0, 0, Msg(MsgTitle)},
      {ItemText, 5, 2, 0, 0, 0, 0, 0, 0, Msg(MsgConfigBuffer)},
      {ItemRadioButton, 5, 3, 0, 0, 0, 0, kItemFlagGroup, 0, Msg(MsgConfigPercent)},
      {ItemRadioButton, 0, 3, 0, 0, 0, 0, 0, 0, Msg(MsgConfigKb)},
      {ItemEdit, 0, 3, 0, 2, 0, 0, 0, 0, ""},
      {ItemEdit, 0, 3, 0, 2, 0, 0, 0, 0, ""},
      {ItemText, 5, 4, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemCheckBox, 5, 5, 0, 0, 0, 0, 0, 0, Msg(MsgConfigOverwriteDef)},
      {ItemCheckBox, 5, 6, 0, 0, 0, 0, 0, 0, Msg(MsgConfigCopyStreamsDef)},
      {ItemCheckBox, 5, 7, 0, 0, 0, 0, 0, 0, Msg(MsgConfigCopyRightsDef)},
      {ItemCheckBox, 5, 8, 0, 0, 0, 0, 0, 0, Msg(MsgConfigAllowParallel)},
      {ItemCheckBox, 5, 9, 0, 0, 0, 0, 0, 0, Msg(MsgConfigParallelDef)},
      {ItemText, 5, 10, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemCheckBox, 5, 11, 0, 0, 0, 0, 0, 0, Msg(MsgConfigCopyDescs)},
      {ItemCheckBox, 5, 12, 0, 0, 0, 0, 0, 0, Msg(MsgConfigDescsInDirs)},
      {ItemCheckBox, 5, 13, 0, 0, 0, 0, 0, 0, Msg(MsgConfigHideDescs)},
      {ItemText, 5, 14, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemCheckBox, 5, 15, 0, 0, 0, 0, 0, 0, Msg(MsgConfigClearROFromCD)},
      {ItemCheckBox, 5, 16, 0, 0, 0, 0, 0, 0, Msg(MsgConfigNtfsOpts)},
      {ItemCheckBox, 5, 17, 0, 0, 0, 0, 0, 0, Msg(MsgConfigConfirmBreak)},
      {ItemCheckBox, 5, 18, 0, 0, 0, 0, 0, 0, Msg(MsgConfigCompleteBeep)},
      {ItemButton, 38, 18, 0, 0, 0, 0, 0, 0, Msg(MsgConfigTune)},
      {ItemText, 5, 19, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemButton, 5, 20, 0, 0, 0, 0, ItemFlagCenterGroup, 0, Msg(MsgConfigHotkeys)},
      {ItemButton, 26, 20, 0, 0, 0, 0, ItemFlagCenterGroup, 0, Msg(MsgConfigAbout)},
      {ItemText, 5, 21, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemButton, 0, 22, 0, 0, 0, 0, ItemFlagCenterGroup, 1, Msg(MsgOk)},
      {ItemButton, 0, 22, 0, 0, 0, 0, ItemFlagCenterGroup, 0, Msg(MsgCancel)},
  };
  static_assert(std::size(templates) == ConfigItemCount);
  DialogItem items[ConfigItemCount];
  ExpandDialogItems(templates, items, ConfigItemCount);

  std::snprintf(items[ConfigPercent].Data, sizeof items[ConfigPercent].Data, "%d",
                Settings.BufPercent);
  std::snprintf(items[ConfigKb].Data, sizeof items[ConfigKb].Data, "%d", Settings.BufKb);
  items[ConfigByPercent].Selected = Settings.BufInKb == 0;
  items[ConfigByKb].Selected = Settings.BufInKb != 0;
  for (const CheckOption& option : kCheckOptions)
    items[option.item].Selected = Settings.*option.field != 0;
  PlaceBufferFields(items);

  // The same items come back after each side trip, so the user's unconfirmed
  // changes stay on screen; the tunes go on in turn across the trips.
  int tunesPlayed = 0;
  for (;;) {
    int closedBy =
        Host.Dialog(Host.ModuleNumber, -1, -1, 52, 25, "Config", items, ConfigItemCount);
    if (closedBy == ConfigHotkeys) {
      ShowHotkeyDialog();
    } else if (closedBy == ConfigAbout) {
      ShowAboutBox();
    } else if (closedBy == ConfigTune) {
      PlayTune(tunesPlayed + 1);
      tunesPlayed = (tunesPlayed + 1) % kTuneCount;
    } else {
      if (closedBy == ConfigOk) StoreOptions(items);
      return;
    }
  }
}

void ShowAboutBox() {
  const DialogItemTemplate templates[] = {
      {ItemDoubleBox, 3, 1, 39, 10, 0, 0, 0, 0, Msg(MsgTitle)},
      {ItemText, 5, 2, 0, 0, 0, 0, 0, 0, "Version 1.34, Sep  1 2001"},
      {ItemText, 5, 3, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemText, 5, 4, 0, 0, 0, 0, kItemFlagShowAmpersand, 0, Msg(MsgAbout1)},
      {ItemText, 5, 5, 0, 0, 0, 0, kItemFlagShowAmpersand, 0, Msg(MsgAbout2)},
      {ItemText, 5, 6, 0, 0, 0, 0, 0, 0, Msg(MsgAbout3)},
      {ItemText, 5, 7, 0, 0, 0, 0, 0, 0, Msg(MsgAbout4)},
      {ItemText, 5, 8, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemButton, 0, 9, 0, 0, 0, 0, ItemFlagCenterGroup, 1, Msg(MsgOk)},
  };
  DialogItem items[std::size(templates)];
  ExpandDialogItems(templates, items, static_cast<int>(std::size(templates)));
  Host.Dialog(Host.ModuleNumber, -1, -1, 43, 12, "About", items,
              static_cast<int>(std::size(templates)));
}
