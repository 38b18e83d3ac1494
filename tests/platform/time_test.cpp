// File times, the calendar and the temporary folder, on Linux and under Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

#include "layer_helpers.h"

namespace {

using TimeTest = layer_test::LayerTest;

FILETIME FileTime(unsigned long long ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

unsigned long long Ticks(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string Text(const SYSTEMTIME& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d.%03d day %d", t.wYear, t.wMonth,
                t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
  return text;
}

constexpr long long kHour = 36000000000LL;

TEST_F(TimeTest, CompareFileTimeOrdersByTheWhole64BitValue) {
  struct Case {
    FILETIME a, b;
    LONG expected;
  } cases[] = {
      {{5, 0}, {5, 0}, 0},
      {{4, 0}, {5, 0}, -1},
      {{5, 7}, {4, 7}, 1},
      {{0xFFFFFFFF, 0}, {0, 1}, -1},          // the high half decides first
      {{0, 0x80000000}, {0, 0x7FFFFFFF}, 1},  // unsigned, not signed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(Ticks(c.a)) + " vs " + std::to_string(Ticks(c.b)));
    EXPECT_EQ(platform::CompareFileTime(&c.a, &c.b), c.expected);
    EXPECT_EQ(platform::CompareFileTime(&c.b, &c.a), -c.expected);
  }
}

TEST_F(TimeTest, FileTimeToSystemTimeGivesTheGregorianDate) {
  struct Case {
    unsigned long long ticks;
    SYSTEMTIME expected;  // year, month, day of week, day, h, m, s, ms
  } cases[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
      {126441721800000000ULL, {2001, 9, 3, 5, 14, 3, 0, 0}},
      {125963423999990000ULL, {2000, 2, 2, 29, 23, 59, 59, 999}},  // a leap century
      {133536816000000000ULL, {2024, 2, 4, 29, 12, 0, 0, 0}},
      {94405824000000000ULL, {1900, 3, 4, 1, 0, 0, 0, 0}},        // 1900 had no 29 February
      {0x7FFFFFFFFFFFFFFFULL, {30828, 9, 4, 14, 2, 48, 5, 477}},  // the last one Windows takes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ticks);
    FILETIME time = FileTime(c.ticks);
    SYSTEMTIME got{};
    ASSERT_TRUE(platform::FileTimeToSystemTime(&time, &got));
    EXPECT_EQ(Text(got), Text(c.expected));
  }
  FILETIME beyond = FileTime(0x8000000000000000ULL);
  SYSTEMTIME unused;
  EXPECT_FALSE(platform::FileTimeToSystemTime(&beyond, &unused));
  EXPECT_EQ(platform::GetLastError(), ERROR_INVALID_PARAMETER);
}

#ifndef _WIN32
// The offset in force at the instant converted, summer time included.
// Windows takes its zone from its settings, not from TZ.
TEST_F(TimeTest, LocalFileTimeAddsTheZonesOffsetAtThatInstant) {
  std::optional<std::string> saved;
  if (const char* zone = std::getenv("TZ")) saved = zone;
  struct Case {
    const char* zone;
    unsigned long long utc;
    long long hours;
  } cases[] = {
      {"UTC-2", 126441721800000000ULL, 2},
      {"UTC+5", 126441721800000000ULL, -5},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 133643088000000000ULL, 2},  // 1 July 2024
      {"CET-1CEST,M3.5.0,M10.5.0/3", 133497936000000000ULL, 1},  // 15 January 2024
      {"UTC+5", kHour, 0},                                       // before 1601 locally: refused
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " at " + std::to_string(c.utc));
    layer_test::SetVariable("TZ", c.zone);
    ::tzset();
    FILETIME utc = FileTime(c.utc), local;
    EXPECT_EQ(platform::FileTimeToLocalFileTime(&utc, &local), c.hours != 0);
    if (c.hours) {
      EXPECT_EQ(static_cast<long long>(Ticks(local) - c.utc), c.hours * kHour);
    }
  }
  layer_test::SetVariable("TZ", saved ? saved->c_str() : nullptr);
  ::tzset();
}
#endif

TEST_F(TimeTest, TempPathIsAnExistingFolderWithATrailingBackslash) {
  char path[MAX_PATH + 1] = "";
  DWORD length = platform::GetTempPathA(sizeof path, path);
  ASSERT_EQ(length, std::strlen(path));
  ASSERT_GT(length, 0u);
  EXPECT_EQ(path[length - 1], '\\');
  DWORD attributes = platform::GetFileAttributesA(path);
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
  layer_test::Guarded small(length);
  EXPECT_EQ(platform::GetTempPathA(length, small.bytes), length + 1) << "the size it needs";
  EXPECT_TRUE(small.Intact());
#ifndef _WIN32
  std::optional<std::string> saved;
  if (const char* value = std::getenv("TMPDIR")) saved = value;
  const std::pair<const char*, std::string> cases[] = {{nullptr, "Z:\\tmp\\"},
                                                       {"relative/dir", "Z:\\tmp\\"},
                                                       {"/var/tmp//", "Z:\\var\\tmp\\"},
                                                       {"/", "Z:\\"}};
  for (const auto& [tmpdir, expected] : cases) {
    SCOPED_TRACE(tmpdir ? tmpdir : "unset");
    layer_test::SetVariable("TMPDIR", tmpdir);
    EXPECT_EQ(platform::GetTempPathA(sizeof path, path), expected.size());
    EXPECT_EQ(path, expected);
  }
  layer_test::SetVariable("TMPDIR", saved ? saved->c_str() : nullptr);
#endif
}

}  // namespace
