#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

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

// The conversions of a text in order ("%s", "%d", "%2.2d"...), "%%" aside.
std::vector<std::string> Conversions(const std::string& text) {
  std::vector<std::string> found;
  for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at)) {
    size_t end = text.find_first_not_of("0123456789.-+ #lhz", at + 1);
    if (end == std::string::npos) break;
    if (text[end] != '%') found.push_back(text.substr(at, end - at + 1));
    at = end + 1;
  }
  return found;
}

// Whether a text has a hot key: a '&' before a character other than a blank.
bool HasHotKey(const std::string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '&') {
      if (text[i + 1] == '&') {
        ++i;
        continue;
      }
      return text[i + 1] != ' ';
    }
  return false;
}

// The Russian file is read by FAR byte for byte in code page 866: only
// printable ASCII and Cyrillic letters (0x80-0xAF, 0xE0-0xF1). UTF-8 would
// show up as 0xD0/0xD1 lead bytes, which are box-drawing pieces in 866.
TEST(LngShippedFileTest, BothFilesHaveEveryMessageWithTheEnglishRolesAndFormats) {
  LngFile english, russian;
  std::string error;
  ASSERT_TRUE(LoadLngFile(QUICKFERRY_LANG_FILE, MessageCount, &english, &error)) << error;
  ASSERT_TRUE(
      LoadLngFile(std::string(QUICKFERRY_LANG_DIR) + "/QuickferryRus.lng", MessageCount, &russian, &error))
      << error;
  EXPECT_EQ(english.messages.size(), static_cast<size_t>(MessageCount));
  EXPECT_EQ(russian.messages.size(), static_cast<size_t>(MessageCount));
  EXPECT_EQ(english.language, "English");
  EXPECT_EQ(russian.language, "Russian");
  for (int i = 1; i <= 4; ++i)
    for (const LngFile* file : {&english, &russian})
      EXPECT_NE(file->messages[i].find("&" + std::to_string(i)), std::string::npos)
          << file->language << " " << i;
  for (int id : {53, 54}) {
    const std::string& text = english.messages[id];
    EXPECT_NE(text.find("%s"), std::string::npos);
    EXPECT_EQ(text.find('%'), text.rfind('%')) << "one conversion only: " << text;
  }
  int cyrillic = 0;
  for (size_t id = 0; id < russian.messages.size(); ++id) {
    SCOPED_TRACE("message " + std::to_string(id));
    const std::string& text = russian.messages[id];
    EXPECT_EQ(Conversions(text), Conversions(english.messages[id])) << text;
    EXPECT_EQ(HasHotKey(text), HasHotKey(english.messages[id])) << text;
    EXPECT_EQ(text.empty(), english.messages[id].empty()) << text;
    for (unsigned char c : text) {
      bool letter = (c >= 0x80 && c <= 0xAF) || (c >= 0xE0 && c <= 0xF1);
      cyrillic += letter;
      EXPECT_TRUE((c >= 0x20 && c < 0x7F) || letter) << "byte " << int(c) << " in " << text;
    }
  }
  EXPECT_GT(cyrillic, 1000);
}

}  // namespace
