// The copy engine on real files, serial and with a writer thread: contents
// across buffer boundaries, overwrite modes, moves, faults and Esc.
#include "engine/copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/run_state.h"
#include "core_fixture.h"
#include "engine/progress.h"
#include "platform/testing.h"
#include "scan/existing_targets.h"
#include "scan/scan.h"
#include "settings/settings.h"
#include "support/files.h"
#include "support/streams.h"

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

// Equal contents, or where they part: data this size is not worth printing.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << actual.size() << " bytes where " << expected.size()
                                       << " were expected, first difference at " << at;
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

  WIN32_FIND_DATAA Found(const std::string& name) {
    fs::create_directories(dir / "dst");
    WIN32_FIND_DATAA data{};
    HANDLE find = platform::FindFirstFileA(WindowsPath(Src(name)).c_str(), &data);
    EXPECT_NE(find, INVALID_HANDLE_VALUE) << name;
    if (find != INVALID_HANDLE_VALUE) platform::FindClose(find);
    return data;
  }
  // A pair of the list as the scan makes it, from the source's own data.
  void AddPair(const std::string& name) {
    WIN32_FIND_DATAA data = Found(name);
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

  // The file and its streams, listed by the scan itself; a move's scan would
  // rename the file whole instead.
  void AddScanned(const std::string& name) {
    WIN32_FIND_DATAA data = Found(name);
    int isMove = IsMove;
    IsMove = 0;
    RunOptions.CopyStreams = 1;
    ScanEntry(WindowsPath(Src(name)).c_str(), WindowsPath(Dst(name)).c_str(),
              data.dwFileAttributes | FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED,
              data.nFileSizeLow, data.nFileSizeHigh, &data.ftCreationTime, &data.ftLastAccessTime,
              &data.ftLastWriteTime, 0);
    IsMove = isMove;
  }
  // Named streams through the layer (extended attributes on Linux).
  // Wine has none on Unix file systems; Linux needs user extended attributes.
  bool HasNamedStreams() {
#ifdef _WIN32
    return false;
#else
    WriteFile(dir / "probe", "");
    return WriteStream(dir / "probe", "s", "x");
#endif
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

// Pieces grow while reads are quick and stay at one block while they are
// slow; either way every byte lands in order, across buffer fills and past
// a file that ends inside a piece.
TEST_P(CopyTest, CopiesEverySizeAcrossBufferBoundariesByteForByte) {
  constexpr uint64_t kMiB = 1 << 20;
  enum Clock { Real, Frozen, Slow };
  const struct {
    const char* what;
    int bufKb;
    Clock clock;
    std::vector<uint64_t> sizes;
    int reads[2];  // ReadFile calls of a serial and a parallel run; -1: not counted
  } cases[] = {
      {"64 KiB blocks", 64, Real,
       {0, 1, 65535, 65536, 65537, kBuffer - 1, kBuffer, kBuffer + 1, 3 * kBuffer - 1, 3 * kBuffer,
        3 * kBuffer + 1, kBuffer - 65536 + 10},
       {-1, -1}},
      // Instant reads: pieces double from one block to 8 MiB, clipped at
      // each buffer's end (16 MiB + 64 KiB, or two of half that); the first
      // file ends inside a piece, the second starts with 8 MiB asked.
      {"growing pieces", 16384, Frozen, {20 * kMiB + 777, 3 * kMiB + 5, 10 * kMiB + 1, 1},
       {15, 17}},
      // Every read takes 100 ms: one block at a time, 17 + 1.
      {"slow reads", 16384, Slow, {kMiB + 3, 10}, {18, 18}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Restart();
    pt::ResetTickCount();
    pt::ResetSystemTime();
    Settings.BufKb = c.bufKb;
    std::vector<std::string> data;
    uint64_t total = 0;
    for (size_t i = 0; i < c.sizes.size(); ++i) {
      data.push_back(AddFile("f" + std::to_string(i), c.sizes[i], static_cast<unsigned>(i + 1)));
      total += c.sizes[i];
    }
    if (c.clock == Frozen) {
      pt::SetTickCount(1000);
      pt::SetSystemTime(13350000000000000ULL);
    }
    pt::ResetFaults();
    if (c.clock == Slow) SlowPieces();
    Run();
    if (c.reads[GetParam()] >= 0) {
      EXPECT_EQ(pt::CallCount("ReadFile"), c.reads[GetParam()]);
    }
    EXPECT_EQ(BreakRequested, 0);
    EXPECT_EQ(LastDoneIndex, static_cast<int>(c.sizes.size()) - 1);
    for (size_t i = 0; i < c.sizes.size(); ++i) {
      std::string name = "f" + std::to_string(i);
      EXPECT_TRUE(SameBytes(ReadFile(Dst(name)), data[i])) << name;
      EXPECT_EQ(State(static_cast<DWORD>(i)), EntryDone) << name;
      uint64_t written = RecordOf(static_cast<DWORD>(i))->bytesWritten;  // packed: read by value
      EXPECT_EQ(written, c.sizes[i]) << name;
      EXPECT_EQ(LastWrite(Dst(name)), LastWrite(Src(name))) << name;
    }
    EXPECT_EQ(TotalRead, total);
    EXPECT_EQ(TotalWritten, total);
    EXPECT_EQ(TotalBytes, total);
    EXPECT_TRUE(host->messageCalls.empty());
  }
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

TEST_P(CopyTest, ASourceThatChangedSizeIsCopiedButNotRemovedAndReported) {
  IsMove = 1;
  AddFile("grew", 1000);
  AddFile("shrank", 2 * kBuffer);
  WriteFile(Src("grew"), Bytes(70000, 9));  // after the scan took its size
  WriteFile(Src("shrank"), Bytes(10, 9));
  host->messageAnswers = {0, 0};
  Run();
  EXPECT_EQ(ReadFile(Dst("grew")), Bytes(70000, 9));
  EXPECT_EQ(ReadFile(Dst("shrank")), Bytes(10, 9));
  EXPECT_TRUE(fs::exists(Src("grew")));
  EXPECT_TRUE(fs::exists(Src("shrank")));
  EXPECT_TRUE(Showed(MsgSourceChanged));
  EXPECT_EQ(host->messageCalls.size(), 2u);
  EXPECT_EQ(State(0), EntryDone | EntrySkip | EntryFailed) << "listed as not moved";
  EXPECT_EQ(State(1), EntryDone | EntrySkip | EntryFailed);
}

TEST_P(CopyTest, AppendAddsToTheTargetAndAMoveChecksTheGrownSize) {
  const struct {
    int overwriteMode;
    int dialogAnswer;  // the overwrite dialog's button, when it is asked
    bool sourceRemoved;
  } cases[] = {
      {OverwriteAppend, 0, true},
      // Append answered for this file alone: the same.
      {OverwriteAsk, 13, true},
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
  EXPECT_EQ(State(0) & (EntrySkip | EntryFailed | EntryDone), EntrySkip | EntryFailed)
      << "listed as not copied";
  EXPECT_FALSE(fs::exists(Dst("gone")));
  EXPECT_EQ(ReadFile(Dst("other")), other);
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

// A fault while moving data or closing the target: Retry goes on from what
// reached the target (or the buffer), never past it; Skip, or a failed
// close, fails the file, takes back its target and keeps its source.
TEST_P(CopyTest, TransferFaultsRetryWithoutLossOrFailTheFileKeepingItsSource) {
  enum Outcome { Whole, ReadSkipped, TakenBack };
  const struct {
    const char* what;
    const char* op;
    DWORD count;  // bytes the fault lets through before `error`
    DWORD error;  // ERROR_SUCCESS: a short write
    int answer;   // to the box: 0 Retry (or OK), 1 Skip
    bool append;  // onto the user's "old:"
    Outcome outcome;
  } cases[] = {
      {"read error, retry", "ReadFile", 0, ERROR_CRC, 0, false, Whole},
      {"read error, skip", "ReadFile", 0, ERROR_CRC, 1, false, ReadSkipped},
      {"4 KiB, then a read error, retry", "ReadFile", 4096, ERROR_CRC, 0, false, Whole},
      {"disk full, retry", "WriteFile", 0, ERROR_DISK_FULL, 0, false, Whole},
      {"disk full, skip", "WriteFile", 0, ERROR_DISK_FULL, 1, false, TakenBack},
      {"short write, retry", "WriteFile", 1000, ERROR_SUCCESS, 0, false, Whole},
      {"short write, skip", "WriteFile", 1000, ERROR_SUCCESS, 1, false, TakenBack},
      {"1000 bytes, then disk full, retry", "WriteFile", 1000, ERROR_DISK_FULL, 0, false, Whole},
      {"1000 bytes, then disk full, retry, appending", "WriteFile", 1000, ERROR_DISK_FULL, 0, true,
       Whole},
      {"close fails", "CloseHandle", 0, ERROR_DISK_FULL, 0, false, TakenBack},
      {"close fails, appending", "CloseHandle", 0, ERROR_DISK_FULL, 0, true, TakenBack},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Restart();
    IsMove = 1;
    std::string data = AddFile("a", 3 * kBuffer + 11);
    std::string before = c.append ? "old:" : "";
    if (c.append) {
      RunOptions.OverwriteMode = OverwriteAppend;
      WriteFile(Dst("a"), before);
    }
    bool read = std::string(c.op) == "ReadFile";
    int call = read ? 3 : std::string(c.op) == "WriteFile" ? 2 : 1;
    const char* path = read ? "*\\src\\a" : "*\\dst\\a";
    if (c.count == 0)
      pt::ArmFault(c.op, path, call, c.error);
    else
      pt::ArmTransferFault(c.op, path, call, c.count, c.error);
    host->messageAnswers.push_back(c.answer);
    Run();
    EXPECT_EQ(pt::FaultsFired(), 1);
    EXPECT_TRUE(Showed(read ? 43 : 40));
    if (c.outcome == Whole) {
      EXPECT_TRUE(SameBytes(ReadFile(Dst("a")), before + data));
      EXPECT_FALSE(fs::exists(Src("a")));
      EXPECT_EQ(State(0), EntryDone | EntrySourceRemoved);
      continue;
    }
    EXPECT_TRUE(SameBytes(ReadFile(Src("a")), data));
    if (c.outcome == ReadSkipped) {
      EXPECT_EQ(State(0) & (EntrySkip | EntryFailed | EntryDone), EntrySkip | EntryFailed);
      EXPECT_EQ(TotalBytes, 0u);
    } else {
      EXPECT_EQ(State(0) & (EntrySkip | EntryFailed | EntryRemoveTarget | EntryDone),
                EntrySkip | EntryFailed | EntryRemoveTarget);
      if (c.append)
        EXPECT_EQ(ReadFile(Dst("a")), before);
      else
        EXPECT_FALSE(fs::exists(Dst("a")));
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
      SlowPieces();
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
  EXPECT_EQ(State(0), EntryDone | EntrySkip | EntryFailed) << "listed as not moved";
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
    SlowPieces();
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
  SlowPieces();
  Run();
  EXPECT_EQ(BreakRequested, 1);
  EXPECT_FALSE(fs::exists(Dst("b")));
  EXPECT_EQ(LastDoneIndex, 0);
  EXPECT_TRUE(fs::exists(Dst("a")));
}

// Esc confirmed while the writer thread is about to ask about an existing
// target: after the confirmation nothing more is asked or opened, and the
// user's file stays as it was.
TEST_P(CopyTest, AfterAConfirmedBreakTheWriterAsksAndOpensNothing) {
  if (!GetParam()) GTEST_SKIP() << "only a writer thread asks while the reader confirms";
  Settings.ConfirmBreak = 1;
  Settings.BufKb = 256;  // writer buffers of three blocks: "first", "a", "after"
  AddFile("first", 1000);
  AddFile("a", 1000, 2);
  AddFile("after", 1000, 3);
  AddFile("more", 4 * kBuffer, 4);
  WriteFile(Dst("a"), "keep");
  // The writer, about to look for "a"'s target, waits until the reader
  // shows the confirmation of the Esc it put in.
  std::atomic<bool> confirming{false};
  pt::ArmHook("GetFileAttributesA", "*\\dst\\a", 1, [&] {
    pt::ConsoleFeedInput(EscKey());
    for (int i = 0; i < 10000 && !confirming; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  host->onMessage = [&](const std::vector<std::string>&) { confirming = true; };
  host->messageAnswers.push_back(0);             // yes, stop
  host->dialogAnswers.push_back({11, nullptr});  // overwrite, were it asked
  Run();
  pt::ResetFaults();  // the hook holds this frame's variables
  host->dialogAnswers.clear();
  EXPECT_TRUE(confirming);
  EXPECT_EQ(BreakRequested, 1);
  EXPECT_TRUE(host->dialogCalls.empty());
  EXPECT_EQ(ReadFile(Dst("a")), "keep");
  EXPECT_FALSE(fs::exists(Dst("after")));
  EXPECT_EQ(LastDoneIndex, 0);
}

// Only-newer switched off in the overwrite dialog takes back the skips of
// the entries the reader has not passed, while the reader goes on. Taken
// back right after the reader looked at a skipped entry, the entry is then
// either copied or stays skipped: never left out unmarked.
TEST_P(CopyTest, ASkipTakenBackJustAsTheReaderLooksIsNeverLost) {
  if (!GetParam()) GTEST_SKIP() << "skips are taken back beside the reader only by a writer thread";
  RunOptions.OverwriteMode = OverwriteAll;
  RunOptions.OnlyNewer = 1;
  AddFile("w", 10);
  std::string x = AddFile("x", 10, 2);
  WriteFile(Dst("x"), "newer");
  FILETIME later = RecordOf(1)->lastWriteTime;  // the target is newer than the source
  later.dwHighDateTime += 1;
  HANDLE target = platform::CreateFileA(WindowsPath(Dst("x")).c_str(), GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(target, INVALID_HANDLE_VALUE);
  platform::SetFileTime(target, nullptr, nullptr, &later);
  platform::CloseHandle(target);
  CheckExistingTargets(0);
  ASSERT_TRUE(State(1) & EntrySkip);

  // From the reader's close of "w" on, its second release of ListLock is
  // the one after it looked at "x": the pre-pass runs right there.
  std::atomic<std::thread::id> reader;
  std::atomic<int> leaves{-1};
  pt::ArmHook("CloseHandle", "*\\src\\w", 1, [&] {
    reader = std::this_thread::get_id();
    leaves = 0;
  });
  pt::ArmHook(
      "LeaveCriticalSection", nullptr, 1,
      [&] {
        if (leaves < 0 || std::this_thread::get_id() != reader || ++leaves != 2) return;
        RunOptions.OnlyNewer = 0;
        CheckExistingTargets(1);
      },
      pt::Repeat::FromThenOn);
  Run();
  pt::ResetFaults();  // the hooks hold this frame's variables
  EXPECT_GE(leaves, 2);
  uint32_t state = State(1);
  if (state & EntryDone) {
    EXPECT_TRUE(SameBytes(ReadFile(Dst("x")), x));
  } else {
    EXPECT_EQ(state & (EntrySkip | EntryReaderPassed), EntrySkip | EntryReaderPassed)
        << "left out unmarked, state " << state;
    EXPECT_EQ(ReadFile(Dst("x")), "newer");
  }
}

// ---- Streams ---------------------------------------------------------------

// Each stream is an entry of its own after its file; with 64 KiB buffers
// most are read after the file's own data is written. A move removes the
// source, streams and all, only once the file and every stream reached the
// target and were closed without error.
TEST_P(CopyTest, AMoveRemovesTheSourceOnlyOnceTheFileAndAllItsStreamsAreWhole) {
  if (!HasNamedStreams()) GTEST_SKIP() << "no named streams here";
  const struct {
    const char* what;
    const char* op;  // the fault, or none
    const char* path;
    int answer;  // to the one box the fault brings: 1 Skip, 0 OK
    bool whole;  // everything arrived: the source goes
    bool fileTargetKept;
  } cases[] = {
      {"no fault", nullptr, nullptr, 0, true, true},
      {"a stream's write fails, skipped", "WriteFile", "*\\dst\\f:s4*", 1, false, true},
      {"a stream's close fails", "CloseHandle", "*\\dst\\f:s4*", 0, false, true},
      {"the file's close fails", "CloseHandle", "*\\dst\\f", 0, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Restart();
    IsMove = 1;
    std::string data = Bytes(1000);
    WriteFile(Src("f"), data);
    std::vector<std::string> streams;
    for (int i = 0; i < 10; ++i) {
      streams.push_back(Bytes(300, i + 2));
      ASSERT_TRUE(WriteStream(Src("f"), "s" + std::to_string(i), streams.back()));
    }
    AddScanned("f");
    ASSERT_EQ(PairCount(), 11u);
    if (c.op) {
      pt::ArmFault(c.op, c.path, 1, ERROR_DISK_FULL);
      host->messageAnswers.push_back(c.answer);
    }
    Run();
    // No "cannot delete the source", no "cannot open the source".
    EXPECT_EQ(host->messageCalls.size(), c.op ? 1u : 0u);
    if (c.op) {
      EXPECT_TRUE(Showed(40));
    }
    EXPECT_EQ(fs::exists(Dst("f")), c.fileTargetKept);
    if (c.whole) {
      EXPECT_FALSE(fs::exists(Src("f")));
      EXPECT_TRUE(SameBytes(ReadFile(Dst("f")), data));
      for (DWORD pair = 0; pair < 11; ++pair) EXPECT_EQ(State(pair), EntryDone | EntrySourceRemoved);
    } else {
      EXPECT_TRUE(SameBytes(ReadFile(Src("f")), data));
      EXPECT_FALSE(State(0) & EntrySourceRemoved);
    }
    const fs::path holder = c.whole ? Dst("f") : Src("f");
    for (int i = 0; i < 10; ++i) {
      std::optional<std::string> stream = ReadStream(holder, "s" + std::to_string(i));
      EXPECT_TRUE(stream && SameBytes(*stream, streams[i])) << "s" << i;
    }
  }
}

// A stream goes where its file goes: nowhere when the file is skipped, with
// it under a new name; never into the user's existing file by itself, and
// never asked about on its own.
TEST_P(CopyTest, StreamsFollowTheirFilesOverwriteDecision) {
  if (!HasNamedStreams()) GTEST_SKIP() << "no named streams here";
  const struct {
    const char* what;
    int mode;
    int dialogAnswer;     // 11 overwrite, 12 skip; 0: not asked
    const char* written;  // the target the file and its streams went to, or none
  } cases[] = {
      {"asked, skipped", OverwriteAsk, 12, nullptr},
      {"asked, overwritten", OverwriteAsk, 11, "f"},
      {"skip for all", OverwriteSkip, 0, nullptr},
      {"rename for all", OverwriteRename, 0, "f_1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Restart();
    IsMove = 1;
    RunOptions.OverwriteMode = c.mode;
    WriteFile(Src("f"), "new data");
    ASSERT_TRUE(WriteStream(Src("f"), "s1", "new s1"));
    ASSERT_TRUE(WriteStream(Src("f"), "s2", "new s2"));
    WriteFile(Dst("f"), "user's");
    ASSERT_TRUE(WriteStream(Dst("f"), "s1", "user's s1"));
    AddScanned("f");
    if (c.mode != OverwriteAsk) CheckExistingTargets(0);  // the run's pre-pass
    if (c.dialogAnswer) host->dialogAnswers.push_back({c.dialogAnswer, nullptr});
    Run();
    EXPECT_EQ(host->dialogCalls.size(), c.dialogAnswer ? 1u : 0u);
    std::string written = c.written ? c.written : "";
    if (written != "f") {
      EXPECT_EQ(ReadFile(Dst("f")), "user's");
      EXPECT_EQ(ReadStream(Dst("f"), "s1"), "user's s1");
      EXPECT_EQ(ReadStream(Dst("f"), "s2"), std::nullopt);
    }
    const fs::path holder = c.written ? Dst(written) : Src("f");
    EXPECT_EQ(fs::exists(Src("f")), c.written == nullptr);
    EXPECT_EQ(ReadFile(holder), "new data");
    EXPECT_EQ(ReadStream(holder, "s1"), "new s1");
    EXPECT_EQ(ReadStream(holder, "s2"), "new s2");
  }
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
  ASSERT_TRUE(WriteSparseFile(Src("huge"), size, "tail"));
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
