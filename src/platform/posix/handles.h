// The table of kernel-object handles on Linux. Each kind of object (events
// now; files, finds and threads later) derives from KernelObject; the table
// hands out HANDLE values and keeps the objects alive while a call uses them.
// Internal to src/platform/posix.
#pragma once

#include <memory>

#include "../platform.h"

namespace platform::detail {

enum class ObjectKind { Event, File, Find, Thread };

struct KernelObject {
  explicit KernelObject(ObjectKind k) : kind(k) {}
  virtual ~KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;

  // WaitForSingleObject on this object. Kinds that cannot be waited on
  // keep this answer.
  virtual DWORD Wait(DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }

  // Called once when the handle is closed (CloseHandle, FindClose). FALSE
  // with the last error set reports a failure (a named stream that could
  // not be written back); the handle is closed all the same.
  virtual BOOL Close() { return TRUE; }

  const ObjectKind kind;
};

// Enters the object into the table and counts the handle as open.
HANDLE AddHandle(std::shared_ptr<KernelObject> object);

// The object behind `handle`, or null when the handle is unknown. The
// caller's reference keeps the object alive even if another thread closes
// the handle meanwhile, as Windows keeps an object while a wait uses it.
std::shared_ptr<KernelObject> FindHandle(HANDLE handle);

// Takes `handle` out of the table and counts it as closed. As on Windows,
// a find handle is closed by FindClose only (`find` true) and every other
// object by CloseHandle only (`find` false); null for any other handle.
std::shared_ptr<KernelObject> TakeHandle(HANDLE handle, bool find);

// The object when it is of kind T::kKind, else null.
template <typename T>
std::shared_ptr<T> FindHandleOf(HANDLE handle) {
  std::shared_ptr<KernelObject> object = FindHandle(handle);
  if (!object || object->kind != T::kKind) return nullptr;
  return std::static_pointer_cast<T>(object);
}

}  // namespace platform::detail
