// Drives and volumes: roots, device names, drive types and volume flags.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif
#include "layer_helpers.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;
using layer_test::Guarded;
using layer_test::WinPath;

struct Volume {
  BOOL ok = FALSE;
  DWORD error = 0, serial = 0, maxComponent = 0, flags = 0;
  std::string fileSystem;
};

Volume VolumeOf(const char* root, DWORD nameSize = 64) {
  Volume v;
  char label[64], fileSystem[64];
  platform::SetLastError(0);
  v.ok = platform::GetVolumeInformationA(root, label, sizeof label, &v.serial, &v.maxComponent,
                                         &v.flags, fileSystem, nameSize);
  v.error = platform::GetLastError();
  if (v.ok) v.fileSystem = fileSystem;
  return v;
}

std::string Device(const std::string& drive) {
  char target[512];
  DWORD n = platform::QueryDosDeviceA(drive.c_str(), target, sizeof target);
  return n ? target : "<" + std::to_string(platform::GetLastError()) + ">";
}

class VolumeTest : public layer_test::LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    drive = folder.substr(0, 2);
    root = drive + "\\";
    other = drive[0] == 'Q' ? "R:" : "Q:";
  }
  std::string drive, root, other;
};

TEST_F(VolumeTest, OnlyAVolumesRootWithItsBackslashAnswers) {
  if (UnderEmulation()) GTEST_SKIP() << "Wine under qemu's user-mode emulation examines no volume";
  Volume whole = VolumeOf(root.c_str());
  ASSERT_TRUE(whole.ok) << whole.error;
  EXPECT_FALSE(whole.fileSystem.empty());
  EXPECT_GT(whole.maxComponent, 0u);
  EXPECT_NE(whole.flags & FILE_CASE_PRESERVED_NAMES, 0u);
#ifndef _WIN32
  EXPECT_EQ(whole.flags & FILE_SUPPORTS_ENCRYPTION, 0u);
#endif
  struct Case {
    std::string path;
    DWORD error;  // 0: any failure
  } cases[] = {
      {folder + "\\", ERROR_DIR_NOT_ROOT},
#ifdef _WIN32
      {folder, 0},  // Wine looks at the folder before the missing backslash
#else
      {folder, ERROR_INVALID_NAME},
#endif
      {other + "\\", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Volume v = VolumeOf(c.path.c_str());
    EXPECT_FALSE(v.ok);
    if (c.error) {
      EXPECT_EQ(v.error, c.error);
    }
  }
  // Null is the current directory's root.
  ASSERT_TRUE(platform::SetCurrentDirectoryA(folder.c_str()));
  Volume current = VolumeOf(nullptr);
  EXPECT_TRUE(current.ok);
  EXPECT_EQ(current.serial, whole.serial);
  EXPECT_EQ(current.fileSystem, whole.fileSystem);
}

TEST_F(VolumeTest, DriveTypesOfRootsAndOfNone) {
  ASSERT_TRUE(platform::SetCurrentDirectoryA(folder.c_str()));
  EXPECT_EQ(platform::GetDriveTypeA(root.c_str()), DRIVE_FIXED);
  EXPECT_EQ(platform::GetDriveTypeA(drive.c_str()), DRIVE_FIXED);
  EXPECT_EQ(platform::GetDriveTypeA(nullptr), DRIVE_FIXED);
  EXPECT_EQ(platform::GetDriveTypeA((other + "\\").c_str()), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(platform::GetDriveTypeA("\\\\nosuchserver\\share\\"), DRIVE_NO_ROOT_DIR);
}

TEST_F(VolumeTest, DeviceNamesEndWithTwoTerminatorsAndNeverOverrun) {
  char target[512];
  DWORD n = platform::QueryDosDeviceA(drive.c_str(), target, sizeof target);
  ASSERT_GT(n, 2u);
  EXPECT_EQ(target[0], '\\');
  EXPECT_EQ(std::strlen(target), n - 2);
  EXPECT_EQ(target[n - 1], 0);
  Guarded small(n - 1);
  EXPECT_EQ(platform::QueryDosDeviceA(drive.c_str(), small.bytes, n - 1), 0u);
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(small.Intact());
  EXPECT_EQ(Device(other), "<" + std::to_string(ERROR_FILE_NOT_FOUND) + ">");
}

#ifndef _WIN32
class DriveKindTest : public VolumeTest {
 protected:
  std::string Map(char letter, pt::DriveKind kind, const char* detail = "") {
    fs::path path = dir / std::string(1, letter);
    fs::create_directories(path);
    EXPECT_TRUE(pt::MapDrive(letter, kind, path.c_str(), detail)) << letter;
    return path.string();
  }
};

TEST_F(DriveKindTest, EachKindReportsItsDeviceTypeAndReadOnlyFlag) {
  using K = pt::DriveKind;
  std::string d = Map('D', K::Fixed);
  fs::create_directories(d + "/sub");
  ASSERT_TRUE(pt::MapDrive('S', K::Subst, "", "D:\\sub\\"));
  Map('N', K::Network, "srv\\share");
  Map('G', K::Dynamic, "Dg0");
  Map('H', K::Dynamic, "dg0");
  Map('K', K::Dynamic, "Dg1");
  Map('E', K::CdRom);
  Map('F', K::CdRom);
  Map('R', K::Removable);
  Map('O', K::ReadOnly);
  std::string disk = Device("D:");
  struct Case {
    char letter;
    std::string device;
    UINT type;
    bool readOnly;
  } cases[] = {
      {'D', disk, DRIVE_FIXED, false},
      {'S', "\\??\\D:\\sub", DRIVE_FIXED, false},
      {'N', "\\Device\\LanmanRedirector\\;N:", DRIVE_REMOTE, false},
      {'G', "\\Device\\HarddiskDmVolumes\\Dg0\\Volume1", DRIVE_FIXED, false},
      {'H', "\\Device\\HarddiskDmVolumes\\dg0\\Volume2", DRIVE_FIXED, false},
      {'K', "\\Device\\HarddiskDmVolumes\\Dg1\\Volume1", DRIVE_FIXED, false},
      {'E', "\\Device\\CdRom0", DRIVE_CDROM, true},
      {'F', "\\Device\\CdRom1", DRIVE_CDROM, true},
      {'R', disk, DRIVE_REMOVABLE, false},  // one Linux file system is one volume
      {'O', disk, DRIVE_FIXED, true},
  };
  EXPECT_EQ(disk.rfind("\\Device\\HarddiskVolume", 0), 0u) << disk;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.letter);
    std::string letter(1, c.letter);
    std::string device = Device(letter + ":");
    if (c.letter == 'N') {  // the logon-session part varies; the share ends it
      EXPECT_EQ(device.rfind(c.device, 0), 0u) << device;
      EXPECT_EQ(device.substr(device.size() - 10), "\\srv\\share") << device;
    } else {
      EXPECT_EQ(device, c.device);
    }
    EXPECT_EQ(platform::GetDriveTypeA((letter + ":\\").c_str()), c.type);
    Volume v = VolumeOf((letter + ":\\").c_str());
    ASSERT_TRUE(v.ok) << v.error;
    EXPECT_EQ((v.flags & FILE_READ_ONLY_VOLUME) != 0, c.readOnly);
  }
  // The share's own root is the network drive's volume.
  EXPECT_EQ(platform::GetDriveTypeA("\\\\SRV\\share\\"), DRIVE_REMOTE);
  EXPECT_TRUE(VolumeOf("\\\\srv\\share\\").ok);
  EXPECT_EQ(platform::GetDriveTypeA("\\\\srv\\other\\"), DRIVE_NO_ROOT_DIR);
}

TEST_F(DriveKindTest, DrivesOnOtherFileSystemsAreOtherVolumes) {
  struct stat here, there;
  if (::stat("/dev/shm", &there) != 0 || ::stat(dir.c_str(), &here) != 0 ||
      here.st_dev == there.st_dev)
    GTEST_SKIP() << "/dev/shm is missing or on the test folder's file system";
  Map('D', pt::DriveKind::Fixed);
  Map('F', pt::DriveKind::Fixed);
  ASSERT_TRUE(pt::MapDrive('M', pt::DriveKind::Fixed, "/dev/shm"));
  EXPECT_EQ(Device("D:"), Device("F:"));
  EXPECT_NE(Device("D:"), Device("M:"));
  EXPECT_EQ(VolumeOf("D:\\").serial, VolumeOf("F:\\").serial);
  EXPECT_NE(VolumeOf("D:\\").serial, VolumeOf("M:\\").serial);
  EXPECT_EQ(VolumeOf("M:\\").fileSystem, "tmpfs");
}

TEST_F(DriveKindTest, MissingDirectoriesAreMissingVolumesAndAnEmptyCdRomIsNotReady) {
  ASSERT_TRUE(pt::MapDrive('E', pt::DriveKind::CdRom, (dir / "nodisc").c_str()));
  ASSERT_TRUE(pt::MapDrive('D', pt::DriveKind::Fixed, (dir / "gone").c_str()));
  EXPECT_EQ(VolumeOf("E:\\").error, (DWORD)ERROR_NOT_READY);
  EXPECT_EQ(platform::GetDriveTypeA("E:\\"), DRIVE_CDROM);
  EXPECT_EQ(VolumeOf("D:\\").error, (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(DriveKindTest, NamedStreamsAreClaimedOnlyWhereUserAttributesWork) {
  Map('D', pt::DriveKind::Fixed);
  std::ofstream(dir / "D" / "probe") << "x";
  bool works = ::setxattr((dir / "D" / "probe").c_str(), "user.quickferry.test", "x", 1, 0) == 0;
  Volume v = VolumeOf("D:\\");
  ASSERT_TRUE(v.ok);
  EXPECT_EQ((v.flags & FILE_NAMED_STREAMS) != 0, works);
}

TEST_F(VolumeTest, LinuxMountPointsAreVolumeRoots) {
  std::ifstream mountinfo("/proc/self/mountinfo");
  std::string line;
  bool procMounted = false;
  while (std::getline(mountinfo, line))
    if (line.find(" /proc ") != std::string::npos && line.find(" - proc ") != std::string::npos)
      procMounted = true;
  if (!procMounted) GTEST_SKIP() << "/proc is not mounted here";
  Volume proc = VolumeOf("Z:\\proc\\");
  ASSERT_TRUE(proc.ok) << proc.error;
  EXPECT_EQ(proc.fileSystem, "proc");
  EXPECT_EQ(VolumeOf("Z:\\proc\\", 3).fileSystem, "pr");  // cut to the buffer
  EXPECT_EQ(platform::GetDriveTypeA("Z:\\proc\\"), DRIVE_FIXED);
  EXPECT_EQ(VolumeOf("Z:\\proc").error, (DWORD)ERROR_INVALID_NAME);
  EXPECT_EQ(platform::GetDriveTypeA((folder + "\\").c_str()), DRIVE_NO_ROOT_DIR);
}

// A child process with mounts of its own: a read-only one, and one whose
// name mountinfo must escape. Exit codes tell which check failed.
int CheckPrivateMounts(const fs::path& dir) {
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return 100;
  fs::path ro = dir / "ro", spaced = dir / "with space";
  fs::create_directories(ro);
  fs::create_directories(spaced);
  if (::mount("qf", ro.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0 ||
      ::mount("qf", spaced.c_str(), "tmpfs", 0, "size=64k") != 0)
    return 100;
  Volume readOnly = VolumeOf((WinPath(ro) + "\\").c_str());
  Volume writable = VolumeOf((WinPath(spaced) + "\\").c_str());
  if (!readOnly.ok || readOnly.fileSystem != "tmpfs") return 1;
  if (!(readOnly.flags & FILE_READ_ONLY_VOLUME)) return 2;
  if (!writable.ok) return 3;
  if (writable.flags & FILE_READ_ONLY_VOLUME) return 4;
  if (readOnly.serial == writable.serial) return 5;
  if (platform::CreateDirectoryA((WinPath(ro) + "\\x").c_str(), nullptr) ||
      platform::GetLastError() != ERROR_WRITE_PROTECT)
    return 6;
  // What was learnt of a volume is forgotten when it is mounted anew.
  if (::mount(nullptr, spaced.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) return 100;
  if (!(VolumeOf((WinPath(spaced) + "\\").c_str()).flags & FILE_READ_ONLY_VOLUME)) return 7;
  return 0;
}

TEST_F(VolumeTest, ReadOnlyAndEscapedMountPointsAreRecognised) {
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(CheckPrivateMounts(dir));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  int code = WEXITSTATUS(status);
  if (code == 100) GTEST_SKIP() << "this process may not mount in a private namespace";
  const char* failed[] = {"",
                          "the read-only tmpfs is no volume root",
                          "the read-only mount lacks FILE_READ_ONLY_VOLUME",
                          "the mount named with a space is no volume root",
                          "the writable mount claims to be read-only",
                          "two file systems share a serial number",
                          "a write on the read-only mount did not fail with ERROR_WRITE_PROTECT",
                          "a remount as read-only went unnoticed"};
  EXPECT_EQ(code, 0) << (code > 0 && code < 8 ? failed[code] : "the child failed");
}
#endif

}  // namespace
