// Events and the handle table: the same behaviour on Linux and under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "layer_helpers.h"

namespace {

namespace pt = platform::testing;
using EventTest = PlatformTest;
using Clock = std::chrono::steady_clock;

// An event handle closed at the end of the test.
struct Event {
  Event(bool manual, bool initial)
      : handle(platform::CreateEventA(nullptr, manual, initial, nullptr)) {}
  ~Event() {
    if (handle) platform::CloseHandle(handle);
  }
  HANDLE handle;
};

TEST_F(EventTest, ResetKindsDecideWhetherAWaitConsumesTheSignal) {
  struct Case {
    bool manual, initial;
    DWORD first, second;  // two waits in a row, no SetEvent
  } cases[] = {
      {false, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {false, true, WAIT_OBJECT_0, WAIT_TIMEOUT},  // the first wait resets it
      {true, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {true, true, WAIT_OBJECT_0, WAIT_OBJECT_0},  // stays signalled
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.manual ? "manual" : "auto") + (c.initial ? ", set" : ", clear"));
    Event event(c.manual, c.initial);
    ASSERT_NE(event.handle, nullptr);
    EXPECT_EQ(platform::WaitForSingleObject(event.handle, 0), c.first);
    EXPECT_EQ(platform::WaitForSingleObject(event.handle, 0), c.second);
    ASSERT_TRUE(platform::SetEvent(event.handle));
    EXPECT_EQ(platform::WaitForSingleObject(event.handle, 0), WAIT_OBJECT_0);
    EXPECT_EQ(platform::WaitForSingleObject(event.handle, 0), c.manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
    ASSERT_TRUE(platform::ResetEvent(event.handle));
    EXPECT_EQ(platform::WaitForSingleObject(event.handle, 0), WAIT_TIMEOUT);
  }
}

TEST_F(EventTest, TimedWaitRunsOutAfterItsTime) {
  Event event(false, false);
  auto start = Clock::now();
  EXPECT_EQ(platform::WaitForSingleObject(event.handle, 60), WAIT_TIMEOUT);
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  EXPECT_GE(waited.count(), 45);  // Windows' timer may end a tick early
  EXPECT_LT(waited.count(), 5000);
}

TEST_F(EventTest, SetFromAnotherThreadEndsAnInfiniteWait) {
  Event event(false, false);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    platform::SetEvent(event.handle);
  });
  EXPECT_EQ(platform::WaitForSingleObject(event.handle, INFINITE), WAIT_OBJECT_0);
  setter.join();
}

// Each SetEvent of an auto-reset event frees one waiter, even when the
// second comes before the first waiter has run; a manual-reset event frees
// them all.
TEST_F(EventTest, SetsReleaseTheRightNumberOfWaiters) {
  struct Case {
    bool manual;
    int waiters, sets, released;
  } cases[] = {{false, 2, 2, 2}, {false, 3, 1, 1}, {true, 3, 1, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.manual ? "manual" : "auto") + ", " + std::to_string(c.sets) + " sets");
    Event event(c.manual, false);
    std::atomic<int> released{0}, started{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < c.waiters; ++i) {
      threads.emplace_back([&] {
        ++started;
        if (platform::WaitForSingleObject(event.handle, 1500) == WAIT_OBJECT_0) ++released;
      });
      // One at a time: Wine under qemu's user-mode emulation fails when
      // two threads start at the same moment.
      while (started <= i) std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // all of them waiting
    for (int i = 0; i < c.sets; ++i) platform::SetEvent(event.handle);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(released.load(), c.released);
  }
}

TEST_F(EventTest, BadAndClosedHandlesAreRefused) {
  platform::SetLastError(0);
  EXPECT_EQ(platform::WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_FALSE(platform::CloseHandle(nullptr));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_INVALID_HANDLE);

  int before = pt::OpenHandleCount();
  HANDLE event = platform::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(pt::OpenHandleCount(), before + 1);
  ASSERT_TRUE(platform::CloseHandle(event));
  EXPECT_EQ(pt::OpenHandleCount(), before);
#ifndef _WIN32
  // Windows may give the value to a new object at once; Linux does not reuse it soon.
  EXPECT_FALSE(platform::SetEvent(event));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_FALSE(platform::CloseHandle(event));
  EXPECT_EQ(pt::OpenHandleCount(), before);
#endif
}

TEST_F(EventTest, AFaultedCreateGivesNoHandleAndCountsNone) {
  int before = pt::OpenHandleCount();
  pt::ArmFault("CreateEventA", nullptr, 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(platform::CreateEventA(nullptr, FALSE, FALSE, nullptr), nullptr);
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(pt::OpenHandleCount(), before);
}

}  // namespace
