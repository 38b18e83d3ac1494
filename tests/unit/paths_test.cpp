// Names, drives and volumes: name comparison, substitutions, servers and disk
// groups, volume abilities and whether two paths share a physical drive. The
// drive kinds Wine lacks come from the Linux drive table.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "paths/paths.h"
#include "platform/testing.h"
#include "support/fixture.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;
using Kind = pt::DriveKind;

#ifdef _WIN32
#define SKIP_ON_WINE(why) GTEST_SKIP() << why
#else
#define SKIP_ON_WINE(why) (void)0
#endif

// A 512-byte output with a guard behind it that must stay untouched.
struct Guarded {
  char out[512];
  char guard[32];
  Guarded() { std::memset(this, 0x5A, sizeof *this); }
  bool Intact() const {
    for (char c : guard)
      if (c != 0x5A) return false;
    return true;
  }
};

std::string Cwd() {
  char buffer[512] = "";
  platform::GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

// Linux: a fresh drive table with D: on the test's folder. Windows: the
// test's folder on its real drive.
class PathsFixture : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    savedCwd = Cwd();
#ifdef _WIN32
    root = dir.string() + "\\";
#else
    root = "D:\\";
    ASSERT_TRUE(Map('D', Kind::Fixed));
#endif
  }
  void TearDown() override {
    platform::SetCurrentDirectoryA(savedCwd.c_str());
    pt::ResetDrives();
    PlatformTest::TearDown();
  }
  // Maps `letter` to a fresh folder of its own.
  bool Map(char letter, Kind kind, const char* detail = "") {
    fs::path folder = dir / std::string(1, letter);
    fs::create_directories(folder);
    return pt::MapDrive(letter, kind, folder.string().c_str(), detail);
  }
  std::string root, savedCwd;
};

using PathNamesTest = PathsFixture;
using VolumeCapsTest = PathsFixture;
using DriveRelationTest = PathsFixture;

TEST_F(PathNamesTest, CompareNamesOemIgnoresCaseAndLongNamesEqualOnlyThemselves) {
  std::string longA(600, 'a'), longUpper(600, 'A');
  struct Case {
    std::string a, b;
    int sign;
  } cases[] = {
      {"D:\\Data\\File.TXT", "d:\\data\\file.txt", 0}, {"abc", "abd", -1}, {"b", "A", 1},
      {"", "", 0}, {"a", "", 1}, {longA, longA, 0}, {longA, longUpper, 1},
      {longA, longA.substr(1), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a.substr(0, 40) + " / " + c.b.substr(0, 40));
    int result = CompareNamesOem(c.a.c_str(), c.b.c_str());
    EXPECT_EQ((result > 0) - (result < 0), c.sign);
  }
#ifdef _WIN32
  // OEM 0x80 and 0x87 are C and c with cedilla; their ANSI bytes differ.
  if (GetOEMCP() == 437) {
    EXPECT_EQ(CompareNamesOem("\x80", "\x87"), 0);
  }
#endif
}

TEST_F(PathNamesTest, ResolveSubstFollowsChainsWithoutDoubledBackslashes) {
  SKIP_ON_WINE("Wine has no substituted drives");
  fs::create_directories(dir / "D" / "data");
  ASSERT_TRUE(pt::MapDrive('S', Kind::Subst, "", "D:\\data"));
  ASSERT_TRUE(pt::MapDrive('R', Kind::Subst, "", "D:\\"));
  ASSERT_TRUE(pt::MapDrive('T', Kind::Subst, "", "S:\\"));
  // U: and V: stand for each other: never resolved.
  ASSERT_TRUE(pt::MapDrive('U', Kind::Subst, "", "D:\\"));
  ASSERT_TRUE(pt::MapDrive('V', Kind::Subst, "", "U:\\"));
  ASSERT_TRUE(pt::MapDrive('U', Kind::Subst, "", "V:\\"));
  std::string longTail(505, 'x');
  struct Case {
    std::string path;
    int result;
    std::string expected;
  } cases[] = {
      {"S:\\x\\y.txt", 1, "D:\\data\\x\\y.txt"}, {"R:\\x\\y.txt", 1, "D:\\x\\y.txt"},
      {"T:\\x\\y.txt", 1, "D:\\data\\x\\y.txt"}, {"S:", 1, "D:\\data\\"},
      {"S:\\", 1, "D:\\data\\"},                 {"D:\\keep", 1, "D:\\keep"},
      {"\\\\srv\\share\\x", 1, "\\\\srv\\share\\x"}, {"Q:\\x", 1, "Q:\\x"},
      {"", 1, ""},
      {"S:\\" + longTail, 0, ""},  // fits, but not once resolved
      {std::string(600, 'y'), 0, ""},
      {"U:\\x", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 40));
    Guarded g;
    EXPECT_EQ(ResolveSubst(c.path.c_str(), g.out), c.result);
    EXPECT_EQ(std::string(g.out), c.expected);
    EXPECT_TRUE(g.Intact());
  }
}

TEST_F(PathNamesTest, ResolveSubstLeavesAPlainDriveAlone) {
  std::string path = root + "x\\y.txt";
  char out[512];
  ASSERT_EQ(ResolveSubst(path.c_str(), out), 1);
  EXPECT_EQ(std::string(out), path);
}

TEST_F(PathNamesTest, ServerAndDiskGroupNames) {
  std::string longServer = "\\\\" + std::string(600, 's');
  struct Case {
    std::string path;
    int result;
    std::string expected;
  } uncCases[] = {
      {"\\\\server", 1, "server"}, {"\\\\server\\share\\dir", 1, "server"},
      {"\\\\", 0, ""}, {"\\\\\\share", 0, ""}, {"\\", 0, ""}, {"", 0, ""},
      {"relative\\x", 0, ""}, {root, 0, ""}, {longServer, 0, ""},
  };
  for (const Case& c : uncCases) {
    SCOPED_TRACE(c.path.substr(0, 40));
    Guarded g;
    EXPECT_EQ(NetworkServerName(c.path.c_str(), g.out), c.result);
    EXPECT_EQ(std::string(g.out), c.expected);
    EXPECT_TRUE(g.Intact());
    EXPECT_EQ(DiskGroupName(c.path.c_str(), g.out), 0);
  }
#ifndef _WIN32
  ASSERT_TRUE(Map('N', Kind::Network, "srv1\\share1"));
  ASSERT_TRUE(Map('G', Kind::Dynamic, "Group1"));
  char out[512];
  EXPECT_EQ(NetworkServerName("N:\\dir", out), 1);
  EXPECT_STREQ(out, "srv1");
  EXPECT_EQ(DiskGroupName("N:\\dir", out), 0);
  EXPECT_EQ(DiskGroupName("G:\\dir", out), 1);
  EXPECT_STREQ(out, "Group1");
  EXPECT_EQ(NetworkServerName("G:\\dir", out), 0);
#endif
}

TEST_F(VolumeCapsTest, WildcardsAndStreamsOnlyInTheLastPart) {
  int base = GetVolumeCaps(root.c_str());
  ASSERT_GE(base, 0);
  struct Case {
    std::string path;
    bool valid;
  } cases[] = {
      {"dir\\*.txt", true},  {"dir\\fi?e", true},   {"dir\\file:s1", true},
      {"no\\such\\dir\\f", true}, {"d*r\\file", false}, {"d?r\\file", false},
      {"di:r\\file", false}, {"a|b", false},        {"dir\\a<b", false},
      {"d>r\\x", false},     {"a|b\\c", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(GetVolumeCaps((root + c.path).c_str()), c.valid ? base : -1);
  }
  EXPECT_EQ(GetVolumeCaps(""), -1);
  EXPECT_EQ(GetVolumeCaps("relative\\path"), -1);
  EXPECT_EQ(GetVolumeCaps((root + std::string(600, 'x')).c_str()), -1);
  // "\" would answer for the current drive.
  EXPECT_EQ(GetVolumeCaps("\\\\nosuchserver\\share\\dir\\f"), -1);
  EXPECT_EQ(GetVolumeCaps("\\\\nosuchserver"), -1);
}

TEST_F(VolumeCapsTest, TheNearestVolumeRootAnswers) {
#ifdef _WIN32
  // Wine mounts nothing inside a folder: the drive's root answers.
  std::string drive = root.substr(0, 3);
  std::string deep = root + "a\\b\\c.txt";
  EXPECT_EQ(GetVolumeCaps(deep.c_str()), GetVolumeCaps(drive.c_str()));
  pt::ResetFaults();
  pt::ArmFault("GetVolumeInformationA", drive.c_str(), 1, ERROR_NOT_READY, pt::Repeat::FromThenOn);
  EXPECT_EQ(GetVolumeCaps(deep.c_str()), -1);
#else
  int tried = 0;
  for (const char* mountRoot : {"Z:\\proc\\", "Z:\\dev\\shm\\"}) {
    SCOPED_TRACE(mountRoot);
    int rootCaps = GetVolumeCaps(mountRoot);
    if (rootCaps < 0) continue;  // not mounted here
    pt::ResetFaults();
    pt::ArmFault("GetVolumeInformationA", "Z:\\", 1, ERROR_NOT_READY, pt::Repeat::FromThenOn);
    EXPECT_EQ(GetVolumeCaps((std::string(mountRoot) + "no\\such\\file").c_str()), rootCaps);
    EXPECT_EQ(GetVolumeCaps("Z:\\etc\\hostname"), -1) << "the fault did not hold /";
    ++tried;
  }
  if (!tried) GTEST_SKIP() << "neither /proc nor /dev/shm is a mount point here";
#endif
}

TEST_F(VolumeCapsTest, ReadOnlyAndCdRomDrives) {
  SKIP_ON_WINE("Wine has no read-only or CD-ROM drive here");
  ASSERT_TRUE(Map('R', Kind::ReadOnly));
  ASSERT_TRUE(Map('E', Kind::CdRom));
  int fixed = GetVolumeCaps("D:\\dir\\f"), readOnly = GetVolumeCaps("R:\\dir\\f"),
      cdRom = GetVolumeCaps("E:\\dir\\f");
  ASSERT_GE(fixed, 0);
  EXPECT_EQ(fixed & (CapsReadOnly | CapsCdRom), 0);
  EXPECT_EQ(readOnly & (CapsReadOnly | CapsCdRom), CapsReadOnly);
  EXPECT_EQ(cdRom & (CapsReadOnly | CapsCdRom), CapsReadOnly | CapsCdRom);
}

TEST_F(DriveRelationTest, TwoFoldersOfOneDiskCannotBeToldApart) {
  fs::create_directories(dir / "a");
  fs::create_directories(dir / "b");
  std::string before = Cwd();
  EXPECT_EQ(DriveRelation((root + "a").c_str(), (root + "b").c_str()), -1);
  EXPECT_EQ(DriveRelation((root + "a").c_str(), (root + "missing").c_str()), -1);
  EXPECT_EQ(DriveRelation("", root.c_str()), -1);
  EXPECT_EQ(Cwd(), before);
  // Without the directory to return to, nothing is changed.
  pt::ResetFaults();
  pt::ArmFault("GetCurrentDirectoryA", nullptr, 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(DriveRelation((root + "a").c_str(), (root + "b").c_str()), -1);
  EXPECT_EQ(pt::CallCount("SetCurrentDirectoryA"), 0);
}

TEST_F(DriveRelationTest, KindsServersAndDiskGroups) {
  SKIP_ON_WINE("Wine has no removable, network or dynamic-disk drives here");
  ASSERT_TRUE(Map('F', Kind::Fixed));
  ASSERT_TRUE(Map('R', Kind::Removable));
  ASSERT_TRUE(Map('E', Kind::CdRom));
  ASSERT_TRUE(Map('N', Kind::Network, "srv1\\share1"));
  ASSERT_TRUE(Map('O', Kind::Network, "SRV1\\share2"));
  ASSERT_TRUE(Map('P', Kind::Network, "srv2\\data"));
  ASSERT_TRUE(Map('G', Kind::Dynamic, "Group1"));
  ASSERT_TRUE(Map('H', Kind::Dynamic, "group1"));
  ASSERT_TRUE(Map('K', Kind::Dynamic, "Group2"));
  ASSERT_TRUE(pt::MapDrive('Q', Kind::Subst, "", "N:\\"));
  fs::create_directories(dir / "D" / "sub");
  std::ofstream(dir / "D" / "file.txt") << "x";
  struct Case {
    const char *cwd, *a, *b;
    int expected;
  } cases[] = {
      {"D:\\", "D:\\", "F:\\", -1},        // basic disks are never told apart
      {"D:\\", "D:\\", "R:\\", 1},
      {"D:\\", "N:\\", "O:\\", 0},         // one server, two shares
      {"D:\\", "N:\\", "P:\\", 1},
      {"D:\\", "\\\\srv1\\share1", "P:\\", 1},
      {"D:\\", "\\\\srv1\\share1", "O:\\", 0},
      {"D:\\", "Q:\\", "P:\\", 1},         // through the substitution
      {"D:\\", "Q:\\", "O:\\", 0},
      {"D:\\", "G:\\", "H:\\", 0},
      {"D:\\", "G:\\", "K:\\", 1},
      {"D:\\", "G:\\", "D:\\", -1},        // only one is dynamic
      {"D:\\", "R:\\", "R:\\", -1},
      {"D:\\", "E:\\", "E:\\", -1},
      {"D:\\", "R:\\", "sub", 1},          // relative to the caller's folder, not to A
      // Paths that cannot be made current: not the type of the folder before.
      {"D:\\", "D:\\missing", "R:\\", -1},
      {"K:\\", "G:\\missing", "K:\\", -1},
      {"R:\\", "D:\\file.txt", "D:\\", -1},
      {"D:\\", "R:\\", "D:\\missing", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cwd) + " | " + c.a + " | " + c.b);
    ASSERT_TRUE(platform::SetCurrentDirectoryA(c.cwd));
    std::string before = Cwd();
    EXPECT_EQ(DriveRelation(c.a, c.b), c.expected);
    EXPECT_EQ(Cwd(), before);
  }
}

}  // namespace
