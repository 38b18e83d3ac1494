// The run's file list: pairs of entries with their records in one growable
// name buffer and an offset index, both in the run's private heap.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core_fixture.h"
#include "platform/testing.h"
#include "scan/scan.h"

namespace {

namespace pt = platform::testing;

class FileListTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    ASSERT_TRUE(CreateFileList());
  }
  void TearDown() override {
    FreeFileList();
    CoreTest::TearDown();
  }
  static bool Add(const std::string& path, bool withRecord = false) {
    FILETIME t{1, 2};
    return AddListEntry(path.c_str(), withRecord, 0x4810, 0, 0, &t, &t, &t);
  }
  // Entries of 256 bytes up to `used` bytes, then one entry for the rest.
  static void FillNames(DWORD used) {
    while (List.namesUsed + 256 <= used) ASSERT_TRUE(Add(std::string(255, 'f')));
    if (List.namesUsed < used) {
      ASSERT_TRUE(Add(std::string(used - List.namesUsed - 1, 'r')));
    }
    ASSERT_EQ(List.namesUsed, used);
  }
  int NoMemoryBoxes() const {
    int boxes = 0;
    for (const auto& call : host->messageCalls)  // the system's text may say the same
      boxes += std::count(call.lines.begin(), call.lines.end(), Msg(MsgNoMemory)) > 0;
    return boxes;
  }
};

TEST_F(FileListTest, PairsKeepPathsAndRecordsBackToBack) {
  FILETIME creation{11, 12}, access{21, 22}, write{31, 32};
  ASSERT_TRUE(AddListEntry("D:\\a.txt", false, 0, 0, 0, nullptr, nullptr, nullptr));
  ASSERT_TRUE(AddListEntry("E:\\b.txt", true, 0x4821, 0x80000001u, 2, &creation, &access, &write));
  ASSERT_TRUE(Add("D:\\c"));
  ASSERT_TRUE(Add("E:\\c", true));

  ASSERT_EQ(PairCount(), 2u);
  EXPECT_STREQ(SourceOf(0), "D:\\a.txt");
  EXPECT_STREQ(DestinationOf(0), "E:\\b.txt");
  EXPECT_STREQ(SourceOf(1), "D:\\c");
  // No padding: the next entry starts right after the 64-byte record.
  EXPECT_EQ(List.offsets[2], List.offsets[1] + 9 + sizeof(FileRecord));
  EXPECT_EQ(List.namesUsed, 9u + 9u + 64u + 5u + 5u + 64u);

  alignas(8) FileRecord copy = *RecordOf(0);  // the list's records are unaligned
  const FileRecord* record = &copy;
  EXPECT_EQ(record->attributes, 0x4821u);
  EXPECT_EQ(SizeOf(record), (2ull << 32) | 0x80000001u);
  EXPECT_EQ(record->creationTime.dwLowDateTime, 11u);
  EXPECT_EQ(record->lastAccessTime.dwHighDateTime, 22u);
  EXPECT_EQ(record->lastWriteTime.dwLowDateTime, 31u);
  EXPECT_EQ(record->renameNumber, 0);
  EXPECT_EQ(record->overwriteChoice, 0);
  EXPECT_EQ(record->state, 0u);
  EXPECT_EQ(record->bytesRead, 0u);
  EXPECT_EQ(record->bytesWritten, 0u);
}

TEST_F(FileListTest, NameBufferGrowsOneStepOnlyPastItsCapacity) {
  struct Case {
    const char* label;
    size_t pathLength;
    bool withRecord;
    DWORD capacity;
    int reallocations;
  } cases[] = {
      {"fills it exactly", 255, false, FileListStep, 0},
      {"one byte over", 256, false, 2 * FileListStep, 1},
      {"with a record, exactly", 191, true, FileListStep, 0},
      {"with a record, one byte over", 192, true, 2 * FileListStep, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FreeFileList();
    ASSERT_TRUE(CreateFileList());
    FillNames(FileListStep - 256);
    std::string first = SourceOf(0);
    int before = pt::CallCount("HeapReAlloc");
    ASSERT_TRUE(Add(std::string(c.pathLength, 'x'), c.withRecord));
    EXPECT_EQ(List.namesCapacity, c.capacity);
    EXPECT_EQ(pt::CallCount("HeapReAlloc") - before, c.reallocations);
    // The block may have moved: entries are found by offset.
    EXPECT_EQ(SourceOf(0), first);
    EXPECT_EQ(std::string(List.names + List.offsets[List.entryCount - 1]),
              std::string(c.pathLength, 'x'));
  }
}

TEST_F(FileListTest, FailedGrowthShowsNoMemoryAndAddsNothing) {
  struct Case {
    const char* label;
    bool indexFull;
  } cases[] = {{"name buffer full", false}, {"index full", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FreeFileList();
    ASSERT_TRUE(CreateFileList());
    pt::ResetFaults();
    host->messageCalls.clear();
    if (c.indexFull) {  // 64,000 offsets fill it without a growth
      for (DWORD i = 0; i < FileListStep / sizeof(DWORD); ++i) ASSERT_TRUE(Add(""));
      ASSERT_EQ(pt::CallCount("HeapReAlloc"), 0);
    } else {
      FillNames(FileListStep);
    }
    FileList before = List;
    pt::ArmFault("HeapReAlloc", nullptr, 1, ERROR_NOT_ENOUGH_MEMORY);

    EXPECT_FALSE(Add("E:\\new.txt", true));
    EXPECT_EQ(NoMemoryBoxes(), 1);
    EXPECT_EQ(List.entryCount, before.entryCount);
    EXPECT_EQ(List.namesUsed, before.namesUsed);  // not even the path's bytes
    EXPECT_EQ(List.names, before.names);
    EXPECT_EQ(List.namesCapacity, before.namesCapacity);
    EXPECT_EQ(List.offsetsCapacity, before.offsetsCapacity);

    // The fault fired once: the next entry grows the list as usual.
    EXPECT_TRUE(Add("E:\\new.txt", true));
    EXPECT_EQ(List.entryCount, before.entryCount + 1);
  }
}

}  // namespace
