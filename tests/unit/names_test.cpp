// Numbered names, the existence and age tests, and the size and date texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "core_fixture.h"
#include "platform/testing.h"
#include "scan/names.h"

namespace {

namespace fs = std::filesystem;

// The Windows path of a local one (Linux reaches / as Z:), backslashes only.
std::string WindowsPath(const fs::path& path) {
#ifdef _WIN32
  std::string text = path.string();
#else
  std::string text = "Z:" + path.string();
#endif
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}

FILETIME Shifted(FILETIME time, long long ticks) {
  unsigned long long value =
      ((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) + ticks;
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

using NamesTest = CoreTest;

TEST(NumberedNameTest, NumberGoesBeforeTheExtensionAndOverlongResultsAreRefused) {
  std::string fits = "D:\\" + std::string(504, 'x') + ".t";  // 509 + "_1" = 511
  struct Case {
    std::string path;
    int n;
    std::string expected;  // "" for a refusal
  } cases[] = {
      {"D:\\dir\\a.b.txt", 1, "D:\\dir\\a.b_1.txt"},
      {"D:\\dir.x\\file", 2, "D:\\dir.x\\file_2"},
      {"D:\\dir\\.cfg", 1, "D:\\dir\\_1.cfg"},
      {"D:\\dir\\f.txt:s1:$DATA", 1, "D:\\dir\\f_1.txt:s1:$DATA"},
      {fits, 1, "D:\\" + std::string(504, 'x') + "_1.t"},
      {fits + "t", 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 30));
    char out[512] = "junk";
    EXPECT_EQ(NumberedName(c.path.c_str(), c.n, out), !c.expected.empty());
    EXPECT_EQ(std::string(out), c.expected);
  }
  char same[512] = "D:\\dir\\a.txt";  // the caller's own buffer
  EXPECT_TRUE(NumberedName(same, 4, same));
  EXPECT_STREQ(same, "D:\\dir\\a_4.txt");
}

TEST_F(NamesTest, ExistenceCountsFromThePathItself) {
  std::ofstream(dir / "a.txt") << "a";
  std::ofstream(dir / "a_1.txt") << "b";
  std::string a = WindowsPath(dir / "a.txt"), b = WindowsPath(dir / "b.txt");
  EXPECT_TRUE(NumberedNameExists(a.c_str(), 0));
  EXPECT_TRUE(NumberedNameExists(a.c_str(), 1));
  EXPECT_FALSE(NumberedNameExists(a.c_str(), 2));
  char out[512];
  EXPECT_EQ(FirstFreeName(a.c_str(), out), 2);
  EXPECT_EQ(std::string(out), WindowsPath(dir / "a_2.txt"));
  EXPECT_EQ(FirstFreeName(b.c_str(), out), 0);
  EXPECT_EQ(std::string(out), b);
}

TEST_F(NamesTest, DestinationNotOlderComparesLastWriteTimes) {
  std::ofstream(dir / "t.txt") << "t";
  std::string path = WindowsPath(dir / "t.txt");
  WIN32_FIND_DATAA data;
  HANDLE find = platform::FindFirstFileA(path.c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  platform::FindClose(find);
  FILETIME written = data.ftLastWriteTime;
  EXPECT_TRUE(DestinationNotOlder(path.c_str(), written));
  EXPECT_TRUE(DestinationNotOlder(path.c_str(), Shifted(written, -1)));
  EXPECT_FALSE(DestinationNotOlder(path.c_str(), Shifted(written, 1)));
  EXPECT_FALSE(DestinationNotOlder(WindowsPath(dir / "none.txt").c_str(), written));
  // The fixture checks that the search handles were closed.
}

TEST(FormatSizeTest, CommasBetweenGroupsOfThreeAndTheFileLine) {
  struct Case {
    uint64_t size;
    const char *text, *kb;
  } cases[] = {
      {999, "999", "0"},
      {1000, "1,000", "0"},
      {1234567, "1,234,567", "1,205"},
      {1ULL << 40, "1,099,511,627,776", "1,073,741,824"},
      {~0ULL, "18,446,744,073,709,551,615", "18,014,398,509,481,983"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char out[32];
    FormatSize(c.size, out);
    EXPECT_STREQ(out, c.text);
    FormatSizeKb(c.size, out);
    EXPECT_STREQ(out, c.kb);
  }
  char line[512];
  FormatFileLine("Source", "1,234", "05.09.2001 14:03", line);
  EXPECT_EQ(std::string(line),
            "Source" + std::string(19, ' ') + "1,234" + std::string(5, ' ') + "05.09.2001 14:03");
}

TEST_F(NamesTest, DateIsLocalTimeDayFirst) {
  // 2001-09-05 14:03:59 UTC, in 100 ns steps since 1601.
  unsigned long long ticks = (11644473600ULL + 999698639ULL) * 10000000ULL;
  const FILETIME when{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  char out[32];
#ifdef _WIN32
  FILETIME local;
  ASSERT_TRUE(platform::FileTimeToLocalFileTime(&when, &local));
  if (platform::CompareFileTime(&local, &when) != 0)
    GTEST_SKIP() << "Wine's time zone is not UTC here and a test cannot set it";
  FormatDateTime(when, out);
  EXPECT_STREQ(out, "05.09.2001 14:03");
#else
  const char* saved = std::getenv("TZ");
  std::string before = saved ? saved : "";
  for (auto zone : {std::pair{"UTC0", "05.09.2001 14:03"}, {"<+10>-10", "06.09.2001 00:03"}}) {
    SCOPED_TRACE(zone.first);
    ::setenv("TZ", zone.first, 1);
    FormatDateTime(when, out);
    EXPECT_STREQ(out, zone.second);
  }
  if (saved)
    ::setenv("TZ", before.c_str(), 1);
  else
    ::unsetenv("TZ");
#endif
  platform::testing::ArmFault("FileTimeToLocalFileTime", nullptr, 1, ERROR_INVALID_PARAMETER);
  FormatDateTime(when, out);
  EXPECT_STREQ(out, "");
}

}  // namespace
