#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "common/run_state.h"
#include "core_fixture.h"
#include "engine/boxes.h"
#include "engine/progress.h"
#include "platform/testing.h"
#include "scan/file_list.h"
#include "settings/settings.h"

namespace {

namespace pt = platform::testing;

// Some day in 2024, in microseconds since 1601.
constexpr uint64_t kStart = 13350000000ULL * 1000000ULL;

class ProgressTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    RunBox = {10, 6, 69, 18};  // 60 x 13 centred on 80 x 25
    ScreenLock = nullptr;
    IsMove = 0;
    Settings.IsNT = 1;
    TotalBytes = 0;
    At(kStart);
    ResetProgress();
    LastRedraw = 0;
  }
  void TearDown() override {
    pt::ResetSystemTime();
    ScreenLock = nullptr;
    TotalBytes = 0;
    CoreTest::TearDown();
  }
  void At(uint64_t microseconds) { pt::SetSystemTime(microseconds * 10); }
  // Columns left + 5 .. left + 54 of a box row: the text lines.
  std::string Line(int row) { return Cells(row, RunBox.left + 5, RunBox.left + 54); }
  std::string Cells(int row, int x1, int x2) {
    char text[512];
    pt::ConsoleReadRow(RunBox.top + row, text, sizeof text);
    return std::string(text).substr(x1, x2 - x1 + 1);
  }
  static std::string Padded(std::string text) { return text.append(50 - text.size(), ' '); }
  std::string Title() {
    char title[512];
    pt::ConsoleTitle(title, sizeof title);
    return title;
  }
};

TEST_F(ProgressTest, TransferLinesShowCountsPercentSpeedAndBar) {
  struct Case {
    const char* what;
    uint64_t done, total, microseconds;
    const char* counts;
    int filled;
    const char* speed;
  } const cases[] = {
      {"nothing to copy", 0, 0, 0, "0 of 0 KB [0%]", 0, "0 KB/s"},
      {"entry grew while copied", 5000, 4096, 1000000, "4 of 4 KB [100%]", 50, "4 KB/s"},
      {"part kilobytes truncate", 1023, 2048, 1000000, "0 of 2 KB [49%]", 24, "0 KB/s"},
      {"half way", 2097152, 4194304, 1000000, "2,048 of 4,096 KB [50%]", 25, "2,048 KB/s"},
      {"no time measured yet", 4096, 8192, 0, "4 of 8 KB [50%]", 25, "0 KB/s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DrawTransferLines("Reading: ", 2, "C:\\a.txt", c.done, c.total, c.microseconds);
    std::string speed = c.speed;
    int speedStart = RunBox.right - 5 - static_cast<int>(speed.size());
    std::string counts = Line(2);
    EXPECT_EQ(counts.substr(0, std::string(c.counts).size()), c.counts);
    EXPECT_EQ(Cells(2, speedStart - 1, RunBox.right - 5), " " + speed + " ");
    EXPECT_EQ(Line(3), std::string(c.filled, '\xDB') + std::string(50 - c.filled, '\xB0'));
    EXPECT_EQ(Line(4), Padded("Reading: C:\\a.txt"));
  }
}

TEST_F(ProgressTest, LongNamesShowTheirEndLedByDots) {
  std::string tail(38, 'z');
  std::string longName = "C:\\" + std::string(60, 'a') + tail;
  DrawTransferLines("Writing: ", 6, longName.c_str(), 0, 0, 0);
  EXPECT_EQ(Line(8), "Writing: ..." + tail);

  // Beyond the 512-byte name line only the end is kept, and that is what shows.
  std::string huge = "C:\\" + std::string(700, 'b') + tail;
  ShowReadProgress(huge.c_str(), 0);
  EXPECT_EQ(Line(4), "Reading: ..." + tail);
}

TEST_F(ProgressTest, TimeLineAndTitle) {
  struct Case {
    const char* what;
    int move;
    uint64_t seconds, total, read, written;
    const char* line;
    const char* title;
  } const cases[] = {
      {"nothing moved yet", 0, 4503, 0, 0, 0, "Total: 00:00  Elapsed: 75:03  Left: 00:00  ",
       "{0% 00:00} Copying - FAR"},
      {"only read so far", 1, 10, 4096, 4096, 0, "Total: 00:00  Elapsed: 00:10  Left: 00:00  ",
       "{50% 00:00} Moving - FAR"},
      // 4503 s for 1.5 of 2 units of work: 6004 s in all.
      {"both sides moving", 0, 4503, 4096, 4096, 2048,
       "Total: 100:04  Elapsed: 75:03  Left: 25:01  ", "{75% 25:01} Copying - FAR"},
      {"counts above the total", 0, 60, 100, 300, 300,
       "Total: 00:20  Elapsed: 01:00  Left: 00:00  ", "{100% 00:00} Copying - FAR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    IsMove = c.move;
    TotalBytes = c.total;
    TotalRead = c.read;
    TotalWritten = c.written;
    At(kStart + c.seconds * 1000000 + 999999);  // part seconds do not count
    DrawTimeLine();
    EXPECT_EQ(Line(10), Padded(c.line));
    EXPECT_EQ(Title(), c.title);
  }
  // A clock set back shows no negative time.
  At(kStart - 5000000);
  DrawTimeLine();
  EXPECT_EQ(Cells(10, RunBox.left + 5, RunBox.left + 34), "Total: 00:00  Elapsed: 00:00  ");
}

#ifdef _WIN32
TEST_F(ProgressTest, TitleIsConvertedToAnsiOnlyOutsideNt) {
  const char* saved = MessageTable[MsgProgressCopy];
  MessageTable[MsgProgressCopy] = "\x8E";  // A with diaeresis in the OEM code page
  DrawTimeLine();
  EXPECT_EQ(Title(), "{0% 00:00} \x8E - FAR");
  Settings.IsNT = 0;
  DrawTimeLine();
  EXPECT_EQ(Title(), "{0% 00:00} \xC4 - FAR");
  MessageTable[MsgProgressCopy] = saved;
}
#endif

TEST_F(ProgressTest, RedrawsEveryTenthOfASecondAndAfterATwentiethForANewName) {
  TotalBytes = 10240;
  ShowReadProgress("a", 0);  // a run's first name shows at once
  EXPECT_EQ(Line(2).substr(0, 15), "0 of 10 KB [0%]");
  EXPECT_EQ(Line(4), Padded("Reading: a"));

  At(kStart + 100000);
  ShowReadProgress(nullptr, 2048);
  EXPECT_EQ(Line(2).substr(0, 15), "0 of 10 KB [0%]");

  // Either side's call redraws both blocks once the interval has passed.
  At(kStart + 100001);
  ShowWriteProgress(nullptr, 1024);
  EXPECT_EQ(Line(2).substr(0, 16), "2 of 10 KB [20%]");
  EXPECT_EQ(Line(6).substr(0, 16), "1 of 10 KB [10%]");
  ShowWriteProgress(nullptr, 1024);
  EXPECT_EQ(Line(6).substr(0, 16), "1 of 10 KB [10%]");

  // Thousands of small files would redraw for every name: a name waits for
  // a twentieth of a second after the last redraw, and no longer.
  ShowWriteProgress("b", 0);
  EXPECT_EQ(Line(8), Padded("Writing: "));
  At(kStart + 150001);
  ShowReadProgress(nullptr, 0);
  EXPECT_EQ(Line(8), Padded("Writing: "));
  At(kStart + 150002);
  ShowReadProgress(nullptr, 0);
  EXPECT_EQ(Line(6).substr(0, 16), "2 of 10 KB [20%]");
  EXPECT_EQ(Line(8), Padded("Writing: b"));

  // The end of a run shows its totals whenever it comes.
  ShowWriteProgress(nullptr, 8192);
  EXPECT_EQ(Line(6).substr(0, 16), "2 of 10 KB [20%]");
  RedrawProgress();
  EXPECT_EQ(Line(6).substr(0, 17), "10 of 10 KB [100%");
  EXPECT_EQ(TotalRead.load(), 2048u);
  EXPECT_EQ(TotalWritten.load(), 10240u);
}

TEST_F(ProgressTest, NoRedrawWhileTheScreenIsTaken) {
  HANDLE lock = platform::CreateEventA(nullptr, FALSE, FALSE, nullptr);  // taken
  ASSERT_NE(lock, nullptr);
  ScreenLock = lock;
  ShowReadProgress("a", 1024);
  EXPECT_EQ(Line(4), std::string(50, ' '));
  EXPECT_EQ(TotalRead.load(), 1024u);

  platform::SetEvent(lock);
  ShowReadProgress(nullptr, 0);  // the skipped redraw is still due
  EXPECT_EQ(Line(4), Padded("Reading: a"));
  EXPECT_EQ(platform::WaitForSingleObject(lock, 0), WAIT_OBJECT_0) << "lock not given back";
  platform::CloseHandle(lock);
}

TEST_F(ProgressTest, BoxUsesTheDefaultColoursUnderAnOldHost) {
  BoxFrameColor = 0x7F;
  BoxTitleColor = 0x70;
  BoxTextColor = 0x70;
  BoxHighlightColor = 0x71;
  host->record.RecordSize = OldHostRecordSize;
  SetStartupInfo(&host->record);
  FetchColours();

  DrawProgressBox("Copying");
  std::string separator = "   \xC7" + std::string(52, '\xC4') + "\xB6   ";
  for (int row : {5, 9}) {
    EXPECT_EQ(Cells(row, RunBox.left, RunBox.right), separator) << row;
    EXPECT_EQ(pt::ConsoleCell(RunBox.left + 3, RunBox.top + row).Attributes, 0x7F) << row;
  }
  EXPECT_EQ(Cells(1, 36, 44), " Copying ");
  EXPECT_EQ(pt::ConsoleCell(37, RunBox.top + 1).Attributes, 0x70);

  ShowReadProgress("a", 0);
  int x = RunBox.left + 5;
  EXPECT_EQ(pt::ConsoleCell(x, RunBox.top + 4).Attributes, 0x71);      // label
  EXPECT_EQ(pt::ConsoleCell(x + 9, RunBox.top + 4).Attributes, 0x70);  // name
  EXPECT_EQ(pt::ConsoleCell(x, RunBox.top + 3).Attributes, 0x70);      // bar
  EXPECT_EQ(pt::ConsoleCell(x, RunBox.top + 10).Attributes, 0x71);     // time label
  EXPECT_EQ(pt::ConsoleCell(x + 7, RunBox.top + 10).Attributes, 0x70);
}

// Reader and writer report at once, as in a parallel run: no count is lost.
TEST_F(ProgressTest, BothSidesCountWithoutLosingBytes) {
  HANDLE lock = platform::CreateEventA(nullptr, FALSE, TRUE, nullptr);
  ASSERT_NE(lock, nullptr);
  ScreenLock = lock;
  pt::ResetSystemTime();  // the real clock, so redraws happen on the way
  TotalBytes = 2 * 20000 * 100;
  std::thread writer([] {
    for (int i = 0; i < 20000; ++i) ShowWriteProgress(i % 1000 ? nullptr : "w", 100);
  });
  for (int i = 0; i < 20000; ++i) ShowReadProgress(i % 1000 ? nullptr : "r", 100);
  writer.join();
  EXPECT_EQ(TotalRead.load(), 2000000u);
  EXPECT_EQ(TotalWritten.load(), 2000000u);
  EXPECT_EQ(platform::WaitForSingleObject(lock, 0), WAIT_OBJECT_0);
  platform::CloseHandle(lock);
}

}  // namespace
