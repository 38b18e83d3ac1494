#include "fixture.h"

#include <cstdlib>
#include <random>

#include "platform/testing.h"

namespace fs = std::filesystem;
namespace pt = platform::testing;

namespace {

fs::path UniqueFolder() {
  std::random_device random;
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / ("qf-test-" + std::to_string(random()));
    if (fs::create_directory(candidate)) return candidate;
  }
}

// Every test starts from an empty registry.
void FreshRegistry(const fs::path& dir) {
#ifdef _WIN32
  // Wine's registry of the test prefix: the host's whole tree goes. Wine's
  // server may still answer ERROR_KEY_DELETED for a moment after a delete
  // (seen on a loaded machine): wait until the tree can be made again.
  ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Far");
  for (int attempt = 0; attempt < 100; ++attempt) {
    HKEY key = nullptr;
    LONG rc = ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far", 0, nullptr, 0, KEY_WRITE,
                                nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
      ::RegCloseKey(key);
      ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Far");
      break;
    }
    ::Sleep(20);
  }
  (void)dir;
#else
  // Beside the folder, not in it: tests list their folders.
  std::string file = dir.string() + ".registry.db";
  ::setenv("QUICKFERRY_REGISTRY", file.c_str(), 1);
  pt::ReopenRegistry();
#endif
}

HKEY Open(const std::string& key) {
  HKEY handle = nullptr;
  if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) !=
      ERROR_SUCCESS)
    return nullptr;
  return handle;
}

}  // namespace

void PlatformTest::SetUp() {
  watchdog.emplace(std::chrono::seconds(60));
  dir = UniqueFolder();
  FreshRegistry(dir);
  pt::ResetFaults();
  pt::ResetReportedVersion();
  pt::UseVirtualConsole(true);
  pt::ConsoleReset(80, 25);
  handlesAtStart = pt::OpenHandleCount();
}

void PlatformTest::TearDown() {
  pt::ResetFaults();  // SlowPieces' hooks hold this fixture
  pt::ResetTickCount();
  pt::ResetSystemTime();
  EXPECT_EQ(pt::OpenHandleCount(), handlesAtStart) << "a handle leaked";
  pt::ResetReportedVersion();
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  for (const char* suffix : {".registry.db", ".registry.db-wal", ".registry.db-shm"})
    fs::remove(dir.string() + suffix, ignored);
  watchdog.reset();
}

bool UnderEmulation() {
#ifdef _WIN32
  const char* flag = std::getenv("QUICKFERRY_QEMU_USER");
  return flag && *flag == '1';
#else
  return false;
#endif
}

std::optional<DWORD> RegistryDword(const std::string& key, const std::string& name) {
  HKEY handle = Open(key);
  if (!handle) return std::nullopt;
  DWORD value = 0, size = sizeof value, type = 0;
  LONG rc = platform::RegQueryValueExA(handle, name.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size);
  platform::RegCloseKey(handle);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != 4) return std::nullopt;
  return value;
}

std::optional<std::string> RegistryString(const std::string& key, const std::string& name) {
  HKEY handle = Open(key);
  if (!handle) return std::nullopt;
  DWORD size = 0, type = 0;
  std::optional<std::string> result;
  if (platform::RegQueryValueExA(handle, name.c_str(), nullptr, &type, nullptr, &size) ==
      ERROR_SUCCESS) {
    std::string text(size, '\0');
    if (platform::RegQueryValueExA(handle, name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(text.data()), &size) == ERROR_SUCCESS) {
      text.resize(size);
      if (!text.empty() && text.back() == 0) text.pop_back();
      result = text;
    }
  }
  platform::RegCloseKey(handle);
  return result;
}

std::optional<DWORD> RegistryType(const std::string& key, const std::string& name) {
  HKEY handle = Open(key);
  if (!handle) return std::nullopt;
  DWORD size = 0, type = 0;
  LONG rc = platform::RegQueryValueExA(handle, name.c_str(), nullptr, &type, nullptr, &size);
  platform::RegCloseKey(handle);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return type;
}

bool RegistryKeyExists(const std::string& key) {
  HKEY handle = Open(key);
  if (handle) platform::RegCloseKey(handle);
  return handle != nullptr;
}

void SetRegistryValue(const std::string& key, const std::string& name, DWORD type,
                      const void* data, DWORD size) {
  HKEY handle = nullptr;
  ASSERT_EQ(platform::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE,
                                      nullptr, &handle, nullptr),
            (LONG)ERROR_SUCCESS);
  EXPECT_EQ(platform::RegSetValueExA(handle, name.c_str(), 0, type,
                                     static_cast<const BYTE*>(data), size),
            (LONG)ERROR_SUCCESS);
  platform::RegCloseKey(handle);
}

void SetRegistryString(const std::string& key, const std::string& name, const std::string& text) {
  SetRegistryValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void SetRegistryDword(const std::string& key, const std::string& name, DWORD value) {
  SetRegistryValue(key, name, REG_DWORD, &value, sizeof value);
}

INPUT_RECORD KeyRecord(WORD key, char character, DWORD modifiers, bool down) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = down;
  record.Event.KeyEvent.wVirtualKeyCode = key;
  record.Event.KeyEvent.uChar.AsciiChar = character;
  record.Event.KeyEvent.dwControlKeyState = modifiers;
  return record;
}

void PlatformTest::SlowPieces() {
  clockMs = 13350000000000ULL;  // milliseconds since 1601, in 2024
  auto tick = [this](uint64_t milliseconds) {
    uint64_t now = clockMs += milliseconds;
    pt::SetTickCount(static_cast<DWORD>(now));
    pt::SetSystemTime(now * 10000);
  };
  tick(0);
  for (const char* operation : {"ReadFile", "WriteFile"})
    pt::ArmHook(operation, nullptr, 1, [tick] { tick(100); }, pt::Repeat::FromThenOn);
}
