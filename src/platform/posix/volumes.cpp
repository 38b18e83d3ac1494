// Drives and volumes on Linux: the drive table's kinds, and the mounts of
// /proc/self/mountinfo for everything the table does not say.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "../common/layer.h"
#include "errors.h"
#include "paths.h"

namespace platform {
namespace {

using testing::DriveKind;

struct Mount {
  dev_t device = 0;
  std::string point;   // where it is mounted
  std::string fsType;  // "ext4", "nfs4", ...
  // What stat of the point gave when the table was read (0, 0 if it failed).
  dev_t pointDevice = 0;
  ino_t pointInode = 0;
};

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    bool octal = field[i] == '\\' && i + 3 < field.size();
    for (size_t k = 1; octal && k <= 3; ++k) octal = field[i + k] >= '0' && field[i + k] <= '7';
    if (octal) {
      out += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::vector<Mount> ParseMounts(const std::string& text) {
  std::vector<Mount> mounts;
  std::istringstream file(text);
  std::string line;
  while (std::getline(file, line)) {
    // id parent major:minor root point options [optional...] - type source super
    std::istringstream fields(line);
    std::string id, parent, numbers, root, point, word;
    if (!(fields >> id >> parent >> numbers >> root >> point)) continue;
    while (fields >> word && word != "-") {
    }
    Mount mount;
    unsigned major = 0, minor = 0;
    if (!(fields >> mount.fsType) || std::sscanf(numbers.c_str(), "%u:%u", &major, &minor) != 2)
      continue;
    mount.device = makedev(major, minor);
    mount.point = Unescape(point);
    struct stat info;
    if (::stat(mount.point.c_str(), &info) == 0) {
      mount.pointDevice = info.st_dev;
      mount.pointInode = info.st_ino;
    }
    mounts.push_back(mount);
  }
  return mounts;
}

// The mount table is asked for every entry a run scans; reading and parsing
// mountinfo each time was most of a small-file copy's time. It is read
// again only when the kernel reports a change on it (poll's POLLPRI).
// The open file shows the process and mount namespace it was opened in: a
// child after fork (which may then enter a namespace of its own) opens it
// again.
using MountTable = std::shared_ptr<const std::vector<Mount>>;

std::mutex g_mountsMutex;
int g_mountsFile = -1;
pid_t g_mountsProcess = 0;
MountTable g_mounts;  // null until read
// What the probes of GetVolumeInformationA found on each volume root, by
// its real path; valid as long as the table is, since a remount that
// changes them shows in the table.
struct RootProbe {
  DWORD flags = 0;
  DWORD maxComponent = 0;
};
std::map<std::string, RootProbe> g_rootProbes;

// The mounts in mount order; an over-mount comes after what it covers.
// Shared, not copied: it is asked several times for every scanned entry.
MountTable ReadMounts() {
  std::lock_guard<std::mutex> lock(g_mountsMutex);
  pid_t current = ::getpid();
  if (g_mountsFile >= 0 && current != g_mountsProcess) {
    ::close(g_mountsFile);
    g_mountsFile = -1;
    g_mounts = nullptr;
  }
  if (g_mountsFile < 0) {
    g_mountsFile = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    g_mountsProcess = current;
  }
  if (g_mountsFile < 0) return std::make_shared<const std::vector<Mount>>();
  pollfd watch{g_mountsFile, POLLPRI, 0};
  bool changed = ::poll(&watch, 1, 0) > 0 && (watch.revents & (POLLPRI | POLLERR));
  if (g_mounts && !changed) return g_mounts;
  g_rootProbes.clear();
  std::string text;
  char chunk[8192];
  ::lseek(g_mountsFile, 0, SEEK_SET);
  for (ssize_t n; (n = ::read(g_mountsFile, chunk, sizeof chunk)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      // Not kept: opened afresh next time (the process it showed may be gone).
      ::close(g_mountsFile);
      g_mountsFile = -1;
      g_mounts = nullptr;
      return std::make_shared<const std::vector<Mount>>(ParseMounts(text));
    }
    text.append(chunk, static_cast<size_t>(n));
  }
  g_mounts = std::make_shared<const std::vector<Mount>>(ParseMounts(text));
  return g_mounts;
}

// In a chroot the root's own mount lies outside what mountinfo shows:
// the root is then taken as one volume, its type from statfs.
bool RootMount(Mount* found) {
  struct stat root;
  struct statfs info;
  if (::stat("/", &root) != 0 || ::statfs("/", &info) != 0) return false;
  const struct {
    unsigned long magic;
    const char* name;
  } kinds[] = {{0xEF53, "ext4"}, {0x9123683E, "btrfs"}, {0x58465342, "xfs"},
               {0x01021994, "tmpfs"}, {0x794C7630, "overlay"}};
  found->device = root.st_dev;
  found->point = "/";
  found->fsType = "unknown";
  for (const auto& kind : kinds)
    if (static_cast<unsigned long>(info.f_type) == kind.magic) found->fsType = kind.name;
  return true;
}

// The mount that holds the real path `path`: the longest mount point above
// it, and of equal ones the latest, which covers the others.
bool MountOf(const std::string& path, Mount* found) {
  size_t best = 0;
  bool any = false;
  MountTable mounts = ReadMounts();
  for (const Mount& m : *mounts) {
    bool above = m.point == "/" || path == m.point ||
                 (path.compare(0, m.point.size(), m.point) == 0 && path[m.point.size()] == '/');
    if (above && m.point.size() >= best) {
      best = m.point.size();
      *found = m;
      any = true;
    }
  }
  if (!any) any = RootMount(found);
  return any;
}

bool RealPath(const std::string& path, std::string* real) {
  char buffer[PATH_MAX];
  if (!::realpath(path.c_str(), buffer)) return false;
  *real = buffer;
  return true;
}

UINT TypeOfFileSystem(const std::string& fsType) {
  for (const char* remote : {"nfs", "nfs4", "cifs", "smb3"})
    if (fsType == remote) return DRIVE_REMOTE;
  if (fsType == "iso9660" || fsType == "udf") return DRIVE_CDROM;
  return DRIVE_FIXED;
}

UINT TypeOfDirectory(const std::string& directory) {
  std::string real;
  Mount mount;
  if (!RealPath(directory, &real) || !MountOf(real, &mount)) return DRIVE_FIXED;
  return TypeOfFileSystem(mount.fsType);
}

// What a full Windows path names: a mapped drive's root, the root of a
// share that a network drive maps, or a Linux mount point.
enum class RootKind { NotRoot, UnknownDrive, Drive, MountPoint };

struct Root {
  RootKind kind = RootKind::NotRoot;
  detail::Drive drive;    // for Drive
  std::string directory;  // the Linux directory of the root
  bool isDirectory = false;  // for NotRoot: the path names a directory
};

// A cheap test before the exact one: a directory that is a mount point is
// the same file as one of the table's points. One stat instead of
// resolving every component of the path.
bool MaybeMountPoint(const struct stat& info) {
  MountTable mounts = ReadMounts();
  for (const Mount& m : *mounts)
    if (m.pointInode == 0 || (m.pointDevice == info.st_dev && m.pointInode == info.st_ino))
      return true;
  return false;
}

Root IdentifyRoot(const std::string& full) {
  Root root;
  size_t rootLength = detail::RootLength(full);
  if (rootLength && rootLength == full.size()) {
    char letter = full[1] == ':' ? full[0] : 0;
    if (!letter) {  // \\server\share
      std::string share = full.substr(2, full.back() == '\\' ? full.size() - 3 : std::string::npos);
      size_t slash = share.find('\\');
      letter = detail::NetworkDriveFor(share.substr(0, slash), share.substr(slash + 1));
    }
    root.kind = letter && detail::DriveOf(letter, &root.drive) ? RootKind::Drive : RootKind::UnknownDrive;
    root.directory = root.drive.directory;
    return root;
  }
  std::string host, real;
  DWORD error;
  Mount mount;
  struct stat info;
  if (full.back() != '\\' || !detail::HostPathOf(full.c_str(), &host, &error) ||
      ::stat(host.c_str(), &info) != 0)
    return root;
  root.isDirectory = S_ISDIR(info.st_mode);
  if (MaybeMountPoint(info) && RealPath(host, &real) && MountOf(real, &mount) &&
      mount.point == real) {
    root.kind = RootKind::MountPoint;
    root.directory = real;
  }
  return root;
}

// A root path made full as Windows makes it: null is the current
// directory's root.
std::string FullRoot(const char* path) {
  std::string full;
  DWORD error;
  if (!detail::FullWindowsPath(path ? path : "\\", &full, &error)) return "";
  return detail::WithoutLongPrefix(full);
}

// How many drives before `letter` are of `kind` (and, for dynamic ones, of
// the same disk group, named without regard to case): the number Windows
// gives each volume of a kind.
int OrdinalOf(char letter, DriveKind kind, const std::string& group) {
  int n = 0;
  detail::Drive other;
  for (char l = 'A'; l < letter; ++l)
    if (detail::DriveOf(l, &other) && other.kind == kind &&
        (kind != DriveKind::Dynamic || lstrcmpiA(other.detail.c_str(), group.c_str()) == 0))
      ++n;
  return n;
}

std::string DeviceOf(char letter, const detail::Drive& drive) {
  switch (drive.kind) {
    case DriveKind::Subst:
      return "\\??\\" + drive.detail;
    case DriveKind::Network:
      return std::string("\\Device\\LanmanRedirector\\;") + letter + ":0000000000010000\\" +
             drive.detail;
    case DriveKind::Dynamic:
      return "\\Device\\HarddiskDmVolumes\\" + drive.detail + "\\Volume" +
             std::to_string(OrdinalOf(letter, drive.kind, drive.detail) + 1);
    case DriveKind::CdRom:
      return "\\Device\\CdRom" + std::to_string(OrdinalOf(letter, drive.kind, ""));
    default: {
      // Drives on one Linux file system are one volume.
      struct stat st;
      unsigned long long device = ::stat(drive.directory.c_str(), &st) == 0 ? st.st_dev : 0;
      return "\\Device\\HarddiskVolume" + std::to_string(device);
    }
  }
}

// A 32-bit serial number from a device id: the same device always gives the
// same number, and different small ids give different ones.
DWORD SerialOf(dev_t device) {
  auto d = static_cast<unsigned long long>(device);
  auto x = static_cast<uint32_t>(d ^ (d >> 32));
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

// An extended attribute the directory may hold: ENODATA means the file
// system takes them and this one is just not set.
bool TakesAttribute(const std::string& directory, const char* name) {
  return ::getxattr(directory.c_str(), name, nullptr, 0) >= 0 || errno == ENODATA;
}

// What the volume whose root is the real path `real` takes and allows, from
// the cache while the mount table stands (a scan asks for every entry).
bool ProbeRoot(const std::string& real, RootProbe* probe) {
  MountTable table;
  {
    std::lock_guard<std::mutex> lock(g_mountsMutex);
    table = g_mounts;
    auto known = g_rootProbes.find(real);
    if (known != g_rootProbes.end()) {
      *probe = known->second;
      return true;
    }
  }
  struct statvfs vfs;
  if (::statvfs(real.c_str(), &vfs) != 0) return false;
  probe->flags = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
  if (TakesAttribute(real, "user.quickferry.probe")) probe->flags |= FILE_NAMED_STREAMS;
  if (TakesAttribute(real, "system.posix_acl_access")) probe->flags |= FILE_PERSISTENT_ACLS;
  if (vfs.f_flag & ST_RDONLY) probe->flags |= FILE_READ_ONLY_VOLUME;
  probe->maxComponent = static_cast<DWORD>(vfs.f_namemax);
  std::lock_guard<std::mutex> lock(g_mountsMutex);
  if (table && table == g_mounts) g_rootProbes[real] = *probe;  // not if it changed meanwhile
  return true;
}

}  // namespace

DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR target, DWORD size) {
  DWORD error;
  if (detail::Fault("QueryDosDeviceA", deviceName, &error)) return detail::Fail(error);
  if (!deviceName) return detail::Fail(ERROR_INVALID_PARAMETER);
  detail::Drive drive;
  if (std::strlen(deviceName) != 2 || deviceName[1] != ':' || !detail::DriveOf(deviceName[0], &drive))
    return detail::Fail(ERROR_FILE_NOT_FOUND);
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(deviceName[0])));
  std::string answer = DeviceOf(letter, drive);
  size_t stored = answer.size() + 2;  // the answer and the empty string that ends the list
  if (!target || stored > size) return detail::Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(target, answer.c_str(), answer.size() + 1);
  target[answer.size() + 1] = 0;
  return static_cast<DWORD>(stored);
}

UINT GetDriveTypeA(LPCSTR rootPath) {
  DWORD error;
  if (detail::Fault("GetDriveTypeA", rootPath, &error)) {
    SetLastError(error);
    return DRIVE_UNKNOWN;
  }
  // "X:" names the drive, not its current directory.
  bool driveOnly = rootPath && std::strlen(rootPath) == 2 && rootPath[1] == ':';
  std::string full = driveOnly ? std::string(rootPath) + "\\" : FullRoot(rootPath);
  if (full.empty()) return DRIVE_NO_ROOT_DIR;
  Root root = IdentifyRoot(full);
  if (root.kind == RootKind::MountPoint) return TypeOfDirectory(root.directory);
  if (root.kind != RootKind::Drive) return DRIVE_NO_ROOT_DIR;
  switch (root.drive.kind) {
    case DriveKind::Network: return DRIVE_REMOTE;
    case DriveKind::CdRom: return DRIVE_CDROM;
    case DriveKind::Removable: return DRIVE_REMOVABLE;
    case DriveKind::Dynamic:
    case DriveKind::ReadOnly: return DRIVE_FIXED;
    default: return TypeOfDirectory(root.directory);
  }
}

BOOL GetVolumeInformationA(LPCSTR rootPath, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
  DWORD error;
  if (detail::Fault("GetVolumeInformationA", rootPath, &error)) return detail::Fail(error);
  std::string full = FullRoot(rootPath);
  if (full.empty() || full.back() != '\\') return detail::Fail(ERROR_INVALID_NAME);
  Root root = IdentifyRoot(full);
  if (root.kind == RootKind::UnknownDrive) return detail::Fail(ERROR_PATH_NOT_FOUND);
  if (root.kind == RootKind::NotRoot)
    return detail::Fail(root.isDirectory ? ERROR_DIR_NOT_ROOT : ERROR_PATH_NOT_FOUND);
  bool cdRom = root.kind == RootKind::Drive && root.drive.kind == DriveKind::CdRom;
  std::string real;
  Mount mount;
  struct stat st;
  RootProbe probe;
  if (!RealPath(root.directory, &real) || ::stat(real.c_str(), &st) != 0 ||
      !MountOf(real, &mount) || !ProbeRoot(real, &probe)) {
    // A CD-ROM drive without its disc is not ready; any other root is missing.
    return detail::Fail(cdRom ? ERROR_NOT_READY : ERROR_PATH_NOT_FOUND);
  }
  DWORD flags = probe.flags;
  if (mount.fsType == "btrfs") flags |= FILE_FILE_COMPRESSION;
  bool readOnlyDrive =
      root.kind == RootKind::Drive && (cdRom || root.drive.kind == DriveKind::ReadOnly);
  if (readOnlyDrive) flags |= FILE_READ_ONLY_VOLUME;

  if (volumeName && volumeNameSize) volumeName[0] = 0;  // Linux volumes carry no label here
  if (serialNumber) *serialNumber = SerialOf(st.st_dev);
  if (maxComponentLength) *maxComponentLength = probe.maxComponent;
  if (fileSystemFlags) *fileSystemFlags = flags;
  if (fileSystemName && fileSystemNameSize) {
    size_t n = std::min<size_t>(mount.fsType.size(), fileSystemNameSize - 1);
    std::memcpy(fileSystemName, mount.fsType.data(), n);
    fileSystemName[n] = 0;
  }
  return TRUE;
}

}  // namespace platform
