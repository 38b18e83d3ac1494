// The copy engine on real files, serial and with a writer thread: contents
// across buffer boundaries, overwrite modes, moves, faults and Esc.
#include "engine/copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "support/files.h"
#include "engine/progress.h"
#include "platform/testing.h"
#include "run/run_state.h"
#include "scan/scan.h"
#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

// With BufKb = 64 a serial run's buffer holds two blocks of 64 KiB; a
// parallel run's two buffers hold one each.
constexpr uint64_t kBuffer = 131072;

std::string Bytes(uint64_t size, unsigned seed = 1) {
  std::string data(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return data;
}

INPUT_RECORD EscKey() {
  INPUT_RECORD key{};
  key.EventType = KEY_EVENT;
  key.Event.KeyEvent.bKeyDown = TRUE;
  key.Event.KeyEvent.wRepeatCount = 1;
  key.Event.KeyEvent.wVirtualKeyCode = VK_ESCAPE;
  return key;
}

class CopyTest : public CoreTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    LoadSettings();
    Settings.BufInKb = 1;
    Settings.BufKb = 64;
    Settings.ConfirmBreak = 0;
    RunOptions = RunOptionsRecord{};
    RunOptions.Parallel = GetParam();
    RunOptions.CompressionMode = RunOptions.EncryptionMode = ModeLeave;
    IsMove = 0;
    ASSERT_TRUE(CreateFileList());
    TotalBytes = 0;
    ScreenLock = platform::CreateEventA(nullptr, FALSE, TRUE, nullptr);
    platform::InitializeCriticalSection(&ListLock);
  }
  void TearDown() override {
    host->onMessage = nullptr;
    host->onText = nullptr;
    FreeFileList();
    platform::DeleteCriticalSection(&ListLock);
    platform::CloseHandle(ScreenLock);
    ScreenLock = nullptr;
    RunOptions = RunOptionsRecord{};
    IsMove = 0;
    EXPECT_EQ(host->unexpectedCalls, 0);
    CoreTest::TearDown();
  }

  fs::path Src(const std::string& name) const { return dir / "src" / name; }
  fs::path Dst(const std::string& name) const { return dir / "dst" / name; }

  // A pair of the list as the scan makes it, from the source's own data.
  void AddPair(const std::string& name) {
    fs::create_directories(dir / "dst");
    WIN32_FIND_DATAA data{};
    HANDLE find = platform::FindFirstFileA(WindowsPath(Src(name)).c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << name;
    platform::FindClose(find);
    ASSERT_TRUE(AddListEntry(WindowsPath(Src(name)).c_str(), false, 0, 0, 0, nullptr, nullptr, nullptr));
    ASSERT_TRUE(AddListEntry(WindowsPath(Dst(name)).c_str(), true,
                             data.dwFileAttributes | FILE_ATTRIBUTE_COMPRESSED |
                                 FILE_ATTRIBUTE_ENCRYPTED,
                             data.nFileSizeLow, data.nFileSizeHigh, &data.ftCreationTime,
                             &data.ftLastAccessTime, &data.ftLastWriteTime));
    TotalBytes += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  std::string AddFile(const std::string& name, uint64_t size, unsigned seed = 1) {
    std::string data = Bytes(size, seed);
    WriteFile(Src(name), data);
    AddPair(name);
    return data;
  }

  void Run() {
    ResetProgress();
    BreakRequested = 0;
    LastDoneIndex = -1;
    RunCopy(static_cast<int>(PairCount()), List.offsets, List.names, IsMove);
  }
  // A fresh list and fresh trees, for cases run one after another.
  void Restart() {
    fs::remove_all(dir / "src");
    fs::remove_all(dir / "dst");
    FreeFileList();
    ASSERT_TRUE(CreateFileList());
    TotalBytes = 0;
    pt::ResetFaults();
    host->messageCalls.clear();
    host->dialogCalls.clear();
  }
  static uint64_t LastWrite(const fs::path& path) {
    WIN32_FIND_DATAA data{};
    HANDLE find = platform::FindFirstFileA(WindowsPath(path).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    platform::FindClose(find);
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
  }
  uint32_t State(DWORD pair) const { return RecordOf(pair)->state; }
  bool Showed(int message) const {
    for (const auto& call : host->messageCalls)
      for (const auto& line : call.lines)
        if (line == host->messages[message]) return true;
    return false;
  }
};

INSTANTIATE_TEST_SUITE_P(SerialAndParallel, CopyTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Parallel" : "Serial"; });

TEST_P(CopyTest, CopiesEverySizeAcrossBufferBoundariesByteForByte) {
  const uint64_t sizes[] = {0,           1,           65535,       65536,      65537,
                            kBuffer - 1, kBuffer,     kBuffer + 1, 3 * kBuffer - 1,
                            3 * kBuffer, 3 * kBuffer + 1, kBuffer - 65536 + 10};
  std::vector<std::string> data;
  uint64_t total = 0;
  for (size_t i = 0; i < std::size(sizes); ++i) {
    data.push_back(AddFile("f" + std::to_string(i), sizes[i], static_cast<unsigned>(i + 1)));
    total += sizes[i];
  }
  Run();
  EXPECT_EQ(BreakRequested, 0);
  EXPECT_EQ(LastDoneIndex, static_cast<int>(std::size(sizes)) - 1);
  for (size_t i = 0; i < std::size(sizes); ++i) {
    std::string name = "f" + std::to_string(i);
    EXPECT_EQ(ReadFile(Dst(name)), data[i]) << name << " of " << sizes[i] << " bytes";
    EXPECT_EQ(State(static_cast<DWORD>(i)), EntryDone) << name;
    uint64_t written = RecordOf(static_cast<DWORD>(i))->bytesWritten;  // packed: read by value
    EXPECT_EQ(written, sizes[i]) << name;
    EXPECT_EQ(LastWrite(Dst(name)), LastWrite(Src(name))) << name;
  }
  EXPECT_EQ(TotalRead, total);
  EXPECT_EQ(TotalWritten, total);
  EXPECT_EQ(TotalBytes, total);
  EXPECT_TRUE(host->messageCalls.empty());
}

TEST_P(CopyTest, MoveRemovesEachSourceOnceItsTargetIsWhole) {
  IsMove = 1;
  std::string a = AddFile("a", 3 * kBuffer + 7), b = AddFile("b", 0);
  Run();
  EXPECT_EQ(ReadFile(Dst("a")), a);
  EXPECT_TRUE(fs::exists(Dst("b")));
  EXPECT_FALSE(fs::exists(Src("a")));
  EXPECT_FALSE(fs::exists(Src("b")));
  EXPECT_EQ(State(0), EntryDone | EntrySourceRemoved);
  EXPECT_EQ(State(1), EntryDone | EntrySourceRemoved);
}

TEST_P(CopyTest, ASourceThatChangedSizeIsCopiedButNotRemoved) {
  IsMove = 1;
  AddFile("grew", 1000);
  AddFile("shrank", 2 * kBuffer);
  WriteFile(Src("grew"), Bytes(70000, 9));  // after the scan took its size
  WriteFile(Src("shrank"), Bytes(10, 9));
  Run();
  EXPECT_EQ(ReadFile(Dst("grew")), Bytes(70000, 9));
  EXPECT_EQ(ReadFile(Dst("shrank")), Bytes(10, 9));
  EXPECT_TRUE(fs::exists(Src("grew")));
  EXPECT_TRUE(fs::exists(Src("shrank")));
  EXPECT_EQ(State(0), EntryDone);
  EXPECT_EQ(State(1), EntryDone);
}

TEST_P(CopyTest, AppendAddsToTheTargetAndAMoveChecksTheGrownSize) {
  const struct {
    int overwriteMode;
    int dialogAnswer;  // the overwrite dialog's button, when it is asked
    bool sourceRemoved;
  } cases[] = {
      {OverwriteAppend, 0, true},
      // Append answered for this file alone: compared with the plain size.
      {OverwriteAsk, 13, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.overwriteMode);
    Restart();
    IsMove = 1;
    RunOptions.OverwriteMode = c.overwriteMode;
    std::string data = AddFile("a", kBuffer + 5);
    WriteFile(Dst("a"), "old:");
    if (c.dialogAnswer) host->dialogAnswers.push_back({c.dialogAnswer, nullptr});
    Run();
    EXPECT_EQ(ReadFile(Dst("a")), "old:" + data);
    EXPECT_EQ(fs::exists(Src("a")), !c.sourceRemoved);
    EXPECT_EQ(host->dialogCalls.size(), c.dialogAnswer ? 1u : 0u);
  }
}

TEST_P(CopyTest, AFileLargerThanTheBufferIsAskedAboutOnce) {
  std::string data = AddFile("big", 3 * kBuffer + 100);
  WriteFile(Dst("big"), "old");
  host->dialogAnswers.push_back({11, nullptr});  // overwrite
  Run();
  EXPECT_EQ(host->dialogCalls.size(), 1u);
  EXPECT_EQ(ReadFile(Dst("big")), data);
}

TEST_P(CopyTest, SkipAnsweredWhileTheReaderIsAheadLeavesTheTargetAndCountsOnce) {
  std::string keep = AddFile("keep", 1000);
  AddFile("big", 4 * kBuffer);
  WriteFile(Dst("big"), "old");
  host->dialogAnswers.push_back({12, nullptr});  // skip
  Run();
  EXPECT_EQ(ReadFile(Dst("big")), "old");
  EXPECT_EQ(ReadFile(Dst("keep")), keep);
  EXPECT_TRUE(State(1) & EntrySkip);
  EXPECT_TRUE(State(1) & EntryTotalsAdjusted);
  EXPECT_EQ(TotalBytes, 1000u);
  EXPECT_EQ(TotalRead, 1000u);
  EXPECT_EQ(TotalWritten, 1000u);
}

// ---- Faults ----------------------------------------------------------------

TEST_P(CopyTest, ASourceThatCannotBeOpenedIsReportedAndLeftAlone) {
  AddFile("gone", 10);
  std::string other = AddFile("other", 10, 2);
  fs::remove(Src("gone"));
  host->messageAnswers.push_back(0);
  Run();
  EXPECT_TRUE(Showed(42));
  EXPECT_EQ(State(0), 0u);
  EXPECT_FALSE(fs::exists(Dst("gone")));
  EXPECT_EQ(ReadFile(Dst("other")), other);
}

TEST_P(CopyTest, ReadErrorsRetryOrSkip) {
  for (int answer : {0, 1}) {  // Retry, Skip
    SCOPED_TRACE(answer);
    Restart();
    std::string data = AddFile("a", 2 * kBuffer + 3);
    pt::ArmFault("ReadFile", "*\\src\\a", 3, ERROR_CRC);
    host->messageAnswers.push_back(answer);
    Run();
    EXPECT_EQ(pt::FaultsFired(), 1);
    EXPECT_TRUE(Showed(43));
    if (answer == 0) {
      EXPECT_EQ(ReadFile(Dst("a")), data);
      EXPECT_EQ(State(0), EntryDone);
    } else {
      EXPECT_EQ(State(0) & (EntrySkip | EntryFailed | EntryDone), EntrySkip | EntryFailed);
      EXPECT_EQ(TotalBytes, 0u);
    }
  }
}

TEST_P(CopyTest, ATargetThatCannotBeCreatedFailsOnlyThatFile) {
  AddFile("a", 10);
  std::string b = AddFile("b", 10, 2);
  pt::ArmFault("CreateFileA", "*\\dst\\a", 1, ERROR_ACCESS_DENIED);
  host->messageAnswers.push_back(0);
  Run();
  EXPECT_TRUE(Showed(39));
  // A writer thread may fail the file while the reader still reads it.
  EXPECT_EQ(State(0) & ~EntryReaderPassed, EntrySkip | EntryFailed | EntryTotalsAdjusted);
  EXPECT_EQ(ReadFile(Dst("b")), b);
  EXPECT_EQ(TotalBytes, 10u);
}

TEST_P(CopyTest, WriteFailuresAndShortWritesRetryWithoutLossOrDuplication) {
  const struct {
    const char* what;
    bool shortWrite;
    int answer;  // 0 Retry, 1 Skip
  } cases[] = {
      {"disk full, retry", false, 0},
      {"disk full, skip", false, 1},
      {"short write, retry", true, 0},
      {"short write, skip", true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Restart();
    IsMove = 1;
    std::string data = AddFile("a", 3 * kBuffer + 11);
    if (c.shortWrite)
      pt::ArmShortFault("WriteFile", "*\\dst\\a", 2, 1000);
    else
      pt::ArmFault("WriteFile", "*\\dst\\a", 2, ERROR_DISK_FULL);
    host->messageAnswers.push_back(c.answer);
    Run();
    EXPECT_EQ(pt::FaultsFired(), 1);
    EXPECT_TRUE(Showed(40));
    if (c.answer == 0) {
      EXPECT_EQ(ReadFile(Dst("a")), data);
      EXPECT_FALSE(fs::exists(Src("a")));
    } else {
      EXPECT_FALSE(fs::exists(Dst("a")));  // the partial target goes
      EXPECT_EQ(ReadFile(Src("a")), data);     // and the source stays
      EXPECT_EQ(State(0) & (EntrySkip | EntryFailed | EntryRemoveTarget),
                EntrySkip | EntryFailed | EntryRemoveTarget);
    }
  }
}

// Appending to a file the user had: a write skipped or a break takes back
// only what the run added.
TEST_P(CopyTest, AnAppendTakenBackKeepsTheUsersData) {
  for (bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Esc" : "write error, Skip");
    Restart();
    RunOptions.OverwriteMode = OverwriteAppend;
    AddFile("a", 3 * kBuffer);
    WriteFile(Dst("a"), "old:");
    if (escape) {
      host->onText = [](const char* text) {
        if (std::string(text).find("dst\\a") != std::string::npos) pt::ConsoleFeedInput(EscKey());
      };
    } else {
      pt::ArmFault("WriteFile", "*\\dst\\a", 2, ERROR_DISK_FULL);
      host->messageAnswers.push_back(1);
    }
    Run();
    host->onText = nullptr;
    EXPECT_EQ(BreakRequested, escape ? 1 : 0);
    EXPECT_EQ(ReadFile(Dst("a")), "old:");
  }
}

TEST_P(CopyTest, AMovedSourceThatCannotBeDeletedStaysWithItsTarget) {
  IsMove = 1;
  std::string data = AddFile("a", 100);
  pt::ArmFault("DeleteFileA", "*\\src\\a", 1, ERROR_SHARING_VIOLATION);
  host->messageAnswers.push_back(0);
  Run();
  EXPECT_TRUE(Showed(41));
  EXPECT_EQ(ReadFile(Src("a")), data);
  EXPECT_EQ(ReadFile(Dst("a")), data);
  EXPECT_EQ(State(0), EntryDone);
}

// ---- Esc -------------------------------------------------------------------

TEST_P(CopyTest, EscDeletesOnlyThePartlyWrittenTarget) {
  // "a" ends in the first buffer, "b" and "c" span several. An entry is
  // finished when the buffer holding its end is written.
  const struct {
    const char* what;
    const char* trigger;  // Esc arrives when this name is first drawn
    int lastDone;
  } cases[] = {
      {"while reading b", "src\\b", -1},
      {"while writing b", "dst\\b", 0},
      {"while writing c", "dst\\c", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Restart();
    std::vector<std::string> data = {AddFile("a", 1000), AddFile("b", 5 * kBuffer, 2),
                                     AddFile("c", 5 * kBuffer, 3)};
    bool sent = false;
    std::string trigger = c.trigger;
    host->onText = [&](const char* text) {
      if (!sent && std::string(text).find(trigger) != std::string::npos) {
        pt::ConsoleFeedInput(EscKey());
        sent = true;
      }
    };
    Run();
    host->onText = nullptr;
    ASSERT_TRUE(sent);
    EXPECT_EQ(BreakRequested, 1);
    // With a writer thread the name may first be drawn by the writer, which
    // can then finish the entry before it sees the break: one more is done.
    if (GetParam()) {
      EXPECT_GE(LastDoneIndex, c.lastDone);
      EXPECT_LE(LastDoneIndex, c.lastDone + 1);
    } else {
      EXPECT_EQ(LastDoneIndex, c.lastDone);
    }
    for (int i = 0; i < 3; ++i) {
      std::string name(1, static_cast<char>('a' + i));
      if (i <= LastDoneIndex)
        EXPECT_EQ(ReadFile(Dst(name)), data[i]) << name;
      else
        EXPECT_FALSE(fs::exists(Dst(name))) << name;
    }
    EXPECT_EQ(pt::ConsoleInputCount(), 0);
  }
}

TEST_P(CopyTest, ConfirmedBreakAsksAndNoGoesOnWithoutLoss) {
  Settings.ConfirmBreak = 1;
  for (int answer : {1, 0}) {  // No, Yes
    SCOPED_TRACE(answer);
    Restart();
    std::string data = AddFile("a", 3 * kBuffer);
    pt::ConsoleFeedInput(EscKey());
    host->messageAnswers.push_back(answer);
    Run();
    ASSERT_EQ(host->messageCalls.size(), 1u);
    EXPECT_EQ(host->messageCalls[0].lines[0], host->messages[73]);
    EXPECT_EQ(host->messageCalls[0].lines[1], host->messages[81]);
    EXPECT_EQ(BreakRequested, answer == 0 ? 1 : 0);
    if (answer == 0)
      EXPECT_FALSE(fs::exists(Dst("a")));
    else
      EXPECT_EQ(ReadFile(Dst("a")), data);
  }
}

TEST_P(CopyTest, EscWithModifiersOrOtherKeysIsNoBreak) {
  std::string data = AddFile("a", 2 * kBuffer);
  INPUT_RECORD shiftEsc = EscKey(), letter = EscKey();
  shiftEsc.Event.KeyEvent.dwControlKeyState = 0x10;  // Shift
  letter.Event.KeyEvent.wVirtualKeyCode = 'A';
  pt::ConsoleFeedInput(shiftEsc);
  pt::ConsoleFeedInput(letter);
  Run();
  EXPECT_EQ(BreakRequested, 0);
  EXPECT_EQ(ReadFile(Dst("a")), data);
  EXPECT_EQ(pt::ConsoleInputCount(), 0);  // drained
}

TEST_P(CopyTest, EscDuringAWritePromptStopsTheWriterCleanly) {
  AddFile("a", 1000);
  AddFile("b", 6 * kBuffer);
  pt::ArmFault("WriteFile", "*\\dst\\b", 1, ERROR_DISK_FULL);
  host->messageAnswers.push_back(0);  // Retry
  host->onMessage = [](const std::vector<std::string>&) { pt::ConsoleFeedInput(EscKey()); };
  Run();
  EXPECT_EQ(BreakRequested, 1);
  EXPECT_FALSE(fs::exists(Dst("b")));
  EXPECT_EQ(LastDoneIndex, 0);
  EXPECT_TRUE(fs::exists(Dst("a")));
}

// A sparse file past 4 GiB: sizes and the move's check in 64 bits.
TEST_P(CopyTest, AMoveOfAFilePast4GiBComparesAllSixtyFourBits) {
  if (GetParam()) GTEST_SKIP() << "one mode is enough for 4 GiB of data";
  watchdog.reset();
  watchdog.emplace(std::chrono::seconds(110));
  Settings.BufKb = 16384;
  IsMove = 1;
  const uint64_t size = 0x100000000ull + 70000;
  fs::create_directories(dir / "src");
  std::ofstream(Src("huge")).close();
  fs::resize_file(Src("huge"), size);
  {
    std::fstream tail(Src("huge"), std::ios::in | std::ios::out | std::ios::binary);
    tail.seekp(static_cast<std::streamoff>(size - 4));
    tail << "tail";
  }
  AddPair("huge");
  Run();
  EXPECT_EQ(State(0), EntryDone | EntrySourceRemoved);
  EXPECT_EQ(fs::file_size(Dst("huge")), size);
  EXPECT_EQ(TotalWritten, size);
  std::ifstream in(Dst("huge"), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(size - 4));
  std::string tail(4, '\0');
  in.read(tail.data(), 4);
  EXPECT_EQ(tail, "tail");
}

}  // namespace
