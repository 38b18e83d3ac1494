#include <gtest/gtest.h>

#include "platform/testing.h"
#include "support/fixture.h"

namespace {

using ConsoleTest = PlatformTest;

TEST_F(ConsoleTest, WrittenInputIsPeekedWithoutRemovalThenReadInOrder) {
  HANDLE input = platform::GetStdHandle(STD_INPUT_HANDLE);
  INPUT_RECORD records[2] = {KeyRecord(VK_F5, 0, 24, true), KeyRecord(VK_F5, 0, 24, false)};
  DWORD count = 0;
  ASSERT_TRUE(platform::WriteConsoleInputA(input, records, 2, &count));
  EXPECT_EQ(count, 2u);
  INPUT_RECORD seen[4];
  ASSERT_TRUE(platform::PeekConsoleInputA(input, seen, 4, &count));
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(platform::testing::ConsoleInputCount(), 2);
  ASSERT_TRUE(platform::ReadConsoleInputA(input, seen, 1, &count));
  EXPECT_EQ(count, 1u);
  EXPECT_TRUE(seen[0].Event.KeyEvent.bKeyDown);
  ASSERT_TRUE(platform::ReadConsoleInputA(input, seen, 4, &count));
  EXPECT_EQ(count, 1u);
  EXPECT_FALSE(seen[0].Event.KeyEvent.bKeyDown);
  ASSERT_TRUE(platform::PeekConsoleInputA(input, seen, 4, &count));
  EXPECT_EQ(count, 0u);
}

TEST_F(ConsoleTest, ScreenBufferInfoHasTheConsoleSize) {
  platform::testing::ConsoleReset(132, 43);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(platform::GetConsoleScreenBufferInfo(platform::GetStdHandle(STD_OUTPUT_HANDLE), &info));
  EXPECT_EQ(info.dwSize.X, 132);
  EXPECT_EQ(info.dwSize.Y, 43);
}

TEST_F(ConsoleTest, TextIsClippedToTheScreen) {
  platform::testing::ConsoleReset(10, 2);
  platform::testing::ConsoleWriteText(7, 1, 0x70, "abcdef");
  platform::testing::ConsoleWriteText(0, 5, 0x70, "off screen");
  char row[32];
  platform::testing::ConsoleReadRow(1, row, sizeof row);
  EXPECT_STREQ(row, "       abc");
  EXPECT_EQ(platform::testing::ConsoleCell(9, 1).Attributes, 0x70);
}

}  // namespace
