// Finding files: Windows' wildcard rules, "." and ".." first, and the
// failures, on Linux and against the real calls under Wine (the find data
// is checked with the file times in file_io_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "layer_helpers.h"

namespace {

namespace fs = std::filesystem;

class FindTest : public layer_test::LayerTest {
 protected:
  // Every name a pattern finds, in the order found; false with the last
  // error when FindFirstFileA fails.
  bool FindAll(const std::string& pattern, std::vector<std::string>* names) {
    WIN32_FIND_DATAA data;
    HANDLE find = platform::FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    do names->push_back(data.cFileName);
    while (platform::FindNextFileA(find, &data));
    EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
    EXPECT_TRUE(platform::FindClose(find));
    return true;
  }
};

TEST_F(FindTest, PatternsMatchAsWindowsMatchesThem) {
  for (const char* name : {"abc", "a.txt", "b.TXT", "ab.c", "x.tar.gz", "abc.d"})
    std::ofstream(dir / name) << name;
  fs::create_directory(dir / "sub");
  using Names = std::set<std::string>;
  const Names all{".", "..", "abc", "a.txt", "b.TXT", "ab.c", "x.tar.gz", "abc.d", "sub"};
  struct Case {
    const char* pattern;
    Names found;
    DWORD error;  // when nothing is found
  } cases[] = {
      {"*", all, 0},
      {"*.*", all, 0},
      {"*.txt", {"a.txt", "b.TXT"}, 0},
      {"a?c", {"abc"}, 0},                   // '?' is no dot
      {"abc.*", {"abc", "abc.d"}, 0},        // ".*" also matches no extension
      {"*.", {".", "..", "abc", "sub"}, 0},  // names without a dot
      {"*.gz", {"x.tar.gz"}, 0},
      {"x.tar.gz", {"x.tar.gz"}, 0},
      {"sub", {"sub"}, 0},
      {"zz*", {}, ERROR_FILE_NOT_FOUND},
      {"zz", {}, ERROR_FILE_NOT_FOUND},
      {"no\\*", {}, ERROR_PATH_NOT_FOUND},
      {"no\\zz", {}, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    // Wine matches "*." as "*": it lacks the file system's DOS star and dot.
    if (layer_test::OnWine() && std::string(c.pattern) == "*.") continue;
    std::vector<std::string> names;
    bool found = FindAll(folder + "\\" + c.pattern, &names);
    EXPECT_EQ(found, !c.found.empty());
    if (!found) {
      EXPECT_EQ(platform::GetLastError(), c.error);
    }
    EXPECT_EQ(Names(names.begin(), names.end()), c.found);
    EXPECT_EQ(names.size(), c.found.size()) << "a name came twice";
    if (c.found.count(".")) {
      ASSERT_GE(names.size(), 2u);
      EXPECT_EQ(names[0], ".");
      EXPECT_EQ(names[1], "..");
    }
  }
}

}  // namespace
