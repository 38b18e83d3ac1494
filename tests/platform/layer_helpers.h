// Helpers shared by the platform layer's file, path, volume and event tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/testing.h"
#include "support/fixture.h"

namespace layer_test {

// The Windows path of a test folder: itself on Windows, "Z:" and the Linux
// path with backslashes on Linux.
inline std::string WinPath(const std::filesystem::path& path) {
#ifdef _WIN32
  return path.string();
#else
  std::string text = "Z:" + path.string();
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
#endif
}

inline bool OnWine() {
#ifdef _WIN32
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
#else
  return false;
#endif
}

inline void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
  ::SetEnvironmentVariableA(name, value);
#else
  if (value)
    ::setenv(name, value, 1);
  else
    ::unsetenv(name);
#endif
}

inline std::string CurrentDirectory() {
  char buffer[4096] = "";
  platform::GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

// Leaves the current directory and (Linux) the drive table as it found them.
class LayerTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    savedDirectory = CurrentDirectory();
    folder = WinPath(dir);
  }
  void TearDown() override {
    platform::SetCurrentDirectoryA(savedDirectory.c_str());
#ifndef _WIN32
    platform::testing::ResetDrives();
#endif
    PlatformTest::TearDown();
  }

  std::string savedDirectory;
  std::string folder;  // `dir` as a Windows path
};

// Files in the test's folder; read-only leftovers are cleared at the end,
// since Windows would not remove the folder otherwise.
class FileTreeTest : public LayerTest {
 protected:
  void TearDown() override {
    std::error_code ignored;
    for (auto& entry : std::filesystem::recursive_directory_iterator(dir, ignored))
      platform::SetFileAttributesA(WinPath(entry.path()).c_str(), FILE_ATTRIBUTE_NORMAL);
    LayerTest::TearDown();
  }
  std::string P(const std::string& name) const { return folder + "\\" + name; }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) const {
    std::ifstream file(dir / name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
};

// A buffer with a guard behind `size` bytes that a call must leave alone.
struct Guarded {
  explicit Guarded(size_t n) : size(n) { std::memset(bytes, 0x5A, sizeof bytes); }
  bool Intact() const {
    for (size_t i = size; i < sizeof bytes; ++i)
      if (bytes[i] != 0x5A) return false;
    return true;
  }
  char bytes[4200];
  size_t size;
};

}  // namespace layer_test
