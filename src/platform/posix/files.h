// File attributes on Linux, shared by the calls that report them
// (GetFileAttributesA now, the find calls later). Internal to src/platform/posix.
#pragma once

#include <sys/stat.h>

#include "../platform.h"

namespace platform::detail {

// The attributes `hostPath` has, given its stat record: directory from the
// type, read-only when the owner may not write, hidden for a dot name, and
// hidden/system/archive kept in the "user.quickferry.attributes" attribute.
DWORD AttributesOf(const char* hostPath, const struct stat& st);

// A symbolic link's own attributes, given those of what it leads to (0 when
// it leads nowhere): the reparse point, the directory bit of a folder's
// link, hidden for a dot name; never read-only, which the link itself
// cannot be.
DWORD LinkAttributes(DWORD targetAttributes);

}  // namespace platform::detail
