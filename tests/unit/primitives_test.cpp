// Renaming, moving and removal: both Windows families' moves, path roots,
// temporary names and the removal of emptied directories, on real files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "core_fixture.h"
#include "platform/testing.h"
#include "scan/primitives.h"
#include "settings/settings.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

// The Windows path of a local one (Linux reaches / as Z:).
std::string WindowsPath(const fs::path& path) {
#ifdef _WIN32
  return path.string();
#else
  std::string text = "Z:" + path.string();
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
#endif
}

// Eight lower-case hexadecimal digits, a dot, three more.
bool IsTempName(const std::string& name) {
  if (name.size() != 12 || name[8] != '.') return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (i != 8 && !std::strchr("0123456789abcdef", name[i])) return false;
  return true;
}

class PrimitivesTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    work = dir / "work";
    fs::create_directory(work);
  }
  void TearDown() override {
    // Read-only leftovers would stop the fixture's removal on Windows.
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(work, ignored))
      platform::SetFileAttributesA(WindowsPath(entry.path()).c_str(), FILE_ATTRIBUTE_NORMAL);
    pt::ResetDrives();
    CoreTest::TearDown();
  }

  // The family MoveOrRename takes its way from, as a run loads it.
  void UseFamily(bool nt) {
    if (nt)
      pt::SetReportedVersion(VER_PLATFORM_WIN32_NT, 5, 1);
    else
      pt::SetReportedVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    LoadSettings();
    ASSERT_EQ(Settings.IsNT, nt ? 1 : 0);
  }

  std::string W(const std::string& name) { return WindowsPath(work / name); }

  std::set<std::string> Names() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(work))
      names.insert(entry.path().filename().string());
    return names;
  }

  // a.txt ("new") is to replace b.txt ("old").
  void TwoFiles() {
    WriteFile(work / "a.txt", "new");
    WriteFile(work / "b.txt", "old");
  }
  void ExpectBothUntouched() {
    EXPECT_EQ(ReadFile(work / "a.txt"), "new");
    EXPECT_EQ(ReadFile(work / "b.txt"), "old");
    EXPECT_EQ(Names(), (std::set<std::string>{"a.txt", "b.txt"}));
  }

  fs::path work;  // the tests' files, apart from the fixture's registry
};

// ---- The 9x family --------------------------------------------------------

TEST_F(PrimitivesTest, Win9xReplaceLeavesOnlyTheMovedFileUnderTheTargetsName) {
  UseFamily(false);
  TwoFiles();
  ASSERT_TRUE(MoveOrRename(W("a.txt").c_str(), W("b.txt").c_str(), true));
  EXPECT_EQ(Names(), (std::set<std::string>{"b.txt"}));  // no temporary file
  EXPECT_EQ(ReadFile(work / "b.txt"), "new");
}

TEST_F(PrimitivesTest, Win9xReplaceRestoresTheTargetWhenTheSecondRenameFails) {
  UseFamily(false);
  TwoFiles();
  pt::ArmFault("MoveFileA", "*", 2, ERROR_SHARING_VIOLATION);
  platform::SetLastError(0);
  EXPECT_FALSE(MoveOrRename(W("a.txt").c_str(), W("b.txt").c_str(), true));
  EXPECT_EQ(platform::GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(pt::FaultsFired(), 1);
  ExpectBothUntouched();
}

TEST_F(PrimitivesTest, Win9xReplaceWhoseRestoreFailsLeavesTheTargetUnderTheTemporaryName) {
  UseFamily(false);
  TwoFiles();
  pt::ArmFault("MoveFileA", "*", 2, ERROR_SHARING_VIOLATION);
  pt::ArmFault("MoveFileA", "*", 3, ERROR_WRITE_PROTECT);
  EXPECT_FALSE(MoveOrRename(W("a.txt").c_str(), W("b.txt").c_str(), true));
  // The error of the failed move, not that of the failed restore.
  EXPECT_EQ(platform::GetLastError(), ERROR_SHARING_VIOLATION);
  std::set<std::string> names = Names();
  ASSERT_EQ(names.size(), 2u);
  names.erase("a.txt");
  ASSERT_EQ(names.size(), 1u);
  const std::string temporary = *names.begin();
  EXPECT_TRUE(IsTempName(temporary)) << temporary;
  EXPECT_EQ(ReadFile(work / temporary), "old");
  EXPECT_EQ(ReadFile(work / "a.txt"), "new");
}

TEST_F(PrimitivesTest, Win9xReplaceFailsHarmlesslyWhenTheTargetCannotGoAside) {
  UseFamily(false);
  TwoFiles();
  pt::ArmFault("MoveFileA", "*", 1, ERROR_WRITE_PROTECT);
  EXPECT_FALSE(MoveOrRename(W("a.txt").c_str(), W("b.txt").c_str(), true));
  EXPECT_EQ(platform::GetLastError(), ERROR_WRITE_PROTECT);
  ExpectBothUntouched();
}

TEST_F(PrimitivesTest, Win9xRefusesWithoutTouchingAnything) {
  struct Case {
    const char* name;
    const char* existing;
    const char* target;
    bool replace;
    DWORD error;
  } cases[] = {
      {"file onto a directory", "a.txt", "dir", true, ERROR_ACCESS_DENIED},
      {"file onto a directory, no replace", "a.txt", "dir", false, ERROR_ACCESS_DENIED},
      {"directory onto a file", "dir", "b.txt", true, ERROR_ACCESS_DENIED},
      {"directory onto a directory", "dir", "dir2", true, ERROR_ACCESS_DENIED},
      {"existing file, no replace", "a.txt", "b.txt", false, ERROR_ALREADY_EXISTS},
      {"read-only target", "a.txt", "ro.txt", true, ERROR_ACCESS_DENIED},
      {"missing source", "none.txt", "b.txt", true, ERROR_FILE_NOT_FOUND},
  };
  UseFamily(false);
  TwoFiles();
  fs::create_directory(work / "dir");
  fs::create_directory(work / "dir2");
  WriteFile(work / "dir" / "inner.txt", "inner");
  WriteFile(work / "ro.txt", "kept");
  ASSERT_TRUE(platform::SetFileAttributesA(W("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  const std::set<std::string> before = Names();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::SetLastError(0);
    EXPECT_FALSE(MoveOrRename(W(c.existing).c_str(), W(c.target).c_str(), c.replace));
    EXPECT_EQ(platform::GetLastError(), c.error);
    EXPECT_EQ(Names(), before);
  }
  EXPECT_EQ(ReadFile(work / "ro.txt"), "kept");
  EXPECT_EQ(ReadFile(work / "dir" / "inner.txt"), "inner");
  EXPECT_EQ(ReadFile(work / "a.txt"), "new");
  EXPECT_EQ(ReadFile(work / "b.txt"), "old");
}

TEST_F(PrimitivesTest, Win9xMovesToAFreeNameAndAcrossRootsNot) {
  UseFamily(false);
  TwoFiles();
  ASSERT_TRUE(MoveOrRename(W("a.txt").c_str(), W("c.txt").c_str(), false));
  EXPECT_EQ(ReadFile(work / "c.txt"), "new");
  EXPECT_FALSE(fs::exists(work / "a.txt"));

  // A drive that no mapping gives has a root of its own.
  EXPECT_FALSE(MoveOrRename(W("c.txt").c_str(), "Q:\\c.txt", false));
  EXPECT_EQ(platform::GetLastError(), ERROR_NOT_SAME_DEVICE);
  // A path with no root at all.
  EXPECT_FALSE(MoveOrRename(W("c.txt").c_str(), "c2.txt", false));
  EXPECT_EQ(platform::GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(ReadFile(work / "c.txt"), "new");
}

TEST_F(PrimitivesTest, Win9xSameFileIsNothingToDo) {
  UseFamily(false);
  WriteFile(work / "a.txt", "data");
  EXPECT_TRUE(MoveOrRename(W("a.txt").c_str(), W("a.txt").c_str(), true));
  EXPECT_EQ(Names(), (std::set<std::string>{"a.txt"}));
  EXPECT_EQ(ReadFile(work / "a.txt"), "data");
  EXPECT_EQ(pt::CallCount("MoveFileA"), 0);
}

TEST_F(PrimitivesTest, Win9xCaseChangeRenames) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine reports success for a change of case but keeps the old name";
#endif
  UseFamily(false);
  WriteFile(work / "a.txt", "data");
  EXPECT_TRUE(MoveOrRename(W("a.txt").c_str(), W("A.txt").c_str(), false));
  EXPECT_EQ(Names(), (std::set<std::string>{"A.txt"}));
  EXPECT_EQ(ReadFile(work / "A.txt"), "data");
}

TEST_F(PrimitivesTest, Win9xResolvesSubstitutedDrivesBeforeComparingRoots) {
#ifdef _WIN32
  GTEST_SKIP() << "the drive table can be set only on Linux";
#else
  UseFamily(false);
  TwoFiles();
  ASSERT_TRUE(pt::MapDrive('S', pt::DriveKind::Subst, "", WindowsPath(work).c_str()));
  ASSERT_TRUE(MoveOrRename("S:\\a.txt", W("b.txt").c_str(), true));
  EXPECT_EQ(Names(), (std::set<std::string>{"b.txt"}));
  EXPECT_EQ(ReadFile(work / "b.txt"), "new");
#endif
}

// ---- The NT family --------------------------------------------------------

TEST_F(PrimitivesTest, NtExistingTargetNeedsReplace) {
  UseFamily(true);
  TwoFiles();
  platform::SetLastError(0);
  EXPECT_FALSE(MoveOrRename(W("a.txt").c_str(), W("b.txt").c_str(), false));
  EXPECT_EQ(platform::GetLastError(), ERROR_ALREADY_EXISTS);
  ExpectBothUntouched();

  ASSERT_TRUE(MoveOrRename(W("a.txt").c_str(), W("b.txt").c_str(), true));
  EXPECT_EQ(Names(), (std::set<std::string>{"b.txt"}));
  EXPECT_EQ(ReadFile(work / "b.txt"), "new");
}

TEST_F(PrimitivesTest, NtFailureKeepsTheSystemsError) {
  UseFamily(true);
  TwoFiles();
  pt::ArmFault("MoveFileExA", "*", 1, ERROR_NOT_SAME_DEVICE);
  EXPECT_FALSE(MoveOrRename(W("a.txt").c_str(), W("c.txt").c_str(), false));
  EXPECT_EQ(platform::GetLastError(), ERROR_NOT_SAME_DEVICE);
  ExpectBothUntouched();
}

// ---- Both families --------------------------------------------------------

TEST_F(PrimitivesTest, MoveIntoAMissingFolderChainCreatesIt) {
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt ? "NT" : "9x");
    UseFamily(nt);
    fs::remove_all(work / "new");
    WriteFile(work / "file.txt", "data");
    ASSERT_TRUE(MoveOrRename(W("file.txt").c_str(), W("new\\sub\\file.txt").c_str(), false));
    EXPECT_EQ(ReadFile(work / "new" / "sub" / "file.txt"), "data");
    EXPECT_FALSE(fs::exists(work / "file.txt"));
  }
}

TEST_F(PrimitivesTest, MovesAWholeTreeByRenaming) {
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt ? "NT" : "9x");
    UseFamily(nt);
    fs::remove_all(work / "moved");
    fs::create_directories(work / "tree" / "sub");
    WriteFile(work / "tree" / "sub" / "f.txt", "deep");
    ASSERT_TRUE(MoveOrRename(W("tree").c_str(), W("moved").c_str(), false));
    EXPECT_EQ(ReadFile(work / "moved" / "sub" / "f.txt"), "deep");
    EXPECT_FALSE(fs::exists(work / "tree"));
  }
}

// ---- PathRoot -------------------------------------------------------------

TEST_F(PrimitivesTest, PathRootGivesTheDriveOrShare) {
  struct Case {
    const char* path;
    int result;
    const char* root;
  } cases[] = {
      {"Q:\\x", 1, "Q:"},
      {"Q:", 1, "Q:"},
      {"\\\\server\\share\\x", 1, "\\\\server\\share"},
      {"\\\\server\\share\\", 1, "\\\\server\\share"},
      {"\\\\\\server\\share\\x", 1, "\\\\server\\share"},  // extra leading backslash
      {"\\\\server\\share", 0, ""},                        // no backslash after the share
      {"\\\\server\\\\x", 0, ""},                          // no share
      {"\\\\server\\", 0, ""},
      {"\\\\server", 0, ""},
      {"\\\\", 0, ""},
      {"\\x", 0, ""},
      {"dir\\x", 0, ""},
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    char out[512];
    std::memset(out, 'z', sizeof out);
    EXPECT_EQ(PathRoot(c.path, out), c.result);
    EXPECT_STREQ(out, c.root);
  }
}

TEST_F(PrimitivesTest, PathRootFollowsSubstitutions) {
#ifdef _WIN32
  GTEST_SKIP() << "the drive table can be set only on Linux";
#else
  ASSERT_TRUE(pt::MapDrive('S', pt::DriveKind::Subst, "", "Z:\\tmp"));
  char out[512];
  EXPECT_EQ(PathRoot("S:\\x", out), 1);
  EXPECT_STREQ(out, "Z:");
#endif
}

// ---- MakeTempName ---------------------------------------------------------

TEST_F(PrimitivesTest, MakeTempNameReplacesTheLastComponent) {
  struct Case {
    const char* path;
    const char* kept;
  } cases[] = {
      {"D:\\dir\\longfilename.txt", "D:\\dir\\"},
      {"D:\\dir\\", "D:\\dir\\"},
      {"\\\\server\\share\\f", "\\\\server\\share\\"},
      {"D:name.txt", "D:"},
      {"name.txt", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    char out[512];
    ASSERT_EQ(MakeTempName(c.path, out), 1);
    std::string text = out;
    size_t kept = std::strlen(c.kept);
    EXPECT_EQ(text.substr(0, kept), c.kept);
    EXPECT_TRUE(IsTempName(text.substr(kept))) << text;
  }
}

TEST_F(PrimitivesTest, MakeTempNameRefusesWhatWouldNotFit) {
  // A folder part of 499 characters leaves room for exactly 12 more.
  std::string fits = "D:\\" + std::string(495, 'f') + "\\x";
  ASSERT_EQ(fits.rfind('\\') + 1, 499u);
  char out[512];
  ASSERT_EQ(MakeTempName(fits.c_str(), out), 1);
  EXPECT_EQ(std::strlen(out), 511u);

  std::string tooLong = "D:\\" + std::string(496, 'f') + "\\x";
  std::memset(out, 'z', sizeof out);
  EXPECT_EQ(MakeTempName(tooLong.c_str(), out), 0);
  EXPECT_STREQ(out, "");
}

// ---- RemoveEmptyDirectory -------------------------------------------------

// Wine keeps no read-only attribute on a directory, but hidden and system.
constexpr DWORD kGuardedDirectory =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

TEST_F(PrimitivesTest, RemoveEmptyDirectoryRemovesAReadOnlySystemOne) {
  fs::create_directory(work / "ro");
  ASSERT_TRUE(platform::SetFileAttributesA(W("ro").c_str(), kGuardedDirectory));
  EXPECT_EQ(RemoveEmptyDirectory(W("ro").c_str()), 1);
  EXPECT_FALSE(fs::exists(work / "ro"));
}

TEST_F(PrimitivesTest, RemoveEmptyDirectoryFailureRestoresAttributesAndError) {
  struct Case {
    const char* name;
    bool withFile;
    bool fault;
    bool restoreFails;
    DWORD error;
  } cases[] = {
      {"not empty", true, false, false, ERROR_DIR_NOT_EMPTY},
      {"removal fails", false, true, false, ERROR_SHARING_VIOLATION},
      {"removal and restore fail", true, false, true, ERROR_DIR_NOT_EMPTY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pt::ResetFaults();
    fs::create_directory(work / "ro");
    if (c.withFile) WriteFile(work / "ro" / "f.txt", "x");
    ASSERT_TRUE(platform::SetFileAttributesA(W("ro").c_str(), kGuardedDirectory));
    const DWORD before = platform::GetFileAttributesA(W("ro").c_str());
#ifdef _WIN32
    ASSERT_TRUE(before & FILE_ATTRIBUTE_SYSTEM);
#else
    ASSERT_TRUE(before & FILE_ATTRIBUTE_READONLY);
#endif
    if (c.fault) pt::ArmFault("RemoveDirectoryA", "*", 1, c.error);
    if (c.restoreFails) pt::ArmFault("SetFileAttributesA", "*", 2, ERROR_WRITE_PROTECT);
    EXPECT_EQ(RemoveEmptyDirectory(W("ro").c_str()), 0);
    // RemoveDirectory's error, whatever the restore did.
    EXPECT_EQ(platform::GetLastError(), c.error);
    if (!c.restoreFails) {
      EXPECT_EQ(platform::GetFileAttributesA(W("ro").c_str()), before);
    }
    platform::SetFileAttributesA(W("ro").c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(work / "ro");
  }
}

TEST_F(PrimitivesTest, RemoveEmptyDirectoryOfAMissingOneReportsTheRemovalsError) {
  EXPECT_EQ(RemoveEmptyDirectory(W("missing").c_str()), 0);
  EXPECT_EQ(platform::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(pt::CallCount("SetFileAttributesA"), 1);  // never "restored" to 0xFFFFFFFF
}

}  // namespace

// ---- FileSize64 -----------------------------------------------------------

TEST_F(PrimitivesTest, FileSize64CombinesBothHalvesAndTellsAFailure) {
  // Sparse files: sizes past 4 GiB cost no disk.
  const struct {
    const char* name;
    uint64_t size;
  } cases[] = {{"empty", 0}, {"all-ones-low", 0x1FFFFFFFFull}, {"past-4g", 0x140000003ull}};
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteSparseFile(work / c.name, c.size)) << c.name;
    HANDLE file = platform::CreateFileA(W(c.name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << c.name;
    EXPECT_EQ(FileSize64(file), c.size) << c.name;
    pt::ArmFault("GetFileSize", "*", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(FileSize64(file), UINT64_MAX) << c.name;
    platform::CloseHandle(file);
  }
}
