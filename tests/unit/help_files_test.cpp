// The help files against the code: every topic the plug-in hands to the
// host exists in each language, and every link leads somewhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "common/hlf_file.h"

namespace {

namespace fs = std::filesystem;

// The help topics in src/: the string literal of each call to the host's
// Dialog, Menu and Message. A call whose topic is not a literal (other than
// Message's "no topic") is reported, as it cannot be checked here.
std::set<std::string> TopicsInCode(std::vector<std::string>* unreadable) {
  std::set<std::string> topics;
  const std::regex call(R"(Host\.(Dialog|Menu|Message)\(([^;]*);)");
  const std::regex literal(R"re("((?:[^"\\]|\\.)*)")re");
  for (const auto& entry : fs::recursive_directory_iterator(QUICKFERRY_SOURCE_DIR)) {
    if (entry.path().extension() != ".cpp") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string code(std::istreambuf_iterator<char>(in), {});
    for (std::sregex_iterator it(code.begin(), code.end(), call), end; it != end; ++it) {
      std::string arguments = (*it)[2];
      std::smatch topic;
      if (std::regex_search(arguments, topic, literal))
        topics.insert(topic[1]);
      else if ((*it)[1] != "Message")
        unreadable->push_back(entry.path().filename().string() + ": " + (*it)[0].str());
    }
  }
  return topics;
}

TEST(HelpFilesTest, EveryTopicTheCodeOpensIsInBothFilesAndEveryLinkResolves) {
  std::vector<std::string> unreadable;
  std::set<std::string> topics = TopicsInCode(&unreadable);
  EXPECT_TRUE(unreadable.empty()) << unreadable.front();
  // What the dialogs and the menu name; FAR itself opens Contents (from its
  // plug-ins help list) and Config (from its configuration menu).
  for (const char* expected : {"Menu", "Main", "Overwrite", "Rename", "Config", "Hotkeys", "About"})
    EXPECT_EQ(topics.count(expected), 1u) << "the code no longer names " << expected;
  topics.insert("Contents");

  std::set<std::string> namesInFirstFile;
  for (const char* name : {"QuickferryEng.hlf", "QuickferryRus.hlf"}) {
    SCOPED_TRACE(name);
    HlfFile file;
    std::string error;
    ASSERT_TRUE(LoadHlfFile(std::string(QUICKFERRY_LANG_DIR) + "/" + name, &file, &error)) << error;
    EXPECT_EQ(file.language,
              std::string(name).find("Eng") != std::string::npos ? "English" : "Russian");
    EXPECT_EQ(file.pluginContents, "Quickferry");
    std::set<std::string> names;
    for (const HlfTopic& topic : file.topics) {
      EXPECT_TRUE(names.insert(topic.name).second) << "twice: " << topic.name;
      EXPECT_FALSE(TopicTitle(topic).empty()) << topic.name << " has no title";
      EXPECT_FALSE(topic.body.empty()) << topic.name << " is empty";
    }
    for (const std::string& topic : topics)
      EXPECT_EQ(names.count(topic), 1u) << "missing: " << topic;
    // Lists and tables are a paragraph to a line, written for the 76 columns
    // of text a help window has on an 80-column screen: none may wrap there.
    for (const HlfTopic& topic : file.topics)
      for (size_t i = 0; i < topic.body.size(); ++i) {
        const std::string& line = topic.body[i];
        bool alone = i + 1 == topic.body.size() || topic.body[i + 1].empty() ||
                     topic.body[i + 1][0] == ' ';
        if (line.empty() || line[0] != ' ' || !alone) continue;
        EXPECT_EQ(FormatTopic(HlfTopic{topic.name, {}, {line}}, 76).size(), 1u)
            << topic.name << ": \"" << line << "\" wraps";
      }

    // Links: to a topic of this file (host topics "@:Topic@" aside), and
    // every topic reachable from Contents.
    std::set<std::string> reached{"Contents"};
    std::vector<std::string> queue{"Contents"};
    for (size_t i = 0; i < queue.size(); ++i) {
      const HlfTopic* from = FindTopic(file, queue[i]);
      if (!from) continue;
      for (const HlfLink& link : TopicLinks(*from)) {
        if (link.topic.rfind(':', 0) == 0) continue;
        EXPECT_EQ(names.count(link.topic), 1u)
            << from->name << ": ~" << link.text << "~@" << link.topic << "@ leads nowhere";
        if (reached.insert(link.topic).second) queue.push_back(link.topic);
      }
    }
    for (const std::string& topic : names)
      EXPECT_EQ(reached.count(topic), 1u) << "unreachable: " << topic;
    if (namesInFirstFile.empty())
      namesInFirstFile = names;
    else
      EXPECT_EQ(names, namesInFirstFile) << "both languages have the same topics";
  }
}

TEST(HelpFormatTest, ParagraphsFillTheWidthAndMarksBecomeSpans) {
  HlfTopic topic{
      "T",
      {" #Title#"},
      {" One two #three# four", "five ~six seven~@Other@ eight.", "", "   #A#   aligned   columns",
       "   indented paragraph that wraps", " ##, ~~ and @@ stay"}};
  EXPECT_EQ(TopicTitle(topic), "Title");
  auto text = [](const HelpLine& line) {
    std::string s;
    for (const HelpSpan& span : line) s += span.text;
    return s;
  };
  std::vector<HelpLine> lines = FormatTopic(topic, 18);
  std::vector<std::string> shown;
  for (const HelpLine& line : lines) shown.push_back(text(line));
  EXPECT_EQ(shown, (std::vector<std::string>{" One two three", " four five six", " seven eight.",
                                             "", "   A   aligned", "   columns", "   indented",
                                             "   paragraph that", "   wraps", " #, ~ and @ stay"}));
  // "three" highlighted; the link's two words keep their link on both lines.
  EXPECT_EQ(lines[0].back().kind, HelpSpan::Highlight);
  EXPECT_EQ(lines[0].back().text, "three");
  EXPECT_EQ(lines[1].back().kind, HelpSpan::Link);
  EXPECT_EQ(lines[1].back().text, "six");
  ASSERT_EQ(lines[2].size(), 3u);
  EXPECT_EQ(lines[2][1].kind, HelpSpan::Link);
  EXPECT_EQ(lines[2][1].text, "seven");
  EXPECT_EQ(lines[2][1].link, 0);
  ASSERT_EQ(TopicLinks(topic).size(), 1u);
  EXPECT_EQ(TopicLinks(topic)[0].topic, "Other");
  EXPECT_EQ(TopicLinks(topic)[0].text, "six seven");
}

}  // namespace
