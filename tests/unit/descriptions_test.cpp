// Description files: the reader and writer on bad and odd input, growth
// limits, and the pass after a run on real folders.
#include "describe/descriptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/run_state.h"
#include "core_fixture.h"
#include "support/files.h"
#include "platform/testing.h"
#include "scan/scan.h"
#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

using Table = std::unique_ptr<DescriptionTable, decltype(&FreeDescriptions)>;

// Live entries as "name=text", kept lines as "[kept]line".
std::vector<std::string> Entries(const DescriptionTable* table) {
  std::vector<std::string> out;
  for (int i = 0; i < table->count; ++i) {
    std::string name = table->pool + table->nameOffsets[i];
    if (name.empty()) continue;
    out.push_back(table->textOffsets[i] < 0 ? "[kept]" + name
                                            : name + "=" + (table->pool + table->textOffsets[i]));
  }
  return out;
}

Table Parsed(const std::string& text, int* result = nullptr) {
  Table table(NewDescriptions(), FreeDescriptions);
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back(0);
  int parsed = ParseDescriptions(table.get(), buffer.data(), static_cast<DWORD>(text.size()));
  if (result) *result = parsed;
  return table;
}

std::string Image(const DescriptionTable* table) {
  DWORD size = 0;
  char* image = DescriptionImage(table, &size);
  std::string text(image, size);
  FreeDescriptionText(image);
  return text;
}

struct ParseCase {
  const char* label;
  std::string text;
  std::vector<std::string> entries;
};

TEST(DescriptionFormat, ReadsAndWritesBackTheSameTable) {
  const ParseCase cases[] = {
      {"empty", "", {}},
      {"blanks only", " \r\n\t\r\n", {}},
      {"bare and quoted",
       "a.txt first\r\n\"my file.txt\"\thello  \r\n",
       {"a.txt=first", "my file.txt=hello  "}},
      {"quote closes before the text", "\"ab\"cd\r\n", {"ab=cd"}},
      {"continuations", "a x\r\n >y\r\n\r\n   >\r\n >z\r\nb w", {"a=x\ny\n\nz", "b=w"}},
      {"name alone never takes the next line",
       "a.txt\r\nb.txt desc\r\n",
       {"[kept]a.txt", "b.txt=desc"}},
      {"'>' lines stay with a kept line",
       "lone\r\n >more\r\nb two",
       {"[kept]lone", "[kept] >more", "b=two"}},
      {"unclosed quote", "\"a b\r\nc d\r\n", {"[kept]\"a b", "c=d"}},
      {"empty quoted name", "\"\" text\r\n", {"[kept]\"\" text"}},
      {"name at the end", "x desc\r\n  last", {"x=desc", "[kept]  last"}},
      {"CR only", "a one\rb two\r", {"a=one", "b=two"}},
      {"LF only", "a one\nb two\n", {"a=one", "b=two"}},
      {"no final line end", "a one", {"a=one"}},
      {"leading '>' name", ">x y\r\n", {">x=y"}},
      {"unwritable name kept", ">a\"b y\r\n", {"[kept]>a\"b y"}},
      {"high bytes", "\x80\xfe \xff\x81\r\n", {"\x80\xfe=\xff\x81"}},
  };
  int refused = 1;
  Parsed(std::string("a one\r\nb t\0wo\r\n", 15), &refused);
  EXPECT_EQ(refused, 0) << "a 0 byte would cut the rest off";

  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.label);
    int ok = 0;
    Table table = Parsed(c.text, &ok);
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(Entries(table.get()), c.entries);
    std::string image = Image(table.get());
    Table again = Parsed(image);
    EXPECT_EQ(Entries(again.get()), c.entries) << image;
    EXPECT_EQ(Image(again.get()), image);
  }
}

TEST(DescriptionFormat, WritesTabsQuotesOnlyWhereNeededAndContinuationLines) {
  Table table = Parsed("\"plain\"   one\r\n\"two words\" two\r\nm x\r\n>y\r\n  >\r\n");
  EXPECT_EQ(Image(table.get()), "plain\tone\r\n\"two words\"\ttwo\r\nm\tx\r\n >y\r\n >\r\n");
}

// Names match by the file system's rule: case is ignored on Windows, and on
// Linux A.TXT and a.txt are two files with a description each.
TEST(DescriptionTable, TakesTheFirstMatchByTheFileSystemsRuleAndSetMovesTheNameToTheEnd) {
  Table table = Parsed("A.TXT first\r\nb second\r\na.txt shadow\r\n");
#ifdef _WIN32
  EXPECT_STREQ(TakeDescription(table.get(), "a.txt", 0), "first");
  EXPECT_GT(SetDescription(table.get(), "a.txt", "new"), 0);
  EXPECT_EQ(Entries(table.get()),
            (std::vector<std::string>{"b=second", "a.txt=shadow", "a.txt=new"}));
#else
  EXPECT_STREQ(TakeDescription(table.get(), "a.txt", 0), "shadow");
  EXPECT_GT(SetDescription(table.get(), "a.txt", "new"), 0);
  EXPECT_EQ(Entries(table.get()),
            (std::vector<std::string>{"A.TXT=first", "b=second", "a.txt=new"}));
#endif
  EXPECT_EQ(TakeDescription(table.get(), "", 0), nullptr);
  EXPECT_EQ(SetDescription(table.get(), "b", ""), 0) << "no text leaves the entry alone";
  EXPECT_EQ(SetDescription(table.get(), "b", nullptr), 0);
  EXPECT_EQ(SetDescription(table.get(), "x\ny", "t"), 0) << "a file cannot hold the name";
  EXPECT_EQ(SetDescription(table.get(), "a \"b", "t"), 0);
  EXPECT_STREQ(TakeDescription(table.get(), "b", 1), "second");
  EXPECT_EQ(TakeDescription(table.get(), "b", 0), nullptr) << "a removed entry never matches";
}

TEST(DescriptionTable, NamesLongerThanAPathBufferAreHeldWhole) {
  std::string name(700, 'n');
  Table table = Parsed(name + " long\r\n");
  EXPECT_STREQ(TakeDescription(table.get(), name.c_str(), 0), "long");
  std::string other(600, 'q');
  EXPECT_GT(SetDescription(table.get(), other.c_str(), "too"), 0);
  Table again = Parsed(Image(table.get()));
  EXPECT_EQ(Entries(again.get()), (std::vector<std::string>{name + "=long", other + "=too"}));
}

class DescriptionGrowth : public PlatformTest {};

TEST_F(DescriptionGrowth, AFailedGrowthLeavesTheTableAsItWas) {
  Table table(NewDescriptions(), FreeDescriptions);
  for (int i = 0; i < 100; ++i)
    ASSERT_EQ(AddDescription(table.get(), ("n" + std::to_string(i)).c_str(), "t"), i + 1);
  std::vector<std::string> before = Entries(table.get());
  const struct {
    const char* label;
    int callNumber;  // the slot arrays grow first, then the pool
  } faults[] = {{"first slot array", 1}, {"second slot array", 2}};
  for (const auto& f : faults) {
    SCOPED_TRACE(f.label);
    pt::ResetFaults();
    pt::ArmFault("HeapReAlloc", "*", f.callNumber, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(SetDescription(table.get(), "n0", "replaced"), 0);
    EXPECT_EQ(Entries(table.get()), before);
    EXPECT_EQ(table->capacity, 100);
  }
  pt::ResetFaults();
  std::string big(5000, 'b');
  pt::ArmFault("HeapReAlloc", "*", 3, ERROR_NOT_ENOUGH_MEMORY);  // the pool, after both arrays
  EXPECT_EQ(AddDescription(table.get(), "big", big.c_str()), 0);
  EXPECT_EQ(Entries(table.get()), before);
  pt::ResetFaults();
  EXPECT_EQ(AddDescription(table.get(), "big", big.c_str()), 101);
  EXPECT_EQ(table->poolCapacity % 4096, 0);
  EXPECT_GE(table->poolCapacity, table->poolUsed);
}

// ---- Files and the pass after a run ---------------------------------------

class DescriptionFiles : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    LoadSettings();  // "Descript.ion", then "Files.bbs"
    Settings.HideDescs = 0;
    RunOptions = RunOptionsRecord{};
    RunOptions.CompressionMode = RunOptions.EncryptionMode = ModeLeave;
    RunBox = RunBoxRecord{};  // the pass restores only a corner: its status box stays to be read
    ASSERT_TRUE(CreateFileList());
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
  }
  void TearDown() override {
    FreeFileList();
    RunOptions = RunOptionsRecord{};
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ignored))
      platform::SetFileAttributesA(WindowsPath(entry.path()).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(host->unexpectedCalls, 0);
    CoreTest::TearDown();
  }

  std::string W(const std::string& relative) const { return WindowsPath(dir / relative); }
  void Write(const std::string& relative, const std::string& text) const {
    WriteFile(dir / relative, text);
  }
  std::string Read(const std::string& relative) const { return ReadFile(dir / relative); }
  bool Exists(const std::string& relative) const { return fs::exists(dir / relative); }
  DWORD Attributes(const std::string& relative) const {
    return platform::GetFileAttributesA(W(relative).c_str());
  }

  // One finished pair, as the engine leaves it.
  void Pair(const std::string& source, const std::string& destination, DWORD state = EntryDone,
            DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
    ASSERT_TRUE(AddListEntry(W(source).c_str(), false, 0, 0, 0, nullptr, nullptr, nullptr));
    ASSERT_TRUE(
        AddListEntry(W(destination).c_str(), true, attributes, 0, 0, nullptr, nullptr, nullptr));
    RecordOf(PairCount() - 1)->state = state;
  }
  static constexpr DWORD kMoved = EntryDone | EntrySourceRemoved;
};

TEST_F(DescriptionFiles, CopyCreatesAHiddenFileInTheDestinationAndLeavesTheSourceAlone) {
  Settings.HideDescs = 1;
  const std::string source = "b.txt other\r\n\"a.txt\" the text\r\n";
  Write("src/Descript.ion", source);
  Pair("src/a.txt", "dst/a.txt");
  UpdateDescriptions(0);
  EXPECT_EQ(Read("dst/Descript.ion"), "a.txt\tthe text\r\n");
  EXPECT_NE(Attributes("dst/Descript.ion") & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Read("src/Descript.ion"), source);
  std::string screen(81, 0);
  bool shown = false;
  for (int y = 0; y < pt::ConsoleHeight(); ++y) {
    pt::ConsoleReadRow(y, screen.data(), 81);
    shown = shown || std::strstr(screen.c_str(), Msg(MsgStatusDescriptions)) != nullptr;
  }
  EXPECT_TRUE(shown) << "the pass's status box";
}

TEST_F(DescriptionFiles, MoveTakesTheLineOutAndDeletesAFileLeftWithoutEntries) {
  Write("src/Descript.ion", "a.txt A\r\nb.txt B\r\n");
  Pair("src/a.txt", "dst/a.txt", kMoved);
  UpdateDescriptions(1);
  EXPECT_EQ(Read("src/Descript.ion"), "b.txt\tB\r\n");

  FreeFileList();
  ASSERT_TRUE(CreateFileList());
  Pair("src/b.txt", "dst/b.txt", kMoved);
  UpdateDescriptions(1);
  EXPECT_FALSE(Exists("src/Descript.ion"));
  EXPECT_EQ(Read("dst/Descript.ion"), "a.txt\tA\r\nb.txt\tB\r\n");
}

TEST_F(DescriptionFiles, MoveKeepsLinesTheReaderCouldNotTake) {
  Write("src/Descript.ion", "a.txt A\r\n\"never closed\r\n");
  Pair("src/a.txt", "dst/a.txt", kMoved);
  UpdateDescriptions(1);
  EXPECT_EQ(Read("src/Descript.ion"), "\"never closed\r\n");
}

TEST_F(DescriptionFiles, UpdatesTheDestinationsFilesBbsAndKeepsItsOtherEntries) {
  Write("src/Descript.ion", "a.txt new one\r\n");
  Write("dst/Files.bbs",
        "z.txt   last\r\n\"c d.txt\" spaced\r\n >more\r\na.txt old\r\nk.txt kept\r\n");
  Pair("src/a.txt", "dst/a.txt");
  UpdateDescriptions(0);
  EXPECT_FALSE(Exists("dst/Descript.ion"));
  EXPECT_EQ(Read("dst/Files.bbs"),
            "z.txt\tlast\r\n\"c d.txt\"\tspaced\r\n >more\r\nk.txt\tkept\r\na.txt\tnew one\r\n");
}

TEST_F(DescriptionFiles, WithoutASourceDescriptionTheDestinationsStays) {
  Write("src/Descript.ion", "other.txt x\r\n");
  Write("dst/Descript.ion", "a.txt keep me\r\n");
  Pair("src/a.txt", "dst/a.txt", kMoved);
  UpdateDescriptions(1);
  EXPECT_EQ(Read("dst/Descript.ion"), "a.txt\tkeep me\r\n");
  EXPECT_EQ(Read("src/Descript.ion"), "other.txt\tx\r\n");
}

TEST_F(DescriptionFiles, ANewNameInTheSameFolderKeepsBothOnCopyAndOnlyTheNewOnMove) {
  Write("src/Descript.ion", "a.txt A\r\nz.txt Z\r\n");
  Pair("src/a.txt", "src/b b.txt");
  UpdateDescriptions(0);
  EXPECT_EQ(Read("src/Descript.ion"), "a.txt\tA\r\nz.txt\tZ\r\n\"b b.txt\"\tA\r\n");

  FreeFileList();
  ASSERT_TRUE(CreateFileList());
  Pair("src/a.txt", "src/c.txt", kMoved);
  UpdateDescriptions(1);
  EXPECT_EQ(Read("src/Descript.ion"), "z.txt\tZ\r\n\"b b.txt\"\tA\r\nc.txt\tA\r\n");
}

TEST_F(DescriptionFiles, OnlyFinishedPairsAndFoldersTakePart) {
  Write("src/Descript.ion", "a A\r\nb B\r\nd D\r\nn N\r\n");
  Pair("src/a", "dst/a", EntryFailed);
  Pair("src/b", "dst/b", EntrySkip);
  Pair("src/d", "dst/d", 0, FILE_ATTRIBUTE_DIRECTORY);
  Pair("src/n", "dst/n", EntryDone | EntryNoDescription);
  UpdateDescriptions(0);
  EXPECT_EQ(Read("dst/Descript.ion"), "d\tD\r\n");
}

// A destination file the pass cannot rewrite keeps what it had, even when
// the write fails half-way, and a move then keeps the source's line rather
// than lose the text.
TEST_F(DescriptionFiles, AnUnwritableDestinationLosesNothing) {
  const struct {
    const char* label;
    DWORD attributes;
    bool refused;  // the new file's write is made to fail
  } cases[] = {{"read-only", FILE_ATTRIBUTE_READONLY, false},
               {"hidden with HideDescs off", FILE_ATTRIBUTE_HIDDEN, false},
               {"the write fails", FILE_ATTRIBUTE_NORMAL, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
#ifdef _WIN32
    // Windows refuses both; Wine, run as root, replaces them.
    if (!c.refused) continue;
#endif
    Write("src/Descript.ion", "a.txt A\r\n");
    Write("dst/Descript.ion", "x.txt X\r\n");
    ASSERT_TRUE(platform::SetFileAttributesA(W("dst/Descript.ion").c_str(), c.attributes));
    pt::ResetFaults();
    if (c.refused) pt::ArmFault("WriteFile", "*dst?*", 1, ERROR_DISK_FULL);
    FreeFileList();
    ASSERT_TRUE(CreateFileList());
    Pair("src/a.txt", "dst/a.txt", kMoved);
    UpdateDescriptions(1);
    EXPECT_EQ(pt::FaultsFired(), c.refused ? 1 : 0);
    EXPECT_EQ(Read("dst/Descript.ion"), "x.txt X\r\n");
    EXPECT_EQ(Read("src/Descript.ion"), "a.txt A\r\n");
    platform::SetFileAttributesA(W("dst/Descript.ion").c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(DescriptionFiles, AFileThatCannotBeReadIsNeverRewritten) {
  Write("src/Descript.ion", "a.txt A\r\n");
  Write("dst/Descript.ion", "x.txt X\r\n");
  pt::ArmFault("ReadFile", "*dst?Descript.ion", 1, ERROR_READ_FAULT);
  Pair("src/a.txt", "dst/a.txt", kMoved);
  UpdateDescriptions(1);
  EXPECT_EQ(pt::FaultsFired(), 1);
  EXPECT_EQ(Read("dst/Descript.ion"), "x.txt X\r\n");
  EXPECT_EQ(Read("src/Descript.ion"), "a.txt A\r\n") << "the source file stays as it was";
}

TEST_F(DescriptionFiles, ThousandsOfEntriesAndAHugeLineComeBackUnchanged) {
  std::string text;
  for (int i = 0; i < 5000; ++i)
    text += "file" + std::to_string(i) + ".txt\tnumber " + std::to_string(i) + "\r\n";
  text += std::string(1 << 20, 'h') + "\r\n";  // one name alone: kept
  Write("dst/Descript.ion", text);
  Table table(ReadDescriptions(W("dst").c_str()), FreeDescriptions);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->count, 5001);
  EXPECT_STREQ(TakeDescription(table.get(), "file4999.txt", 0), "number 4999");
  ASSERT_EQ(WriteDescriptions(table.get(), W("dst").c_str()), 1);
  EXPECT_TRUE(Read("dst/Descript.ion") == text);
}

TEST_F(DescriptionFiles, OnlyANewFileTakesTheRunsCompression) {
  RunOptions.CompressionMode = ModeOn;
  host->messageAnswers = {0, 0};  // a volume that cannot compress says so
  Table table = Parsed("a.txt A\r\n");
  ASSERT_EQ(WriteDescriptions(table.get(), W("dst").c_str()), 1);
  EXPECT_EQ(pt::CallCount("DeviceIoControl"), 1);
  WriteDescriptions(table.get(), W("dst").c_str());
  EXPECT_EQ(pt::CallCount("DeviceIoControl"), 1);
  EXPECT_EQ(Read("dst/Descript.ion"), "a.txt\tA\r\n");
}

TEST_F(DescriptionFiles, ClearsAFolderHoldingOnlyDescriptionFiles) {
  fs::create_directories(dir / "src/only");
  fs::create_directories(dir / "src/more");
  Write("src/only/Descript.ion", "x X\r\n");
  Write("src/only/Files.bbs", "y Y\r\n");
  platform::SetFileAttributesA(W("src/only/Descript.ion").c_str(), FILE_ATTRIBUTE_HIDDEN);
  Write("src/more/Descript.ion", "x X\r\n");
  Write("src/more/x", "data");
  ClearDescriptionOnlyDirectory(W("src/only").c_str());
  ClearDescriptionOnlyDirectory(W("src/more").c_str());
  EXPECT_FALSE(Exists("src/only"));
  EXPECT_EQ(Read("src/more/Descript.ion"), "x X\r\n");
  EXPECT_EQ(Read("src/more/x"), "data");
}

}  // namespace
