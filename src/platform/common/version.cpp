// The Windows version a test asked the layer to report.
#include <mutex>

#include "../testing.h"
#include "layer.h"

namespace platform::detail {
namespace {
std::mutex g_mutex;
bool g_set = false;
DWORD g_platformId = VER_PLATFORM_WIN32_NT, g_major = 10, g_minor = 0;
}  // namespace

bool VersionOverride(OSVERSIONINFOA* info) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_set) return false;
  info->dwPlatformId = g_platformId;
  info->dwMajorVersion = g_major;
  info->dwMinorVersion = g_minor;
  // Windows 9x packs major and minor into the high word of the build.
  info->dwBuildNumber = g_platformId == VER_PLATFORM_WIN32_NT ? 1000 : ((g_major << 24) | (g_minor << 16) | 1000);
  info->szCSDVersion[0] = 0;
  return true;
}

}  // namespace platform::detail

namespace platform::testing {

void SetReportedVersion(DWORD platformId, DWORD major, DWORD minor) {
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  detail::g_set = true;
  detail::g_platformId = platformId;
  detail::g_major = major;
  detail::g_minor = minor;
}

void ResetReportedVersion() {
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  detail::g_set = false;
}

}  // namespace platform::testing
