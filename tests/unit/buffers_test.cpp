// Buffer sizing from the options and the machine's memory, and the
// allocation of a run's buffer and chunk table with its failure box.
#include "engine/buffers.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "common/run_state.h"
#include "core_fixture.h"
#include "engine/prompts.h"
#include "platform/testing.h"
#include "settings/settings.h"

namespace {

namespace pt = platform::testing;

TEST(BufferSizeFor, FollowsTheOptionsRoundsUpAndStaysWithin32Bits) {
  constexpr uint32_t kHalfGiB = 536870912;
  struct Case {
    const char* name;
    int bufInKb, bufKb, bufPercent;
    uint32_t memory;
    bool parallel;
    int32_t size;
  } cases[] = {
      {"4096 KiB gains a block", 1, 4096, 15, kHalfGiB, false, 4259840},
      {"15 % of 512 MiB", 0, 4096, 15, kHalfGiB, false, 80543744},
      {"15 % of 512 MiB, parallel", 0, 4096, 15, kHalfGiB, true, 40304640},
      {"divided by 100 before the percentage", 0, 0, 3, 2184599, false, 65536},
      {"BufKb 0", 1, 0, 15, kHalfGiB, false, 65536},
      {"BufPercent 0", 0, 4096, 0, kHalfGiB, false, 65536},
      {"an exact block", 1, 64, 15, kHalfGiB, false, 131072},
      {"halved before the rounding", 1, 128, 15, kHalfGiB, true, 131072},
      {"just below the largest", 1, 2097023, 0, 0, false, MaxBufferSize - 65536},
      {"rounds up to the largest", 1, 2097087, 0, 0, false, MaxBufferSize},
      {"would round up to 2^31", 1, 2097151, 0, 0, false, MaxBufferSize},
      {"largest BufKb, parallel", 1, INT_MAX, 0, 0, true, MaxBufferSize},
      {"100 % of 4 GiB", 0, 0, 100, UINT32_MAX, false, MaxBufferSize},
      {"largest BufPercent", 0, 0, INT_MAX, UINT32_MAX, false, MaxBufferSize},
      {"negative BufKb", 1, INT_MIN, 15, UINT32_MAX, false, 65536},
      {"negative BufPercent", 0, 4096, -15, UINT32_MAX, true, 65536},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BufferSizeFor(c.bufInKb, c.bufKb, c.bufPercent, c.memory, c.parallel), c.size);
  }
}

class BuffersTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    LoadSettings();
    Settings.BufInKb = 1;
    Settings.BufKb = 256;
    RunOptions = {};
    state = {};
  }
  void TearDown() override {
    FreeBufferState(&state);
    CoreTest::TearDown();
  }
  BufferState state;
};

TEST_F(BuffersTest, AllocatesTheSizedBufferAndRoomForEveryPieceAndTheEndMark) {
  for (int pairCount : {0, 1000}) {
    for (int parallel : {0, 1}) {
      SCOPED_TRACE(std::to_string(pairCount) + " pairs, parallel " + std::to_string(parallel));
      RunOptions.Parallel = parallel;
      state.target = INVALID_HANDLE_VALUE;
      state.targetName[0] = 'x';
      ASSERT_EQ(AllocateBufferState(&state, pairCount), 1);
      EXPECT_EQ(state.bufferSize, parallel ? 196608 : 327680);
      EXPECT_EQ(state.target, nullptr);
      EXPECT_STREQ(state.targetName, "");
      state.buffer[state.bufferSize - 1] = 1;
      state.chunks[pairCount] = ChunkEntry{0, 0, -1, 1};
      FreeBufferState(&state);
      EXPECT_EQ(state.buffer, nullptr);
      EXPECT_EQ(state.chunks, nullptr);
      FreeBufferState(&state);  // a second release does nothing
    }
  }
  EXPECT_TRUE(host->messageCalls.empty());
}

TEST_F(BuffersTest, EachFailedAllocationShowsMessage36WithItsReasonAndHoldsNothing) {
  // The buffer is allocated first, then the chunk table.
  for (DWORD failingCall : {1u, 2u}) {
    SCOPED_TRACE(failingCall);
    DWORD error = failingCall == 1 ? ERROR_NOT_ENOUGH_MEMORY : ERROR_OUTOFMEMORY;
    host->messageCalls.clear();
    host->messageAnswers = {0};
    pt::ResetFaults();
    pt::ArmFault("VirtualAlloc", nullptr, static_cast<int>(failingCall), error);
    EXPECT_EQ(AllocateBufferState(&state, 10), 0);
    EXPECT_EQ(state.buffer, nullptr);
    EXPECT_EQ(state.chunks, nullptr);

    char text[512];
    const char* items[PromptItemCapacity] = {host->messages[MsgErrorTitle].c_str(),
                                             host->messages[MsgNoMemory].c_str()};
    int count = 2;
    SystemErrorLines(error, text, items, &count, PromptItemCapacity - 2);
    items[count++] = "\x01";
    items[count++] = host->messages[MsgOk].c_str();
    ASSERT_EQ(host->messageCalls.size(), 1u);
    EXPECT_EQ(host->messageCalls[0].lines, std::vector<std::string>(items, items + count));
  }
}

}  // namespace
