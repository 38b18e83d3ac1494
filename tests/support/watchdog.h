// Fails a hung test at once. A thread stuck in the engine cannot be unwound,
// so the watchdog reports the test as failed and ends the program, long
// before the runner's own time limit (and before a program that runs every
// test, as under Wine, would take all the others down with it much later).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
 public:
  // `what` names the case within the test, for a test that runs many.
  explicit Watchdog(std::chrono::seconds limit, std::string what = "")
      : thread_([this, limit, what] {
          std::unique_lock<std::mutex> lock(mutex_);
          running_ = true;
          done_.notify_one();
          if (done_.wait_for(lock, limit, [this] { return finished_; })) return;
          const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
          std::fprintf(stderr, "\n[  FAILED  ] %s.%s%s%s: still running after %lld s (watchdog)\n",
                       test ? test->test_suite_name() : "?", test ? test->name() : "?",
                       what.empty() ? "" : ", ", what.c_str(),
                       static_cast<long long>(limit.count()));
          std::fflush(stderr);
          std::_Exit(3);
        }) {
    // Returns once the thread runs: Wine under qemu's user-mode emulation
    // fails when a thread starts while another is still starting.
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return running_; });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    done_.notify_one();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool running_ = false;
  bool finished_ = false;
  std::thread thread_;  // last: starts once the rest is built
};
