// The hot-key binding in the real registry of the platform layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core_fixture.h"
#include "platform/layer_helpers.h"
#include "platform/testing.h"
#include "settings/macros.h"
#include "settings/settings.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
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

// ---- Hosts that read their key macros from Lua files ------------------------

constexpr int kFar3 = FarVersion(3, 0, 6727);

// The file a Ctrl+Shift binding writes, with "\n" for its line ends.
const std::string kGoldenCtrlShift = R"lua(-- Quickferry key macros: the plug-in rewrites this file, or removes it, when its keys are bound or unbound
Macro {
  area="Shell"; key="F5"; flags="NoPluginPanels";
  description="Quickferry: 1 Copy files";
  action=function()
    Keys("F11")
    if Menu.Select("[&>] Quickferry", 3) > 0 or Menu.Select("[>] Quickferry", 3) > 0 then
      Keys("Enter 1")
    end
  end;
}
Macro {
  area="Shell"; key="F6"; flags="NoPluginPanels";
  description="Quickferry: 2 Move files";
  action=function()
    Keys("F11")
    if Menu.Select("[&>] Quickferry", 3) > 0 or Menu.Select("[>] Quickferry", 3) > 0 then
      Keys("Enter 2")
    end
  end;
}
Macro {
  area="Shell"; key="ShiftF5"; flags="NoPluginPanels";
  description="Quickferry: 3 Copy current item";
  action=function()
    Keys("F11")
    if Menu.Select("[&>] Quickferry", 3) > 0 or Menu.Select("[>] Quickferry", 3) > 0 then
      Keys("Enter 3")
    end
  end;
}
Macro {
  area="Shell"; key="ShiftF6"; flags="NoPluginPanels";
  description="Quickferry: 4 Move or rename current item";
  action=function()
    Keys("F11")
    if Menu.Select("[&>] Quickferry", 3) > 0 or Menu.Select("[>] Quickferry", 3) > 0 then
      Keys("Enter 4")
    end
  end;
}
Macro {
  area="Shell"; key="CtrlShiftF5";
  description="Quickferry: F5";
  action=function() Keys("F5") end;
}
Macro {
  area="Shell"; key="CtrlShiftF6";
  description="Quickferry: F6";
  action=function() Keys("F6") end;
}
)lua";

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// The golden file with the host's own F5/F6 parked under `prefix`.
std::string Golden(const std::string& prefix) {
  std::string text = WithCrLf(kGoldenCtrlShift);
  for (size_t at = 0; (at = text.find("key=\"CtrlShift", at)) != std::string::npos; at += 5)
    text.replace(at + 5, 9, prefix);
  return text;
}

class LuaHotkeysTest : public HotkeysTest {
 protected:
  void SetUp() override {
    HotkeysTest::SetUp();
    UseHost(kFar3);
    profile = dir / "profile";
    fs::create_directory(profile);
    layer_test::SetVariable("FARPROFILE", WindowsPath(profile).c_str());
  }
  void TearDown() override {
    layer_test::SetVariable("FARPROFILE", nullptr);
    HotkeysTest::TearDown();
  }
  void UseHost(int version) {
    host->farVersion = version;
    SetStartupInfo(&host->record);
  }
  fs::path Scripts() const { return profile / "Macros" / "scripts"; }
  fs::path File() const { return Scripts() / "Quickferry.lua"; }
  std::string FilePath() const { return WindowsPath(File()); }
  std::vector<std::string> ScriptNames() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(Scripts(), ignored))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path profile;
};

// Through the hot-key dialog, as a user binds, re-parks and unbinds: one
// file of ours, its state read back from it, a load asked after each change,
// the user's own macro files and the registry never touched.
TEST_F(LuaHotkeysTest, BindingWritesOneFileOfOursThatTheDialogReadsBackAndUnbindingRemovesIt) {
  auto registryBefore = Snapshot();
  AnswerHotkeys(true, 5);
  ShowHotkeyDialog();
  ASSERT_EQ(host->dialogCalls.size(), 1u);
  EXPECT_EQ(host->dialogCalls[0].items[1].Selected, 0);
  EXPECT_EQ(ReadFile(File()), Golden("CtrlShift"));
  EXPECT_EQ(ScriptNames(), (std::vector<std::string>{"Quickferry.lua"}));
  EXPECT_EQ(MacroCommands(), (std::vector<int>{0}));
  EXPECT_EQ(ParkedModifiers(), 24u);
  WriteFile(Scripts() / "Mine.lua", "-- the user's own\n");

  struct Step {
    const char* what;
    bool bind;
    int radio;
    bool shownBound;     // the dialog's check box as shown
    int shownRadio;      // its radio button as shown
    const char* parked;  // the file's parking afterwards; null: no file
    size_t loads;        // load requests so far
    DWORD modifiers;
  } steps[] = {
      {"switch to Alt+Shift", true, 4, true, 5, "AltShift", 2, 18},
      {"OK without a change", true, 0, true, 4, "AltShift", 2, 18},
      {"switch to Ctrl+Alt", true, 6, true, 4, "CtrlAlt", 3, 10},
      {"unbind", false, 0, true, 6, nullptr, 4, 0},
      {"OK on the unbound setup", false, 0, false, 4, nullptr, 5, 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    AnswerHotkeys(step.bind, step.radio);
    ShowHotkeyDialog();
    const auto& shown = host->dialogCalls.back().items;
    EXPECT_EQ(shown[1].Selected, step.shownBound ? 1 : 0);
    for (int i = 4; i <= 6; ++i) EXPECT_EQ(shown[i].Selected, i == step.shownRadio ? 1 : 0) << i;
    if (step.parked) {
      EXPECT_EQ(ReadFile(File()), Golden(step.parked));
      EXPECT_EQ(ScriptNames(), (std::vector<std::string>{"Mine.lua", "Quickferry.lua"}));
    } else {
      EXPECT_EQ(ScriptNames(), (std::vector<std::string>{"Mine.lua"}));
    }
    EXPECT_EQ(MacroCommands(), std::vector<int>(step.loads, 0));
    EXPECT_EQ(ParkedModifiers(), step.modifiers);
  }
  EXPECT_EQ(ReadFile(Scripts() / "Mine.lua"), "-- the user's own\n");
  EXPECT_TRUE(host->messageCalls.empty());
  EXPECT_EQ(Snapshot(), registryBefore);
}

// The file loaded as the host loads it, in a stub of the host's macro
// environment: each key's action, for a plug-ins menu that shows the entry
// as registered, without its hot-key mark, or not at all.
TEST_F(LuaHotkeysTest, TheFileIsLuaWhoseActionsPickThePluginsEntryAndItsOperations) {
#ifdef _WIN32
  GTEST_SKIP() << "LuaJIT runs on Linux; the text is the same on both (the golden test)";
#else
  const std::string stub = R"lua(
local file, shown = arg[1], arg[2]
local macros, log = {}, {}
local env = {
  Macro = function(m)
    for field in pairs(m) do
      assert(({area=1, key=1, flags=1, description=1, action=1})[field], "unknown field " .. field)
    end
    macros[#macros + 1] = m
  end,
  Keys = function(keys) log[#log + 1] = "Keys(" .. keys .. ")" end,
  Menu = { Select = function(text, mode)
    log[#log + 1] = ("Select(%s,%d)"):format(text, mode)
    if mode == 3 and shown:lower():find(text:lower(), 1, true) then return 4 end
    return 0
  end },
}
setmetatable(env, { __index = function(_, name) error("undefined global " .. name, 2) end })
local chunk = assert(loadfile(file))
setfenv(chunk, env)
chunk()
for _, m in ipairs(macros) do
  log = {}
  m.action()
  print(m.area .. "|" .. m.key .. "|" .. (m.flags or "") .. "|" .. m.description .. "|" .. table.concat(log, " "))
end
)lua";
  WriteFile(dir / "stub.lua", stub);
  const std::string raw = "Select([&>] Quickferry,3)", plain = "Select([>] Quickferry,3)";
  struct Case {
    const char* prefix;
    const char* menu;    // the entry as the plug-ins menu shows it
    std::string search;  // what each operation's action does before it picks
    bool picks;
  } cases[] = {
      {"CtrlShift", "[&>] Quickferry", "Keys(F11) " + raw, true},
      {"AltShift", "  C  [>] Quickferry", "Keys(F11) " + raw + " " + plain, true},
      {"CtrlAlt", "[>] Another plug-in", "Keys(F11) " + raw + " " + plain, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.prefix) + " / " + c.menu);
    BindKeys(c.prefix);
    std::string command = "luajit '" + (dir / "stub.lua").string() + "' '" + File().string() +
                          "' '" + c.menu + "' 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    ASSERT_EQ(pclose(pipe), 0) << output;

    std::ostringstream expected;
    const char* operations[] = {"1 Copy files", "2 Move files", "3 Copy current item",
                                "4 Move or rename current item"};
    const char* keys[] = {"F5", "F6", "ShiftF5", "ShiftF6"};
    for (int i = 0; i < 4; ++i)
      expected << "Shell|" << keys[i] << "|NoPluginPanels|Quickferry: " << operations[i] << "|"
               << c.search << (c.picks ? " Keys(Enter " + std::to_string(i + 1) + ")" : "")
               << "\n";
    for (const char* command : {"F5", "F6"})
      expected << "Shell|" << c.prefix << command << "||Quickferry: " << command << "|Keys("
               << command << ")\n";
    EXPECT_EQ(output, expected.str());
  }
#endif
}

// A file of that name that the plug-in did not write is never changed:
// binding says so and leaves the keys unbound, unbinding passes it by, and
// its macros count for nothing. A file of ours that an editor saved with a
// byte-order mark is still ours.
TEST_F(LuaHotkeysTest, AFileOfThatNameThatIsNotOursIsLeftAloneWithAMessage) {
  const std::string marker = Golden("CtrlShift").substr(0, Golden("CtrlShift").find('\r'));
  struct Case {
    const char* what;
    std::string text;
    bool ours;
  } cases[] = {
      {"the user's macros",
       "Macro { area=\"Shell\"; key=\"CtrlShiftF5\"; action=function() Keys(\"F5\") end; }\n",
       false},
      {"our mark below the first line", "-- mine\n" + marker + "\nkey=\"F5\"\n", false},
      {"our mark with more on its line", marker + " and mine\n", false},
      {"empty", "", false},
      {"ours, saved with a byte-order mark",
       "\xEF\xBB\xBF" + marker + "\nkey=\"F5\" key=\"F6\" key=\"ShiftF5\" key=\"ShiftF6\"\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(File(), c.text);
    host->messageCalls.clear();
    if (!c.ours) host->messageAnswers.push_back(0);
    AnswerHotkeys(true, 5);
    ShowHotkeyDialog();
    EXPECT_EQ(host->dialogCalls.back().items[1].Selected, c.ours ? 1 : 0);
    if (c.ours) {
      EXPECT_EQ(ReadFile(File()), Golden("CtrlShift"));
      EXPECT_TRUE(host->messageCalls.empty());
      BindKeys(nullptr);
      EXPECT_FALSE(fs::exists(File()));
      continue;
    }
    EXPECT_EQ(ReadFile(File()), c.text);
    EXPECT_EQ(ScriptNames(), (std::vector<std::string>{"Quickferry.lua"}));
    ASSERT_EQ(host->messageCalls.size(), 1u);
    EXPECT_EQ(host->messageCalls[0].lines,
              (std::vector<std::string>{host->messages[44], FilePath(), "\x01",
                                        host->messages[MsgMacroFileForeign], "\x01", host->messages[10]}));
    EXPECT_EQ(ParkedModifiers(), 0u);

    BindKeys(nullptr);
    EXPECT_EQ(ReadFile(File()), c.text);
    EXPECT_EQ(host->messageCalls.size(), 1u);
  }
}

// Every failure is shown, with the file and the system's reason, and leaves
// what was there (our former file) whole, with no temporary file beside it.
TEST_F(LuaHotkeysTest, FailuresAreShownAndLeaveNoHalfWrittenFile) {
  struct Case {
    const char* what;
    bool bind;
    const char* operation;  // null: no fault
    const char* path;
    DWORD error;
    bool shortWrite;
  } cases[] = {
      {"no profile folder", true, nullptr, nullptr, ERROR_ENVVAR_NOT_FOUND, false},
      {"folder not created", true, "CreateDirectoryA", "*\\Macros", ERROR_ACCESS_DENIED, false},
      {"our file unreadable", true, "CreateFileA", "*\\Quickferry.lua", ERROR_SHARING_VIOLATION,
       false},
      {"temporary file not created", true, "CreateFileA", "*\\Quickferry.lua.tmp",
       ERROR_ACCESS_DENIED, false},
      {"write refused", true, "WriteFile", "*\\Quickferry.lua.tmp", ERROR_DISK_FULL, false},
      {"short write", true, "WriteFile", "*\\Quickferry.lua.tmp", ERROR_DISK_FULL, true},
      {"not put in place", true, "MoveFileExA", "*\\Quickferry.lua.tmp", ERROR_ACCESS_DENIED,
       false},
      {"not removed", false, "DeleteFileA", "*\\Quickferry.lua", ERROR_ACCESS_DENIED, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(profile / "Macros");
    BindKeys("AltShift");
    ASSERT_EQ(ReadFile(File()), Golden("AltShift"));
    host->messageCalls.clear();
    host->messageAnswers.push_back(0);
    if (!c.operation) layer_test::SetVariable("FARPROFILE", nullptr);
    if (c.shortWrite)
      pt::ArmShortFault(c.operation, c.path, 1, 100);
    else if (c.operation)
      pt::ArmFault(c.operation, c.path, 1, c.error);

    BindKeys(c.bind ? "CtrlShift" : nullptr);
    pt::ResetFaults();
    layer_test::SetVariable("FARPROFILE", WindowsPath(profile).c_str());

    ASSERT_EQ(host->messageCalls.size(), 1u);
    const auto& lines = host->messageCalls[0].lines;
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], host->messages[48]);
    EXPECT_EQ(lines[1], c.operation ? FilePath() : "%FARPROFILE%\\Macros\\scripts\\Quickferry.lua");
    EXPECT_EQ(lines[3], host->messages[MsgMacroFileFailed]);
    char reason[512] = "";
    platform::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             c.error, 0, reason, sizeof reason, nullptr);
    EXPECT_EQ(std::string(reason).rfind(lines[4], 0), 0u) << reason << " / " << lines[4];
    EXPECT_EQ(ReadFile(File()), Golden("AltShift"));
    EXPECT_EQ(ScriptNames(), (std::vector<std::string>{"Quickferry.lua"}));
  }
}

// Each host keeps its binding where it reads it: hosts before version 3 in
// the registry, as always (the one-time fix included); a Lua host in its
// file, leaving the registry and the old fix alone.
TEST_F(LuaHotkeysTest, EachHostGetsTheBindingWhereItReadsIt) {
  struct Case {
    const char* what;
    bool oldRecord;
    int version;
    bool lua;
  } cases[] = {
      {"record without AdvControl", true, kFar3, false},
      {"1.75", false, FarVersion(1, 75, 2634), false},
      {"2.0", false, FarVersion(2, 0, 1807), false},
      {"3.0", false, kFar3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : kKeys) DeleteUserKey(Key(name).c_str());
    DeleteUserKey(kSettingsKey);
    fs::remove_all(profile / "Macros");
    host->record.RecordSize = c.oldRecord ? OldHostRecordSize : sizeof(HostServices);
    UseHost(c.version);
    SetRegistryString(Key("F5"), "Sequence", "F11 > 1");
    SetRegistryString(Key("CtrlAltF5"), "Sequence", "F5");
    auto before = Snapshot();
    host->advCalls.clear();
    if (c.oldRecord) host->messageAnswers.push_back(0);  // the restart notice

    FixBinding();
    EXPECT_EQ(RegistryDword(kSettingsKey, "BindFixed").has_value(), !c.lua);
    BindKeys("CtrlShift");
    if (c.lua) {
      EXPECT_EQ(Snapshot(), before);
      EXPECT_EQ(ReadFile(File()), Golden("CtrlShift"));
      EXPECT_TRUE(host->advCalls.empty());
    } else {
      ExpectBinding("CtrlShift");
      EXPECT_FALSE(fs::exists(profile / "Macros"));
    }
  }
}

}  // namespace
