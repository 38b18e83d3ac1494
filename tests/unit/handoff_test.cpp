#include <gtest/gtest.h>

#include <vector>

#include "core_fixture.h"
#include "platform/layer_helpers.h"
#include "platform/testing.h"
#include "settings/macros.h"
#include "settings/settings.h"
#include "support/files.h"

namespace {

using HandOffTest = CoreTest;

std::vector<INPUT_RECORD> TakeInput() {
  std::vector<INPUT_RECORD> records;
  INPUT_RECORD record;
  while (platform::testing::ConsolePopInput(&record)) records.push_back(record);
  return records;
}

void ExpectKey(const INPUT_RECORD& r, WORD key, char character, DWORD state, bool down) {
  EXPECT_EQ(r.EventType, KEY_EVENT);
  EXPECT_EQ(r.Event.KeyEvent.wVirtualKeyCode, key);
  EXPECT_EQ(r.Event.KeyEvent.uChar.AsciiChar, character);
  EXPECT_EQ(r.Event.KeyEvent.dwControlKeyState, state);
  EXPECT_EQ(r.Event.KeyEvent.bKeyDown != 0, down);
  EXPECT_EQ(r.Event.KeyEvent.wRepeatCount, 0);
  EXPECT_EQ(r.Event.KeyEvent.wVirtualScanCode, 0);
}

TEST_F(HandOffTest, MinusOneAddsTheEnterPairAfterTheCommandKey) {
  SetRegistryString("Software\\Far\\KeyMacros\\Shell\\AltShiftF5", "Sequence", "F5");
  HandOffKeys(1, -1);
  std::vector<INPUT_RECORD> keys = TakeInput();
  ASSERT_EQ(keys.size(), 4u);
  ExpectKey(keys[0], VK_F6, 0, 18, true);
  ExpectKey(keys[1], VK_F6, 0, 18, false);
  ExpectKey(keys[2], VK_RETURN, '\r', 0, true);
  ExpectKey(keys[3], VK_RETURN, '\r', 0, false);
}

TEST_F(HandOffTest, ZeroPutsOnlyTheCommandKey) {
  SetRegistryString("Software\\Far\\KeyMacros\\Shell\\CtrlAltF5", "Sequence", "F5");
  HandOffKeys(0, 0);
  std::vector<INPUT_RECORD> keys = TakeInput();
  ASSERT_EQ(keys.size(), 2u);
  ExpectKey(keys[0], VK_F5, 0, 10, true);
  ExpectKey(keys[1], VK_F5, 0, 10, false);
}

TEST_F(HandOffTest, NothingIsInjectedWhenNoCombinationIsParked) {
  SetRegistryString("Software\\Far\\KeyMacros\\Shell\\AltShiftF5", "Sequence", "ShiftF5");  // the user's own
  HandOffKeys(0, -1);
  EXPECT_EQ(platform::testing::ConsoleInputCount(), 0);
}

// The parked pair comes from where the host reads its macros: on a Lua
// host from the plug-in's macro file, whose pair sends the host's own F5/F6
// (never from an old registry binding); on older hosts from the registry.
TEST_F(HandOffTest, TheParkedPairIsTheOneTheHostsOwnMacrosBind) {
  layer_test::SetVariable("FARPROFILE", WindowsPath(dir).c_str());
  struct Case {
    const char* what;
    int version;
    const char* filePrefix;      // the macro file's parking, null: no file
    const char* registryPrefix;  // a registry binding's parking, null: none
    DWORD modifiers;             // 0: nothing handed off
  } cases[] = {
      {"3.0, file", FarVersion(3, 0, 6727), "CtrlAlt", nullptr, 10},
      {"3.0, file and an old registry binding", FarVersion(3, 0, 6727), "AltShift", "CtrlShift", 18},
      {"3.0, registry only", FarVersion(3, 0, 6727), nullptr, "AltShift", 0},
      {"1.75, registry and a file", FarVersion(1, 75, 2634), "CtrlShift", "CtrlAlt", 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    host->farVersion = FarVersion(3, 0, 6727);
    SetStartupInfo(&host->record);
    BindKeys(nullptr);
    if (c.filePrefix) BindKeys(c.filePrefix);
    for (const char* prefix : {"AltShift", "CtrlShift", "CtrlAlt"})
      DeleteUserKey((std::string("Software\\Far\\KeyMacros\\Shell\\") + prefix + "F5").c_str());
    if (c.registryPrefix)
      SetRegistryString(std::string("Software\\Far\\KeyMacros\\Shell\\") + c.registryPrefix + "F5",
                        "Sequence", "F5");
    host->farVersion = c.version;
    SetStartupInfo(&host->record);

    HandOffKeys(0, -1);
    std::vector<INPUT_RECORD> keys = TakeInput();
    if (!c.modifiers) {
      EXPECT_TRUE(keys.empty());
      continue;
    }
    ASSERT_EQ(keys.size(), 4u);
    ExpectKey(keys[0], VK_F5, 0, c.modifiers, true);
    ExpectKey(keys[1], VK_F5, 0, c.modifiers, false);
    ExpectKey(keys[2], VK_RETURN, '\r', 0, true);
  }
  layer_test::SetVariable("FARPROFILE", nullptr);
}

}  // namespace
