// The hot-key binding in the real registry of the platform layer.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core_fixture.h"
#include "platform/testing.h"
#include "settings/macros.h"
#include "settings/settings.h"

namespace {

namespace pt = platform::testing;

const std::string kShell = "Software\\Far\\KeyMacros\\Shell";
const std::string kBackup = "Software\\Far\\KeyMacros\\Shell.backup";
constexpr const char* kKeys[] = {"F5",          "F6",          "ShiftF5",   "ShiftF6",
                                 "AltShiftF5",  "AltShiftF6",  "CtrlShiftF5",
                                 "CtrlShiftF6", "CtrlAltF5",   "CtrlAltF6"};

std::string Key(const std::string& name) { return kShell + "\\" + name; }
std::string BackupKey(const std::string& name) { return kBackup + "\\" + name; }

// A key's values: name -> (type, data); nullopt when the key is missing.
using Value = std::pair<DWORD, std::vector<BYTE>>;
using Values = std::map<std::string, Value>;

Value Text(const std::string& text) {
  const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
  return {REG_SZ, std::vector<BYTE>(p, p + text.size() + 1)};  // with the terminator
}
Value Dword(DWORD value) {
  const BYTE* p = reinterpret_cast<const BYTE*>(&value);
  return {REG_DWORD, std::vector<BYTE>(p, p + 4)};
}

std::optional<Values> ReadValues(const std::string& path) {
  HKEY key = nullptr;
  if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS)
    return std::nullopt;
  DWORD maxName = 0, maxData = 0;
  platform::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &maxName, &maxData, nullptr, nullptr);
  Values values;
  for (DWORD index = 0;; ++index) {
    std::vector<char> name(maxName + 1);
    std::vector<BYTE> data(maxData + 1);
    DWORD nameLength = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (platform::RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(),
                                &size) != ERROR_SUCCESS)
      break;
    data.resize(size);
    values[std::string(name.data(), nameLength)] = {type, data};
  }
  platform::RegCloseKey(key);
  return values;
}

void WriteValues(const std::string& path, const Values& values) {
  for (const auto& [name, value] : values)
    SetRegistryValue(path, name, value.first, value.second.data(),
                     static_cast<DWORD>(value.second.size()));
}

DWORD SubkeyCount(const std::string& path) {
  HKEY key = nullptr;
  if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS)
    return 0;
  DWORD count = 0;
  platform::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr);
  platform::RegCloseKey(key);
  return count;
}

// Both trees, key by key, for "nothing changed" checks.
std::map<std::string, std::optional<Values>> Snapshot() {
  std::map<std::string, std::optional<Values>> all;
  for (const char* name : kKeys) {
    all[Key(name)] = ReadValues(Key(name));
    all[BackupKey(name)] = ReadValues(BackupKey(name));
  }
  return all;
}

Values PluginMacro(const std::string& sequence, bool parked) {
  return {{"Sequence", Text(sequence)},
          {"DisableOutput", Dword(1)},
          {"NoPluginPanels", Dword(parked ? 0 : 1)},
          {"PluginPanels", Dword(parked ? 1 : 0)}};
}

// The six macros of a binding parked under `prefix`, exactly.
void ExpectBinding(const std::string& prefix) {
  SCOPED_TRACE("binding " + prefix);
  EXPECT_EQ(ReadValues(Key("F5")), PluginMacro("F11 > 1", false));
  EXPECT_EQ(ReadValues(Key("F6")), PluginMacro("F11 > 2", false));
  EXPECT_EQ(ReadValues(Key("ShiftF5")), PluginMacro("F11 > 3", false));
  EXPECT_EQ(ReadValues(Key("ShiftF6")), PluginMacro("F11 > 4", false));
  EXPECT_EQ(ReadValues(Key(prefix + "F5")), PluginMacro("F5", true));
  EXPECT_EQ(ReadValues(Key(prefix + "F6")), PluginMacro("F6", true));
}

class HotkeysTest : public CoreTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(host->unexpectedCalls, 0) << "the plug-in asked something the test did not script";
    CoreTest::TearDown();
  }
  void UseOldHost() {
    host->record.RecordSize = OldHostRecordSize;
    SetStartupInfo(&host->record);
  }
  // Closes the hot-key dialog with `result` (8 is OK) after setting the
  // check box and the radio button (4 to 6; 0 leaves them as shown).
  void AnswerHotkeys(bool bind, int radio, int result = 8) {
    host->dialogAnswers.push_back({result, [bind, radio](DialogItem* items, int) {
                                     items[1].Selected = bind;
                                     for (int i = 4; i <= 6 && radio; ++i)
                                       items[i].Selected = i == radio;
                                   }});
  }
  std::vector<int> MacroCommands() const {
    std::vector<int> commands;
    for (const auto& call : host->advCalls) {
      EXPECT_EQ(call.command, AdvKeyMacro);
      commands.push_back(call.macro.command);
    }
    return commands;
  }
};

TEST_F(HotkeysTest, UsersMacrosOfEveryShapeSurviveBindingAndUnbinding) {
  const DWORD textF5 = 0x00003546;  // the bytes "F5\0\0", but a number
  struct Case {
    const char* what;
    Values values;
    bool own;  // the plug-in takes it for one of its own: replaced, not kept
  } cases[] = {
      {"ordinary", {{"Sequence", Text("CtrlF10 Enter")}, {"DisableOutput", Dword(0)}}, false},
      {"no sequence", {{"DisableOutput", Dword(1)}, {"NoFilePanels", Dword(1)}}, false},
      {"empty sequence", {{"Sequence", Text("")}}, false},
      {"sequence as a number", {{"Sequence", {REG_DWORD, Dword(textF5).second}}}, false},
      {"sequence as binary", {{"Sequence", {REG_BINARY, Text("F11 > 1").second}}}, false},
      {"flags as text", {{"Sequence", Text("Esc")}, {"DisableOutput", Text("1")}}, false},
      {"long values",
       {{"Sequence", Text("F11 > " + std::string(2000, '1'))},
        {std::string(600, 'n'), Dword(7)},
        {"Blob", {REG_BINARY, std::vector<BYTE>(3000, 0xA5)}}},
       false},
      {"lower-case plug-in menu", {{"Sequence", Text("f11 > 1")}}, true},
      {"plug-in menu, another digit", {{"Sequence", Text("F11 >9")}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : kKeys) {
      DeleteUserKey(Key(name).c_str());
      DeleteUserKey(BackupKey(name).c_str());
    }
    WriteValues(Key("F5"), c.values);
    WriteValues(Key("CtrlShiftF6"), c.values);

    BindKeys("CtrlShift");
    ExpectBinding("CtrlShift");
    if (c.own) {
      EXPECT_FALSE(RegistryKeyExists(BackupKey("F5")));
      EXPECT_FALSE(RegistryKeyExists(BackupKey("CtrlShiftF6")));
    } else {
      EXPECT_EQ(ReadValues(BackupKey("F5")), c.values);
      EXPECT_EQ(ReadValues(BackupKey("CtrlShiftF6")), c.values);
    }

    BindKeys(nullptr);
    EXPECT_FALSE(RegistryKeyExists(BackupKey("F5")));
    EXPECT_FALSE(RegistryKeyExists(BackupKey("CtrlShiftF6")));
    if (c.own) {
      EXPECT_EQ(SubkeyCount(kShell), 0u);
    } else {
      EXPECT_EQ(ReadValues(Key("F5")), c.values);
      EXPECT_EQ(ReadValues(Key("CtrlShiftF6")), c.values);
      EXPECT_EQ(SubkeyCount(kShell), 2u);
    }
  }
}

TEST_F(HotkeysTest, CtrlShiftBindingWritesExactlySixMacrosAndNothingElse) {
  AnswerHotkeys(true, 5);
  ShowHotkeyDialog();
  ASSERT_EQ(host->dialogCalls.size(), 1u);
  EXPECT_EQ(host->dialogCalls[0].helpTopic, "Hotkeys");
  EXPECT_EQ(host->dialogCalls[0].items.size(), 10u);
  ExpectBinding("CtrlShift");
  EXPECT_EQ(SubkeyCount(kShell), 6u);
  EXPECT_FALSE(RegistryKeyExists(kBackup));  // nobody had a macro to keep
  EXPECT_EQ(ParkedModifiers(), 24u);
}

TEST_F(HotkeysTest, SwitchingTheParkingRestoresTheOldPairAndParksTheNewOne) {
  WriteValues(Key("CtrlShiftF5"), {{"Sequence", Text("Mine A")}});
  WriteValues(Key("AltShiftF6"), {{"Sequence", Text("Mine B")}});
  AnswerHotkeys(true, 5);
  ShowHotkeyDialog();
  ExpectBinding("CtrlShift");

  AnswerHotkeys(true, 4);
  ShowHotkeyDialog();
  ASSERT_EQ(host->dialogCalls.size(), 2u);
  EXPECT_EQ(host->dialogCalls[1].items[5].Selected, 1);  // shown as bound under Ctrl+Shift
  ExpectBinding("AltShift");
  EXPECT_EQ(ReadValues(Key("CtrlShiftF5")), (Values{{"Sequence", Text("Mine A")}}));
  EXPECT_FALSE(RegistryKeyExists(Key("CtrlShiftF6")));
  EXPECT_FALSE(RegistryKeyExists(BackupKey("CtrlShiftF5")));
  EXPECT_EQ(ReadValues(BackupKey("AltShiftF6")), (Values{{"Sequence", Text("Mine B")}}));
  EXPECT_EQ(SubkeyCount(kShell), 7u);
  EXPECT_EQ(ParkedModifiers(), 18u);
}

TEST_F(HotkeysTest, BindingAgainNeverLosesTheFirstBackup) {
  const Values mine = {{"Sequence", Text("AltF7")}, {"DisableOutput", Dword(0)}};
  WriteValues(Key("F5"), mine);
  for (const char* prefix : {"CtrlShift", "CtrlShift", "CtrlAlt", "AltShift"}) {
    SCOPED_TRACE(prefix);
    BindKeys(prefix);
    ExpectBinding(prefix);
    EXPECT_EQ(ReadValues(BackupKey("F5")), mine);
  }
  BindKeys(nullptr);
  EXPECT_EQ(ReadValues(Key("F5")), mine);
  EXPECT_FALSE(RegistryKeyExists(BackupKey("F5")));
}

// A backup beside the user's current macro is stale and gives way to it; a
// backup whose key holds no macro is the only copy of the user's macro
// (left by an unbinding whose restore failed) and is kept for the next one.
TEST_F(HotkeysTest, AStaleBackupGivesWayToTheUsersCurrentMacroAndALoneOneIsKept) {
  WriteValues(BackupKey("F5"), {{"Sequence", Text("Old")}, {"Stale", Dword(1)}});
  const Values lone = {{"Sequence", Text("Only copy")}};
  WriteValues(BackupKey("F6"), lone);
  const Values current = {{"Sequence", Text("New")}};
  WriteValues(Key("F5"), current);

  BindKeys("CtrlShift");
  ExpectBinding("CtrlShift");
  EXPECT_EQ(ReadValues(BackupKey("F5")), current);
  EXPECT_EQ(ReadValues(BackupKey("F6")), lone);

  BindKeys(nullptr);
  EXPECT_EQ(ReadValues(Key("F5")), current);
  EXPECT_EQ(ReadValues(Key("F6")), lone);
  EXPECT_FALSE(RegistryKeyExists(BackupKey("F6")));
}

// A registry write that fails must not cost the user a macro: a backup
// that could not be made leaves the key unbound, a restore that could not
// be made keeps the backup.
TEST_F(HotkeysTest, FailedRegistryWritesKeepTheUsersMacro) {
  const Values mine = {{"Sequence", Text("CtrlF10")}, {"Extra", Dword(3)}};
  struct Case {
    const char* what;
    const char* operation;
    const char* path;
  } cases[] = {
      {"backup key not created", "RegCreateKeyExA", "*Shell.backup\\F5"},
      {"backup value not written", "RegSetValueExA", "*Shell.backup\\F5\\Extra"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : kKeys) {
      DeleteUserKey(Key(name).c_str());
      DeleteUserKey(BackupKey(name).c_str());
    }
    WriteValues(Key("F5"), mine);
    pt::ArmFault(c.operation, c.path, 1, ERROR_ACCESS_DENIED);
    BindKeys("CtrlShift");
    pt::ResetFaults();
    EXPECT_EQ(ReadValues(Key("F5")), mine);
    EXPECT_EQ(ReadValues(Key("F6")), PluginMacro("F11 > 2", false));  // the rest is bound
    // Once the registry works again, binding completes and keeps the macro.
    BindKeys("CtrlShift");
    ExpectBinding("CtrlShift");
    EXPECT_EQ(ReadValues(BackupKey("F5")), mine);
  }

  // A restore that fails, wholly or halfway, leaves the macro in the backup
  // alone; binding again must not take the empty or half key for the user's
  // macro and drop the backup, and the next unbinding brings it back whole.
  const Case restores[] = {
      {"restored key not created", "RegCreateKeyExA", "*Shell\\F5"},
      {"restored value not written", "RegSetValueExA", "*Shell\\F5\\Extra"},
  };
  for (const Case& c : restores) {
    SCOPED_TRACE(c.what);
    pt::ArmFault(c.operation, c.path, 1, ERROR_ACCESS_DENIED);
    BindKeys(nullptr);
    pt::ResetFaults();
    EXPECT_FALSE(RegistryKeyExists(Key("F5")));
    EXPECT_EQ(ReadValues(BackupKey("F5")), mine);

    BindKeys("CtrlShift");
    ExpectBinding("CtrlShift");
    EXPECT_EQ(ReadValues(BackupKey("F5")), mine);
    BindKeys(nullptr);
    EXPECT_EQ(ReadValues(Key("F5")), mine);
    EXPECT_FALSE(RegistryKeyExists(BackupKey("F5")));
    BindKeys("CtrlShift");  // bound again for the next case
  }
}

TEST_F(HotkeysTest, DialogOutcomesOnNewAndOldHosts) {
  struct Case {
    const char* what;
    const char* boundUnder;  // null: unbound
    bool oldHost;
    int result;
    bool bind;
    int radio;
    std::vector<int> macroCommands;  // AdvControl key-macro sub-commands, in order
    bool notice;                     // the restart notice
    const char* boundAfter;
  } cases[] = {
      {"unbound, OK", nullptr, false, 8, false, 0, {1, 0}, false, nullptr},
      {"unbound, OK, old host", nullptr, true, 8, false, 0, {}, true, nullptr},
      {"bound, OK", "CtrlShift", false, 8, true, 0, {}, false, "CtrlShift"},
      {"bound, OK, old host", "CtrlAlt", true, 8, true, 0, {}, false, "CtrlAlt"},
      {"bound, Cancel after changes", "CtrlShift", false, 9, false, 4, {}, false, "CtrlShift"},
      {"bound, Esc after changes", "CtrlShift", false, -1, true, 6, {}, false, "CtrlShift"},
      {"bind", nullptr, false, 8, true, 6, {1, 0}, false, "CtrlAlt"},
      {"bind, old host", nullptr, true, 8, true, 5, {}, true, "CtrlShift"},
      {"unbind", "AltShift", false, 8, false, 0, {1, 0}, false, nullptr},
      {"unbind, old host", "AltShift", true, 8, false, 0, {}, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : kKeys) DeleteUserKey(Key(name).c_str());
    if (c.boundUnder) BindKeys(c.boundUnder);
    host->record.RecordSize = c.oldHost ? OldHostRecordSize : sizeof(HostServices);
    SetStartupInfo(&host->record);
    host->advCalls.clear();
    host->messageCalls.clear();
    auto before = Snapshot();
    AnswerHotkeys(c.bind, c.radio, c.result);
    if (c.notice) host->messageAnswers.push_back(0);

    ShowHotkeyDialog();

    EXPECT_EQ(MacroCommands(), c.macroCommands);
    if (c.notice) {
      ASSERT_EQ(host->messageCalls.size(), 1u);
      const auto& notice = host->messageCalls[0];
      EXPECT_EQ(notice.flags, 9u);
      EXPECT_EQ(notice.lines, (std::vector<std::string>{host->messages[0], host->messages[13],
                                                        "\x01", host->messages[10]}));
      EXPECT_EQ(notice.buttons, 1);
    } else {
      EXPECT_TRUE(host->messageCalls.empty());
    }
    if (c.boundAfter) {
      ExpectBinding(c.boundAfter);
      EXPECT_EQ(SubkeyCount(kShell), 6u);
    } else {
      EXPECT_EQ(SubkeyCount(kShell), 0u);
    }
    if (c.boundUnder && c.boundAfter && std::string(c.boundUnder) == c.boundAfter) {
      EXPECT_EQ(Snapshot(), before);
    }
  }
}

TEST_F(HotkeysTest, FixBindingRebindsAnOldBindingOnce) {
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, const char*>> macros;
    const char* prefix;  // null: nothing to fix
  } cases[] = {
      {"nothing bound", {{"CtrlAltF5", "F5"}}, nullptr},
      {"user's own F5", {{"F5", "CtrlF10"}, {"CtrlShiftF5", "F5"}}, nullptr},
      {"Ctrl+Alt only", {{"F5", "F11 > 1"}, {"F6", "F11 > 2"}, {"CtrlAltF5", "F5"}}, "CtrlAlt"},
      {"Alt+Shift by F6 only", {{"F6", "f11 > 2"}, {"AltShiftF6", "F6"}}, "AltShift"},
      {"no parking", {{"F5", "F11 > 1"}}, "CtrlShift"},
      {"Ctrl+Shift wins", {{"F5", "F11 > 1"}, {"AltShiftF5", "F5"}, {"CtrlShiftF6", "F6"}},
       "CtrlShift"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : kKeys) DeleteUserKey(Key(name).c_str());
    DeleteUserKey(kSettingsKey);
    for (const auto& [name, sequence] : c.macros) SetRegistryString(Key(name), "Sequence", sequence);
    host->advCalls.clear();
    auto before = Snapshot();

    FixBinding();
    if (!c.prefix) {
      EXPECT_EQ(Snapshot(), before);
      EXPECT_FALSE(RegistryDword(kSettingsKey, "BindFixed"));
      EXPECT_TRUE(host->advCalls.empty());
      continue;
    }
    ExpectBinding(c.prefix);
    EXPECT_EQ(SubkeyCount(kShell), 6u);
    EXPECT_EQ(RegistryDword(kSettingsKey, "BindFixed"), 1u);
    EXPECT_EQ(MacroCommands(), (std::vector<int>{0}));

    // From then on it leaves the binding alone, whatever the user makes of it.
    DeleteUserKey(Key("F6").c_str());
    before = Snapshot();
    FixBinding();
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(host->advCalls.size(), 1u);
  }
}

TEST_F(HotkeysTest, FixBindingOnAnOldHostShowsTheRestartNotice) {
  UseOldHost();
  SetRegistryString(Key("F5"), "Sequence", "F11 > 1");
  SetRegistryString(Key("CtrlAltF5"), "Sequence", "F5");
  host->messageAnswers.push_back(0);
  FixBinding();
  ExpectBinding("CtrlAlt");
  EXPECT_TRUE(host->advCalls.empty());
  ASSERT_EQ(host->messageCalls.size(), 1u);
  EXPECT_EQ(host->messageCalls[0].lines[1], host->messages[13]);
}

}  // namespace
