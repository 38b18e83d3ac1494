// errno to Win32 last-error values: the one table the Linux layer uses.
// Internal to src/platform/posix.
#pragma once

#include "../platform.h"

namespace platform::detail {

// The Win32 code for an errno value. ENOENT gives ERROR_FILE_NOT_FOUND here;
// callers that know the Linux path ask SetLastErrorFromErrno, which tells a
// missing folder on the way (ERROR_PATH_NOT_FOUND) from a missing name.
DWORD ErrorFromErrno(int error);

// Sets the last error from `error`. With `hostPath`, ENOENT becomes
// ERROR_PATH_NOT_FOUND when the folder that should hold hostPath is missing.
void SetLastErrorFromErrno(int error, const char* hostPath = nullptr);

// Sets the last error and returns FALSE, for the common failure exit.
inline BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace platform::detail
