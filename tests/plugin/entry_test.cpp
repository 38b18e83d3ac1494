// The plug-in through its four exports, as the host calls them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/messages.h"
#include "platform/testing.h"
#include "support/fixture.h"

namespace {

namespace pt = platform::testing;
constexpr const char* kSettingsKey = "Software\\Far\\Plugins\\Quickferry";
constexpr const char* kOptions[] = {
    "BufPercent",  "BufKb",     "BufInKb",       "OverwriteDef", "CopyStreamsDef",
    "AllowParallel", "ParallelDef", "CopyDescs",  "ClearROFromCD", "NtfsOpts",
    "ConfirmBreak", "CompleteBeep", "HideDescs",  "DescsInDirs",   "CopyRightsDef"};

class EntryTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    Start();
  }
  void ParkUnder(const char* prefix) {
    SetRegistryString(std::string("Software\\Far\\KeyMacros\\Shell\\") + prefix + "F5", "Sequence", "F5");
    SetRegistryString(std::string("Software\\Far\\KeyMacros\\Shell\\") + prefix + "F6", "Sequence", "F6");
  }
  std::vector<INPUT_RECORD> TakeInput() {
    std::vector<INPUT_RECORD> records;
    INPUT_RECORD record;
    while (pt::ConsolePopInput(&record)) records.push_back(record);
    return records;
  }
};

TEST_F(EntryTest, MenuShowsFourItemsUnderTheTitleWithTheFirstSelected) {
  host->menuAnswers.push_back(-1);
  EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  ASSERT_EQ(host->menuCalls.size(), 1u);
  const auto& menu = host->menuCalls[0];
  EXPECT_EQ(menu.title, host->messages[0]);
  EXPECT_EQ(menu.helpTopic, "Menu");
  EXPECT_EQ(menu.x, -1);
  EXPECT_EQ(menu.y, -1);
  ASSERT_EQ(menu.items.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(std::string(menu.items[i].Text), host->messages[i + 1]);
    EXPECT_EQ(menu.items[i].Selected, i == 0 ? 1 : 0);
    EXPECT_EQ(menu.items[i].Checked, 0);
    EXPECT_EQ(menu.items[i].Separator, 0);
  }
}

TEST_F(EntryTest, EscInTheMenuLoadsNoSettingsAndReadsNoPanel) {
  host->menuAnswers.push_back(-1);
  EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(pt::CallCount("RegOpenKeyExA"), 0);
  EXPECT_EQ(pt::CallCount("GetVersionExA"), 0);
  EXPECT_TRUE(host->controlCalls.empty());
  EXPECT_EQ(pt::ConsoleInputCount(), 0);
}

// Two items selected and ".." current: the selection runs (past the prompt),
// the current item declines and goes back to the host as F5 or F6. So the
// keys show both halves of the (IsMove, CurrentItemOnly) pair.
TEST_F(EntryTest, EachMenuItemReachesTheRunWithItsPair) {
  struct Case {
    int item;
    bool declined;
    WORD key;
  } cases[] = {{0, false, 0}, {1, false, 0}, {2, true, VK_F5}, {3, true, VK_F6}};
  ParkUnder("CtrlShift");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    host->active = TestPanel{};
    host->active.folder = "C:\\src";
    host->active.Add("..").Add("a.txt").Add("b.txt").Select("a.txt").Select("b.txt").SetCurrent("..");
    host->controlCalls.clear();
    host->menuAnswers.push_back(c.item);
    host->dialogCalls.clear();
    if (!c.declined) host->dialogAnswers.push_back({-1, nullptr});  // Esc in the copy dialog
    EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
    // A run that got past its prompt shows the copy dialog titled for its kind.
    ASSERT_EQ(host->dialogCalls.size(), c.declined ? 0u : 1u);
    if (!c.declined) {
      EXPECT_STREQ(host->dialogCalls[0].items[0].Data, host->messages[c.item == 1 ? 74 : 73].c_str());
    }
    ASSERT_GE(host->controlCalls.size(), 2u);
    EXPECT_EQ(host->controlCalls[0].command, 2);
    EXPECT_EQ(host->controlCalls[1].command, 1);
    std::vector<INPUT_RECORD> keys = TakeInput();
    if (!c.declined) {
      EXPECT_TRUE(keys.empty());
      continue;
    }
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].Event.KeyEvent.wVirtualKeyCode, c.key);
  }
}

TEST_F(EntryTest, DeclinedRunWithCtrlShiftParkedPutsExactlyTwoKeyEvents) {
  ParkUnder("CtrlShift");
  host->active.Add("..");
  host->menuAnswers.push_back(0);
  EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  std::vector<INPUT_RECORD> keys = TakeInput();
  ASSERT_EQ(keys.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const KEY_EVENT_RECORD& k = keys[i].Event.KeyEvent;
    EXPECT_EQ(keys[i].EventType, KEY_EVENT);
    EXPECT_EQ(k.wVirtualKeyCode, VK_F5);
    EXPECT_EQ(k.dwControlKeyState, 24u);
    EXPECT_EQ(k.bKeyDown != 0, i == 0);
    EXPECT_EQ(k.wRepeatCount, 0);
    EXPECT_EQ(k.wVirtualScanCode, 0);
    EXPECT_EQ(k.uChar.AsciiChar, 0);
  }
}

// "plugin:" towards a plug-in panel: the run returns -1 and the host's own
// F6 is both opened and confirmed, so its Enter pair follows the key pair.
TEST_F(EntryTest, PluginDestinationHandsTheRunBackWithEnter) {
  constexpr int kCompactStart = 15;
  ParkUnder("AltShift");
  host->active.folder = "C:\\src";
  host->active.Add("a.txt").SetCurrent("a.txt");
  host->passive.plugin = true;
  host->menuAnswers.push_back(1);
  host->dialogAnswers.push_back({kCompactStart, nullptr});  // Enter on the default "plugin:"
  EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  ASSERT_EQ(host->dialogCalls.size(), 1u);
  EXPECT_STREQ(host->dialogCalls[0].items[2].Data, "plugin:");

  std::vector<INPUT_RECORD> keys = TakeInput();
  ASSERT_EQ(keys.size(), 4u);
  const WORD codes[] = {VK_F6, VK_F6, VK_RETURN, VK_RETURN};
  const DWORD states[] = {18, 18, 0, 0};
  const char chars[] = {0, 0, '\r', '\r'};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const KEY_EVENT_RECORD& k = keys[i].Event.KeyEvent;
    EXPECT_EQ(k.wVirtualKeyCode, codes[i]);
    EXPECT_EQ(k.dwControlKeyState, states[i]);
    EXPECT_EQ(k.uChar.AsciiChar, chars[i]);
    EXPECT_EQ(k.bKeyDown != 0, i % 2 == 0);
  }
}

TEST_F(EntryTest, DeclinedRunWithNothingParkedPutsNoKey) {
  host->active.Add("..");
  host->menuAnswers.push_back(1);
  EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(pt::ConsoleInputCount(), 0);
}

TEST_F(EntryTest, ChosenItemLoadsTheSettingsAndTheFamily) {
  host->active.Add("a.txt");
  host->menuAnswers.push_back(0);
  host->dialogAnswers.push_back({-1, nullptr});
  EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  EXPECT_GE(pt::CallCount("RegOpenKeyExA"), 15);
  EXPECT_EQ(pt::CallCount("GetVersionExA"), 1);
}

TEST_F(EntryTest, PluginInfoHasOneMenuStringAndOneConfigurationString) {
  for (int call = 0; call < 3; ++call) {
    SCOPED_TRACE(call);
    host->messages[0] = "Title" + std::to_string(call);
    host->getMsgCalls = 0;
    PluginInfo info{};
    info.Reserved = 0xABCD;
    plugin.GetPluginInfo(&info);
    EXPECT_EQ(host->getMsgCalls, MessageCount);  // the table is rebuilt on every call
    EXPECT_EQ(info.StructSize, (int)sizeof(PluginInfo));
    EXPECT_EQ(info.Flags, 0u);
    EXPECT_EQ(info.DiskMenuStringsNumber, 0);
    ASSERT_EQ(info.PluginMenuStringsNumber, 1);
    EXPECT_EQ(std::string(info.PluginMenuStrings[0]), "[&>] Title" + std::to_string(call));
    ASSERT_EQ(info.PluginConfigStringsNumber, 1);
    EXPECT_EQ(std::string(info.PluginConfigStrings[0]), "Title" + std::to_string(call));
    const char* prefix = info.CommandPrefix;  // packed: read it by value
    EXPECT_EQ(prefix, nullptr);
    EXPECT_EQ(info.Reserved, 0xABCDu);  // fields it does not own stay as they were
  }
}

TEST_F(EntryTest, ConfigureSavesEveryOptionAsADwordWithItsDefault) {
  EXPECT_FALSE(RegistryKeyExists(kSettingsKey));
  host->dialogAnswers.push_back({-1, nullptr});  // the configuration dialog, cancelled
  EXPECT_EQ(plugin.Configure(0), 1);
  ASSERT_EQ(host->dialogCalls.size(), 1u);
  EXPECT_EQ(host->dialogCalls[0].helpTopic, "Config");
  for (const char* name : kOptions) {
    SCOPED_TRACE(name);
    EXPECT_EQ(RegistryType(kSettingsKey, name), (DWORD)REG_DWORD);
  }
  EXPECT_EQ(RegistryDword(kSettingsKey, "BufPercent"), 15u);
  EXPECT_EQ(RegistryDword(kSettingsKey, "BufKb"), 4096u);
  EXPECT_EQ(RegistryDword(kSettingsKey, "AllowParallel"), 1u);
  EXPECT_EQ(RegistryDword(kSettingsKey, "HideDescs"), 1u);
  EXPECT_FALSE(RegistryDword(kSettingsKey, "BindFixed"));  // not an option of the record
}

TEST_F(EntryTest, ConfigureKeepsValuesTheUserHad) {
  SetRegistryDword(kSettingsKey, "BufPercent", 40);
  SetRegistryDword(kSettingsKey, "NtfsOpts", 1);
  host->dialogAnswers.push_back({-1, nullptr});
  EXPECT_EQ(plugin.Configure(0), 1);
  ASSERT_EQ(host->dialogCalls.size(), 1u);
  EXPECT_STREQ(host->dialogCalls[0].items[4].Data, "40");  // loaded before the dialog
  EXPECT_EQ(RegistryDword(kSettingsKey, "BufPercent"), 40u);
  EXPECT_EQ(RegistryDword(kSettingsKey, "NtfsOpts"), 1u);
}

TEST_F(EntryTest, ConfigureSavesWhatTheDialogStored) {
  host->dialogAnswers.push_back({26, [](DialogItem* items, int) {  // OK
                                   std::snprintf(items[5].Data, sizeof items[5].Data, "8192");
                                   items[3].Selected = 1;
                                   items[2].Selected = 0;
                                 }});
  EXPECT_EQ(plugin.Configure(0), 1);
  EXPECT_EQ(RegistryDword(kSettingsKey, "BufKb"), 8192u);
  EXPECT_EQ(RegistryDword(kSettingsKey, "BufInKb"), 1u);
}

TEST_F(EntryTest, PluginInfoBringsAnOldBindingToTheCurrentSchemeOnce) {
  SetRegistryString("Software\\Far\\KeyMacros\\Shell\\F5", "Sequence", "F11 > 1");
  ParkUnder("CtrlAlt");
  PluginInfo info{};
  plugin.GetPluginInfo(&info);
  plugin.GetPluginInfo(&info);
  EXPECT_EQ(RegistryDword("Software\\Far\\KeyMacros\\Shell\\F6", "NoPluginPanels"), 1u);
  EXPECT_EQ(RegistryDword("Software\\Far\\KeyMacros\\Shell\\CtrlAltF5", "PluginPanels"), 1u);
  EXPECT_EQ(RegistryDword(kSettingsKey, "BindFixed"), 1u);
  ASSERT_EQ(host->advCalls.size(), 1u);  // one reload, at the first call only
  EXPECT_EQ(host->advCalls[0].command, 7);
  EXPECT_EQ(host->advCalls[0].macro.command, 0);
}

TEST_F(EntryTest, SettingsKeyFollowsTheHostsRoot) {
  auto other = std::make_unique<ScriptedHost>("Software\\Far2\\Plugins");
  plugin.SetStartupInfo(&other->record);
  other->dialogAnswers.push_back({-1, nullptr});
  EXPECT_EQ(plugin.Configure(0), 1);
  EXPECT_EQ(RegistryDword("Software\\Far2\\Plugins\\Quickferry", "BufKb"), 4096u);
  EXPECT_FALSE(RegistryKeyExists(kSettingsKey));
  other.reset();
  plugin.SetStartupInfo(&host->record);
#ifdef _WIN32
  ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Far2");
#endif
}

}  // namespace
