// Windows paths on Linux: the drive table, full paths by Windows rules and
// the Linux path a Windows path stands for. Internal to src/platform/posix.
#pragma once

#include <string>

#include "../platform.h"
#include "../testing.h"

namespace platform::detail {

struct Drive {
  testing::DriveKind kind = testing::DriveKind::Fixed;
  std::string directory;  // a Linux path, without a trailing '/' unless it is "/"
  std::string detail;     // as MapDrive took it (Subst: the full Windows path)
};

// A copy of drive `letter`'s entry (either case); false when it is not mapped.
bool DriveOf(char letter, Drive* drive);

// The letter of the network drive mapped for \\server\share (ASCII case
// ignored), or 0 when there is none.
char NetworkDriveFor(const std::string& server, const std::string& share);

// `path` made full by GetFullPathNameA's rules. False with *error set
// (ERROR_INVALID_PARAMETER for null, ERROR_INVALID_NAME for "").
bool FullWindowsPath(const char* path, std::string* full, DWORD* error);

// Where a full path's root ends: 3 for "X:\...", the length of
// "\\server\share\" for a UNC path (without the backslash when the path
// ends at the share), 0 for anything else.
size_t RootLength(const std::string& full);

// The full path without a "\\?\" prefix ("\\?\UNC\s\sh" becomes "\\s\sh").
std::string WithoutLongPrefix(const std::string& full);

// The Linux path `windowsPath` stands for. False with *error set
// (ERROR_PATH_NOT_FOUND when it reaches no drive).
bool HostPathOf(const char* windowsPath, std::string* host, DWORD* error);

// The current directory, a full Windows path.
std::string CurrentDirectory();

}  // namespace platform::detail
