// Events: a mutex and a condition variable per event.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "../common/layer.h"
#include "errors.h"
#include "handles.h"

namespace platform {
namespace {

struct Event : detail::KernelObject {
  static constexpr detail::ObjectKind kKind = detail::ObjectKind::Event;
  Event(bool manual, bool signalled)
      : KernelObject(kKind), manualReset(manual), signalled(signalled) {}

  DWORD Wait(DWORD milliseconds) override;
  void Set();

  std::mutex mutex;
  std::condition_variable changed;
  const bool manualReset;
  bool signalled;
  // Auto-reset: SetEvent with threads waiting hands one of them a release
  // instead of signalling, so each SetEvent frees exactly one waiter even
  // when several SetEvent calls come before any waiter runs (as on Windows).
  int waiters = 0;
  int releases = 0;
  // Manual-reset: bumped by every SetEvent, so a waiter woken by a SetEvent
  // returns even if ResetEvent came before it ran.
  unsigned generation = 0;
};

void Event::Set() {
  std::lock_guard<std::mutex> lock(mutex);
  if (manualReset) {
    signalled = true;
    ++generation;
    changed.notify_all();
  } else if (waiters > releases) {
    ++releases;
    changed.notify_one();
  } else {
    signalled = true;
  }
}

DWORD Event::Wait(DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(mutex);
  if (signalled) {
    if (!manualReset) signalled = false;
    return WAIT_OBJECT_0;
  }
  if (milliseconds == 0) return WAIT_TIMEOUT;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  auto until = [&](auto ready) {
    if (milliseconds == INFINITE) {
      changed.wait(lock, ready);
      return true;
    }
    return changed.wait_until(lock, deadline, ready);
  };
  if (manualReset) {
    unsigned start = generation;
    return until([&] { return signalled || generation != start; }) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }
  ++waiters;
  // The predicate is checked under the lock at the deadline too, so a
  // release given at the last moment is taken, never lost.
  bool released = until([&] { return releases > 0; });
  --waiters;
  if (!released) return WAIT_TIMEOUT;
  --releases;
  return WAIT_OBJECT_0;
}

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
  DWORD error;
  if (detail::Fault("CreateEventA", name, &error)) {
    SetLastError(error);
    return nullptr;
  }
  return detail::AddHandle(std::make_shared<Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE handle) {
  std::shared_ptr<Event> event = detail::FindHandleOf<Event>(handle);
  if (!event) return detail::Fail(ERROR_INVALID_HANDLE);
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  std::shared_ptr<Event> event = detail::FindHandleOf<Event>(handle);
  if (!event) return detail::Fail(ERROR_INVALID_HANDLE);
  std::lock_guard<std::mutex> lock(event->mutex);
  event->signalled = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  std::shared_ptr<detail::KernelObject> object = detail::FindHandle(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return object->Wait(milliseconds);
}

}  // namespace platform
