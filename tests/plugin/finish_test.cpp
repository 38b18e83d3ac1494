// The end of whole runs through the exports: file data copied, descriptions
// carried along, moved folders removed, the list of files not copied handed
// to the host, panels refreshed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "host/messages.h"
#include "platform/layer_helpers.h"
#include "platform/testing.h"
#include "support/files.h"
#include "support/fixture.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

constexpr const char* kSettings = "Software\\Far\\Plugins\\Quickferry";
// The compact copy dialog: its radio buttons for existing targets and its
// start button.
enum { kOnlyNewer = 5, kListNotCopied = 6, kAsk = 9, kSkip = 11, kStart = 15 };

class FinishTest : public TwoPanelTest {
 protected:
  void SetUp() override {
    TwoPanelTest::SetUp();
    SetRegistryDword(kSettings, "CopyDescs", 1);
  }
  void TearDown() override {
    // Read-only leftovers would stop the fixture's removal on Windows.
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ignored))
      platform::SetFileAttributesA(WindowsPath(entry.path()).c_str(), FILE_ATTRIBUTE_NORMAL);
    PluginTest::TearDown();
  }
  // Runs menu item `item` (0 copy, 1 move) on the selected items, with the
  // dialog's radio button for existing targets and check boxes as given, and
  // the destination typed when one is given.
  void Run(int item, int existing = kAsk, std::vector<int> checks = {},
           std::string destination = "") {
    host->menuAnswers.push_back(item);
    host->dialogAnswers.push_back({kStart, [=](DialogItem* items, int) {
                                     for (int radio = kAsk; radio <= kAsk + 4; ++radio)
                                       items[radio].Selected = radio == existing;
                                     for (int box : checks) items[box].Selected = 1;
                                     if (!destination.empty())
                                       std::snprintf(items[2].Data, sizeof items[2].Data, "%s",
                                                     destination.c_str());
                                   }});
    EXPECT_EQ(plugin.OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  }
  // The message boxes that showed `message`.
  int Boxes(int message) const {
    int boxes = 0;
    for (const auto& call : host->messageCalls)
      for (const std::string& line : call.lines) boxes += line == host->messages[message];
    return boxes;
  }
  DWORD Attributes(const fs::path& p) {
    return platform::GetFileAttributesA(WindowsPath(p).c_str());
  }
  // The list file as this process opens it.
  fs::path ListFileHere() {
    char path[512];
    if (!pt::HostPath(ListFile().c_str(), path, sizeof path)) return {};
    return path;
  }
  std::string ListFile() {
    char folder[512];
    DWORD length = platform::GetTempPathA(sizeof folder, folder);
    std::string path(folder, length);
    if (path.back() != '\\') path += '\\';
    return path + "Quickferry.temp";
  }
};

TEST_F(FinishTest, CopyBringsTheDataAndTheDescriptionIntoANewHiddenFile) {
  std::string data(300000, 'x');
  WriteFile(src / "a.txt", data);
  const std::string descriptions = "a.txt first file\r\nb.txt other\r\n";
  WriteFile(src / "Descript.ion", descriptions);
  host->active.Add("a.txt").Select("a.txt");
  Run(0);
  EXPECT_EQ(ReadFile(dst / "a.txt"), data);
  EXPECT_EQ(ReadFile(dst / "Descript.ion"), "a.txt\tfirst file\r\n");
  EXPECT_TRUE(Attributes(dst / "Descript.ion") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(ReadFile(src / "Descript.ion"), descriptions);
  EXPECT_EQ(PanelCommands(), (std::vector<int>{3, 4, 5, 6}));
  EXPECT_TRUE(host->commandLine.empty()) << "everything was copied: no list";
}

// Folders exist with their attributes before the engine writes into them,
// a read-only one included.
TEST_F(FinishTest, FoldersTakeTheirAttributesAndStillReceiveTheirFiles) {
  WriteFile(src / "tree" / "hidden" / "h.txt", "h");
  WriteFile(src / "tree" / "locked" / "l.txt", "l");
  platform::SetFileAttributesA(WindowsPath(src / "tree" / "hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
  platform::SetFileAttributesA(WindowsPath(src / "tree" / "locked").c_str(), FILE_ATTRIBUTE_READONLY);
  host->active.Add("tree", FILE_ATTRIBUTE_DIRECTORY).Select("tree");
  Run(0);
  EXPECT_EQ(ReadFile(dst / "tree" / "hidden" / "h.txt"), "h");
  EXPECT_EQ(ReadFile(dst / "tree" / "locked" / "l.txt"), "l");
  EXPECT_TRUE(Attributes(dst / "tree" / "hidden") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Attributes(dst / "tree" / "locked") & FILE_ATTRIBUTE_READONLY,
            Attributes(src / "tree" / "locked") & FILE_ATTRIBUTE_READONLY)
      << "as the system keeps it on folders";
}

TEST_F(FinishTest, MoveTakesTheLastLineAndTheEmptiedFileAlong) {
  WriteFile(src / "a.txt", "a");
  WriteFile(src / "Descript.ion", "a.txt the only line\r\n");
  host->active.Add("a.txt").Select("a.txt");
  Run(1);
  EXPECT_FALSE(fs::exists(src / "a.txt"));
  EXPECT_FALSE(fs::exists(src / "Descript.ion"));
  EXPECT_EQ(ReadFile(dst / "Descript.ion"), "a.txt\tthe only line\r\n");
}

// src/tree holds a.txt and a description file that also names a file that
// is gone; dst/tree has a description file of its own, so the move goes
// child by child and the existing one is skipped.
TEST_F(FinishTest, AMovedFolderLeftWithOnlyDescriptionsGoesOnlyWithCopyDescs) {
  for (int copyDescs : {1, 0}) {
    SCOPED_TRACE(copyDescs);
    fs::remove_all(src);
    fs::remove_all(dst);
    WriteFile(src / "tree" / "a.txt", "a");
    WriteFile(src / "tree" / "Descript.ion", "a.txt alpha\r\nstale.txt old\r\n");
    WriteFile(dst / "tree" / "Descript.ion", "x.txt ex\r\n");
    SetRegistryDword(kSettings, "CopyDescs", static_cast<DWORD>(copyDescs));
    host->active.items.clear();
    host->active.Add("tree", FILE_ATTRIBUTE_DIRECTORY).Select("tree");
    Run(1, kSkip);
    EXPECT_EQ(ReadFile(dst / "tree" / "a.txt"), "a");
    if (copyDescs) {
      EXPECT_FALSE(fs::exists(src / "tree"));
      EXPECT_EQ(ReadFile(dst / "tree" / "Descript.ion"), "x.txt\tex\r\na.txt\talpha\r\n");
    } else {
      EXPECT_EQ(ReadFile(src / "tree" / "Descript.ion"), "a.txt alpha\r\nstale.txt old\r\n");
      EXPECT_EQ(ReadFile(dst / "tree" / "Descript.ion"), "x.txt ex\r\n");
    }
  }
}

TEST_F(FinishTest, SkippedFilesAreListedWithoutAskingAndTheCommandIsIssued) {
  SetRegistryDword(kSettings, "CopyDescs", 0);
  WriteFile(src / "a.txt", "new a");
  WriteFile(src / "b.txt", "new b");
  WriteFile(dst / "a.txt", "old a");
  host->active.Add("a.txt").Add("b.txt").Select("a.txt").Select("b.txt");
  Run(0, kSkip, {kListNotCopied});
  EXPECT_EQ(ReadFile(dst / "a.txt"), "old a");
  EXPECT_EQ(ReadFile(dst / "b.txt"), "new b");
  EXPECT_TRUE(host->messageCalls.empty());
  EXPECT_EQ(ReadFile(ListFileHere()), WindowsPath(src / "a.txt") + "\r\n");
  EXPECT_EQ(host->commandLine, "tmp:+replace " + ListFile());
  INPUT_RECORD key{};
  ASSERT_TRUE(pt::ConsolePopInput(&key));
  EXPECT_EQ(key.Event.KeyEvent.wVirtualKeyCode, VK_RETURN);
  EXPECT_EQ(key.Event.KeyEvent.uChar.AsciiChar, '\r');
  EXPECT_TRUE(key.Event.KeyEvent.bKeyDown);
  EXPECT_EQ(key.Event.KeyEvent.wRepeatCount, 0);
  EXPECT_EQ(pt::ConsoleInputCount(), 0) << "one key-down only";
}

// The temporary panel takes "+replace" as an option and the rest of the
// line as the list file's name, quoted when it holds a blank.
TEST_F(FinishTest, TheCommandNamesTheListFileAsTheTemporaryPanelReadsIt) {
  SetRegistryDword(kSettings, "CopyDescs", 0);
#ifdef _WIN32
  const char* variable = "TMP";
#else
  const char* variable = "TMPDIR";
#endif
  const char* before = std::getenv(variable);
  std::string saved = before ? before : "";
  struct Case {
    const char* folder;
    const char* before;  // around the list file's path
    const char* after;
  };
  for (const Case& c :
       {Case{"temp", "tmp:+replace ", ""}, Case{"my temp", "tmp:+replace \"", "\""}}) {
    SCOPED_TRACE(c.folder);
    fs::create_directories(dir / c.folder);
    layer_test::SetVariable(variable, (dir / c.folder).string().c_str());
    WriteFile(src / "a.txt", "new a");
    WriteFile(dst / "a.txt", "old a");
    host->active.items.clear();
    host->active.Add("a.txt").Select("a.txt");
    Run(0, kSkip, {kListNotCopied});
    std::string list = WindowsPath(dir / c.folder / "Quickferry.temp");
    EXPECT_EQ(host->commandLine, c.before + list + c.after);
    EXPECT_EQ(ReadFile(dir / c.folder / "Quickferry.temp"), WindowsPath(src / "a.txt") + "\r\n");
    while (pt::ConsoleInputCount() > 0) {
      INPUT_RECORD key;
      pt::ConsolePopInput(&key);
    }
  }
  layer_test::SetVariable(variable, before ? saved.c_str() : nullptr);
}

TEST_F(FinishTest, FailedFilesAreAskedAboutOnce) {
  SetRegistryDword(kSettings, "CopyDescs", 0);
  for (int answer : {0, 1}) {  // yes, no
    SCOPED_TRACE(answer);
    fs::remove_all(dst);
    fs::create_directories(dst);
    fs::remove(ListFileHere());
    host->commandLine.clear();
    host->messageCalls.clear();
    WriteFile(src / "a.txt", "a");
    WriteFile(src / "b.txt", "b");
    host->active.items.clear();
    host->active.Add("a.txt").Add("b.txt").Select("a.txt").Select("b.txt");
    pt::ResetFaults();
    pt::ArmFault("CreateFileA", "*\\dst\\?.txt", 1, ERROR_ACCESS_DENIED, pt::Repeat::FromThenOn);
    host->messageAnswers = {0, 0, answer};  // two error boxes, then the question
    Run(0);
    pt::ResetFaults();
    ASSERT_EQ(host->messageCalls.size(), 3u);
    EXPECT_EQ(host->messageCalls[2].lines[1], host->messages[89]);
    if (answer == 0) {
      EXPECT_EQ(ReadFile(ListFileHere()),
                WindowsPath(src / "a.txt") + "\r\n" + WindowsPath(src / "b.txt") + "\r\n");
      EXPECT_EQ(host->commandLine, "tmp:+replace " + ListFile());
    } else {
      EXPECT_FALSE(fs::exists(ListFileHere()));
      EXPECT_TRUE(host->commandLine.empty());
    }
    while (pt::ConsoleInputCount() > 0) {
      INPUT_RECORD key;
      pt::ConsolePopInput(&key);
    }
  }
}

// What a run cannot do as asked is said where it happens, in one error box,
// and what it left is listed at the end (the question answered yes); a move
// keeps those sources. A run that would destroy what it moves is refused
// before anything moves.
TEST_F(FinishTest, EveryItemNotCopiedIsReportedListedAndKeptInAMove) {
  SetRegistryDword(kSettings, "CopyDescs", 0);
  struct Case {
    const char* label;
    std::function<void()> prepare;  // files, the panel's items, faults
    int item;                       // 0 copy, 1 move
    int existing;
    std::function<std::string()> destination;  // typed; the default when null
    std::vector<int> boxes;                    // the error boxes, by message
    std::vector<std::string> listed;           // below src
    std::function<void()> check;
  };
  auto select = [this](std::vector<std::string> names) {
    for (const std::string& name : names) {
      DWORD attributes = fs::is_directory(src / name) ? FILE_ATTRIBUTE_DIRECTORY : 0x20;
      host->active.Add(name, attributes).Select(name);
    }
  };
  const Case cases[] = {
      {"a folder moved into a folder inside it",
       [&] {
         WriteFile(src / "tree" / "a.txt", "a");
         WriteFile(src / "tree" / "sub" / "b.txt", "b");
         select({"tree"});
       },
       1, kAsk, [&] { return WindowsPath(src / "tree" / "sub"); }, {MsgMoveIntoItself}, {},
       [&] {
         EXPECT_EQ(ReadFile(src / "tree" / "a.txt"), "a");
         EXPECT_EQ(ReadFile(src / "tree" / "sub" / "b.txt"), "b");
         EXPECT_FALSE(fs::exists(src / "tree" / "sub" / "tree"));
       }},
      {"several files onto one existing file",
       [&] {
         WriteFile(src / "a.txt", "a");
         WriteFile(src / "b.txt", "b");
         WriteFile(dst / "one.txt", "one");
         select({"a.txt", "b.txt"});
       },
       1, kAsk + 1, [&] { return WindowsPath(dst / "one.txt"); }, {MsgSameDestination}, {},
       [&] {
         EXPECT_EQ(ReadFile(src / "a.txt"), "a");
         EXPECT_EQ(ReadFile(src / "b.txt"), "b");
         EXPECT_EQ(ReadFile(dst / "one.txt"), "one");
       }},
      {"a mask that leaves no name",
       [&] {
         WriteFile(src / ".x", "x");
         WriteFile(src / "a.txt", "a");
         select({".x", "a.txt"});
       },
       1, kAsk, [&] { return WindowsPath(dst) + "\\*"; }, {MsgNoDestinationName}, {".x"},
       [&] {
         EXPECT_EQ(ReadFile(dst / "a"), "a");
         EXPECT_FALSE(fs::exists(src / "a.txt"));
         EXPECT_EQ(ReadFile(src / ".x"), "x");
       }},
      {"a destination with |",
       [&] {
         WriteFile(src / "a.txt", "a");
         select({"a.txt"});
       },
       0, kAsk, [&] { return WindowsPath(dst) + "\\a|b"; }, {MsgNoDestinationName}, {"a.txt"},
       [&] { EXPECT_TRUE(fs::is_empty(dst)); }},
      {"a folder that cannot be read",
       [&] {
         WriteFile(src / "tree" / "a.txt", "a");
         WriteFile(src / "tree" / "sub" / "b.txt", "b");
         fs::create_directories(dst / "tree" / "sub");  // merged, not renamed whole
         select({"tree"});
         pt::ArmFault("FindFirstFileA", "*\\src\\tree\\sub\\*.*", 1, ERROR_ACCESS_DENIED);
       },
       1, kAsk, nullptr, {MsgCannotReadFolder}, {"tree\\sub"},
       [&] {
         EXPECT_EQ(ReadFile(dst / "tree" / "a.txt"), "a");
         EXPECT_FALSE(fs::exists(src / "tree" / "a.txt"));
         EXPECT_EQ(ReadFile(src / "tree" / "sub" / "b.txt"), "b");
       }},
      {"an empty folder where a file has its name",
       [&] {
         WriteFile(src / "tree" / "a.txt", "a");
         fs::create_directories(src / "tree" / "empty");
         WriteFile(dst / "tree" / "empty", "a file");
         select({"tree"});
       },
       1, kAsk, nullptr, {MsgCannotCreateFolder}, {"tree\\empty"},
       [&] {
         EXPECT_EQ(ReadFile(dst / "tree" / "a.txt"), "a");
         EXPECT_TRUE(fs::is_directory(src / "tree" / "empty"));
         EXPECT_EQ(ReadFile(dst / "tree" / "empty"), "a file");
       }},
      {"a source that changed size during a move",
       [&] {
         WriteFile(src / "a.txt", "abc");
         host->active.Add("a.txt", 0x20, 999).Select("a.txt");  // the size the panel saw
         // Another volume: the engine copies, and checks the size.
         pt::ArmFault("MoveFileExA", nullptr, 1, ERROR_NOT_SAME_DEVICE, pt::Repeat::FromThenOn);
       },
       1, kAsk, nullptr, {MsgSourceChanged}, {"a.txt"},
       [&] {
         EXPECT_EQ(ReadFile(src / "a.txt"), "abc");
         EXPECT_EQ(ReadFile(dst / "a.txt"), "abc");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(src);
    fs::remove_all(dst);
    fs::create_directories(src);
    fs::create_directories(dst);
    fs::remove(ListFileHere());
    host->active.items.clear();
    host->messageCalls.clear();
    host->commandLine.clear();
    pt::ResetFaults();
    c.prepare();
    host->messageAnswers.assign(c.boxes.size() + 2, 0);  // OK, and yes to any question
    std::string destination = c.destination ? c.destination() : "";
    Run(c.item, c.existing, {}, destination);
    pt::ResetFaults();
    for (int message : c.boxes) EXPECT_EQ(Boxes(message), 1) << message;
    EXPECT_EQ(Boxes(MsgErrorTitle), static_cast<int>(c.boxes.size())) << "no other error";
    std::string listed;
    for (const std::string& name : c.listed) listed += WindowsPath(src / name) + "\r\n";
    EXPECT_EQ(ReadFile(ListFileHere()), listed);
    EXPECT_EQ(Boxes(MsgListFailed1), c.listed.empty() ? 0 : 1);
    c.check();
    while (pt::ConsoleInputCount() > 0) {
      INPUT_RECORD key;
      pt::ConsolePopInput(&key);
    }
  }
}

// A description that cannot be written at its destination stays in the
// source folder's file, which is then never cleared away.
TEST_F(FinishTest, ADescriptionThatCannotArriveStaysInTheMovedFolder) {
  const struct {
    const char* label;
    DWORD attributes;  // of the destination's description file
    DWORD hideDescs;
  } cases[] = {
      {"read-only", FILE_ATTRIBUTE_READONLY, 1},
      {"hidden while HideDescs is off", FILE_ATTRIBUTE_HIDDEN, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    for (const fs::path& folder : {src, dst}) {
      for (const auto& entry : fs::recursive_directory_iterator(folder))
        platform::SetFileAttributesA(WindowsPath(entry.path()).c_str(), FILE_ATTRIBUTE_NORMAL);
      fs::remove_all(folder);
    }
    WriteFile(src / "tree" / "a.txt", "a");
    WriteFile(src / "tree" / "Descript.ion", "a.txt alpha\r\n");
    WriteFile(dst / "tree" / "Descript.ion", "x.txt ex\r\n");
    ASSERT_TRUE(platform::SetFileAttributesA(WindowsPath(dst / "tree" / "Descript.ion").c_str(),
                                             c.attributes));
    SetRegistryDword(kSettings, "HideDescs", c.hideDescs);
    host->active.items.clear();
    host->active.Add("tree", FILE_ATTRIBUTE_DIRECTORY).Select("tree");
    Run(1);
    EXPECT_EQ(ReadFile(dst / "tree" / "a.txt"), "a");
    EXPECT_EQ(ReadFile(dst / "tree" / "Descript.ion"), "x.txt ex\r\n");
    EXPECT_NE(ReadFile(src / "tree" / "Descript.ion").find("alpha"), std::string::npos)
        << "the text is still there";
  }
}

// Appending makes the engine carry every file of the move: a/f.txt is
// finished, the break comes during b/big.bin, c is never reached.
TEST_F(FinishTest, ABrokenOffMoveRemovesOnlyFoldersTheEngineReached) {
  SetRegistryDword(kSettings, "CopyDescs", 0);
  SetRegistryDword(kSettings, "BufInKb", 1);
  SetRegistryDword(kSettings, "BufKb", 64);
  WriteFile(src / "tree" / "a" / "f.txt", "f");
  WriteFile(src / "tree" / "b" / "big.bin", std::string(1 << 20, 'b'));
  WriteFile(src / "tree" / "c" / "g.txt", "g");
  // Empty, and after the break; merged into an existing one, so the scan
  // does not move it whole.
  fs::create_directories(src / "tree" / "d");
  fs::create_directories(dst / "tree" / "d");
  for (const char* name : {"a/f.txt", "b/big.bin", "c/g.txt"}) WriteFile(dst / "tree" / name, "old:");
  host->active.Add("tree", FILE_ATTRIBUTE_DIRECTORY).Select("tree");
  bool sent = false;
  SlowPieces();
  host->onText = [&](const char* text) {
    std::string line = text;
    if (!sent && line.find("big.bin") != std::string::npos && line.find("dst") != std::string::npos) {
      INPUT_RECORD esc{};
      esc.EventType = KEY_EVENT;
      esc.Event.KeyEvent.bKeyDown = TRUE;
      esc.Event.KeyEvent.wVirtualKeyCode = VK_ESCAPE;
      pt::ConsoleFeedInput(esc);
      sent = true;
    }
  };
  Run(1, kAsk + 3);  // append
  host->onText = nullptr;
  ASSERT_TRUE(sent);
  EXPECT_EQ(PanelCommands(), (std::vector<int>{3, 4, 5, 6}));
  EXPECT_EQ(ReadFile(dst / "tree" / "a" / "f.txt"), "old:f");
  EXPECT_FALSE(fs::exists(src / "tree" / "a")) << "finished before the break: removed";
  EXPECT_EQ(ReadFile(dst / "tree" / "b" / "big.bin"), "old:") << "the append is taken back";
  EXPECT_TRUE(fs::exists(src / "tree" / "b" / "big.bin"));
  EXPECT_TRUE(fs::exists(src / "tree" / "c" / "g.txt"));
  EXPECT_EQ(ReadFile(dst / "tree" / "c" / "g.txt"), "old:");
  EXPECT_TRUE(fs::is_directory(src / "tree" / "d")) << "not reached: not removed";
}

}  // namespace
