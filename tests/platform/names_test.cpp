// Names at the layer's edge: every Linux name reaches the plug-in free of
// the bytes a Windows path reads and maps back to itself; links are listed
// as links; identity, not the path, tells one file from another.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "layer_helpers.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

class NamesTest : public layer_test::FileTreeTest {
 protected:
  BY_HANDLE_FILE_INFORMATION Identity(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    HANDLE file = platform::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    EXPECT_TRUE(platform::GetFileInformationByHandle(file, &info));
    platform::CloseHandle(file);
    return info;
  }
};

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

TEST_F(NamesTest, IdentityTellsOneFileFromAnotherWhateverPathReachesIt) {
  Write("a.txt", "a");
  Write("b.txt", "b");
  fs::create_hard_link(dir / "a.txt", dir / "hard.txt");
  BY_HANDLE_FILE_INFORMATION a = Identity(P("a.txt"));
  EXPECT_TRUE(SameIdentity(a, Identity(P("hard.txt"))));
  EXPECT_TRUE(SameIdentity(a, Identity(P(".\\a.txt"))));
  EXPECT_FALSE(SameIdentity(a, Identity(P("b.txt"))));
  EXPECT_EQ(a.nNumberOfLinks, 2u);
  EXPECT_EQ(a.nFileSizeLow, 1u);
  // Case: one file where names ignore it, two names on Linux.
#ifdef _WIN32
  EXPECT_EQ(platform::CompareFileNamesA("Dir\\A.txt", "dir\\a.TXT"), 0);
#else
  EXPECT_NE(platform::CompareFileNamesA("Dir\\A.txt", "dir\\a.TXT"), 0);
#endif
  EXPECT_EQ(platform::CompareFileNamesA("a.txt", "a.txt"), 0);

  pt::ArmFault("GetFileInformationByHandle", "*a.txt", 1, ERROR_ACCESS_DENIED);
  HANDLE file = platform::CreateFileA(P("a.txt").c_str(), 0, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  EXPECT_FALSE(platform::GetFileInformationByHandle(file, &info));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  platform::CloseHandle(file);
}

#ifndef _WIN32

std::string Listed(const std::string& linuxPath) {
  char out[4096];
  EXPECT_TRUE(pt::WindowsPathOf(linuxPath.c_str(), out, sizeof out));
  return out;
}

std::string Back(const std::string& windowsPath) {
  char out[4096];
  return pt::HostPath(windowsPath.c_str(), out, sizeof out) ? out : "<none>";
}

// A sweep over hostile and random names: each maps to a name without a
// byte Windows reads (separators, colons, wildcards, quotes, control bytes,
// a trailing dot or space), no two names map to one, and each maps back.
TEST_F(NamesTest, EveryNameMapsToAPlainWindowsNameAndBack) {
  std::vector<std::string> names = {"..\\..\\x", "a:b", ":", "*.*", "a?", "\"<>|", "trail.",
                                    "trail ",   "...", " . ", "\xff", "\xff\xba", "\xff\x7f",
                                    "caf\xe9",  "\x01\x1f\x7f", std::string(255, 'n')};
  for (int b = 1; b < 256; ++b) {
    if (b == '/') continue;
    names.push_back(std::string(1, static_cast<char>(b)) + "x");
    names.push_back("x" + std::string(1, static_cast<char>(b)));
  }
  std::mt19937 random(12);
  for (int i = 0; i < 3000; ++i) {
    std::string name(1 + random() % 12, 'x');
    for (char& c : name)
      do c = static_cast<char>(1 + random() % 255);
      while (c == '/');
    if (name != "." && name != "..") names.push_back(name);
  }
  std::set<std::string> unique(names.begin(), names.end()), seen;
  for (const std::string& name : unique) {
    std::string path = Listed("/d/" + name);
    ASSERT_EQ(path.compare(0, 5, "Z:\\d\\"), 0) << path;
    std::string component = path.substr(5);
    bool plain = component.find_first_of("\\:*?\"<>|") == std::string::npos &&
                 component.back() != '.' && component.back() != ' ';
    for (unsigned char c : component) plain = plain && c >= 0x20;
    EXPECT_TRUE(plain) << component;
    EXPECT_EQ(Back(path), "/d/" + name);
    EXPECT_TRUE(seen.insert(component).second) << "another name maps to " << component;
  }
}

// On disk: each hostile name is listed once, reached by its listed name and
// by nothing else; a raw reserved byte or a broken escape reaches nothing.
TEST_F(NamesTest, ListedNamesReachTheirOwnFileAndRawBytesReachNothing) {
  fs::create_directories(dir / "t");
  std::vector<std::string> names = {"..\\..\\x", "..\\t", "f:s1", "a*b", "end.", "end ",
                                    "A.txt",     "a.txt", "\xff\xba", std::string(200, ':')};
  for (const std::string& name : names) Write("t/" + name, name);
  Write("x", "outside");
  std::vector<std::string> listed;
  WIN32_FIND_DATAA data;
  HANDLE find = platform::FindFirstFileA(P("t\\*").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do
    if (std::string(data.cFileName) != "." && std::string(data.cFileName) != "..")
      listed.push_back(data.cFileName);
  while (platform::FindNextFileA(find, &data));
  platform::FindClose(find);
  ASSERT_EQ(listed.size(), names.size());
  int cut = 0;
  for (const std::string& name : listed) {
    std::string path = P("t\\" + name);
    if (name.back() == '?') {  // too long once escaped: no call reaches it
      ++cut;
      EXPECT_EQ(platform::GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
      continue;
    }
    HANDLE file = platform::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
    char text[512] = {};
    DWORD got = 0;
    platform::ReadFile(file, text, sizeof text - 1, &got, nullptr);
    platform::CloseHandle(file);
    EXPECT_EQ(Back(path), (dir / "t" / std::string(text, got)).string());
  }
  EXPECT_EQ(cut, 1);

  const char* raw[] = {"a|b", "a\"b", "a<b", "a\x01", "a\xff", "a\xff\x41"};
  for (const char* text : raw) {
    SCOPED_TRACE(text);
    std::string path = P(std::string("t\\") + text);
    EXPECT_EQ(platform::GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_INVALID_NAME);
    EXPECT_EQ(platform::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                    nullptr),
              INVALID_HANDLE_VALUE);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "t"), fs::directory_iterator()),
            static_cast<long>(names.size()));
  EXPECT_EQ(Read("x"), "outside");
}

// A link is listed as itself, never changed through its attributes, and
// copied as a link; a file is no link.
TEST_F(NamesTest, LinksAreListedAndCopiedAsLinks) {
  fs::create_directories(dir / "folder");
  Write("file", "f");
  fs::create_directory_symlink("folder", dir / "to-folder");
  fs::create_symlink("file", dir / "to-file");
  fs::create_symlink("nowhere", dir / "dangling");
  struct Case {
    const char* name;
    DWORD attributes;
  } cases[] = {
      {"to-folder", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY},
      {"to-file", FILE_ATTRIBUTE_REPARSE_POINT},
      {"dangling", FILE_ATTRIBUTE_REPARSE_POINT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WIN32_FIND_DATAA data;
    HANDLE find = platform::FindFirstFileA(P(c.name).c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    platform::FindClose(find);
    EXPECT_EQ(data.dwFileAttributes, c.attributes);
    EXPECT_EQ(platform::GetFileAttributesA(P(c.name).c_str()), c.attributes);
    EXPECT_TRUE(platform::SetFileAttributesA(P(c.name).c_str(), FILE_ATTRIBUTE_READONLY));
    std::string copy = std::string(c.name) + "-copy";
    EXPECT_TRUE(platform::CopySymbolicLinkA(P(c.name).c_str(), P(copy).c_str()));
    EXPECT_EQ(fs::read_symlink(dir / copy), fs::read_symlink(dir / c.name));
    EXPECT_FALSE(platform::CopySymbolicLinkA(P(c.name).c_str(), P(copy).c_str()));
    EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
  }
  EXPECT_TRUE((fs::status(dir / "file").permissions() & fs::perms::owner_write) != fs::perms::none);
  EXPECT_FALSE(platform::CopySymbolicLinkA(P("file").c_str(), P("file-copy").c_str()));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_NOT_A_REPARSE_POINT);
}

#endif

}  // namespace
