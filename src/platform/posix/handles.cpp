// The handle table: HANDLE values for kernel objects, and CloseHandle.
#include "handles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "../common/layer.h"
#include "errors.h"
#include "file_object.h"

namespace platform::detail {
namespace {

std::mutex g_mutex;  // guards the table and the next value
std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> g_objects;
// Multiples of 4 as on Windows, never null or INVALID_HANDLE_VALUE, and not
// reused soon, so a stale handle is refused instead of reaching a newer object.
uintptr_t g_next = 0x1000;

}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
  std::lock_guard<std::mutex> lock(g_mutex);
  uintptr_t value = g_next;
  g_next += 4;
  g_objects[value] = std::move(object);
  HandleOpened();
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> FindHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == g_objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> TakeHandle(HANDLE handle, bool find) {
  std::shared_ptr<KernelObject> object;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == g_objects.end() || (it->second->kind == ObjectKind::Find) != find) return nullptr;
    object = std::move(it->second);
    g_objects.erase(it);
  }
  HandleClosed();
  return object;
}

}  // namespace platform::detail

namespace platform {

BOOL CloseHandle(HANDLE handle) {
  // A fault is a failure met while closing, as a write that was put off
  // fails there: the handle is closed all the same.
  DWORD error = ERROR_SUCCESS;
  bool faulted = detail::g_watching.load(std::memory_order_relaxed) &&
                 detail::Fault("CloseHandle", detail::FaultPathOf(detail::FileOf(handle)), &error);
  // Freed when this returns, outside the table's lock.
  std::shared_ptr<detail::KernelObject> object = detail::TakeHandle(handle, false);
  if (!object) return detail::Fail(faulted ? error : ERROR_INVALID_HANDLE);
  BOOL ok = object->Close();
  return faulted ? detail::Fail(error) : ok;
}

}  // namespace platform
