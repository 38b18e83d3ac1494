#include <cstdio>
#include <iterator>
#include <cstring>

#include "common/text.h"
#include "engine/file_access.h"
#include "host/messages.h"
#include "plugin.h"
#include "run/run.h"
#include "settings/config_dialog.h"
#include "settings/macros.h"
#include "settings/settings.h"

namespace {

// The host keeps these pointers after GetPluginInfo returns.
char MenuString[512];
const char* MenuStrings[1];
const char* ConfigStrings[1];

struct MenuEntry {
  int message;
  int isMove;
  int currentItemOnly;
};
constexpr MenuEntry kMenu[] = {
    {MsgMenuCopy, 0, 0},
    {MsgMenuMove, 1, 0},
    {MsgMenuCopyCurrent, 0, 1},
    {MsgMenuMoveCurrent, 1, 1},
};

}  // namespace

void WINAPI SetStartupInfo(const HostServices* info) {
  // The whole record, whatever its own size field says: that field stays as
  // the host wrote it and later decides whether AdvControl may be used.
  std::memcpy(&Host, info, sizeof Host);
  if (!Host.RootKey || !CopyText(SettingsKey, sizeof SettingsKey, Host.RootKey) ||
      !AppendText(SettingsKey, sizeof SettingsKey, "\\Quickferry"))
    SettingsKey[0] = 0;
  HostVersion = Host.RecordSize > OldHostRecordSize && Host.AdvControl
                    ? Host.AdvControl(Host.ModuleNumber, AdvGetFarVersion, nullptr)
                    : 0;
  LoadOptionalFunctions();
}

void WINAPI GetPluginInfo(PluginInfo* info) {
  LoadMessages();
  FixBinding();
  FormatMenuString(MenuString);
  MenuStrings[0] = MenuString;
  ConfigStrings[0] = Msg(MsgTitle);
  info->StructSize = sizeof(PluginInfo);
  info->Flags = 0;
  info->DiskMenuStringsNumber = 0;
  info->PluginMenuStrings = MenuStrings;
  info->PluginMenuStringsNumber = 1;
  info->PluginConfigStrings = ConfigStrings;
  info->PluginConfigStringsNumber = 1;
}

HANDLE WINAPI OpenPlugin(int, int) {
  LoadMessages();
  MenuItem items[std::size(kMenu)] = {};
  for (size_t i = 0; i < std::size(kMenu); ++i)
    std::snprintf(items[i].Text, sizeof items[i].Text, "%s", Msg(kMenu[i].message));
  items[0].Selected = 1;
  int chosen = Host.Menu(Host.ModuleNumber, -1, -1, 0, 0, Msg(MsgTitle), nullptr, "Menu", nullptr,
                         nullptr, items, static_cast<int>(std::size(items)));
  if (chosen < 0 || chosen >= static_cast<int>(std::size(kMenu))) return INVALID_HANDLE_VALUE;

  LoadSettings();
  const MenuEntry& entry = kMenu[chosen];
  int result = RunCopyMove(entry.isMove, entry.currentItemOnly);
  if (result < 1) HandOffKeys(entry.isMove, result);
  return INVALID_HANDLE_VALUE;
}

int WINAPI Configure(int) {
  LoadMessages();
  LoadSettings();
  ShowConfigDialog();
  SaveSettings();  // whatever the dialog's result
  return 1;
}
