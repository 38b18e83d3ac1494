// Critical sections and threads, on Linux and under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "layer_helpers.h"

namespace {

namespace pt = platform::testing;
using ThreadTest = PlatformTest;
using namespace std::chrono_literals;

TEST_F(ThreadTest, CriticalSectionIsReenteredByItsOwnerAndExcludesOthers) {
  CRITICAL_SECTION section;
  platform::InitializeCriticalSection(&section);
  platform::EnterCriticalSection(&section);
  platform::EnterCriticalSection(&section);  // the owner enters again at once
  std::atomic<bool> entered{false};
  std::thread other([&] {
    platform::EnterCriticalSection(&section);
    entered = true;
    platform::LeaveCriticalSection(&section);
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(entered);
  platform::LeaveCriticalSection(&section);
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(entered) << "one leave of two must keep it held";
  platform::LeaveCriticalSection(&section);
  other.join();
  EXPECT_TRUE(entered);
  platform::DeleteCriticalSection(&section);
}

// Sets `running`, waits for `go`, works a little, then marks `returned` and
// sets `finished`.
struct Job {
  HANDLE running = platform::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE go = platform::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE finished = platform::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> returned{false};
  ~Job() {
    platform::CloseHandle(running);
    platform::CloseHandle(go);
    platform::CloseHandle(finished);
  }
  static DWORD WINAPI Run(LPVOID parameter) {
    auto* job = static_cast<Job*>(parameter);
    platform::SetEvent(job->running);
    platform::WaitForSingleObject(job->go, INFINITE);
    std::this_thread::sleep_for(30ms);
    job->returned = true;
    platform::SetEvent(job->finished);
    return 0;
  }
};

TEST_F(ThreadTest, ThreadHandleIsSignalledOnlyAfterTheFunctionReturned) {
  Job job, second;
  DWORD id = 0, secondId = 0;
  // One after the other: Wine under qemu's user-mode emulation fails when
  // two threads start at the same moment.
  HANDLE thread = platform::CreateThread(nullptr, 0, &Job::Run, &job, 0, &id);
  ASSERT_TRUE(thread);
  ASSERT_EQ(platform::WaitForSingleObject(job.running, 10000), WAIT_OBJECT_0);
  HANDLE other = platform::CreateThread(nullptr, 0, &Job::Run, &second, 0, &secondId);
  ASSERT_TRUE(other);
  ASSERT_EQ(platform::WaitForSingleObject(second.running, 10000), WAIT_OBJECT_0);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, secondId);
  EXPECT_EQ(platform::WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
  platform::SetEvent(job.go);
  ASSERT_EQ(platform::WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(job.returned);
  EXPECT_EQ(platform::WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "stays signalled";
  EXPECT_EQ(platform::WaitForSingleObject(other, 0), WAIT_TIMEOUT);
  platform::SetEvent(second.go);
  EXPECT_EQ(platform::WaitForSingleObject(other, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(platform::CloseHandle(other));
  EXPECT_TRUE(platform::CloseHandle(thread));
}

TEST_F(ThreadTest, ThreadClosedBeforeItEndsRunsToCompletion) {
  Job job;
  pt::ArmFault("CreateThread", nullptr, 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(platform::CreateThread(nullptr, 0, &Job::Run, &job, 0, nullptr), nullptr);
  HANDLE thread = platform::CreateThread(nullptr, 0, &Job::Run, &job, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(platform::CloseHandle(thread));
  platform::SetEvent(job.go);
  ASSERT_EQ(platform::WaitForSingleObject(job.finished, 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(job.returned);
}

}  // namespace
