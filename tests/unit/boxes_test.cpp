#include <gtest/gtest.h>

#include <string>

#include "core_fixture.h"
#include "engine/boxes.h"
#include "platform/testing.h"

namespace {

namespace pt = platform::testing;

class BoxesTest : public CoreTest {
 protected:
  std::string Row(int y, int x1, int x2) {
    char row[512];
    pt::ConsoleReadRow(y, row, sizeof row);
    return std::string(row).substr(x1, x2 - x1 + 1);
  }
  void ResetColours() {
    BoxFrameColor = 0x7F;
    BoxTitleColor = 0x70;
    BoxTextColor = 0x70;
    BoxHighlightColor = 0x71;
  }
};

TEST_F(BoxesTest, BoxHasAMarginADoubleFrameACentredTitleAndADimmedShadow) {
  ResetColours();
  for (int y = 0; y < 25; ++y) pt::ConsoleWriteText(0, y, 0x1F, std::string(80, '.').c_str());
  DrawBox(10, 5, 29, 10, "Copy");  // 20 wide, 6 high
  EXPECT_EQ(Row(5, 10, 29), std::string(20, ' '));
  // The title starts at 10 + (29 - 10 - 4) / 2 = 17.
  EXPECT_EQ(Row(6, 10, 29), "   \xC9\xCD\xCD\xCD" " Copy " "\xCD\xCD\xCD\xBB   ");
  EXPECT_EQ(Row(7, 10, 29), "   \xBA" + std::string(12, ' ') + "\xBA   ");
  EXPECT_EQ(Row(8, 10, 29), "   \xBA" + std::string(12, ' ') + "\xBA   ");
  EXPECT_EQ(Row(9, 10, 29), "   \xC8" + std::string(12, '\xCD') + "\xBC   ");
  EXPECT_EQ(Row(10, 10, 29), std::string(20, ' '));
  EXPECT_EQ(pt::ConsoleCell(10, 6).Attributes, 0x7F);
  EXPECT_EQ(pt::ConsoleCell(17, 6).Attributes, 0x70);  // the title's colour
  // Shadow: right two columns from the second row down, and the row below.
  EXPECT_EQ(pt::ConsoleCell(30, 5).Attributes, 0x1F);
  for (int y = 6; y <= 11; ++y) {
    EXPECT_EQ(pt::ConsoleCell(30, y).Attributes, 0x07) << y;
    EXPECT_EQ(pt::ConsoleCell(31, y).Attributes, 0x07) << y;
  }
  EXPECT_EQ(pt::ConsoleCell(11, 11).Attributes, 0x1F);
  EXPECT_EQ(pt::ConsoleCell(12, 11).Attributes, 0x07);
  EXPECT_EQ(pt::ConsoleCell(31, 11).Attributes, 0x07);
  EXPECT_EQ(pt::ConsoleCell(32, 8).Attributes, 0x1F);
}

TEST_F(BoxesTest, StatusBoxIsCentredOnTheScreen) {
  pt::ConsoleReset(100, 30);
  ShowStatusBox("Scanning");  // n = 8: x1 = (100 - 20) / 2, row (30 - 5) / 2
  EXPECT_EQ(Row(12, 40, 59), "   \xBA  Scanning  \xBA   ");
  EXPECT_EQ(Row(10, 40, 59), std::string(20, ' '));
  EXPECT_EQ(Row(11, 43, 43), "\xC9");
  EXPECT_EQ(Row(13, 43, 43), "\xC8");
}

TEST_F(BoxesTest, ColoursComeFromTheHostOnlyWhenItsRecordIsLargeEnough) {
  ResetColours();
  host->record.RecordSize = OldHostRecordSize;
  SetStartupInfo(&host->record);
  FetchColours();
  EXPECT_EQ(BoxFrameColor, 0x7F);
  EXPECT_EQ(BoxHighlightColor, 0x71);
  EXPECT_TRUE(host->advCalls.empty());

  host->record.RecordSize = sizeof(HostServices);
  SetStartupInfo(&host->record);
  FetchColours();
  ASSERT_EQ(host->advCalls.size(), 4u);
  int order[] = {23, 24, 21, 22};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(host->advCalls[i].command, AdvGetColor);
    EXPECT_EQ(host->advCalls[i].parameter, order[i]);
  }
  EXPECT_EQ(BoxFrameColor, 0x10 + 23);  // the scripted host's palette
  EXPECT_EQ(BoxTitleColor, 0x10 + 24);
  EXPECT_EQ(BoxTextColor, 0x10 + 21);
  EXPECT_EQ(BoxHighlightColor, 0x10 + 22);
  ResetColours();
}

}  // namespace
