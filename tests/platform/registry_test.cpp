// The registry as the platform layer offers it: the semantics the settings
// rely on, the same on Linux (SQLite) and under Wine (the real one).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "support/fixture.h"

namespace {

class RegistryTest : public PlatformTest {
 protected:
  HKEY Create(const char* path, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(platform::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, access, nullptr,
                                        &key, disposition),
              (LONG)ERROR_SUCCESS);
    return key;
  }
};

TEST_F(RegistryTest, CreateMakesTheWholeChainAndReportsWhetherItExisted) {
  DWORD disposition = 0;
  HKEY key = Create("Software\\Far\\Plugins\\Quickferry", KEY_WRITE, &disposition);
  EXPECT_EQ(disposition, (DWORD)REG_CREATED_NEW_KEY);
  platform::RegCloseKey(key);
  EXPECT_TRUE(RegistryKeyExists("Software\\Far\\Plugins"));
  key = Create("Software\\Far\\Plugins\\Quickferry", KEY_WRITE, &disposition);
  EXPECT_EQ(disposition, (DWORD)REG_OPENED_EXISTING_KEY);
  platform::RegCloseKey(key);
}

TEST_F(RegistryTest, OpeningAMissingKeyFailsWithFileNotFoundAndNoHandle) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Nothing", 0,
                                    KEY_QUERY_VALUE, &key),
            (LONG)ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCase) {
  SetRegistryDword("Software\\Far\\Plugins\\Quickferry", "BufKb", 77);
  EXPECT_EQ(RegistryDword("SOFTWARE\\far\\plugins\\QUICKFERRY", "bufkb"), 77u);
  SetRegistryDword("software\\FAR\\Plugins\\quickferry", "BUFKB", 78);
  EXPECT_EQ(RegistryDword("Software\\Far\\Plugins\\Quickferry", "BufKb"), 78u);
}

TEST_F(RegistryTest, QueryReportsTypeSizeAndMoreData) {
  const char text[] = "Descript.ion,Files.bbs";
  SetRegistryValue("Software\\Far\\Descriptions", "ListNames", REG_SZ, text, sizeof text);
  HKEY key = nullptr;
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Descriptions", 0,
                                    KEY_QUERY_VALUE, &key),
            (LONG)ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(platform::RegQueryValueExA(key, "ListNames", nullptr, &type, nullptr, &size),
            (LONG)ERROR_SUCCESS);
  EXPECT_EQ(type, (DWORD)REG_SZ);
  EXPECT_EQ(size, sizeof text);
  char small[8];
  size = sizeof small;
  EXPECT_EQ(platform::RegQueryValueExA(key, "ListNames", nullptr, &type,
                                       reinterpret_cast<BYTE*>(small), &size),
            (LONG)ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof text);
  size = 4;
  EXPECT_EQ(platform::RegQueryValueExA(key, "Missing", nullptr, &type,
                                       reinterpret_cast<BYTE*>(small), &size),
            (LONG)ERROR_FILE_NOT_FOUND);
  platform::RegCloseKey(key);
}

TEST_F(RegistryTest, AKeyOpenedForQueryCannotBeWritten) {
  SetRegistryDword("Software\\Far\\Plugins\\Quickferry", "BufKb", 1);
  HKEY key = nullptr;
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quickferry", 0,
                                    KEY_QUERY_VALUE, &key),
            (LONG)ERROR_SUCCESS);
  DWORD value = 2;
  EXPECT_EQ(platform::RegSetValueExA(key, "BufKb", 0, REG_DWORD,
                                     reinterpret_cast<BYTE*>(&value), 4),
            (LONG)ERROR_ACCESS_DENIED);
  platform::RegCloseKey(key);
  EXPECT_EQ(RegistryDword("Software\\Far\\Plugins\\Quickferry", "BufKb"), 1u);
}

TEST_F(RegistryTest, EnumerationGivesEveryValueOnceAndAsksForRoom) {
  SetRegistryString("Software\\Far\\KeyMacros\\Shell\\F5", "Sequence", "F11 > 1");
  SetRegistryDword("Software\\Far\\KeyMacros\\Shell\\F5", "DisableOutput", 1);
  SetRegistryString("Software\\Far\\KeyMacros\\Shell\\F5", "Sequence", "F11 > 2");  // a rewrite adds no value
  HKEY key = nullptr;
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\KeyMacros\\Shell\\F5", 0,
                                    KEY_READ, &key),
            (LONG)ERROR_SUCCESS);
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[64];
    BYTE data[64];
    DWORD nameLength = sizeof name, size = sizeof data, type = 0;
    LONG rc = platform::RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &size);
    if (rc == (LONG)ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, (LONG)ERROR_SUCCESS);
    EXPECT_EQ(nameLength, std::string(name).size());
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"DisableOutput", "Sequence"}));
  char name[4];
  BYTE data[64];
  DWORD nameLength = sizeof name, size = sizeof data, type = 0;
  EXPECT_EQ(platform::RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, data, &size),
            (LONG)ERROR_MORE_DATA);
  DWORD values = 0, maxName = 0, maxData = 0;
  EXPECT_EQ(platform::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       &values, &maxName, &maxData, nullptr, nullptr),
            (LONG)ERROR_SUCCESS);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 13u);  // "DisableOutput"
  EXPECT_GE(maxData, 8u);  // "F11 > 2" and its terminator (Windows may count it wide)
  platform::RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteRemovesALeafKeyWithItsValuesButNotAKeyWithSubkeys) {
  SetRegistryDword("Software\\Far\\KeyMacros\\Shell\\F5", "DisableOutput", 1);
  EXPECT_EQ(platform::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Far\\KeyMacros\\Shell"),
            (LONG)ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Far\\KeyMacros\\Shell\\F5"),
            (LONG)ERROR_SUCCESS);
  EXPECT_FALSE(RegistryKeyExists("Software\\Far\\KeyMacros\\Shell\\F5"));
  EXPECT_TRUE(RegistryKeyExists("Software\\Far\\KeyMacros\\Shell"));
  EXPECT_EQ(platform::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Far\\KeyMacros\\Shell\\F5"),
            (LONG)ERROR_FILE_NOT_FOUND);
  // A key made again afresh has none of the old values.
  SetRegistryDword("Software\\Far\\KeyMacros\\Shell\\F5", "PluginPanels", 0);
  EXPECT_FALSE(RegistryDword("Software\\Far\\KeyMacros\\Shell\\F5", "DisableOutput"));
}

TEST_F(RegistryTest, BinaryDataComeBackExactly) {
  std::vector<BYTE> data(3000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7);
  SetRegistryValue("Software\\Far\\Test", "Blob", REG_BINARY, data.data(), (DWORD)data.size());
  HKEY key = nullptr;
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Test", 0, KEY_QUERY_VALUE,
                                    &key),
            (LONG)ERROR_SUCCESS);
  std::vector<BYTE> back(4000);
  DWORD size = (DWORD)back.size(), type = 0;
  EXPECT_EQ(platform::RegQueryValueExA(key, "Blob", nullptr, &type, back.data(), &size),
            (LONG)ERROR_SUCCESS);
  platform::RegCloseKey(key);
  back.resize(size);
  EXPECT_EQ(back, data);
  EXPECT_EQ(type, (DWORD)REG_BINARY);
}

TEST_F(RegistryTest, ArmedFaultFailsTheMatchingCallOnly) {
  SetRegistryDword("Software\\Far\\Plugins\\Quickferry", "BufKb", 5);
  platform::testing::ArmFault("RegQueryValueExA", "*\\BufKb", 1, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RegistryDword("Software\\Far\\Plugins\\Quickferry", "BufKb"));
  EXPECT_EQ(RegistryDword("Software\\Far\\Plugins\\Quickferry", "BufKb"), 5u);  // once only
  EXPECT_EQ(platform::testing::FaultsFired(), 1);
}

#ifndef _WIN32
// A registry file that is not a database: every call fails, none crashes.
TEST_F(RegistryTest, CorruptDatabaseFailsEveryCallWithBadDb) {
  std::string file = (dir / "broken.db").string();
  FILE* f = std::fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < 200; ++i) std::fputs("this is not a database ", f);
  std::fclose(f);
  ::setenv("QUICKFERRY_REGISTRY", file.c_str(), 1);
  platform::testing::ReopenRegistry();
  HKEY key = nullptr;
  EXPECT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key),
            (LONG)ERROR_BADDB);
  EXPECT_EQ(platform::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far", 0, nullptr, 0, KEY_WRITE,
                                      nullptr, &key, nullptr),
            (LONG)ERROR_BADDB);
  EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryTest, DatabaseIsCreatedOnFirstUseBelowXdgConfigHome) {
  ::unsetenv("QUICKFERRY_REGISTRY");
  std::string config = (dir / "config").string();
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  platform::testing::ReopenRegistry();
  SetRegistryDword("Software\\Far\\Test", "Value", 9);
  EXPECT_TRUE(std::filesystem::exists(dir / "config" / "quickferry" / "registry.db"));
  platform::testing::ReopenRegistry();
  EXPECT_EQ(RegistryDword("Software\\Far\\Test", "Value"), 9u);
}
#endif

}  // namespace
