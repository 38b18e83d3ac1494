// Phases 1 and 2 of a run: the panels, the default destination, declining,
// and the prompt.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core_fixture.h"
#include "run/run.h"

namespace {

class RunStartTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    host->active.folder = "C:\\work";
    host->passive.folder = "D:\\backup";
  }
  // Returns the phase result; the texts land in `start`.
  int Prepare(int isMove, int currentItemOnly) {
    PanelInfo active;
    return ReadPanelsAndPrompt(isMove, currentItemOnly, &active, &start);
  }
  std::string Message(int id) { return host->messages[id]; }
  RunStart start{};
};

TEST_F(RunStartTest, PassivePanelGivesTheDefaultDestination) {
  struct Case {
    const char* name;
    int type;
    bool visible, plugin;
    const char* folder;
    const char* expected;
  } cases[] = {
      {"file panel", PanelTypeFile, true, false, "D:\\backup", "D:\\backup\\"},
      {"root folder", PanelTypeFile, true, false, "D:\\", "D:\\"},
      {"tree panel", PanelTypeTree, true, false, "D:\\backup", "D:\\backup\\"},
      {"hidden", PanelTypeFile, false, false, "D:\\backup", ""},
      {"quick view", PanelTypeQuickView, true, false, "D:\\backup", ""},
      {"information", PanelTypeInformation, true, false, "D:\\backup", ""},
      {"plug-in panel", PanelTypeFile, true, true, "D:\\backup", "plugin:"},
  };
  host->active.Add("a.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host->passive.type = c.type;
    host->passive.visible = c.visible;
    host->passive.plugin = c.plugin;
    host->passive.folder = c.folder;
    ASSERT_EQ(Prepare(0, 0), 1);
    EXPECT_STREQ(start.defaultDestination, c.expected);
    EXPECT_EQ(start.passiveIsPlugin, c.plugin ? 1 : 0);
    EXPECT_STREQ(start.sourceDirectory, "C:\\work");
  }
  // Passive first, then active, each once per run.
  ASSERT_GE(host->controlCalls.size(), 2u);
  EXPECT_EQ(host->controlCalls[0].command, ControlGetPassivePanel);
  EXPECT_EQ(host->controlCalls[1].command, ControlGetActivePanel);
}

TEST_F(RunStartTest, RunDeclinesWhereTheHostShouldDoIt) {
  struct Case {
    const char* name;
    int type;
    std::vector<std::string> items;
    std::vector<std::string> selected;
    std::string current;
    int currentItemOnly;
  } cases[] = {
      {"quick view active", PanelTypeQuickView, {"a.txt"}, {}, "a.txt", 0},
      {"information active", PanelTypeInformation, {"a.txt"}, {}, "a.txt", 0},
      {"empty panel", PanelTypeFile, {}, {}, "", 0},
      {"dot-dot current", PanelTypeFile, {"..", "a.txt"}, {}, "..", 0},
      {"dot-dot selected alone", PanelTypeFile, {"..", "a.txt"}, {".."}, "a.txt", 0},
      {"dot-dot current, current item only", PanelTypeFile, {"..", "a", "b"}, {"a", "b"}, "..", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host->active = TestPanel{};
    host->active.type = c.type;
    for (const std::string& name : c.items) host->active.Add(name);
    for (const std::string& name : c.selected) host->active.Select(name);
    host->active.SetCurrent(c.current);
    EXPECT_EQ(Prepare(0, c.currentItemOnly), 0);
  }
}

TEST_F(RunStartTest, SeveralSelectedItemsUseTheSeveralItemsPrompt) {
  host->active.Add("..").Add("a.txt").Add("b.txt").Select("a.txt").Select("b.txt");
  ASSERT_EQ(Prepare(0, 0), 1);
  EXPECT_EQ(start.prompt, Message(51));
  ASSERT_EQ(Prepare(1, 0), 1);
  EXPECT_EQ(start.prompt, Message(52));
  EXPECT_STREQ(start.defaultDestination, "D:\\backup\\");
}

TEST_F(RunStartTest, OneItemPromptNamesTheSubject) {
  host->active.Add("..").Add("a.txt").Add("b.txt").Select("b.txt").SetCurrent("a.txt");
  ASSERT_EQ(Prepare(0, 0), 1);  // the first selected item
  char expected[512];
  std::snprintf(expected, sizeof expected, Message(53).c_str(), "b.txt");
  EXPECT_STREQ(start.prompt, expected);
  host->active.items[2].selected = false;  // nothing selected: the current item
  ASSERT_EQ(Prepare(1, 0), 1);
  std::snprintf(expected, sizeof expected, Message(54).c_str(), "a.txt");
  EXPECT_STREQ(start.prompt, expected);
}

TEST_F(RunStartTest, CurrentItemOnlyIgnoresTheSelectionAndPresetsItsName) {
  host->active.Add("a.txt").Add("b.txt").Add("c.txt").Select("a.txt").Select("b.txt");
  host->active.SetCurrent("c.txt");
  ASSERT_EQ(Prepare(1, 1), 1);
  char expected[512];
  std::snprintf(expected, sizeof expected, Message(54).c_str(), "c.txt");
  EXPECT_STREQ(start.prompt, expected);
  EXPECT_STREQ(start.defaultDestination, "c.txt");
}

TEST_F(RunStartTest, LongNamesAreShortenedFromTheLeftToFitThePrompt) {
  host->messages[53] = "Copy the items %s to";  // 20 characters: room for 42
  LoadMessages();
  std::string name;
  for (int i = 0; i < 50; ++i) name += static_cast<char>('a' + i % 26);
  host->active.Add(name);
  ASSERT_EQ(Prepare(0, 0), 1);
  std::string shortened = "..." + name.substr(50 - 42 + 3);
  EXPECT_EQ(std::string(start.prompt), "Copy the items " + shortened + " to");
}

TEST_F(RunStartTest, PromptFormatsFromTheLanguageFileNeverReachPrintf) {
  host->messages[53] = "%d%% of %s %n";
  LoadMessages();
  host->active.Add("a.txt");
  ASSERT_EQ(Prepare(0, 0), 1);
  EXPECT_STREQ(start.prompt, "%d% of a.txt %n");
}

}  // namespace
