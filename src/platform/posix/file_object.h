// An open file on Linux: the handle table's File object, shared by the calls
// on file handles (file_io.cpp, streams.cpp, compression.cpp). Internal to
// src/platform/posix.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "handles.h"

namespace platform::detail {

// The layer's own attribute for hidden, system and archive (files.cpp):
// never a named stream.
constexpr const char* kAttributesAttribute = "user.quickferry.attributes";

struct File : KernelObject {
  static constexpr ObjectKind kKind = ObjectKind::File;
  File() : KernelObject(kKind) {}
  ~File() override;
  // Writes a changed named stream back and closes the descriptor.
  BOOL Close() override;

  int fd = -1;       // the file itself (for a named stream: its file)
  std::string path;  // the Windows path as opened: faults match it
  bool canRead = false;
  bool canWrite = false;
  bool directory = false;  // opened with FILE_FLAG_BACKUP_SEMANTICS
  bool noBuffering = false;

  std::mutex mutex;  // one call at a time, as on a synchronous Windows handle
  unsigned long long position = 0;
  // The data's end as this handle last saw it (opened, written, cut): a
  // short read that reaches it is at the end.
  unsigned long long knownEnd = 0;

  // A named stream: the attribute that keeps it and its whole contents.
  bool isStream = false;
  std::string attribute;  // "user.<name>"
  std::vector<char> data;
  bool changed = false;  // written since opened: set back when closed

  // Unbuffered reads: how far read-ahead was asked and pages were dropped.
  off_t hintedUpTo = 0;
  off_t droppedUpTo = 0;
  // The memory the last large unbuffered read readied (PrepareLargeFill).
  uintptr_t preparedFrom = 0;
  uintptr_t preparedTo = 0;

  // Last-access and last-write times set by SetFileTime, set again when
  // the handle is closed if a write came after them (Windows keeps times
  // set on a handle; Linux would move them with every write).
  bool timesSet = false;
  bool writtenSinceTimes = false;
  timespec times[2] = {};
};

// The File behind `handle`, or null.
inline std::shared_ptr<File> FileOf(HANDLE handle) { return FindHandleOf<File>(handle); }

// The path a File handle was opened with, for the fault table; null for
// any other handle.
inline const char* FaultPathOf(const std::shared_ptr<File>& file) {
  return file ? file->path.c_str() : nullptr;
}

}  // namespace platform::detail
