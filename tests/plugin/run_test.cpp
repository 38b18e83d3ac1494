// Whole runs through the exports, on real temporary trees: the copy dialog,
// the scan, the pre-pass, the folders, the end of the run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "host/messages.h"
#include "platform/testing.h"
#include "support/files.h"
#include "support/fixture.h"

namespace {

namespace fs = std::filesystem;

namespace pt = platform::testing;

// The compact copy dialog (NTFS options off): its start button.
constexpr int kStartCompact = 15;
// The full one: compression off, leave as is, and its start button.
enum { kCompressOff = 18, kCompressLeave = 20, kStartFull = 26 };
constexpr const char* kSettings = "Software\\Far\\Plugins\\Quickferry";

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

// What a run does around the scan and the engine: which items it takes, the
// folders it makes on the way, the flags it hands to the scan, the extras of
// every item, and the panels it refreshes at the end.
TEST_F(RunTest, TheRunTakesItsItemsMakesItsFoldersAndRefreshesThePanels) {
  struct Case {
    const char* label;
    std::function<void()> prepare;  // files, settings, the panel, faults
    int item;                       // of the operation menu
    std::function<void(DialogItem*)> dialog;
    int compressionBoxes;  // error boxes of message 37
    std::function<void()> check;
  };
  auto typed = [](std::function<std::string()> destination) {
    return [destination](DialogItem* items) {
      std::snprintf(items[2].Data, sizeof items[2].Data, "%s", destination().c_str());
    };
  };
  const Case cases[] = {
      {"the current item alone, whatever is selected",
       [&] {
         for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFile(src / name, name);
         host->active.Add("a.txt").Add("b.txt").Add("c.txt").Select("a.txt").Select("b.txt");
         host->active.SetCurrent("c.txt");
       },
       3, typed([&] { return WindowsPath(dst) + "\\"; }), 0,
       [&] {
         EXPECT_EQ(ReadFile(dst / "c.txt"), "c.txt");
         EXPECT_FALSE(fs::exists(dst / "a.txt"));
         EXPECT_FALSE(fs::exists(dst / "b.txt"));
         EXPECT_TRUE(fs::exists(src / "a.txt"));
       }},
      {"folders on the way to the destination",
       [&] {
         WriteFile(src / "x.txt", "x");
         WriteFile(src / "tree" / "f.txt", "f");
         host->active.Add("x.txt").Add("tree", FILE_ATTRIBUTE_DIRECTORY).Select("x.txt").Select(
             "tree");
       },
       0, typed([&] { return WindowsPath(dst / "new" / "deeper") + "\\"; }), 0,
       [&] {
         EXPECT_EQ(ReadFile(dst / "new" / "deeper" / "x.txt"), "x");
         EXPECT_EQ(ReadFile(dst / "new" / "deeper" / "tree" / "f.txt"), "f");
       }},
      {"a description file copied on its own",
       [&] {
         SetRegistryDword(kSettings, "CopyDescs", 1);
         WriteFile(src / "Descript.ion", "a.txt alpha\r\n");
         host->active.Add("Descript.ion").Select("Descript.ion");
       },
       0, nullptr, 0,
       [&] { EXPECT_NE(ReadFile(dst / "Descript.ion").find("alpha"), std::string::npos); }},
      {"compression off for every item, folders and top-level items included",
       [&] {
         SetRegistryDword(kSettings, "NtfsOpts", 1);
         WriteFile(src / "x.txt", "x");
         WriteFile(src / "tree" / "f.txt", "f");
         WriteFile(src / "tree" / "sub" / "g.txt", "g");
         host->active.Add("x.txt").Add("tree", FILE_ATTRIBUTE_DIRECTORY).Select("x.txt").Select(
             "tree");
         // Every compression call fails, so each one shows.
         pt::ArmFault("DeviceIoControl", nullptr, 1, ERROR_INVALID_FUNCTION,
                      pt::Repeat::FromThenOn);
       },
       0,
       [](DialogItem* items) {
         items[kCompressOff].Selected = 1;
         items[kCompressLeave].Selected = 0;
       },
       5,  // x.txt, tree, tree\f.txt, tree\sub, tree\sub\g.txt
       [&] { EXPECT_EQ(ReadFile(dst / "tree" / "sub" / "g.txt"), "g"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    for (const fs::path& folder : {src, dst}) {
      fs::remove_all(folder);
      fs::create_directories(folder);
    }
    SetRegistryDword(kSettings, "CopyDescs", 0);
    SetRegistryDword(kSettings, "NtfsOpts", 0);
    host->active = TestPanel{};
    host->active.folder = WindowsPath(src);
    host->controlCalls.clear();
    host->messageCalls.clear();
    pt::ResetFaults();
    c.prepare();
    host->messageAnswers.assign(c.compressionBoxes, 0);
    bool full = c.compressionBoxes > 0;
    host->menuAnswers.push_back(c.item);
    auto dialog = c.dialog;
    host->dialogAnswers.push_back({full ? kStartFull : kStartCompact, [dialog](DialogItem* items, int) {
                                     if (dialog) dialog(items);
                                   }});
    EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
    pt::ResetFaults();
    int boxes = 0;
    for (const auto& call : host->messageCalls)
      boxes += call.lines.size() > 1 && call.lines[1] == host->messages[MsgCompressionFailed];
    EXPECT_EQ(boxes, c.compressionBoxes);
    EXPECT_EQ(host->messageCalls.size(), static_cast<size_t>(c.compressionBoxes));
    c.check();
    // Both panels read again, the passive one keeping its selection, and drawn.
    std::vector<std::pair<int, intptr_t>> refresh;
    for (const auto& call : host->controlCalls)
      if (call.command >= 3 && call.command <= 6) refresh.push_back({call.command, call.parameter});
    EXPECT_EQ(refresh, (std::vector<std::pair<int, intptr_t>>{{3, 0}, {4, 1}, {5, 0}, {6, 0}}));
  }
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
