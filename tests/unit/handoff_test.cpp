#include <gtest/gtest.h>

#include <vector>

#include "core_fixture.h"
#include "platform/testing.h"

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

}  // namespace
