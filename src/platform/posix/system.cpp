// Last error and version on Linux (the heaps are in memory.cpp).
#include "../common/layer.h"

namespace platform {

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  DWORD error;
  if (detail::Fault("GetVersionExA", nullptr, &error)) {
    SetLastError(error);
    return FALSE;
  }
  if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!detail::VersionOverride(info)) {
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    info->szCSDVersion[0] = 0;
  }
  return TRUE;
}

}  // namespace platform
