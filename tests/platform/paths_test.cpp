// Full paths, the current directory, environment expansion, name comparison
// and (Linux) the drive table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif
#include "layer_helpers.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;
using layer_test::Guarded;

class PathTest : public layer_test::LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    ASSERT_TRUE(platform::SetCurrentDirectoryA(folder.c_str()));
    drive = folder.substr(0, 2);
    other = drive[0] == 'Q' ? "R:" : "Q:";
  }
  std::string drive;  // the test folder's drive, "X:"
  std::string other;  // a drive that is not the current one
};

std::string Full(const std::string& path, std::string* filePart = nullptr) {
  char buffer[4096];
  char* part = reinterpret_cast<char*>(1);
  DWORD n = platform::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &part);
  if (n == 0 || n >= sizeof buffer) return "<" + std::to_string(n) + ">";
  if (filePart) *filePart = part ? part : "<null>";
  EXPECT_EQ(n, std::strlen(buffer));
  return buffer;
}

TEST_F(PathTest, FullPathsFollowWindowsRules) {
  std::string parent = folder.substr(0, folder.rfind('\\'));
  std::string name = folder.substr(folder.rfind('\\') + 1);
  struct Case {
    std::string path, full, filePart;
  } cases[] = {
      {"foo", folder + "\\foo", "foo"},
      {"foo\\", folder + "\\foo\\", "<null>"},
      {".", folder, name},
      {".\\", folder + "\\", "<null>"},
      {"..\\x", parent + "\\x", "x"},
      {"a/b//c", folder + "\\a\\b\\c", "c"},
      {"a\\.\\b\\..\\c", folder + "\\a\\c", "c"},
      {"\\x", drive + "\\x", "x"},
      {drive + "foo", folder + "\\foo", "foo"},  // relative to that drive's current folder
      {other + "foo", other + "\\foo", "foo"},   // another drive: from its root
      {other + "\\", other + "\\", "<null>"},
      {other + "\\a\\..\\..\\..\\b", other + "\\b", "b"},  // never above the root
      {other + "\\a\\b\\..", other + "\\a", "a"},
      {other + "\\a\\b\\..\\", other + "\\a\\", "<null>"},
      {other + "/a//b/", other + "\\a\\b\\", "<null>"},
      {"\\\\srv\\sh\\a\\..\\..\\x", "\\\\srv\\sh\\x", "x"},
      {"\\\\srv\\sh\\a\\..", "\\\\srv\\sh\\", "<null>"},
      {"//srv/sh/dir/", "\\\\srv\\sh\\dir\\", "<null>"},
#ifndef _WIN32
      {drive, folder, name},  // Wine adds a backslash here that Windows does not
      // Trailing dots and spaces go, as on Windows (Linux names that end in
      // them are listed escaped).
      {other + "\\a.", other + "\\a", "a"},
      {other + "\\a. .", other + "\\a", "a"},
      {other + "\\a \\b", other + "\\a\\b", "b"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string filePart;
    EXPECT_EQ(Full(c.path, &filePart), c.full);
    EXPECT_EQ(filePart, c.filePart);
  }
  EXPECT_EQ(platform::GetFullPathNameA("", 10, nullptr, nullptr), 0u);
}

TEST_F(PathTest, TooSmallBuffersAreLeftAloneAndTheSizeNeededComesBack) {
  std::string path = other + "\\abcdef";  // 9 characters
  struct Case {
    DWORD size;
    DWORD result;
  } cases[] = {{10, 9}, {9, 10}, {1, 10}, {0, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Guarded out(c.size);
    char* part = nullptr;
    EXPECT_EQ(platform::GetFullPathNameA(path.c_str(), c.size, c.size ? out.bytes : nullptr, &part),
              c.result);
    if (c.result < c.size) {
      EXPECT_EQ(std::string(out.bytes), path);
      EXPECT_EQ(part, out.bytes + 3);
    } else {
      EXPECT_EQ(out.bytes[0], 0x5A);
    }
    EXPECT_TRUE(out.Intact());
  }
#ifndef _WIN32
  // Longer than any Windows buffer: the size needed, and nothing written.
  std::string deep = other + "\\" + std::string(3000, 'd');
  Guarded out(512);
  EXPECT_EQ(platform::GetFullPathNameA(deep.c_str(), 512, out.bytes, nullptr), deep.size() + 1);
  EXPECT_EQ(out.bytes[0], 0x5A);
  EXPECT_TRUE(out.Intact());
#endif
}

TEST_F(PathTest, TheCurrentDirectoryChangesOnlyToAnExistingFolder) {
  fs::create_directory(dir / "sub");
  std::ofstream(dir / "file") << "x";
#ifndef _WIN32
  char before[4096];
  ASSERT_TRUE(::getcwd(before, sizeof before));
#endif
  struct Case {
    std::string path;
    DWORD error;         // 0: the change happens
    std::string result;  // the current directory afterwards
  } cases[] = {
      {folder + "\\", 0, folder},  // kept without its trailing backslash
      {"sub", 0, folder + "\\sub"},
      {"..", 0, folder},
      {folder + "\\missing", ERROR_FILE_NOT_FOUND, folder},
      {folder + "\\missing\\deeper", ERROR_PATH_NOT_FOUND, folder},
      {folder + "\\file", ERROR_DIRECTORY, folder},
      {drive + "\\", 0, drive + "\\"},  // a root keeps it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    platform::SetLastError(0);
    EXPECT_EQ(platform::SetCurrentDirectoryA(c.path.c_str()), c.error == 0);
    if (c.error) {
      EXPECT_EQ(platform::GetLastError(), c.error);
    }
    EXPECT_EQ(layer_test::CurrentDirectory(), c.result);
  }
#ifndef _WIN32
  char after[4096];
  ASSERT_TRUE(::getcwd(after, sizeof after));
  EXPECT_STREQ(after, before) << "the process's own directory must not move";
#endif
  ASSERT_TRUE(platform::SetCurrentDirectoryA(folder.c_str()));
  Guarded out(folder.size());
  EXPECT_EQ(platform::GetCurrentDirectoryA(static_cast<DWORD>(folder.size()), out.bytes),
            folder.size() + 1);
  EXPECT_EQ(out.bytes[0], 0x5A);
  EXPECT_TRUE(out.Intact());
  EXPECT_EQ(platform::GetCurrentDirectoryA(0, nullptr), folder.size() + 1);
}

// ---- Environment expansion -------------------------------------------------

class ExpandTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    layer_test::SetVariable("QF_EXPAND_A", "alpha");
  }
  void TearDown() override {
    layer_test::SetVariable("QF_EXPAND_A", nullptr);
    PlatformTest::TearDown();
  }
  static std::string Expand(const char* text) {
    char buffer[512];
    DWORD n = platform::ExpandEnvironmentStringsA(text, buffer, sizeof buffer);
    EXPECT_EQ(n, std::strlen(buffer) + 1) << text;
    return buffer;
  }
};

TEST_F(ExpandTest, SetNamesAreReplacedAndEverythingElseStays) {
  struct Case {
    const char *text, *expanded;
  } cases[] = {
      {"%QF_EXPAND_A%", "alpha"},
      {"<%qf_expand_a%>", "<alpha>"},  // names ignore case
      {"%QF_EXPAND_A%%QF_EXPAND_A%", "alphaalpha"},
      {"%QF_EXPAND_NOPE%", "%QF_EXPAND_NOPE%"},
      {"%QF_EXPAND_NOPE%QF_EXPAND_A%", "%QF_EXPAND_NOPE%QF_EXPAND_A%"},
      {"100%", "100%"},
      {"%", "%"},
      {"%%", "%%"},
      {"a%%b", "a%%b"},
      {"x%QF_EXPAND_A", "x%QF_EXPAND_A"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Expand(c.text), c.expanded);
  }
}

TEST_F(ExpandTest, TheSizeNeededComesBackAndSmallBuffersAreNotOverrun) {
  EXPECT_EQ(platform::ExpandEnvironmentStringsA("<%QF_EXPAND_A%>", nullptr, 0), 8u);
  Guarded out(4);
  EXPECT_EQ(platform::ExpandEnvironmentStringsA("<%QF_EXPAND_A%>", out.bytes, 4), 8u);
  EXPECT_TRUE(out.Intact());
#ifndef _WIN32
  EXPECT_STREQ(out.bytes, "<al");  // a terminated start, never a run past the end
#endif
}

#ifndef _WIN32
TEST_F(ExpandTest, AnExactNameWinsOverOneThatDiffersInCase) {
  layer_test::SetVariable("QF_Expand_Case", "exact");
  layer_test::SetVariable("QF_EXPAND_CASE", "upper");
  EXPECT_EQ(Expand("%QF_Expand_Case%"), "exact");
  EXPECT_EQ(Expand("%QF_EXPAND_CASE%"), "upper");
  layer_test::SetVariable("QF_Expand_Case", nullptr);
  layer_test::SetVariable("QF_EXPAND_CASE", nullptr);
}
#endif

// ---- Names ------------------------------------------------------------------

TEST(TextTest, ComparisonFoldsLettersAndConversionsCopyNoMoreThanAsked) {
  struct Case {
    const char *a, *b;
    int sign;
  } cases[] = {{"abc", "ABC", 0}, {"abc", "abd", -1}, {"B", "a", 1},       {"", "a", -1},
               {"a", "", 1},      {"Data1", "data2", -1}, {"FILE.TXT", "file.txt", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    int result = platform::lstrcmpiA(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign);
  }
  char name[] = "Name.txt";
  ASSERT_TRUE(platform::OemToCharA(name, name));  // in place
  EXPECT_STREQ(name, "Name.txt");
  char out[8] = "zzzzzzz";
  ASSERT_TRUE(platform::CharToOemBuffA("abcdef", out, 3));
  EXPECT_STREQ(out, "abczzzz");
}

// UTF-8 to UTF-16 and back as Windows converts: surrogate pairs, U+FFFD for
// what is no character, the size asked with 0, a buffer too small refused.
TEST(TextTest, Utf8AndUtf16ConvertBothWays) {
  struct Case {
    const char* what;
    std::string utf8;
    std::vector<WCHAR> utf16;  // without the terminator
    std::string back;          // the UTF-8 of utf16
    bool wineAgrees = true;    // Wine decodes some malformed input its own way
  } cases[] = {
      {"ASCII", "Quickferry", {'Q', 'u', 'i', 'c', 'k', 'f', 'e', 'r', 'r', 'y'}, "Quickferry"},
      {"two and three bytes", "\xC3\xA9\xE2\x82\xAC", {0xE9, 0x20AC}, "\xC3\xA9\xE2\x82\xAC"},
      {"four bytes", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {"stray bytes", "a\xFF\xC0\x80" "b", {'a', 0xFFFD, 0xFFFD, 0xFFFD, 'b'},
       "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "b"},
      {"encoded surrogate", "\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD},
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.wineAgrees && layer_test::OnWine()) continue;
    int size = static_cast<int>(c.utf16.size()) + 1;
    EXPECT_EQ(platform::MultiByteToWideChar(CP_UTF8, 0, c.utf8.c_str(), -1, nullptr, 0), size);
    std::vector<WCHAR> wide(size + 2, 0x7777);
    ASSERT_EQ(platform::MultiByteToWideChar(CP_UTF8, 0, c.utf8.c_str(), -1, wide.data(), size),
              size);
    std::vector<WCHAR> expected = c.utf16;
    expected.push_back(0);
    EXPECT_EQ(std::vector<WCHAR>(wide.begin(), wide.begin() + size), expected);
    EXPECT_EQ(wide[size], 0x7777);
    std::string narrow(c.back.size() + 4, 'z');
    ASSERT_EQ(platform::WideCharToMultiByte(CP_UTF8, 0, expected.data(), -1, nullptr, 0, nullptr,
                                            nullptr),
              static_cast<int>(c.back.size()) + 1);
    ASSERT_EQ(platform::WideCharToMultiByte(CP_UTF8, 0, expected.data(), -1, narrow.data(),
                                            static_cast<int>(narrow.size()), nullptr, nullptr),
              static_cast<int>(c.back.size()) + 1);
    EXPECT_STREQ(narrow.c_str(), c.back.c_str());
  }
  const WCHAR lone[] = {'a', 0xDC00, 'b'};
  char narrow[8] = {};
  EXPECT_EQ(platform::WideCharToMultiByte(CP_UTF8, 0, lone, 3, narrow, 8, nullptr, nullptr), 5);
  EXPECT_EQ(std::string(narrow, 5), "a\xEF\xBF\xBD" "b");
  WCHAR small[3];
  platform::SetLastError(0);
  EXPECT_EQ(platform::MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, small, 3), 0);
  EXPECT_EQ(platform::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(platform::WideCharToMultiByte(CP_UTF8, 0, lone, 3, narrow, 4, nullptr, nullptr), 0);
  EXPECT_EQ(platform::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(platform::MultiByteToWideChar(CP_UTF8, 0, "", 0, small, 3), 0);
}

// ---- The drive table (Linux) ------------------------------------------------

#ifndef _WIN32
class DriveTableTest : public layer_test::LayerTest {
 protected:
  std::string Map(char letter, pt::DriveKind kind, const char* detail = "") {
    fs::path folder = dir / std::string(1, letter);
    fs::create_directories(folder);
    EXPECT_TRUE(pt::MapDrive(letter, kind, folder.c_str(), detail)) << letter;
    return folder.string();
  }
  static std::string Host(const std::string& windowsPath) {
    char out[4096];
    return pt::HostPath(windowsPath.c_str(), out, sizeof out) ? out : "<none>";
  }
};

TEST_F(DriveTableTest, MappingRefusesWhatCannotBeADrive) {
  std::string d = dir.string();
  struct Case {
    char letter;
    pt::DriveKind kind;
    const char *directory, *detail;
  } cases[] = {
      {'Z', pt::DriveKind::Fixed, d.c_str(), ""},  // Z: stays /
      {'1', pt::DriveKind::Fixed, d.c_str(), ""},
      {'[', pt::DriveKind::Fixed, d.c_str(), ""},
      {'D', pt::DriveKind::Fixed, "relative/dir", ""},
      {'D', pt::DriveKind::Fixed, nullptr, ""},
      {'N', pt::DriveKind::Network, d.c_str(), "noshare"},
      {'N', pt::DriveKind::Network, d.c_str(), "\\share"},
      {'N', pt::DriveKind::Network, d.c_str(), "srv\\"},
      {'N', pt::DriveKind::Network, d.c_str(), "srv\\a\\b"},
      {'G', pt::DriveKind::Dynamic, d.c_str(), ""},
      {'S', pt::DriveKind::Subst, "", "Q:\\unmapped"},
      {'S', pt::DriveKind::Subst, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.letter) + " " + (c.detail ? c.detail : ""));
    EXPECT_FALSE(pt::MapDrive(c.letter, c.kind, c.directory, c.detail));
  }
  EXPECT_EQ(Host("Z:\\etc"), "/etc");
  EXPECT_EQ(Host("D:\\"), "<none>");
  EXPECT_TRUE(pt::MapDrive('d', pt::DriveKind::Fixed, d.c_str(), ""));
  EXPECT_EQ(Host("D:\\x"), d + "/x");
}

TEST_F(DriveTableTest, WindowsPathsReachTheirDrivesDirectoriesAndNeverAbove) {
  std::string d = Map('D', pt::DriveKind::Fixed);
  std::string n = Map('N', pt::DriveKind::Network, "srv\\share");
  fs::create_directories(d + "/sub");
  ASSERT_TRUE(pt::MapDrive('S', pt::DriveKind::Subst, "", "D:\\sub"));
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\sub"));
  struct Case {
    const char *path;
    std::string host;
  } cases[] = {
      {"D:\\a\\b", d + "/a/b"},
      {"d:/a", d + "/a"},
      {"D:\\", d + "/"},
      {"D:\\..\\..\\etc", d + "/etc"},
      {"\\\\srv\\share\\x", n + "/x"},
      {"\\\\SRV\\Share\\x", n + "/x"},
      {"\\\\srv\\share\\..\\..\\x", n + "/x"},
      {"\\\\srv\\other\\x", "<none>"},
      {"\\\\srv", "<none>"},
      {"Q:\\x", "<none>"},
      {"Z:\\etc\\hostname", "/etc/hostname"},
      {"S:\\x", d + "/sub/x"},
      {"\\\\?\\D:\\a", d + "/a"},
      {"\\\\?\\UNC\\srv\\share\\y", n + "/y"},
      {"rel", d + "/sub/rel"},
      {"\\top", d + "/top"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(Host(c.path), c.host);
  }
  char small[8];
  std::memset(small, 0x5A, sizeof small);
  EXPECT_FALSE(pt::HostPath("D:\\a\\b", small, 4));
  EXPECT_EQ(small[0], 0);
  EXPECT_EQ(small[4], 0x5A);
}

TEST_F(DriveTableTest, CallsReachMappedDirectoriesAndDrivesOfOneFileSystemShareRenames) {
  std::string d = Map('D', pt::DriveKind::Fixed);
  std::string f = Map('F', pt::DriveKind::Fixed);
  std::string n = Map('N', pt::DriveKind::Network, "srv\\share");
  ASSERT_TRUE(platform::CreateDirectoryA("D:\\made", nullptr));
  EXPECT_TRUE(fs::is_directory(d + "/made"));
  ASSERT_TRUE(platform::CreateDirectoryA("\\\\srv\\share\\made", nullptr));
  EXPECT_TRUE(fs::is_directory(n + "/made"));
  EXPECT_TRUE(platform::MoveFileA("D:\\made", "F:\\moved"));
  EXPECT_TRUE(fs::is_directory(f + "/moved"));
  EXPECT_FALSE(fs::exists(d + "/made"));
}

TEST_F(DriveTableTest, ResetUnmapsAndReturnsToTheProcessDirectory) {
  Map('D', pt::DriveKind::Fixed);
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\"));
  pt::UnmapDrive('Z');  // no effect: Z: is always /
  pt::ResetDrives();
  char cwd[4096];
  ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
  EXPECT_EQ(layer_test::CurrentDirectory(), layer_test::WinPath(cwd));
  EXPECT_EQ(Host("D:\\"), "<none>");
  EXPECT_EQ(Host("Z:\\"), "/");
}
#endif

}  // namespace
