// Binding F5, F6, Shift+F5 and Shift+F6 to the plug-in through the host's
// key macros, and the hot-key dialog.
#include <cstdio>
#include <iterator>

#include "host/dialog_template.h"
#include "host/messages.h"
#include "macros.h"
#include "settings.h"

namespace {

// Every key the binding may touch, in the one order they are processed.
constexpr const char* kBindingKeys[] = {"F5",          "F6",          "ShiftF5",   "ShiftF6",
                                        "AltShiftF5",  "AltShiftF6",  "CtrlShiftF5",
                                        "CtrlShiftF6", "CtrlAltF5",   "CtrlAltF6"};

struct OperationMacro {
  const char* key;
  const char* sequence;  // the plug-in menu, this plug-in (">"), the operation's digit
};
constexpr OperationMacro kOperationMacros[] = {
    {"F5", "F11 > 1"}, {"F6", "F11 > 2"}, {"ShiftF5", "F11 > 3"}, {"ShiftF6", "F11 > 4"}};

// The parking combinations, in the order of the dialog's radio buttons.
constexpr const char* kParkingPrefixes[] = {"AltShift", "CtrlShift", "CtrlAlt"};
constexpr int kParkingCount = static_cast<int>(std::size(kParkingPrefixes));

// Items of the hot-key dialog.
enum : int { HotkeyBound = 1, HotkeyFirstParking = 4, HotkeyOk = 8, HotkeyItemCount = 10 };

bool NewHost() { return Host.RecordSize > OldHostRecordSize && Host.AdvControl; }

// Values in the key at `path`, or -1 when it cannot be opened.
long ValueCount(const char* path) {
  HKEY key = nullptr;
  if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return -1;
  DWORD values = 0;
  LONG rc = platform::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       &values, nullptr, nullptr, nullptr, nullptr);
  platform::RegCloseKey(key);
  return rc == ERROR_SUCCESS ? static_cast<long>(values) : -1;
}

// Replaces key `to` by the `count` values of key `from` and deletes `from`.
// The source goes only when the target holds all its values, and a target
// that fell short goes again, so that a half copy is never taken for the
// macro: a failed write must not cost the user a macro. False when the
// source stays.
bool MoveKeyValues(const char* from, const char* to, long count) {
  DeleteUserKey(to);
  CopyUserKeyValues(from, to);
  if (ValueCount(to) < count) {
    DeleteUserKey(to);
    return false;
  }
  DeleteUserKey(from);
  return true;
}

// A parking combination is in use when its F5 and (or, with `either`) its
// F6 macro is the plug-in's.
bool ParkingInUse(const char* prefix, bool either) {
  char f5[64], f6[64];
  std::snprintf(f5, sizeof f5, "%sF5", prefix);
  std::snprintf(f6, sizeof f6, "%sF6", prefix);
  bool own5 = IsOwnMacro(f5) != 0, own6 = IsOwnMacro(f6) != 0;
  return either ? own5 || own6 : own5 && own6;
}

// Asks the host to write the macros it holds to the registry, so that its
// own recent changes are there before the plug-in edits the tree (a Lua
// host's tree is not the plug-in's to edit).
void SaveHostMacros() {
  if (!NewHost() || LuaMacroHost()) return;
  KeyMacroCommand save = {1, {0, 0, 0}};
  Host.AdvControl(Host.ModuleNumber, AdvKeyMacro, &save);
}

}  // namespace

void RemoveOwnMacro(const char* keyName) {
  char path[512], backup[512];
  if (!IsOwnMacro(keyName) || !MacroKeyPath(keyName, path) || !MacroBackupPath(keyName, backup))
    return;
  long saved = ValueCount(backup);
  if (saved < 0)
    DeleteUserKey(path);  // the key had no macro before ours
  else
    MoveKeyValues(backup, path, saved);  // when that fails, the backup keeps it
}

void InstallMacro(const char* keyName, const char* sequence, int parked) {
  char path[512], backup[512];
  if (!MacroKeyPath(keyName, path) || !MacroBackupPath(keyName, backup)) return;
  // The user's macro, if any, moves aside, replacing a stale backup of the
  // key. A key without a macro leaves the backup as it is: it may hold the
  // user's macro from an unbinding whose restore failed.
  long values = IsOwnMacro(keyName) ? 0 : ValueCount(path);
  if (values > 0 && !MoveKeyValues(path, backup, values)) return;
  WriteUserString(path, "Sequence", sequence);
  WriteUserDword(path, "DisableOutput", 1);
  WriteUserDword(path, "NoPluginPanels", parked ? 0 : 1);
  WriteUserDword(path, "PluginPanels", parked ? 1 : 0);
}

void BindKeys(const char* prefix) {
  if (LuaMacroHost()) {
    BindMacroFile(prefix);
    return;
  }
  for (const char* key : kBindingKeys) RemoveOwnMacro(key);
  if (!prefix) return;
  for (const OperationMacro& macro : kOperationMacros) InstallMacro(macro.key, macro.sequence, 0);
  char key[64];
  std::snprintf(key, sizeof key, "%sF5", prefix);
  InstallMacro(key, "F5", 1);
  std::snprintf(key, sizeof key, "%sF6", prefix);
  InstallMacro(key, "F6", 1);
}

void ReloadMacros() {
  if (NewHost()) {
    KeyMacroCommand load = {0, {0, 0, 0}};
    Host.AdvControl(Host.ModuleNumber, AdvKeyMacro, &load);
    return;
  }
  const char* lines[] = {Msg(MsgTitle), Msg(MsgRestartNotice), "\x01", Msg(MsgOk)};
  Host.Message(Host.ModuleNumber, MessageWarning | MessageLeftAlign, nullptr, lines,
               static_cast<int>(std::size(lines)), 1);
}

void FixBinding() {
  if (LuaMacroHost() || ReadSettingDword("BindFixed", 0)) return;
  if (!IsOwnMacro("F5") && !IsOwnMacro("F6")) return;  // nothing bound, nothing to fix
  bool altShift = ParkingInUse("AltShift", true);
  bool ctrlShift = ParkingInUse("CtrlShift", true);
  bool ctrlAlt = ParkingInUse("CtrlAlt", true);
  const char* prefix = ctrlShift || (!altShift && !ctrlAlt) ? "CtrlShift"
                       : altShift                          ? "AltShift"
                                                           : "CtrlAlt";
  BindKeys(prefix);
  WriteSettingDword("BindFixed", 1);
  ReloadMacros();
}

void ShowHotkeyDialog() {
  const DialogItemTemplate templates[] = {
      {ItemDoubleBox, 3, 1, 39, 10, 0, 0, 0, 0, Msg(MsgTitle)},
      {ItemCheckBox, 5, 2, 0, 0, 0, 0, 0, 0, Msg(MsgHotkeyBind)},
      {ItemText, 5, 3, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemText, 5, 4, 0, 0, 0, 0, 0, 0, Msg(MsgHotkeyParkLabel)},
      {ItemRadioButton, 5, 5, 0, 0, 0, 0, 0, 0, Msg(MsgHotkeyAltShift)},
      {ItemRadioButton, 5, 6, 0, 0, 0, 0, 0, 0, Msg(MsgHotkeyCtrlShift)},
      {ItemRadioButton, 5, 7, 0, 0, 0, 0, 0, 0, Msg(MsgHotkeyCtrlAlt)},
      {ItemText, 5, 8, 0, 0, 0, 0, ItemFlagSeparator, 0, ""},
      {ItemButton, 0, 9, 0, 0, 0, 0, ItemFlagCenterGroup, 1, Msg(MsgOk)},
      {ItemButton, 0, 9, 0, 0, 0, 0, ItemFlagCenterGroup, 0, Msg(MsgCancel)},
  };
  static_assert(std::size(templates) == HotkeyItemCount);
  DialogItem items[HotkeyItemCount];
  ExpandDialogItems(templates, items, HotkeyItemCount);

  bool bound = IsOwnMacro("F5") && IsOwnMacro("F6") && IsOwnMacro("ShiftF5") &&
               IsOwnMacro("ShiftF6");
  // Here a combination counts only when both its macros are the plug-in's.
  bool inUse[kParkingCount];
  for (int i = 0; i < kParkingCount; ++i) inUse[i] = ParkingInUse(kParkingPrefixes[i], false);

  items[HotkeyBound].Selected = bound;
  int initial = -1;
  if (!bound || inUse[0])
    initial = 0;
  else if (inUse[1])
    initial = 1;
  else if (inUse[2])
    initial = 2;
  if (initial >= 0) items[HotkeyFirstParking + initial].Selected = 1;

  if (Host.Dialog(Host.ModuleNumber, -1, -1, 43, 12, "Hotkeys", items, HotkeyItemCount) !=
      HotkeyOk)
    return;
  // Compared with what is in the registry, not with the preselection: an
  // unbound setup's preselected Alt+Shift counts as a change.
  bool changed = (items[HotkeyBound].Selected != 0) != bound;
  for (int i = 0; i < kParkingCount; ++i)
    changed = changed || (items[HotkeyFirstParking + i].Selected != 0) != inUse[i];
  if (!changed) return;

  SaveHostMacros();
  const char* prefix = nullptr;
  if (items[HotkeyBound].Selected) {
    prefix = "CtrlShift";  // a host that cleared every radio button gets the usual choice
    for (int i = 0; i < kParkingCount; ++i)
      if (items[HotkeyFirstParking + i].Selected) {
        prefix = kParkingPrefixes[i];
        break;
      }
  }
  BindKeys(prefix);
  ReloadMacros();
}
