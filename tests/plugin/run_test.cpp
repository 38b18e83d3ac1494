// Whole runs through the exports, on real temporary trees: the copy dialog,
// the scan, the pre-pass, the folders, the end of the run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "support/files.h"
#include "support/fixture.h"

namespace {

namespace fs = std::filesystem;

// The compact copy dialog (NTFS options off): its start button.
constexpr int kStartCompact = 15;

class RunTest : public TwoPanelTest {
 protected:
  // Chooses menu item `item` and starts the copy dialog as it stands.
  void Run(int item) {
    host->menuAnswers.push_back(item);
    host->dialogAnswers.push_back({kStartCompact, nullptr});
    EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  }
};

TEST_F(RunTest, CopyCreatesEveryDestinationFolderAndRefreshesBothPanels) {
  WriteFile(src / "tree" / "a.txt", "a");
  WriteFile(src / "tree" / "sub" / "deeper" / "b.txt", "b");
  fs::create_directories(src / "tree" / "empty");
  host->active.Add("tree", FILE_ATTRIBUTE_DIRECTORY).Select("tree");
  Run(0);
  EXPECT_TRUE(fs::is_directory(dst / "tree"));
  EXPECT_TRUE(fs::is_directory(dst / "tree" / "sub" / "deeper"));
  EXPECT_TRUE(fs::is_directory(dst / "tree" / "empty"));
  EXPECT_TRUE(fs::exists(src / "tree" / "a.txt"));  // a copy leaves the source alone
  EXPECT_EQ(PanelCommands(), (std::vector<int>{3, 4, 5, 6}));
}

TEST_F(RunTest, MoveWithinOneFileSystemRenamesTheWholeTree) {
  WriteFile(src / "tree" / "a.txt", "first");
  WriteFile(src / "tree" / "sub" / "b.txt", "second");
  host->active.Add("tree", FILE_ATTRIBUTE_DIRECTORY).Select("tree");
  Run(1);
  EXPECT_FALSE(fs::exists(src / "tree"));
  EXPECT_EQ(ReadFile(dst / "tree" / "a.txt"), "first");
  EXPECT_EQ(ReadFile(dst / "tree" / "sub" / "b.txt"), "second");
}

TEST_F(RunTest, MoveOntoAnExistingFolderMergesChildByChild) {
  WriteFile(src / "tree" / "new.txt", "new");
  WriteFile(src / "tree" / "both.txt", "from source");
  WriteFile(dst / "tree" / "both.txt", "kept");
  WriteFile(dst / "tree" / "old.txt", "old");
  host->active.Add("tree", FILE_ATTRIBUTE_DIRECTORY).Select("tree");
  host->menuAnswers.push_back(1);
  host->dialogAnswers.push_back({kStartCompact, nullptr});
  host->dialogAnswers.push_back({12, nullptr});  // the overwrite dialog: skip
  EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  ASSERT_EQ(host->dialogCalls.size(), 2u);
  EXPECT_EQ(host->dialogCalls[1].helpTopic, "Overwrite");
  EXPECT_EQ(ReadFile(dst / "tree" / "new.txt"), "new");
  EXPECT_FALSE(fs::exists(src / "tree" / "new.txt"));
  EXPECT_EQ(ReadFile(dst / "tree" / "both.txt"), "kept");
  EXPECT_EQ(ReadFile(src / "tree" / "both.txt"), "from source");  // skipped: still there
  EXPECT_EQ(ReadFile(dst / "tree" / "old.txt"), "old");
}

TEST_F(RunTest, MoveWithOverwriteAllReplacesExistingTargetsWithoutAsking) {
  WriteFile(src / "a.txt", "new a");
  WriteFile(dst / "a.txt", "old a");
  host->active.Add("a.txt").Select("a.txt");
  host->menuAnswers.push_back(1);
  // Item 10 of the copy dialog: "overwrite" for every existing target.
  host->dialogAnswers.push_back({kStartCompact, [](DialogItem* items, int) {
                                   items[9].Selected = 0;
                                   items[10].Selected = 1;
                                 }});
  EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(host->dialogCalls.size(), 1u);
  EXPECT_EQ(ReadFile(dst / "a.txt"), "new a");
  EXPECT_FALSE(fs::exists(src / "a.txt"));
}

TEST_F(RunTest, RelativeDestinationIsResolvedAgainstTheActivePanel) {
  WriteFile(src / "a.txt", "a");
  fs::create_directories(dir / "out");
  host->active.Add("a.txt").Select("a.txt");
  host->menuAnswers.push_back(1);
  host->dialogAnswers.push_back({kStartCompact, [](DialogItem* items, int) {
                                   std::snprintf(items[2].Data, sizeof items[2].Data, "..\\out\\");
                                 }});
  EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadFile(dir / "out" / "a.txt"), "a");
}

TEST_F(RunTest, EscInTheCopyDialogTouchesNothingAndLeavesThePanelsAlone) {
  WriteFile(src / "a.txt", "a");
  host->active.Add("a.txt").Select("a.txt");
  host->menuAnswers.push_back(1);
  host->dialogAnswers.push_back({-1, nullptr});
  EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(fs::exists(src / "a.txt"));
  EXPECT_TRUE(PanelCommands().empty());
}

}  // namespace
