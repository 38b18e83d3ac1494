// The scan: panel items expanded into pairs on real trees, moves by rename
// with their conflicts, description files, streams, read-only clearing, and
// the limits of paths and memory.
#include "scan/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/run_state.h"
#include "core_fixture.h"
#include "engine/prompts.h"
#include "engine/copy.h"
#include "support/files.h"
#include "platform/testing.h"
#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

struct Pair {
  std::string source, destination;  // relative to the test's folder when below it
  FileRecord record;
};

class ScanTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    LoadSettings();  // the defaults, description names included
    Settings.CopyDescs = 0;
    Settings.ClearROFromCD = 0;
    Settings.DescsInDirs = 1;
    RunOptions = RunOptionsRecord{};
    RunOptions.CompressionMode = RunOptions.EncryptionMode = ModeLeave;
    IsMove = 0;
    platform::InitializeCriticalSection(&ListLock);
    ASSERT_TRUE(CreateFileList());
    TotalBytes = 0;
  }
  void TearDown() override {
    FreeFileList();
    platform::DeleteCriticalSection(&ListLock);
    IsMove = 0;
    RunOptions = RunOptionsRecord{};
#ifndef _WIN32
    pt::ResetDrives();
#endif
    EXPECT_EQ(host->unexpectedCalls, 0);
    CoreTest::TearDown();
  }

  std::string Rel(const std::string& path) const {
    std::string base = WindowsPath(dir) + "\\";
    return path.compare(0, base.size(), base) == 0 ? path.substr(base.size()) : path;
  }
  static void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // ScanEntry as the run calls it for one panel item, with the item's
  // directory data.
  static void ScanItem(const std::string& source, const std::string& destination, DWORD flags) {
    WIN32_FIND_DATAA data;
    HANDLE find = platform::FindFirstFileA(source.c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << source;
    platform::FindClose(find);
    ScanEntry(source.c_str(), destination.c_str(), data.dwFileAttributes | 0x4800,
              data.nFileSizeLow, data.nFileSizeHigh, &data.ftCreationTime, &data.ftLastAccessTime,
              &data.ftLastWriteTime, flags);
  }
  void Scan(const fs::path& source, const fs::path& destination, DWORD flags = 0) {
    ScanItem(WindowsPath(source), WindowsPath(destination), flags);
  }

  std::vector<Pair> Pairs() const {
    EXPECT_EQ(List.entryCount % 2, 0u) << "a half pair";
    std::vector<Pair> pairs;
    for (DWORD k = 0; k < PairCount(); ++k)
      pairs.push_back({Rel(SourceOf(k)), Rel(DestinationOf(k)), *RecordOf(k)});
    return pairs;
  }
  static const Pair* Find(const std::vector<Pair>& pairs, const std::string& source) {
    for (const Pair& pair : pairs)
      if (pair.source == source) return &pair;
    return nullptr;
  }
  static std::vector<std::string> Sources(const std::vector<Pair>& pairs) {
    std::vector<std::string> sources;
    for (const Pair& pair : pairs) sources.push_back(pair.source);
    return sources;
  }
  int Boxes(int message) const {
    int boxes = 0;
    for (const auto& call : host->messageCalls)
      boxes += std::count(call.lines.begin(), call.lines.end(), Msg(message)) > 0;
    return boxes;
  }
};

TEST_F(ScanTest, CopyListsEachFolderBeforeItsContents) {
  Write(dir / "src/a/f.txt", "12345");
  Write(dir / "src/a/sub/g.txt", "abc");
  fs::create_directories(dir / "src/a/empty");
  TotalBytes = 10;
  Scan(dir / "src/a", dir / "out/a", ScanSingleItem);

  std::vector<Pair> pairs = Pairs();
  std::vector<std::string> sources = Sources(pairs);
  ASSERT_EQ(sources.size(), 5u);
  EXPECT_EQ(sources[0], "src\\a");
  auto at = [&](const std::string& s) { return std::find(sources.begin(), sources.end(), s); };
  ASSERT_NE(at("src\\a\\f.txt"), sources.end());
  ASSERT_NE(at("src\\a\\empty"), sources.end());
  ASSERT_NE(at("src\\a\\sub"), sources.end());
  EXPECT_EQ(at("src\\a\\sub\\g.txt"), at("src\\a\\sub") + 1) << "a subtree follows its folder";

  for (const Pair& pair : pairs) {
    SCOPED_TRACE(pair.source);
    EXPECT_EQ(pair.destination, "out" + pair.source.substr(3));
    EXPECT_EQ(pair.record.attributes & 0x4800u, 0x4800u);
    EXPECT_EQ(pair.record.state, 0u);
    EXPECT_EQ(pair.record.overwriteChoice, 0);
    bool folder = pair.record.attributes & FILE_ATTRIBUTE_DIRECTORY;
    EXPECT_EQ(folder, pair.source.find('.') == std::string::npos);
  }
  EXPECT_EQ(SizeOf(&Find(pairs, "src\\a\\f.txt")->record), 5u);
  EXPECT_EQ(SizeOf(&Find(pairs, "src\\a\\empty")->record), 0u);
  EXPECT_EQ(TotalBytes, 10u + 5u + 3u);

  WIN32_FIND_DATAA data;
  HANDLE find = platform::FindFirstFileA(WindowsPath(dir / "src/a/f.txt").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  platform::FindClose(find);
  FILETIME recorded = Find(pairs, "src\\a\\f.txt")->record.lastWriteTime;
  EXPECT_EQ(platform::CompareFileTime(&recorded, &data.ftLastWriteTime), 0);
}

TEST_F(ScanTest, TotalBytesAddsSizesOf2To31AndMore) {
  Write(dir / "src/big.bin", "");
  fs::create_directories(dir / "src/folder");
  struct Case {
    const char* item;
    DWORD low, high;
    uint64_t counted;
  } cases[] = {
      {"big.bin", 0x80000000u, 0, 0x80000000ull},
      {"big.bin", 0xFFFFFFFFu, 0, 0xFFFFFFFFull},
      {"big.bin", 5, 3, (3ull << 32) + 5},
      {"folder", 7, 1, 0},  // a folder counts nothing, whatever the panel says
  };
  uint64_t total = 0;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    std::string source = WindowsPath(dir / "src" / c.item);
    std::string destination = WindowsPath(dir / "out") + "\\" + std::to_string(n++);
    DWORD attributes = platform::GetFileAttributesA(source.c_str()) | 0x4800;
    FILETIME t{};
    ScanEntry(source.c_str(), destination.c_str(), attributes, c.low, c.high, &t, &t, &t, 0);
    total += c.counted;
    EXPECT_EQ(TotalBytes, total);
    EXPECT_EQ(SizeOf(RecordOf(PairCount() - 1)), c.counted);
  }
}

// A source that is its own destination, by path or by identity, is listed
// for nothing and said so; names that differ in case are one file where the
// file system ignores case (a move then renames) and two on Linux.
TEST_F(ScanTest, ASourceThatIsItsOwnDestinationIsRefusedAndNamesFollowTheFileSystem) {
  Write(dir / "src/a/f.txt", "12345");
  Write(dir / "src/h.txt", "hard");
  fs::create_hard_link(dir / "src/h.txt", dir / "src/l.txt");
  const std::string sameFile = Msg(MsgSameFile);
  struct Case {
    const char* source;
    const char* destination;
    DWORD move;
    bool refused;
  } cases[] = {
      {"src/a", "src/a", 0, true},
      {"src/a", "src/a", 1, true},
      {"src/h.txt", "src/l.txt", 0, true},  // a hard link of itself
      {"src/h.txt", "src/l.txt", 1, true},
#ifdef _WIN32
      {"src/a", "src/A", 0, true},
#else
      {"src/a", "src/A", 0, false},  // two names, two files
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " -> " + c.destination + (c.move ? " (move)" : ""));
    FreeFileList();
    ASSERT_TRUE(CreateFileList());
    TotalBytes = 42;
    IsMove = static_cast<int>(c.move);
    host->messageCalls.clear();
    if (c.refused) host->messageAnswers.push_back(0);
    Scan(dir / c.source, dir / c.destination, c.move);
    EXPECT_EQ(List.entryCount == 0, c.refused);
    EXPECT_EQ(TotalBytes == 42u, c.refused);
    bool said = !host->messageCalls.empty() && host->messageCalls[0].lines.size() > 3 &&
                host->messageCalls[0].lines[3] == sameFile;
    EXPECT_EQ(said, c.refused);
  }
  EXPECT_EQ(Read(dir / "src/a/f.txt"), "12345");
  EXPECT_EQ(Read(dir / "src/h.txt"), "hard");

  // A change of case alone renames, on either kind of file system. (Wine
  // reports success for a change of case but keeps the old name.)
#ifndef _WIN32
  FreeFileList();
  ASSERT_TRUE(CreateFileList());
  IsMove = 1;
  Scan(dir / "src/a", dir / "src/A", ScanMove);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir / "src")) names.push_back(entry.path().filename().string());
  EXPECT_NE(std::find(names.begin(), names.end(), "A"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "a"), names.end());
  EXPECT_EQ(Read(dir / "src/A/f.txt"), "12345");
#endif
}

// Esc (the host's break feeds the same key) stops a long scan at once.
TEST_F(ScanTest, EscStopsALongScan) {
  for (int i = 0; i < 300; ++i) Write(dir / "src/many" / ("f" + std::to_string(i)), "x");
  INPUT_RECORD esc{};
  esc.EventType = KEY_EVENT;
  esc.Event.KeyEvent.bKeyDown = TRUE;
  esc.Event.KeyEvent.wVirtualKeyCode = VK_ESCAPE;
  platform::testing::ConsoleFeedInput(esc);
  BreakRequested = 0;
  Scan(dir / "src/many", dir / "out/many");
  EXPECT_EQ(BreakRequested, 1);
  EXPECT_LT(PairCount(), 40u);
  // No writer to stop: later boxes still show (and none said the folder failed).
  EXPECT_FALSE(RunStopping.load());
  BreakRequested = 0;
}

TEST_F(ScanTest, MoveWithinOneVolumeRenamesTheWholeTree) {
  Write(dir / "src/a/f.txt", "12345");
  Write(dir / "src/a/sub/g.txt", "abc");
  IsMove = 1;
  TotalBytes = 100;
  Scan(dir / "src/a", dir / "out/new/a", ScanMove | ScanSingleItem);

  std::vector<Pair> pairs = Pairs();
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].record.state, 0x07u);
  EXPECT_EQ(TotalBytes, 100u);
  EXPECT_FALSE(fs::exists(dir / "src/a"));
  EXPECT_EQ(Read(dir / "out/new/a/sub/g.txt"), "abc");
}

TEST_F(ScanTest, MoveOntoAnExistingFolderMergesChildByChild) {
  using Answers = std::vector<ScriptedHost::DialogAnswer>;
  auto typed = [](const char* name) {
    return [name](DialogItem* items, int) {
      std::snprintf(items[2].Data, sizeof items[2].Data, "%s", name);
    };
  };
  struct Case {
    const char* label;
    int mode;
    int onlyNewer;
    DWORD secondRename;  // the error of the second rename's fault, or 0
    Answers answers;
    uint32_t state;        // of y.txt's pair
    int choice;            // of y.txt's pair
    const char* landedAs;  // where the moved y.txt is, or null when it stayed
    uint64_t total;
  } cases[] = {
      {"skip mode", OverwriteSkip, 0, 0, {}, EntrySkip, 0, nullptr, 0},
      {"overwrite mode", OverwriteAll, 0, 0, {}, 0x07, 0, "y.txt", 0},
      // The engine then gets the file.
      {"overwrite mode, replace refused", OverwriteAll, 0, ERROR_ACCESS_DENIED, {}, 0, 1, nullptr,
       3},
      {"append mode", OverwriteAppend, 0, 0, {}, 0, 3, nullptr, 3},
      {"rename mode: first free number", OverwriteRename, 0, 0, {}, 0x07, 0, "y_2.txt", 0},
      // y_2.txt taken in the meantime: the next number is still y.txt's.
      {"rename mode: a number taken meanwhile", OverwriteRename, 0, ERROR_ALREADY_EXISTS, {}, 0x07,
       0, "y_3.txt", 0},
      {"only newer beats the mode", OverwriteAll, 1, 0, {}, EntrySkip, 0, nullptr, 0},
      {"asked: skip", OverwriteAsk, 0, 0, {{12, nullptr}}, EntrySkip, 0, nullptr, 0},
      {"asked: typed name",
       OverwriteAsk,
       0,
       0,
       {{14, nullptr}, {4, typed("typed.txt")}},
       0x07,
       0,
       "typed.txt",
       0},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::path base = dir / ("case" + std::to_string(n++));
    Write(base / "src/a/x.txt", "xx");
    Write(base / "src/a/y.txt", "yyy");
    Write(base / "src/a/sub/w.txt", "w");
    Write(base / "out/a/y.txt", "old");
    Write(base / "out/a/y_1.txt", "taken");
    // The existing target is the newer one.
    fs::last_write_time(base / "out/a/y.txt",
                        fs::last_write_time(base / "src/a/y.txt") + std::chrono::hours(1));
    pt::ResetFaults();
    // The first rename meets the existing target; the second one fails.
    if (c.secondRename) pt::ArmFault("MoveFileExA", "*y.txt", 2, c.secondRename);
    FreeFileList();
    ASSERT_TRUE(CreateFileList());
    TotalBytes = 0;
    IsMove = 1;
    RunOptions.OverwriteMode = c.mode;
    RunOptions.OnlyNewer = c.onlyNewer;
    host->dialogCalls.clear();
    host->dialogAnswers.assign(c.answers.begin(), c.answers.end());

    Scan(base / "src/a", base / "out/a", ScanMove | ScanSingleItem);
    EXPECT_EQ(pt::FaultsFired(), c.secondRename ? 1 : 0);

    std::string prefix = base.filename().string() + "\\src\\a";
    std::vector<Pair> pairs = Pairs();
    ASSERT_EQ(pairs.size(), 4u) << "a, x.txt, y.txt, sub (moved whole)";
    EXPECT_EQ(pairs[0].source, prefix);
    EXPECT_EQ(pairs[0].record.state, 0u);
    EXPECT_EQ(Find(pairs, prefix + "\\x.txt")->record.state, 0x07u);
    EXPECT_EQ(Find(pairs, prefix + "\\sub")->record.state, 0x07u);
    const Pair* y = Find(pairs, prefix + "\\y.txt");
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(y->record.state, c.state);
    EXPECT_EQ(y->record.overwriteChoice, c.choice);
    EXPECT_EQ(y->destination, base.filename().string() + "\\out\\a\\y.txt");
    EXPECT_EQ(TotalBytes, c.total);
    EXPECT_EQ(host->dialogAnswers.size(), 0u);
    EXPECT_EQ(host->dialogCalls.empty(), c.answers.empty());

    EXPECT_EQ(Read(base / "out/a/x.txt"), "xx");
    EXPECT_EQ(Read(base / "out/a/sub/w.txt"), "w");
    EXPECT_EQ(fs::exists(base / "src/a/y.txt"), c.landedAs == nullptr);
    if (c.landedAs) {
      EXPECT_EQ(Read(base / "out/a" / c.landedAs), "yyy");
    }
    if (!c.landedAs || std::string(c.landedAs) != "y.txt") {
      EXPECT_EQ(Read(base / "out/a/y.txt"), "old");
    }
  }
}

TEST_F(ScanTest, DescriptionFilesAreLeftOutOrListedByTheFlags) {
  Write(dir / "src/Descript.ion", "d");
  Write(dir / "src/files.bbs", "f");  // "Files.bbs" only where case is ignored
  Write(dir / "src/d/Descript.ion", "d");
  Write(dir / "src/d/g.txt", "g");
  struct Case {
    const char* label;
    const char* item;
    DWORD flags;
    int copyDescs, descsInDirs;
    std::vector<std::pair<std::string, bool>> listed;  // source, EntryNoDescription
  } cases[] = {
      {"the single item", "Descript.ion", ScanSingleItem, 1, 1, {{"Descript.ion", false}}},
      {"among several items", "Descript.ion", 0, 1, 1, {}},
      {"not copied by the option", "Descript.ion", 0, 0, 1, {{"Descript.ion", false}}},
#ifdef _WIN32
      {"another case", "files.bbs", 0, 1, 1, {}},
#else
      {"another case is another file", "files.bbs", 0, 1, 1, {{"files.bbs", false}}},
#endif
      {"in a folder, DescsInDirs on",
       "d",
       ScanSingleItem,
       1,
       1,
       {{"d", false}, {"d\\g.txt", false}}},
      {"in a folder, DescsInDirs off",
       "d",
       ScanSingleItem,
       1,
       0,
       {{"d", false}, {"d\\Descript.ion", true}, {"d\\g.txt", true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FreeFileList();
    ASSERT_TRUE(CreateFileList());
    Settings.CopyDescs = c.copyDescs;
    Settings.DescsInDirs = c.descsInDirs;
    Scan(dir / "src" / c.item, dir / "out" / c.item, c.flags);
    std::vector<std::pair<std::string, bool>> listed;
    for (const Pair& pair : Pairs())
      listed.emplace_back(pair.source.substr(4), (pair.record.state & EntryNoDescription) != 0);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, c.listed);
  }
}

TEST_F(ScanTest, StreamsFollowTheirFile) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine's BackupRead reports no named streams";
#endif
  Write(dir / "src/f.txt", "12345");
  std::string file = WindowsPath(dir / "src/f.txt");
  // A name byte past ASCII comes back as it went in.
  for (const std::string& stream :
       {std::string("s1:$DATA=abc"), std::string("\xE9t\xE9:$DATA=defgh")}) {
    std::string path = file + ":" + stream.substr(0, stream.find('='));
    std::string data = stream.substr(stream.find('=') + 1);
    HANDLE handle =
        platform::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      GTEST_SKIP() << "the test folder's file system has no named streams";
    DWORD done = 0;
    ASSERT_TRUE(
        platform::WriteFile(handle, data.data(), static_cast<DWORD>(data.size()), &done, nullptr));
    ASSERT_TRUE(platform::CloseHandle(handle));
  }

  Scan(dir / "src/f.txt", dir / "out/f.txt");
  EXPECT_EQ(PairCount(), 1u) << "streams are listed only when the run copies them";

  FreeFileList();
  ASSERT_TRUE(CreateFileList());
  TotalBytes = 0;
  RunOptions.CopyStreams = 1;
  Scan(dir / "src/f.txt", dir / "out/f.txt");
  std::vector<Pair> pairs = Pairs();
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[0].source, "src\\f.txt");
  std::vector<std::string> streams = {pairs[1].destination, pairs[2].destination};
  std::sort(streams.begin(), streams.end());
  EXPECT_EQ(streams,
            (std::vector<std::string>{"out\\f.txt:s1:$DATA", "out\\f.txt:\xE9t\xE9:$DATA"}));
  for (const Pair& pair : pairs) {
    SCOPED_TRACE(pair.source);
    EXPECT_EQ("out" + pair.source.substr(3), pair.destination);
    EXPECT_EQ(pair.record.attributes, pairs[0].record.attributes);
  }
  const Pair* accented = Find(pairs, "src\\f.txt:\xE9t\xE9:$DATA");
  ASSERT_NE(accented, nullptr);
  EXPECT_EQ(SizeOf(&accented->record), 5u);
  EXPECT_EQ(TotalBytes, 5u + 3u + 5u);
}

TEST_F(ScanTest, ReadOnlyIsClearedOnlyFromCdRom) {
#ifdef _WIN32
  GTEST_SKIP() << "no drive can be mapped as a CD-ROM under Wine";
#else
  Write(dir / "cd/tree/ro.txt", "r");
  Write(dir / "cd/tree/sub/ro2.txt", "r");
  for (const char* file : {"cd/tree/ro.txt", "cd/tree/sub/ro2.txt"})
    fs::permissions(dir / file, fs::perms::owner_read | fs::perms::group_read);
  ASSERT_TRUE(pt::MapDrive('E', pt::DriveKind::CdRom, (dir / "cd").c_str()));
  struct Case {
    const char* label;
    std::string source;
    int option;
    bool cleared;
    bool examined = true;  // false: GetVolumeInformationA fails
  } cases[] = {
      {"from the CD-ROM", "E:\\tree", 1, true},
      {"option off", "E:\\tree", 0, false},
      {"from a fixed disk", WindowsPath(dir / "cd/tree"), 1, false},
      {"from a volume that cannot be examined", "E:\\tree", 1, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FreeFileList();
    ASSERT_TRUE(CreateFileList());
    Settings.ClearROFromCD = c.option;
    pt::ResetFaults();
    if (!c.examined)
      pt::ArmFault("GetVolumeInformationA", nullptr, 1, ERROR_NOT_READY, pt::Repeat::FromThenOn);
    ScanItem(c.source, WindowsPath(dir / "out/tree"), ScanSingleItem);
    pt::ResetFaults();
    int files = 0;
    for (const Pair& pair : Pairs()) {
      if (pair.record.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      SCOPED_TRACE(pair.source);
      ++files;
      EXPECT_EQ((pair.record.attributes & FILE_ATTRIBUTE_READONLY) == 0, c.cleared);
    }
    EXPECT_EQ(files, 2);
  }
#endif
}

TEST_F(ScanTest, OverlongPathsLeaveTheObjectOutAndGoOn) {
  Write(dir / "src/a/ok", "1");
  Write(dir / "src/a/toolong.txt", "2");
  Write(dir / "src/a/longdir/inner.txt", "3");
  std::string destination = WindowsPath(dir / "out") + "\\";
  destination += std::string(508 - destination.size(), 'd');  // + "\ok" is 511
  host->messageAnswers = {0, 0};
  ScanItem(WindowsPath(dir / "src/a"), destination, 0);
  // The two that do not fit are listed as not copied, without a destination
  // and without anything below them.
  std::vector<Pair> pairs = Pairs();
  EXPECT_EQ(Sources(pairs), (std::vector<std::string>{"src\\a", "src\\a\\longdir", "src\\a\\ok",
                                                      "src\\a\\toolong.txt"}));
  for (const char* left : {"src\\a\\longdir", "src\\a\\toolong.txt"}) {
    SCOPED_TRACE(left);
    EXPECT_EQ(Find(pairs, left)->destination, "");
    EXPECT_EQ(Find(pairs, left)->record.state, EntrySkip | EntryFailed);
  }
  EXPECT_EQ(std::string(DestinationOf(2)).size(), 511u);
  EXPECT_EQ(Boxes(MsgCannotCreate), 2) << "one box for the file, one for the folder";
  EXPECT_EQ(TotalBytes, 1u);

#ifndef _WIN32
  // A source beyond 511 characters (Linux allows them; Windows' ANSI calls do not).
  fs::path deep = dir / "deep" / std::string(200, 'x') / std::string(200, 'y');
  Write(deep / "s", "4");
  Write(deep / std::string(100, 'z'), "5");
  FreeFileList();
  ASSERT_TRUE(CreateFileList());
  host->messageAnswers = {0};
  ScanItem(WindowsPath(deep), WindowsPath(dir / "out/deep"), 0);
  std::vector<std::string> sources = Sources(Pairs());
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[1].substr(sources[1].size() - 2), "\\s");
  EXPECT_EQ(Boxes(MsgCannotOpenSource), 1);
#endif
}

TEST_F(ScanTest, FailedGrowthDropsTheObjectWithoutAHalfPair) {
  Write(dir / "src/a/f.txt", "1");
  Write(dir / "src/a/sub/g.txt", "2");
  Write(dir / "src/m.txt", "moved?");
  struct Case {
    const char* label;
    const char* item;
    int move;
  } cases[] = {{"a folder and its contents", "a", 0}, {"a file of a move", "m.txt", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FreeFileList();
    ASSERT_TRUE(CreateFileList());
    host->messageCalls.clear();
    host->messageAnswers = {0};
    std::string source = WindowsPath(dir / "src" / c.item);
    // Fill the name buffer so that the source entry fits exactly and its
    // destination needs a growth; an even count keeps the pairs aligned.
    DWORD left = static_cast<DWORD>(source.size() + 1);
    while (FileListStep - List.namesUsed - left >= 2 * 256 + 2) {
      ASSERT_TRUE(AddListEntry(std::string(255, 'f').c_str(), false, 0, 0, 0, 0, 0, 0));
      ASSERT_TRUE(AddListEntry(std::string(255, 'f').c_str(), false, 0, 0, 0, 0, 0, 0));
    }
    DWORD rest = FileListStep - List.namesUsed - left;
    ASSERT_TRUE(AddListEntry(std::string(rest / 2 - 1, 'g').c_str(), false, 0, 0, 0, 0, 0, 0));
    ASSERT_TRUE(
        AddListEntry(std::string(rest - rest / 2 - 1, 'h').c_str(), false, 0, 0, 0, 0, 0, 0));
    ASSERT_EQ(List.namesUsed + left, FileListStep);
    FileList before = List;
    IsMove = c.move;
    pt::ArmFault("HeapReAlloc", nullptr, 1, ERROR_NOT_ENOUGH_MEMORY);

    ScanItem(source, WindowsPath(dir / "out" / c.item), static_cast<DWORD>(c.move));

    EXPECT_EQ(pt::FaultsFired(), 1);
    EXPECT_EQ(Boxes(MsgNoMemory), 1);
    EXPECT_EQ(List.entryCount, before.entryCount) << "nothing of it, nor below it";
    EXPECT_EQ(List.namesUsed, before.namesUsed);
    EXPECT_TRUE(fs::exists(dir / "src" / c.item));
    EXPECT_FALSE(fs::exists(dir / "out" / c.item));
    pt::ResetFaults();
  }
}

}  // namespace
