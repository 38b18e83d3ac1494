// Windows paths on Linux: the drive table, full paths by Windows rules,
// the Linux path a Windows path stands for, and the one mapping between
// POSIX names and the names the plug-in sees. Internal to src/platform/posix.
//
// Names. A POSIX name may hold any byte but '/' and NUL; a Windows path
// gives meaning to '\', ':', '*', '?', '"', '<', '>', '|', to control
// bytes and to a trailing dot or space (stripped). Such a byte reaches the
// plug-in as two bytes: the escape byte 0xFF and the byte with its top bit
// flipped (':' is FF BA, '\' FF DC, 0x01 FF 81, a trailing '.' FF AE). The
// escape byte itself is FF 7F, so a name that already looks escaped
// round-trips too. Every other byte, UTF-8 or not, passes as it is.
// Listed names go through WindowsName; every path a call takes goes back
// through HostPathOf, which refuses a raw reserved or control byte and a
// broken escape (ERROR_INVALID_NAME), so no listed name can reach outside
// its folder.
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

constexpr unsigned char kNameEscape = 0xFF;

// A POSIX name as the plug-in sees it (see above).
std::string WindowsName(const std::string& posixName);

// A Windows path component back to its POSIX name; false with *error
// (ERROR_INVALID_NAME) for a raw reserved or control byte or a broken
// escape. An escaped dot or space stands for itself anywhere in the name.
bool PosixName(const std::string& windowsName, std::string* posixName, DWORD* error);

// "Z:" and the escaped components of an absolute Linux path.
std::string WindowsPathOfHost(const std::string& hostPath);

// The Linux path `windowsPath` stands for. False with *error set
// (ERROR_PATH_NOT_FOUND when it reaches no drive).
bool HostPathOf(const char* windowsPath, std::string* host, DWORD* error);

// The current directory, a full Windows path.
std::string CurrentDirectory();

}  // namespace platform::detail
