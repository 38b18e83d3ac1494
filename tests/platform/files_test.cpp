// Attributes, folders, deletes, renames and error texts: Windows' rules on
// Linux, and the same tests against the real calls under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>

#include <cerrno>

#include "platform/posix/errors.h"
#endif
#include "layer_helpers.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

class FilesTest : public layer_test::FileTreeTest {
 protected:
  bool Exists(const std::string& name) const { return fs::exists(dir / name); }
};

constexpr DWORD kShownBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                             FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL;

#define SKIP_ON_WINE(why) \
  if (layer_test::OnWine()) GTEST_SKIP() << why

TEST_F(FilesTest, HiddenSystemAndReadOnlyAreKeptAndFollowTheFileWhenItMoves) {
  Write("f", "x");
  fs::create_directory(dir / "d");
  constexpr DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  struct Case {
    const char* name;
    DWORD set, shown;
  } cases[] = {
      {"f", FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY},
      {"f", FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN},
      {"f", FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_SYSTEM},
      {"f", kept, kept},
      {"f", FILE_ATTRIBUTE_NORMAL, 0},
      {"d", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY},
      {"d", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_DIRECTORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.set));
    ASSERT_TRUE(platform::SetFileAttributesA(P(c.name).c_str(), c.set));
    EXPECT_EQ(platform::GetFileAttributesA(P(c.name).c_str()) & (kept | FILE_ATTRIBUTE_DIRECTORY),
              c.shown);
  }
  ASSERT_TRUE(platform::SetFileAttributesA(P("f").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(platform::MoveFileA(P("f").c_str(), P("g").c_str()));
  EXPECT_EQ(platform::GetFileAttributesA(P("g").c_str()) & kept,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

TEST_F(FilesTest, ArchiveAndFolderReadOnlyAreKeptExactly) {
  SKIP_ON_WINE("Wine reports every file as archive and keeps neither archive nor read-only on folders");
  Write("f", "x");
  fs::create_directory(dir / "d");
  const DWORD cases[] = {FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE,
                         FILE_ATTRIBUTE_NORMAL};
  for (DWORD set : cases) {
    SCOPED_TRACE(set);
    ASSERT_TRUE(platform::SetFileAttributesA(P("f").c_str(), set));
    EXPECT_EQ(platform::GetFileAttributesA(P("f").c_str()) & kShownBits, set);
    ASSERT_TRUE(platform::SetFileAttributesA(P("d").c_str(), set));
    EXPECT_EQ(platform::GetFileAttributesA(P("d").c_str()) & kShownBits,
              (set == FILE_ATTRIBUTE_NORMAL ? 0 : set) | FILE_ATTRIBUTE_DIRECTORY);
  }
}

#ifndef _WIN32
TEST_F(FilesTest, DotNamesAreHiddenAndReadOnlyIsTheOwnersWriteBit) {
  Write(".dot", "x");
  ASSERT_TRUE(platform::SetFileAttributesA(P(".dot").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(platform::GetFileAttributesA(P(".dot").c_str()) & kShownBits, FILE_ATTRIBUTE_HIDDEN);

  Write("f", "x");
  fs::permissions(dir / "f", fs::perms::all);
  ASSERT_TRUE(platform::SetFileAttributesA(P("f").c_str(), FILE_ATTRIBUTE_READONLY));
  struct stat st;
  ASSERT_EQ(::stat((dir / "f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u) << "read-only leaves nobody a write bit";
  ASSERT_TRUE(platform::SetFileAttributesA(P("f").c_str(), FILE_ATTRIBUTE_NORMAL));
  ASSERT_EQ(::stat((dir / "f").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
  // Set outside the layer: only the owner's bit counts.
  fs::permissions(dir / "f", fs::perms::owner_read | fs::perms::group_write);
  EXPECT_EQ(platform::GetFileAttributesA(P("f").c_str()) & kShownBits, FILE_ATTRIBUTE_READONLY);
}
#endif

TEST_F(FilesTest, FailuresReportWhatWasMissingOrInTheWay) {
  Write("file", "x");
  fs::create_directories(dir / "full");
  Write("full/inner", "x");
  fs::create_directory(dir / "empty");
  std::string tooLong(300, 'n');
  auto attributes = [&](const char* name) {
    return [=] { return platform::GetFileAttributesA(P(name).c_str()) != INVALID_FILE_ATTRIBUTES; };
  };
  struct Case {
    const char* what;
    std::function<bool()> call;
    DWORD error;
  } cases[] = {
      {"attributes of a missing file", attributes("missing"), ERROR_FILE_NOT_FOUND},
      {"attributes below a missing folder", attributes("nofolder\\x"), ERROR_PATH_NOT_FOUND},
      {"attributes below a file", attributes("file\\x"), ERROR_PATH_NOT_FOUND},
      {"set attributes of a missing file",
       [&] { return platform::SetFileAttributesA(P("missing").c_str(), FILE_ATTRIBUTE_HIDDEN); },
       ERROR_FILE_NOT_FOUND},
      {"create over a folder", [&] { return platform::CreateDirectoryA(P("empty").c_str(), nullptr); },
       ERROR_ALREADY_EXISTS},
      {"create over a file", [&] { return platform::CreateDirectoryA(P("file").c_str(), nullptr); },
       ERROR_ALREADY_EXISTS},
      {"create below a missing folder",
       [&] { return platform::CreateDirectoryA(P("nofolder\\x").c_str(), nullptr); },
       ERROR_PATH_NOT_FOUND},
      {"create a name longer than a file system takes",
       [&] { return platform::CreateDirectoryA(P(tooLong).c_str(), nullptr); },
       ERROR_FILENAME_EXCED_RANGE},
      {"remove a folder with entries", [&] { return platform::RemoveDirectoryA(P("full").c_str()); },
       ERROR_DIR_NOT_EMPTY},
      {"remove a missing folder", [&] { return platform::RemoveDirectoryA(P("missing").c_str()); },
       ERROR_FILE_NOT_FOUND},
      {"remove a file as a folder", [&] { return platform::RemoveDirectoryA(P("file").c_str()); },
       ERROR_DIRECTORY},
      {"delete a missing file", [&] { return platform::DeleteFileA(P("missing").c_str()); },
       ERROR_FILE_NOT_FOUND},
      {"delete below a missing folder", [&] { return platform::DeleteFileA(P("nofolder\\x").c_str()); },
       ERROR_PATH_NOT_FOUND},
      {"delete a folder", [&] { return platform::DeleteFileA(P("empty").c_str()); },
       ERROR_ACCESS_DENIED},
      {"move a missing file", [&] { return platform::MoveFileA(P("missing").c_str(), P("new").c_str()); },
       ERROR_FILE_NOT_FOUND},
      {"move into a missing folder",
       [&] { return platform::MoveFileA(P("file").c_str(), P("nofolder\\new").c_str()); },
       ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::SetLastError(0);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(platform::GetLastError(), c.error);
  }
  EXPECT_TRUE(Exists("file") && Exists("full/inner") && Exists("empty"));
  EXPECT_FALSE(Exists("new"));
}

// Windows refuses these even to an administrator; so must Linux to root.
TEST_F(FilesTest, ReadOnlyFilesStayUntilTheAttributeIsCleared) {
  Write("ro", "keep");
  ASSERT_TRUE(platform::SetFileAttributesA(P("ro").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(platform::DeleteFileA(P("ro").c_str()));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  EXPECT_EQ(Read("ro"), "keep");
  ASSERT_TRUE(platform::SetFileAttributesA(P("ro").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(platform::DeleteFileA(P("ro").c_str()));
  EXPECT_FALSE(Exists("ro"));
}

TEST_F(FilesTest, ReadOnlyFoldersStayUntilTheAttributeIsCleared) {
  SKIP_ON_WINE("Wine keeps no read-only attribute on folders");
  fs::create_directory(dir / "rodir");
  ASSERT_TRUE(platform::SetFileAttributesA(P("rodir").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(platform::RemoveDirectoryA(P("rodir").c_str()));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Exists("rodir"));
  ASSERT_TRUE(platform::SetFileAttributesA(P("rodir").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(platform::RemoveDirectoryA(P("rodir").c_str()));
  EXPECT_FALSE(Exists("rodir"));
}

enum Target { Free, File, ReadOnlyFile, Folder };
constexpr DWORD kPlainMove = 0xFFFFFFFF;  // MoveFileA rather than MoveFileExA

struct MoveCase {
  const char* what;
  bool folderSource;
  Target target;
  DWORD flags;
  DWORD error;  // 0: the move happens
};

class MoveTest : public FilesTest {
 protected:
  // Each case in a folder of its own; afterwards either the move happened
  // whole or both names hold what they held.
  void Run(const std::vector<MoveCase>& cases);
};

TEST_F(MoveTest, MovesReplaceOnlyFilesAndOnlyWhenAsked) {
  constexpr DWORD plain = kPlainMove;
  Run({
      {"file to a free name", false, Free, plain, 0},
      {"file onto a file", false, File, plain, ERROR_ALREADY_EXISTS},
      {"file onto a file, no flags", false, File, 0, ERROR_ALREADY_EXISTS},
      {"file onto a file, replacing", false, File, MOVEFILE_REPLACE_EXISTING, 0},
      {"file onto a folder, replacing", false, Folder, MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED},
      {"folder to a free name", true, Free, 0, 0},
      {"folder onto a folder", true, Folder, plain, ERROR_ALREADY_EXISTS},
      {"folder onto an empty folder, replacing", true, Folder, MOVEFILE_REPLACE_EXISTING,
       ERROR_ACCESS_DENIED},
  });
}

// Windows refuses both; refusing also keeps the target's data.
TEST_F(MoveTest, ReplacingSparesReadOnlyFilesAndNeverPutsAFolderOverAFile) {
  SKIP_ON_WINE("Wine replaces a read-only file, and a file by a folder");
  Run({
      {"file onto a read-only file, replacing", false, ReadOnlyFile, MOVEFILE_REPLACE_EXISTING,
       ERROR_ACCESS_DENIED},
      {"folder onto a file, replacing", true, File, MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED},
  });
}

void MoveTest::Run(const std::vector<MoveCase>& cases) {
  int n = 0;
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string base = "case" + std::to_string(++n) + "/";
    fs::create_directory(dir / base);
    if (c.folderSource) {
      fs::create_directory(dir / (base + "src"));
      Write(base + "src/inner", "source");
    } else {
      Write(base + "src", "source");
    }
    if (c.target == File || c.target == ReadOnlyFile) Write(base + "dst", "target");
    if (c.target == ReadOnlyFile) {
      ASSERT_TRUE(platform::SetFileAttributesA(P(base + "dst").c_str(), FILE_ATTRIBUTE_READONLY));
    }
    if (c.target == Folder) fs::create_directory(dir / (base + "dst"));

    std::string from = P(base + "src"), to = P(base + "dst");
    platform::SetLastError(0);
    BOOL moved = c.flags == kPlainMove ? platform::MoveFileA(from.c_str(), to.c_str())
                                  : platform::MoveFileExA(from.c_str(), to.c_str(), c.flags);
    std::string sourceText = c.folderSource ? "src/inner" : "src";
    std::string movedText = c.folderSource ? "dst/inner" : "dst";
    if (c.error == 0) {
      EXPECT_TRUE(moved);
      EXPECT_FALSE(Exists(base + "src"));
      EXPECT_EQ(Read(base + movedText), "source");
    } else {
      EXPECT_FALSE(moved);
      EXPECT_EQ(platform::GetLastError(), c.error);
      EXPECT_EQ(Read(base + sourceText), "source");
      if (c.target == Folder) {
        EXPECT_TRUE(fs::is_empty(dir / (base + "dst")));
      } else if (c.target != Free) {
        EXPECT_EQ(Read(base + "dst"), "target");
      }
    }
  }
}

// A move never copies: across file systems it fails and leaves the source.
TEST_F(FilesTest, MovesAcrossFileSystemsFailAndLeaveTheSource) {
#ifdef _WIN32
  if (!layer_test::OnWine() || platform::GetFileAttributesA("Z:\\dev\\shm") == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no second file system (Wine's Z:\\dev\\shm) is reachable";
#else
  struct stat here, there;
  if (::stat("/dev/shm", &there) != 0 || ::stat(dir.c_str(), &here) != 0 ||
      here.st_dev == there.st_dev)
    GTEST_SKIP() << "/dev/shm is missing or on the test folder's file system";
#endif
  std::string away = "Z:\\dev\\shm\\" + dir.filename().string();
  Write("file", "data");
  fs::create_directories(dir / "folder");
  Write("folder/inner", "data");
  struct Case {
    const char* source;
    DWORD flags;
  } cases[] = {{"file", 0}, {"file", MOVEFILE_REPLACE_EXISTING}, {"folder", 0},
#ifndef _WIN32
               {"file", MOVEFILE_COPY_ALLOWED},  // Linux never copies
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.flags));
    EXPECT_FALSE(platform::MoveFileExA(P(c.source).c_str(), away.c_str(), c.flags));
    EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_NOT_SAME_DEVICE);
    EXPECT_EQ(platform::GetFileAttributesA(away.c_str()), INVALID_FILE_ATTRIBUTES);
  }
  EXPECT_EQ(Read("file"), "data");
  EXPECT_EQ(Read("folder/inner"), "data");
  platform::RemoveDirectoryA(away.c_str());
  platform::DeleteFileA(away.c_str());
}

// Fault sweeps reach every file call by its name and path, and a faulted
// call changes nothing.
TEST_F(FilesTest, ArmedFaultsStopEachCallBeforeItActs) {
  Write("victim", "keep");
  fs::create_directory(dir / "victimdir");
  std::string victim = P("victim");
  struct Case {
    const char* operation;
    std::function<bool()> call;
  } cases[] = {
      {"GetFileAttributesA",
       [&] { return platform::GetFileAttributesA(victim.c_str()) != INVALID_FILE_ATTRIBUTES; }},
      {"SetFileAttributesA",
       [&] { return platform::SetFileAttributesA(victim.c_str(), FILE_ATTRIBUTE_READONLY); }},
      {"CreateDirectoryA", [&] { return platform::CreateDirectoryA(P("victimnew").c_str(), nullptr); }},
      {"RemoveDirectoryA", [&] { return platform::RemoveDirectoryA(P("victimdir").c_str()); }},
      {"DeleteFileA", [&] { return platform::DeleteFileA(victim.c_str()); }},
      {"MoveFileA", [&] { return platform::MoveFileA(victim.c_str(), P("moved").c_str()); }},
      {"MoveFileExA",
       [&] { return platform::MoveFileExA(victim.c_str(), P("moved").c_str(), MOVEFILE_REPLACE_EXISTING); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    pt::ResetFaults();
    pt::ArmFault(c.operation, "*\\VICTIM*", 1, ERROR_CRC);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_CRC);
    EXPECT_EQ(pt::FaultsFired(), 1);
  }
  EXPECT_EQ(Read("victim"), "keep");
  EXPECT_EQ(platform::GetFileAttributesA(victim.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(Exists("victimdir"));
  EXPECT_FALSE(Exists("victimnew") || Exists("moved"));
}

// ---- Error texts ------------------------------------------------------------

using ErrorTextTest = PlatformTest;

std::string Text(DWORD code, DWORD size = 512) {
  char buffer[512] = "unset";
  DWORD n = platform::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                     buffer, size, nullptr);
  if (n == 0) return "";
  EXPECT_EQ(n, std::strlen(buffer)) << code;
  return buffer;
}

bool EndsAsWindowsTextsDo(const std::string& text) {
  return text.size() > 3 && text.compare(text.size() - 3, 3, ".\r\n") == 0;
}

TEST_F(ErrorTextTest, EveryCodeCallersShowHasAText) {
  const DWORD codes[] = {
      ERROR_SUCCESS, ERROR_INVALID_FUNCTION, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
      ERROR_TOO_MANY_OPEN_FILES, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE,
      ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY, ERROR_NOT_SAME_DEVICE, ERROR_WRITE_PROTECT,
      ERROR_NOT_READY, ERROR_CRC, ERROR_READ_FAULT, ERROR_WRITE_FAULT, ERROR_SHARING_VIOLATION,
      ERROR_HANDLE_EOF, ERROR_HANDLE_DISK_FULL, ERROR_NOT_SUPPORTED, ERROR_FILE_EXISTS,
      ERROR_INVALID_PARAMETER, ERROR_BROKEN_PIPE, ERROR_DISK_FULL, ERROR_INSUFFICIENT_BUFFER,
      ERROR_INVALID_NAME, ERROR_DIR_NOT_ROOT, ERROR_DIR_NOT_EMPTY, ERROR_BUSY, ERROR_BAD_PATHNAME,
      ERROR_ALREADY_EXISTS, ERROR_FILENAME_EXCED_RANGE, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS,
      ERROR_DIRECTORY, ERROR_ENVVAR_NOT_FOUND, ERROR_BADDB, ERROR_BADKEY, ERROR_CANTOPEN,
      ERROR_CANTREAD, ERROR_CANTWRITE,
      ERROR_KEY_DELETED, ERROR_IO_DEVICE,
  };
  for (DWORD code : codes) {
    SCOPED_TRACE(code);
    EXPECT_TRUE(EndsAsWindowsTextsDo(Text(code))) << "[" << Text(code) << "]";
  }
}

TEST_F(ErrorTextTest, TooSmallOrUnknownGivesNothing) {
  std::string text = Text(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(Text(ERROR_FILE_NOT_FOUND, static_cast<DWORD>(text.size() + 1)), text);
  EXPECT_EQ(Text(ERROR_FILE_NOT_FOUND, static_cast<DWORD>(text.size())), "");
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(Text(0xBEEF), "");
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_MR_MID_NOT_FOUND);
}

#ifndef _WIN32
TEST_F(ErrorTextTest, ErrnoValuesMapToTheCodesCallersBranchOn) {
  struct Case {
    int error;
    DWORD code;
  } cases[] = {
      {ENOENT, ERROR_FILE_NOT_FOUND}, {ENOTDIR, ERROR_PATH_NOT_FOUND}, {EEXIST, ERROR_ALREADY_EXISTS},
      {ENOTEMPTY, ERROR_DIR_NOT_EMPTY}, {EXDEV, ERROR_NOT_SAME_DEVICE}, {EACCES, ERROR_ACCESS_DENIED},
      {EPERM, ERROR_ACCESS_DENIED}, {EISDIR, ERROR_ACCESS_DENIED}, {ENOSPC, ERROR_DISK_FULL},
      {EDQUOT, ERROR_DISK_FULL}, {EROFS, ERROR_WRITE_PROTECT},
      {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE}, {EINVAL, ERROR_INVALID_PARAMETER},
      {EBUSY, ERROR_BUSY}, {EMFILE, ERROR_TOO_MANY_OPEN_FILES}, {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
      {EIO, ERROR_IO_DEVICE}, {EBADF, ERROR_INVALID_HANDLE}, {ENOTSUP, ERROR_NOT_SUPPORTED},
      {EOPNOTSUPP, ERROR_NOT_SUPPORTED}, {ETXTBSY, ERROR_SHARING_VIOLATION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(platform::detail::ErrorFromErrno(c.error), c.code);
  }
  // Whatever errno a call meets, the user gets a text and never "success".
  for (int error = 0; error < 200; ++error) {
    SCOPED_TRACE(error);
    DWORD code = platform::detail::ErrorFromErrno(error);
    EXPECT_NE(code, (DWORD)ERROR_SUCCESS);
    EXPECT_TRUE(EndsAsWindowsTextsDo(Text(code)));
  }
}
#endif

}  // namespace
