// Critical sections and threads on Linux.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "../common/layer.h"
#include "errors.h"
#include "handles.h"

namespace platform {
namespace {

// What the running thread and the handle share; the thread keeps its own
// reference, so closing the handle early leaves it running.
struct ThreadState {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
};

struct Thread : detail::KernelObject {
  static constexpr detail::ObjectKind kKind = detail::ObjectKind::Thread;
  explicit Thread(std::shared_ptr<ThreadState> s) : KernelObject(kKind), state(std::move(s)) {}

  // The last reference goes with the last close or wait. A thread that has
  // ended is joined; one still running (or closing its own handle) is let go.
  ~Thread() override {
    if (!thread.joinable()) return;
    bool done;
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      done = state->done;
    }
    if (done && thread.get_id() != std::this_thread::get_id())
      thread.join();
    else
      thread.detach();
  }

  DWORD Wait(DWORD milliseconds) override {
    std::unique_lock<std::mutex> lock(state->mutex);
    auto ready = [&] { return state->done; };
    if (milliseconds == INFINITE) {
      state->ended.wait(lock, ready);
      return WAIT_OBJECT_0;
    }
    return state->ended.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)
               ? WAIT_OBJECT_0
               : WAIT_TIMEOUT;
  }

  std::shared_ptr<ThreadState> state;
  std::thread thread;
};

// Windows' thread ids are multiples of 4 and never 0.
std::atomic<DWORD> g_nextThreadId{0x104};

}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  section->lock = new std::recursive_mutex;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
  static_cast<std::recursive_mutex*>(section->lock)->lock();
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
  static_cast<std::recursive_mutex*>(section->lock)->unlock();
  detail::Hooks("LeaveCriticalSection");
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
  delete static_cast<std::recursive_mutex*>(section->lock);
  section->lock = nullptr;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD, LPDWORD threadId) {
  DWORD error;
  if (detail::Fault("CreateThread", nullptr, &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE handle;
  try {
    auto state = std::make_shared<ThreadState>();
    auto object = std::make_shared<Thread>(state);
    object->thread = std::thread([state, start, parameter] {
      start(parameter);
      std::lock_guard<std::mutex> lock(state->mutex);
      state->done = true;
      state->ended.notify_all();
    });
    handle = detail::AddHandle(std::move(object));
  } catch (const std::exception&) {  // no thread or no memory for one
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId) *threadId = g_nextThreadId.fetch_add(4);
  return handle;
}

}  // namespace platform
