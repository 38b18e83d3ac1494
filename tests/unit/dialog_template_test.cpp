#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/dialog_template.h"

namespace {

TEST(DialogTemplateTest, ExpansionWidensNumbersAndCopiesStatesFlagsAndTexts) {
  static const char kHistory[] = "Copy";
  std::string longText(600, 'x');
  const DialogItemTemplate templates[] = {
      {ItemDoubleBox, 3, 1, 255, 16, 0, 0, 0, 0, "Title"},
      {ItemEdit, 5, 3, 64, 0, 1, reinterpret_cast<intptr_t>(kHistory), ItemFlagHistory, 0, "dest"},
      {ItemCheckBox, 5, 5, 0, 0, 0, 1, 0, 0, "Check"},
      {ItemButton, 0, 15, 0, 0, 0, 0, ItemFlagCenterGroup, 1, longText.c_str()},
      {ItemText, 5, 4, 0, 0, 0, 0, ItemFlagSeparator, 0, nullptr},
  };
  DialogItem items[5];
  std::memset(items, 0x5A, sizeof items);
  ExpandDialogItems(templates, items, 5);

  EXPECT_EQ(items[0].Type, ItemDoubleBox);
  EXPECT_EQ(items[0].X2, 255);  // unsigned: never -1
  EXPECT_EQ(items[0].Y2, 16);
  EXPECT_STREQ(items[0].Data, "Title");
  const char* history = items[1].History;
  EXPECT_EQ(history, kHistory);
  EXPECT_EQ(items[1].Focus, 1);
  EXPECT_EQ(items[1].Flags, (DWORD)ItemFlagHistory);
  EXPECT_EQ(items[2].Selected, 1);
  EXPECT_EQ(items[3].DefaultButton, 1);
  EXPECT_EQ(items[3].Flags, (DWORD)ItemFlagCenterGroup);
  EXPECT_EQ(std::string(items[3].Data), std::string(511, 'x'));  // cut, terminated
  EXPECT_STREQ(items[4].Data, "");
  EXPECT_EQ(items[4].Selected, 0);
}

}  // namespace
