#include <gtest/gtest.h>

#include "platform/testing.h"
#include "support/files.h"
#include "support/fixture.h"

namespace {

namespace pt = platform::testing;
using FaultTest = PlatformTest;

bool VersionCallFails() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  return !platform::GetVersionExA(&info);
}

TEST_F(FaultTest, OnceFiresOnlyOnTheNumberedCall) {
  pt::ArmFault("GetVersionExA", nullptr, 2, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(VersionCallFails());
  EXPECT_TRUE(VersionCallFails());
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  EXPECT_FALSE(VersionCallFails());
  EXPECT_EQ(pt::CallCount("GetVersionExA"), 3);
}

TEST_F(FaultTest, FromThenOnFiresOnEveryLaterCall) {
  pt::ArmFault("*", nullptr, 2, ERROR_NOT_ENOUGH_MEMORY, pt::Repeat::FromThenOn);
  EXPECT_FALSE(VersionCallFails());
  EXPECT_TRUE(VersionCallFails());
  EXPECT_TRUE(VersionCallFails());
  EXPECT_EQ(pt::FaultsFired(), 2);
}

// A hook holds a thread at a chosen call; the table is free meanwhile, so
// the hook itself (or another thread) may make platform calls.
TEST_F(FaultTest, AHookRunsOnItsCallWhichThenGoesOnUnharmed) {
  int runs = 0;
  pt::ArmHook("GetVersionExA", nullptr, 2, [&] {
    ++runs;
    EXPECT_FALSE(VersionCallFails());
  });
  for (int expected : {0, 1, 1}) {
    EXPECT_FALSE(VersionCallFails());
    EXPECT_EQ(runs, expected);
  }
  EXPECT_EQ(pt::CallCount("GetVersionExA"), 4);
  EXPECT_EQ(pt::FaultsFired(), 0);
}

TEST_F(FaultTest, PathPatternsMatchWithWildcardsIgnoringCase) {
  SetRegistryDword("Software\\Far\\Plugins\\Quickferry", "BufKb", 1);
  SetRegistryDword("Software\\Far\\Plugins\\Quickferry", "BufPercent", 2);
  pt::ArmFault("RegQueryValueExA", "software\\far\\plugins\\quickferry\\BUF?B", 1, ERROR_BADDB,
               pt::Repeat::FromThenOn);
  EXPECT_FALSE(RegistryDword("Software\\Far\\Plugins\\Quickferry", "BufKb"));
  EXPECT_EQ(RegistryDword("Software\\Far\\Plugins\\Quickferry", "BufPercent"), 2u);
}

// A failed close, as a write put off until then fails: the handle is gone
// all the same, so a sweep that fails every close leaks nothing.
TEST_F(FaultTest, AFaultedCloseReportsItsErrorAndStillCloses) {
  auto open = [&](const char* name) {
    return platform::CreateFileA(WindowsPath(dir / name).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE f = open("f"), g = open("g");
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  ASSERT_NE(g, INVALID_HANDLE_VALUE);
  pt::ArmFault("CloseHandle", "*\\f", 1, ERROR_DISK_FULL);
  EXPECT_TRUE(platform::CloseHandle(g));
  EXPECT_FALSE(platform::CloseHandle(f));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_DISK_FULL);
  EXPECT_EQ(pt::OpenHandleCount(), handlesAtStart);
  EXPECT_FALSE(platform::CloseHandle(f));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(FaultTest, ReportedVersionCanBeSetAndReset) {
  struct Case {
    DWORD platformId, major;
  } cases[] = {{VER_PLATFORM_WIN32_NT, 4}, {VER_PLATFORM_WIN32_WINDOWS, 4}, {VER_PLATFORM_WIN32_NT, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.major);
    pt::SetReportedVersion(c.platformId, c.major, 10);
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(platform::GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, c.platformId);
    EXPECT_EQ(info.dwMajorVersion, c.major);
  }
}

}  // namespace
