// The overwrite dialog, its rename dialog, and the pre-pass over existing
// targets that both the run and the dialog's answers for all start.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/run_state.h"
#include "core_fixture.h"
#include "platform/testing.h"
#include "scan/existing_targets.h"
#include "scan/names.h"
#include "scan/overwrite.h"
#include "scan/scan.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

// Items of the overwrite dialog and of the rename dialog.
constexpr int kForAll = 7, kOnlyNewer = 8, kListNotCopied = 9;
constexpr int kOverwrite = 11, kSkip = 12, kAppend = 13, kRename = 14;
constexpr int kRenameEdit = 2, kRenameOk = 4, kRenameCancel = 5;

// The Windows path of a local one (Linux reaches / as Z:), backslashes only.
std::string WindowsPath(const fs::path& path) {
#ifdef _WIN32
  std::string text = path.string();
#else
  std::string text = "Z:" + path.string();
#endif
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}

class OverwriteTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    RunOptions = RunOptionsRecord{};
    IsMove = 0;
    ScreenLock = platform::CreateEventA(nullptr, FALSE, TRUE, nullptr);
    platform::InitializeCriticalSection(&ListLock);
    ASSERT_TRUE(CreateFileList());
    TotalBytes = 0;
    fs::create_directory(dir / "src");
    fs::create_directory(dir / "dst");
    Make("src/a.txt", std::string(1234, 's'));
    Make("dst/a.txt", "d");
  }
  void TearDown() override {
    FreeFileList();
    platform::DeleteCriticalSection(&ListLock);
    platform::CloseHandle(ScreenLock);
    ScreenLock = nullptr;
    EXPECT_EQ(host->unexpectedCalls, 0);
    CoreTest::TearDown();
  }

  void Make(const std::string& name, const std::string& text = "x") {
    std::ofstream(dir / name, std::ios::binary) << text;
  }
  std::string Path(const std::string& name) { return WindowsPath(dir / name); }
  // Makes `name` an hour newer than `than`.
  void MakeNewer(const std::string& name, const std::string& than) {
    fs::last_write_time(dir / name, fs::last_write_time(dir / than) + std::chrono::hours(1));
  }
  FILETIME LastWrite(const std::string& name) {
    WIN32_FIND_DATAA data{};
    HANDLE find = platform::FindFirstFileA(Path(name).c_str(), &data);
    EXPECT_NE(find, INVALID_HANDLE_VALUE) << name;
    if (find != INVALID_HANDLE_VALUE) platform::FindClose(find);
    return data.ftLastWriteTime;
  }

  // Asks about src/a.txt over dst/a.txt (or another destination).
  int Ask(int pairIndex = -1, const std::string& destination = "") {
    std::snprintf(newName, sizeof newName, "untouched");
    std::string target = destination.empty() ? Path("dst/a.txt") : destination;
    return AskOverwrite(Path("src/a.txt").c_str(), target.c_str(), pairIndex, newName);
  }
  void Answer(int result, std::function<void(DialogItem*, int)> edit = nullptr) {
    host->dialogAnswers.push_back({result, std::move(edit)});
  }
  static std::function<void(DialogItem*, int)> Check(std::vector<int> boxes) {
    return [boxes](DialogItem* items, int) {
      for (int box : boxes) items[box].Selected = !items[box].Selected;
    };
  }
  static std::function<void(DialogItem*, int)> Type(const char* name) {
    return [name](DialogItem* items, int) {
      std::snprintf(items[kRenameEdit].Data, sizeof items[kRenameEdit].Data, "%s", name);
    };
  }

  // Adds the pair src/<name> -> dst/<name> with a record; its size counts.
  DWORD AddPair(const std::string& name, uint64_t size, FILETIME lastWrite = {}) {
    EXPECT_TRUE(AddListEntry(Path("src/" + name).c_str(), false, 0, 0, 0, nullptr, nullptr,
                             nullptr));
    EXPECT_TRUE(AddListEntry(Path("dst/" + name).c_str(), true, 0x4820,
                             static_cast<DWORD>(size), static_cast<DWORD>(size >> 32), &lastWrite,
                             &lastWrite, &lastWrite));
    TotalBytes += size;
    return PairCount() - 1;
  }
  // Fields read by value: the records are packed behind their paths, and
  // EXPECT_EQ would bind references to misaligned fields.
  static uint32_t State(DWORD pair) { return RecordOf(pair)->state; }
  static int Number(DWORD pair) { return RecordOf(pair)->renameNumber; }
  void FreshList() {
    FreeFileList();
    ASSERT_TRUE(CreateFileList());
    TotalBytes = 0;
  }

  char newName[512];
};

TEST_F(OverwriteTest, DialogShowsTheTargetAndBothFiles) {
  Make("dst/a.txt", std::string(1234567, 'd'));
  RunOptions.OnlyNewer = 0;
  RunOptions.ListNotCopied = 1;
  Answer(-1);
  EXPECT_EQ(Ask(), AnswerSkip);
  ASSERT_EQ(host->dialogCalls.size(), 1u);
  const auto& call = host->dialogCalls[0];
  EXPECT_EQ(call.width * 100 + call.height, 6415);
  EXPECT_EQ(call.helpTopic, "Overwrite");
  ASSERT_EQ(call.items.size(), 15u);
  EXPECT_STREQ(call.items[0].Data, Msg(MsgTitleCopy));
  char date[32], line[512];
  FormatDateTime(LastWrite("src/a.txt"), date);
  FormatFileLine(Msg(MsgOverwriteSource), "1,234", date, line);
  EXPECT_STREQ(call.items[4].Data, line);
  FormatDateTime(LastWrite("dst/a.txt"), date);
  FormatFileLine(Msg(MsgOverwriteDestination), "1,234,567", date, line);
  EXPECT_STREQ(call.items[5].Data, line);
  EXPECT_EQ(call.items[kOnlyNewer].Selected, 0);
  EXPECT_EQ(call.items[kListNotCopied].Selected, 1);

  // A 60-character target that nothing is found under (a stream, say): the
  // path shortened to 54, and its line the label alone.
  IsMove = 1;
  std::string base = Path("dst") + "\\";
  ASSERT_LT(base.size(), 55u);
  std::string target = base + std::string(60 - base.size(), 'n');
  Answer(-1);
  Ask(-1, target);
  ASSERT_EQ(host->dialogCalls.size(), 2u);
  const auto& moved = host->dialogCalls[1];
  EXPECT_STREQ(moved.items[0].Data, Msg(MsgTitleMove));
  EXPECT_EQ(std::string(moved.items[2].Data), "..." + target.substr(9));
  EXPECT_STREQ(moved.items[5].Data, Msg(MsgOverwriteDestination));
}

TEST_F(OverwriteTest, EachButtonGivesItsAnswerAndEscChangesNothing) {
  struct Case {
    int button, answer, listNotCopied;
  } cases[] = {
      {kOverwrite, AnswerOverwrite, 1},
      {kSkip, AnswerSkip, 1},
      {kAppend, AnswerAppend, 1},
      {-1, AnswerSkip, 0},
  };
  MakeNewer("src/a.txt", "dst/a.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    RunOptions = RunOptionsRecord{};
    bool lockHeld = false;
    Answer(c.button, [&](DialogItem* items, int) {
      lockHeld = platform::WaitForSingleObject(ScreenLock, 0) == WAIT_TIMEOUT;
      items[kListNotCopied].Selected = 1;
      items[kOnlyNewer].Selected = 1;  // the source is newer: no skip
    });
    EXPECT_EQ(Ask(), c.answer);
    EXPECT_TRUE(lockHeld);
    EXPECT_EQ(platform::WaitForSingleObject(ScreenLock, 0), WAIT_OBJECT_0) << "lock released";
    platform::SetEvent(ScreenLock);
    EXPECT_EQ(RunOptions.ListNotCopied, c.listNotCopied);
    EXPECT_EQ(RunOptions.OnlyNewer, c.listNotCopied);
    EXPECT_EQ(RunOptions.OverwriteMode, OverwriteAsk);
  }
}

TEST_F(OverwriteTest, OnlyNewerSkipsATargetThatIsNotOlder) {
  MakeNewer("dst/a.txt", "src/a.txt");
  struct Case {
    int button;
    bool forAll;
    int mode;
  } cases[] = {
      {kOverwrite, false, OverwriteAsk},
      {kOverwrite, true, OverwriteAll},  // the mode is the button, not the skip
      {kRename, false, OverwriteAsk},    // no rename dialog
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button * 10 + c.forAll);
    RunOptions = RunOptionsRecord{};
    size_t dialogs = host->dialogCalls.size();
    Answer(c.button, c.forAll ? Check({kOnlyNewer, kForAll}) : Check({kOnlyNewer}));
    EXPECT_EQ(Ask(), AnswerSkip);
    EXPECT_EQ(host->dialogCalls.size(), dialogs + 1);
    EXPECT_EQ(RunOptions.OnlyNewer, 1);
    EXPECT_EQ(RunOptions.OverwriteMode, c.mode);
  }
}

TEST_F(OverwriteTest, AnswerForAllSetsTheModeAndReexaminesLaterPairs) {
  Make("dst/b.txt");
  struct Case {
    int button, pairIndex, mode;
    bool laterSkipped;
  } cases[] = {
      {kOverwrite, -1, OverwriteAll, false},
      {kOverwrite, 0, OverwriteAll, false},
      {kSkip, 0, OverwriteSkip, true},
      {kSkip, -1, OverwriteSkip, false},  // from the scan: nothing listed to re-examine
  };
  const std::string marker(80, '#');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button * 10 + c.pairIndex);
    RunOptions = RunOptionsRecord{};
    FreshList();
    AddPair("a.txt", 5);
    DWORD later = AddPair("b.txt", 7);
    for (int y = 0; y < 25; ++y) pt::ConsoleWriteText(0, y, 7, marker.c_str());
    Answer(c.button, Check({kForAll}));
    EXPECT_EQ(Ask(c.pairIndex), c.button - kOverwrite + AnswerOverwrite);
    EXPECT_EQ(RunOptions.OverwriteMode, c.mode);
    EXPECT_EQ((State(later) & EntrySkip) != 0, c.laterSkipped);
    EXPECT_EQ(TotalBytes, c.laterSkipped ? 5u : 12u);
    char row[81];
    for (int y = 0; y < 25; ++y) {
      pt::ConsoleReadRow(y, row, sizeof row);
      EXPECT_EQ(std::string(row, 80), marker) << "status box left on row " << y;
    }
  }
}

TEST_F(OverwriteTest, RenameForAllTakesTheFirstFreeNumber) {
  Make("dst/a_1.txt");
  Make("dst/b.txt");
  AddPair("a.txt", 5);
  DWORD later = AddPair("b.txt", 7);
  Answer(kRename, Check({kForAll}));
  EXPECT_EQ(Ask(0), AnswerRename);
  EXPECT_EQ(std::string(newName), Path("dst/a_2.txt"));
  EXPECT_EQ(RunOptions.OverwriteMode, OverwriteRename);
  EXPECT_EQ(Number(later), 1);
  EXPECT_EQ(host->dialogCalls.size(), 1u) << "no rename dialog";

  // From the scan (no pair): the name is made too.
  Answer(kRename, Check({kForAll}));
  EXPECT_EQ(Ask(-1), AnswerRename);
  EXPECT_EQ(std::string(newName), Path("dst/a_2.txt"));
}

TEST_F(OverwriteTest, RenameDialogReturnsForATakenNameAndCancelBringsBackTheQuestion) {
  Make("dst/a_1.txt");
  MakeNewer("src/a.txt", "dst/a.txt");
  Answer(kRename, Check({kOnlyNewer, kListNotCopied}));
  Answer(kRenameCancel);
  Answer(kRename);
  Answer(kRenameOk, Type("a_1.txt"));
  Answer(kRenameOk, Type("fresh.txt"));
  EXPECT_EQ(Ask(), AnswerRename);
  EXPECT_EQ(std::string(newName), Path("dst/fresh.txt"));
  ASSERT_EQ(host->dialogCalls.size(), 5u);
  const auto& rename = host->dialogCalls[1];
  EXPECT_EQ(rename.width * 100 + rename.height, 4008);
  EXPECT_EQ(rename.helpTopic, "Rename");
  ASSERT_EQ(rename.items.size(), 6u);
  EXPECT_STREQ(rename.items[kRenameEdit].History, "Quickferry_Rename");
  EXPECT_STREQ(rename.items[kRenameEdit].Data, "a.txt");
  EXPECT_EQ(host->dialogCalls[2].items[kOnlyNewer].Selected, 1) << "check boxes as left";
  EXPECT_EQ(host->dialogCalls[2].items[kListNotCopied].Selected, 1);
  EXPECT_STREQ(host->dialogCalls[4].items[kRenameEdit].Data, "a_1.txt") << "text as edited";
  EXPECT_EQ(RunOptions.OnlyNewer, 1);
  EXPECT_EQ(RunOptions.ListNotCopied, 1);
  EXPECT_EQ(RunOptions.OverwriteMode, OverwriteAsk);
}

TEST_F(OverwriteTest, EscAfterACancelledRenameChangesNothing) {
  MakeNewer("src/a.txt", "dst/a.txt");
  Answer(kRename, Check({kOnlyNewer, kListNotCopied}));
  Answer(kRenameCancel);
  Answer(-1);
  EXPECT_EQ(Ask(), AnswerSkip);
  EXPECT_EQ(RunOptions.OnlyNewer, 0);
  EXPECT_EQ(RunOptions.ListNotCopied, 0);
}

TEST_F(OverwriteTest, RenameOfATargetWithoutBackslashSkips) {
  Answer(kRename);
  EXPECT_EQ(Ask(-1, "a.txt"), AnswerSkip);
  EXPECT_EQ(host->dialogCalls.size(), 1u);
}

using ExistingTargetsTest = OverwriteTest;

TEST_F(ExistingTargetsTest, ModesMarkExistingTargets) {
  Make("dst/a_1.txt");
  Make("dst/a_2.txt");
  Make("dst/c.txt");
  const uint64_t sizeA = (1ULL << 31) + 5, sizeB = 7, sizeC = (3ULL << 32) + 1;
  struct Case {
    int mode;
    DWORD firstPair;
    bool skipA, skipC;
    int numberA, numberC;
  } cases[] = {
      {OverwriteSkip, 0, true, true, 0, 0},
      {OverwriteSkip, 1, false, true, 0, 0},
      {OverwriteRename, 0, false, false, 3, 1},
      {OverwriteAll, 0, false, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode * 10 + static_cast<int>(c.firstPair));
    FreshList();
    RunOptions.OverwriteMode = c.mode;
    DWORD a = AddPair("a.txt", sizeA);
    DWORD b = AddPair("b.txt", sizeB);  // no target
    DWORD cc = AddPair("c.txt", sizeC);
    CheckExistingTargets(c.firstPair);
    EXPECT_EQ((State(a) & EntrySkip) != 0, c.skipA);
    EXPECT_EQ(State(b), 0u);
    EXPECT_EQ((State(cc) & EntrySkip) != 0, c.skipC);
    EXPECT_EQ(Number(a), c.numberA);
    EXPECT_EQ(Number(cc), c.numberC);
    EXPECT_EQ(TotalBytes, (c.skipA ? 0 : sizeA) + sizeB + (c.skipC ? 0 : sizeC));
  }
}

TEST_F(ExistingTargetsTest, OnlyNewerSkipsEqualTimesAndSwitchingItOffUndoesThat) {
  Make("dst/c.txt");
  Make("dst/d.txt");
  const uint64_t sizeA = (1ULL << 32) + 10, sizeC = 3, sizeD = 4;
  FILETIME newer = LastWrite("dst/c.txt");
  newer.dwHighDateTime += 1;
  DWORD a = AddPair("a.txt", sizeA, LastWrite("dst/a.txt"));  // same time
  DWORD c = AddPair("c.txt", sizeC, newer);
  DWORD d = AddPair("d.txt", 0, LastWrite("dst/d.txt"));
  RecordOf(d)->sizeLow = sizeD;  // skipped by the scan: never counted
  RecordOf(d)->state = EntrySkip;
  RunOptions.OnlyNewer = 1;
  CheckExistingTargets(0);
  EXPECT_EQ(State(a), EntrySkip | EntryNotNewer | EntryTotalsAdjusted);
  EXPECT_EQ(State(c), 0u);
  EXPECT_EQ(State(d), EntrySkip);
  EXPECT_EQ(TotalBytes, sizeC);

  RunOptions.OnlyNewer = 0;
  CheckExistingTargets(0);
  EXPECT_EQ(State(a), 0u);
  EXPECT_EQ(State(d), EntrySkip);
  EXPECT_EQ(TotalBytes, sizeA + sizeC);
}

// The engine's reader has gone past an entry skipped during the copy:
// taking it back would write it incomplete.
TEST_F(ExistingTargetsTest, AnEntryTheReaderPassedStaysSkipped) {
  DWORD a = AddPair("a.txt", 7, LastWrite("dst/a.txt"));
  RunOptions.OnlyNewer = 1;
  CheckExistingTargets(0);
  RecordOf(a)->state |= EntryReaderPassed;
  RunOptions.OnlyNewer = 0;
  CheckExistingTargets(0);
  EXPECT_EQ(State(a), EntrySkip | EntryNotNewer | EntryTotalsAdjusted | EntryReaderPassed);
  EXPECT_EQ(TotalBytes, 0u);
}

TEST_F(ExistingTargetsTest, RenameWithoutRoomForANumberSkips) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine's ANSI file calls stop at 260 characters; the name needs 510";
#else
  // A target of 510 characters: "_1" would make 512.
  std::string deep = std::string(200, 'd') + "/" + std::string(200, 'e') + "/";
  fs::create_directories(dir / "dst" / deep);
  std::string name = deep + std::string(506 - Path("dst/" + deep).size(), 'n') + ".txt";
  Make("dst/" + name);
  ASSERT_EQ(Path("dst/" + name).size(), 510u);
  RunOptions.OverwriteMode = OverwriteRename;
  DWORD pair = AddPair(name, 9);
  CheckExistingTargets(0);
  EXPECT_EQ(Number(pair), 0);
  EXPECT_EQ(State(pair), EntrySkip | EntryTotalsAdjusted) << "skipped, never written over the target";
  EXPECT_EQ(TotalBytes, 0u);
#endif
}

}  // namespace
