#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "common/lng_file.h"
#include "host/messages.h"
#include "support/fixture.h"

namespace {

using LngTest = PlatformTest;

TEST(LngParseTest, MessagesUnescapeTheHostsEscapesOnly) {
  EXPECT_EQ(ParseLngMessage("\"plain\""), "plain");
  EXPECT_EQ(ParseLngMessage("   \"indented\"  "), "indented");
  EXPECT_EQ(ParseLngMessage(R"("a\\b \"q\" \n\r\b\t")"), "a\\b \"q\" \n\r\b\t");
  EXPECT_EQ(ParseLngMessage(R"("C:\dir\x")"), "C:\\dir\\x");
  EXPECT_EQ(ParseLngMessage("\"\""), "");
}

TEST_F(LngTest, ShortOrHeaderlessFilesAreRefusedWithAClearMessage) {
  std::string path = (dir / "short.lng").string();
  {
    std::ofstream out(path);
    out << ".Language=English,English\n// comment\n\"zero\"\n\n  \"one\"\nnot a message\n";
  }
  LngFile file;
  std::string error;
  EXPECT_TRUE(LoadLngFile(path, 2, &file, &error)) << error;
  EXPECT_EQ(file.language, "English");
  EXPECT_EQ(file.messages, (std::vector<std::string>{"zero", "one"}));
  EXPECT_FALSE(LoadLngFile(path, 111, &file, &error));
  EXPECT_NE(error.find("2 messages"), std::string::npos) << error;
  EXPECT_NE(error.find("111"), std::string::npos) << error;
  {
    std::ofstream out(path);
    out << "\"no header\"\n";
  }
  EXPECT_FALSE(LoadLngFile(path, 1, &file, &error));
  EXPECT_FALSE(LoadLngFile((dir / "missing.lng").string(), 1, &file, &error));
}

TEST(LngShippedFileTest, EnglishFileHasEveryMessageWithItsHotKeysAndFormats) {
  LngFile file;
  std::string error;
  ASSERT_TRUE(LoadLngFile(QUICKFERRY_LANG_FILE, MessageCount, &file, &error)) << error;
  EXPECT_EQ(file.messages.size(), static_cast<size_t>(MessageCount));
  for (int i = 1; i <= 4; ++i)
    EXPECT_NE(file.messages[i].find("&" + std::to_string(i)), std::string::npos) << i;
  for (int id : {53, 54}) {
    const std::string& text = file.messages[id];
    EXPECT_NE(text.find("%s"), std::string::npos);
    EXPECT_EQ(text.find('%'), text.rfind('%')) << "one conversion only: " << text;
  }
}

}  // namespace
