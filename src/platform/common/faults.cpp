// The fault table: tests arm failures by operation, path and call number.
#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "../testing.h"
#include "layer.h"

namespace platform::detail {

std::atomic<bool> g_watching{false};
std::atomic<bool> g_hooked{false};

namespace {

struct ArmedFault {
  std::string operation;
  std::string pattern;
  int callNumber;
  DWORD error;  // ERROR_SUCCESS: a transfer that ends short but succeeds
  bool isTransfer;  // only ReadFile and WriteFile: `count` bytes move first
  DWORD count;
  testing::Repeat repeat;
  int seen;  // matching calls so far
  std::function<void()> hook;  // set: runs instead of failing the call
};

std::mutex g_mutex;
std::vector<ArmedFault> g_faults;
std::map<std::string, int> g_counts;
int g_allCalls = 0;
int g_fired = 0;
std::atomic<int> g_openHandles{0};

bool MatchGlob(const char* pattern, const char* text) {
  while (*pattern) {
    if (*pattern == '*') {
      while (*pattern == '*') ++pattern;
      if (!*pattern) return true;
      for (; *text; ++text)
        if (MatchGlob(pattern, text)) return true;
      return false;
    }
    if (!*text) return false;
    if (*pattern != '?' &&
        std::tolower(static_cast<unsigned char>(*pattern)) !=
            std::tolower(static_cast<unsigned char>(*text)))
      return false;
    ++pattern;
    ++text;
  }
  return !*text;
}

bool Matches(const ArmedFault& fault, const char* operation, const char* path) {
  if (fault.operation != "*" && fault.operation != operation) return false;
  if (fault.pattern.empty() || fault.pattern == "*") return true;
  return MatchGlob(fault.pattern.c_str(), path ? path : "");
}

}  // namespace

bool CheckFaultSlow(const char* operation, const char* path, DWORD* error, DWORD* limit) {
  std::vector<std::function<void()>> hooks;
  std::unique_lock<std::mutex> lock(g_mutex);
  ++g_counts[operation];
  ++g_allCalls;
  bool fired = false;
  for (ArmedFault& fault : g_faults) {
    if ((fault.isTransfer && !limit) || !Matches(fault, operation, path)) continue;
    ++fault.seen;
    bool hit = fault.seen == fault.callNumber ||
               (fault.repeat == testing::Repeat::FromThenOn && fault.seen > fault.callNumber);
    if (hit && fault.hook) {
      hooks.push_back(fault.hook);
    } else if (hit && !fired) {
      *error = fault.error;
      // A plain fault on a transfer moves nothing.
      if (limit) *limit = fault.isTransfer ? fault.count : 0;
      fired = true;
      ++g_fired;
    }
  }
  // Outside the lock: a hook may wait for other threads' calls.
  lock.unlock();
  for (const auto& hook : hooks) hook();
  return fired;
}

void RunHooksSlow(const char* operation) {
  std::vector<std::function<void()>> hooks;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (ArmedFault& fault : g_faults) {
      if (!fault.hook || fault.operation != operation) continue;
      ++fault.seen;
      if (fault.seen == fault.callNumber ||
          (fault.repeat == testing::Repeat::FromThenOn && fault.seen > fault.callNumber))
        hooks.push_back(fault.hook);
    }
  }
  for (const auto& hook : hooks) hook();
}

void HandleOpened() { g_openHandles.fetch_add(1, std::memory_order_relaxed); }
void HandleClosed() { g_openHandles.fetch_sub(1, std::memory_order_relaxed); }

}  // namespace platform::detail

namespace platform::testing {

using namespace platform::detail;

void ArmFault(const char* operation, const char* pathPattern, int callNumber, DWORD error,
              Repeat repeat) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_faults.push_back({operation ? operation : "*", pathPattern ? pathPattern : "", callNumber,
                      error, false, 0, repeat, 0, nullptr});
  g_watching.store(true);
}

void ArmTransferFault(const char* operation, const char* pathPattern, int callNumber,
                      DWORD count, DWORD error, Repeat repeat) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_faults.push_back({operation ? operation : "*", pathPattern ? pathPattern : "", callNumber,
                      error, true, count, repeat, 0, nullptr});
  g_watching.store(true);
}

void ArmShortFault(const char* operation, const char* pathPattern, int callNumber, DWORD count,
                   Repeat repeat) {
  ArmTransferFault(operation, pathPattern, callNumber, count, ERROR_SUCCESS, repeat);
}

void ArmHook(const char* operation, const char* pathPattern, int callNumber,
             std::function<void()> hook, Repeat repeat) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_faults.push_back({operation ? operation : "*", pathPattern ? pathPattern : "", callNumber,
                      ERROR_SUCCESS, false, 0, repeat, 0, std::move(hook)});
  g_watching.store(true);
  g_hooked.store(true);
}

void ResetFaults() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_faults.clear();
  g_counts.clear();
  g_allCalls = 0;
  g_fired = 0;
  g_watching.store(true);
  g_hooked.store(false);
}

int CallCount(const char* operation) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (std::strcmp(operation, "*") == 0) return g_allCalls;
  auto it = g_counts.find(operation);
  return it == g_counts.end() ? 0 : it->second;
}

std::vector<std::pair<std::string, int>> CallCounts() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return {g_counts.begin(), g_counts.end()};
}

int FaultsFired() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_fired;
}

int OpenHandleCount() { return g_openHandles.load(); }

}  // namespace platform::testing
