#include <gtest/gtest.h>

#include <string>

#include "common/text.h"
#include "scan/names.h"

namespace {

TEST(TextTest, CopyAndAppendRefuseWhatDoesNotFit) {
  char buffer[6];
  EXPECT_TRUE(CopyText(buffer, sizeof buffer, "abcde"));
  EXPECT_STREQ(buffer, "abcde");
  EXPECT_FALSE(CopyText(buffer, sizeof buffer, "abcdef"));
  EXPECT_STREQ(buffer, "");
  ASSERT_TRUE(CopyText(buffer, sizeof buffer, "abc"));
  EXPECT_FALSE(AppendText(buffer, sizeof buffer, "def"));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_TRUE(AppendText(buffer, sizeof buffer, "de"));
  EXPECT_STREQ(buffer, "abcde");
}

TEST(TextTest, FormatWithTextSubstitutesOnlyStringsAndPercents) {
  struct Case {
    const char* format;
    const char* argument;
    const char* expected;
  } cases[] = {
      {"Copy %s to:", "a.txt", "Copy a.txt to:"},
      {"%s and %s", "x", "x and x"},
      {"100%% %d %", "x", "100% %d %"},
      {"", "x", ""},
  };
  for (const Case& c : cases) {
    char out[64];
    ASSERT_TRUE(FormatWithText(out, sizeof out, c.format, c.argument));
    EXPECT_STREQ(out, c.expected);
  }
  char small[8];
  EXPECT_FALSE(FormatWithText(small, sizeof small, "Copy %s", "abc"));
  EXPECT_STREQ(small, "");
}

TEST(TextTest, ShortenPathLeftKeepsTheEndLedByThreeDots) {
  struct Case {
    const char* path;
    int n;
    const char* expected;
  } cases[] = {
      {"C:\\dir\\file.txt", 15, "C:\\dir\\file.txt"},
      {"C:\\dir\\file.txt", 14, "...ir\\file.txt"},
      {"C:\\dir\\file.txt", 8, "...e.txt"},
      {"abcdef", 3, "..."},
      {"abcdef", 2, ".."},
      {"abcdef", 0, ""},
      {"abcdef", -5, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    char out[512];
    ShortenPathLeft(c.path, out, c.n);
    EXPECT_STREQ(out, c.expected);
  }
  std::string huge(600, 'x');
  char out[512];
  ShortenPathLeft(huge.c_str(), out, 2000);  // never past the buffer
  EXPECT_EQ(std::string(out), "..." + std::string(508, 'x'));
}

TEST(TextTest, CaseInsensitiveComparisonIsAsciiOnly) {
  EXPECT_EQ(CompareNoCase("F11 > 1", "f11 > 1"), 0);
  EXPECT_NE(CompareNoCase("F5", "F5 "), 0);
  EXPECT_EQ(CompareNoCaseN("F11 >x", "f11 >y", 5), 0);
  EXPECT_NE(CompareNoCaseN("F11", "F11 >", 5), 0);
  EXPECT_NE(CompareNoCase("\xC4", "\xE4"), 0);
}

}  // namespace
