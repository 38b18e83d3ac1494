// The FAR-ABI harness: loads the real Quickferry.dll with LoadLibrary from a
// folder of its own, hands it a 372-byte startup record built from the
// host's measured offsets (not from the plug-in's headers), and drives the
// four exports with stdcall call slots.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/lng_file.h"
#include "host/messages.h"

namespace fs = std::filesystem;

namespace {

LngFile g_lng;
std::vector<std::string> g_menuTexts;
std::string g_menuTitle, g_menuHelp;
int g_menuSelected0 = -1;
int g_menuAnswer = -1;
std::vector<int> g_controlCommands;

const char* __stdcall GetMsg(int, int id) {
  return id >= 0 && id < (int)g_lng.messages.size() ? g_lng.messages[id].c_str() : "";
}

int __stdcall Menu(int, int, int, int, unsigned, const char* title, const char*, const char* help,
                   const int*, int*, const void* items, int count) {
  g_menuTitle = title;
  g_menuHelp = help;
  g_menuTexts.clear();
  const auto* bytes = static_cast<const unsigned char*>(items);
  for (int i = 0; i < count; ++i) g_menuTexts.emplace_back(reinterpret_cast<const char*>(bytes + 140 * i));
  std::memcpy(&g_menuSelected0, bytes + 128, 4);
  return g_menuAnswer;
}

// Panels: one item named ".." in the active panel, so the run declines.
unsigned char g_item[366];
int __stdcall Control(HANDLE, int command, void* parameter) {
  g_controlCommands.push_back(command);
  if (command == 1 || command == 2) {
    auto* info = static_cast<unsigned char*>(parameter);
    std::memset(info, 0, 496);
    std::memset(g_item, 0, sizeof g_item);
    std::strcpy(reinterpret_cast<char*>(g_item + 44), "..");
    void* items = g_item;
    int one = 1;
    std::memcpy(info + 24, &items, 4);  // PanelItems
    std::memcpy(info + 28, &one, 4);    // ItemsNumber
    std::memcpy(info + 32, &items, 4);  // SelectedItems
    std::memcpy(info + 36, &one, 4);    // SelectedItemsNumber
    std::memcpy(info + 48, &one, 4);    // Visible
    std::strcpy(reinterpret_cast<char*>(info + 220), "C:\\");
  }
  return 1;
}

// Dialog, Message and AdvControl with the host's exact stdcall signatures,
// so that a wrong argument count would unbalance the stack and show.
struct DialogCall {
  int x2, y2, itemCount;
  std::string help;
};
std::vector<DialogCall> g_dialogCalls;
int __stdcall Dialog(int, int, int, int x2, int y2, const char* help, void*, int count) {
  g_dialogCalls.push_back({x2, y2, count, help ? help : ""});
  return -1;
}

int g_messageCalls = 0;
int __stdcall Message(int, unsigned, const char*, const char* const*, int, int) {
  ++g_messageCalls;
  return -1;
}

std::vector<std::pair<int, int>> g_advCalls;  // command, first field of its record
int __stdcall AdvControl(int, int command, void* parameter) {
  int first = -1;
  if (parameter) std::memcpy(&first, parameter, 4);
  g_advCalls.emplace_back(command, first);
  return 0;
}

int __stdcall Unexpected() { return 0; }

template <class F>
void Put(unsigned char* record, int offset, F function) {
  void* p = reinterpret_cast<void*>(function);
  std::memcpy(record + offset, &p, 4);
}

class FarAbiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = fs::temp_directory_path() / ("qf-abi-" + std::to_string(::GetCurrentProcessId()));
    fs::create_directories(folder_);
    fs::path dll = QUICKFERRY_DLL;
    fs::copy_file(dll, folder_ / "Quickferry.dll", fs::copy_options::overwrite_existing);
    fs::copy_file(dll.parent_path() / "QuickferryEng.lng", folder_ / "QuickferryEng.lng",
                  fs::copy_options::overwrite_existing);
    std::string error;
    ASSERT_TRUE(LoadLngFile((folder_ / "QuickferryEng.lng").string(), MessageCount, &g_lng, &error)) << error;
    module_ = ::LoadLibraryA((folder_ / "Quickferry.dll").string().c_str());
  }
  static void TearDownTestSuite() {
    if (module_) ::FreeLibrary(module_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QuickferryAbi");
  }
  void SetUp() override {
    ASSERT_NE(module_, nullptr) << "Quickferry.dll did not load from a folder of its own";
    std::memset(record_, 0, sizeof record_);
    int size = 372, number = 5;
    std::memcpy(record_ + 0, &size, 4);
    std::strcpy(reinterpret_cast<char*>(record_ + 4), "Quickferry.dll");
    std::memcpy(record_ + 264, &number, 4);
    const char* root = "Software\\QuickferryAbi\\Plugins";
    std::memcpy(record_ + 268, &root, 4);
    Put(record_, 272, &Menu);
    Put(record_, 276, &Dialog);
    Put(record_, 280, &Message);
    Put(record_, 344, &AdvControl);
    for (int offset : {292, 296, 328}) Put(record_, offset, &Unexpected);
    Put(record_, 284, &GetMsg);
    Put(record_, 288, &Control);
    auto setStartupInfo = Export<void(__stdcall*)(const void*)>("SetStartupInfo");
    // The key macros and the options start empty in every test.
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Far\\KeyMacros");
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QuickferryAbi");
    setStartupInfo(record_);
    g_controlCommands.clear();
    g_dialogCalls.clear();
    g_messageCalls = 0;
    g_advCalls.clear();
  }
  template <class F>
  F Export(const char* name) {
    auto f = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }

  static fs::path folder_;
  static HMODULE module_;
  unsigned char record_[372];
};

fs::path FarAbiTest::folder_;
HMODULE FarAbiTest::module_ = nullptr;

// What Windows shows in the DLL's properties.
TEST_F(FarAbiTest, TheDllCarriesItsVersionProductAndDescription) {
  std::string dll = (folder_ / "Quickferry.dll").string();
  DWORD ignored = 0, size = ::GetFileVersionInfoSizeA(dll.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version resource";
  std::vector<char> info(size);
  ASSERT_TRUE(::GetFileVersionInfoA(dll.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(QUICKFERRY_VERSION_MS));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  auto text = [&](const char* name) {
    char* value = nullptr;
    std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
      return std::string("(none)");
    return std::string(value);
  };
  EXPECT_EQ(text("ProductName"), "Quickferry");
  EXPECT_EQ(text("FileVersion"), QUICKFERRY_VERSION);
  EXPECT_NE(text("FileDescription").find("copy and move"), std::string::npos);
}

TEST_F(FarAbiTest, PluginInfoFillsTheFortyFourByteRecord) {
  unsigned char info[44];
  std::memset(info, 0xEE, sizeof info);
  Export<void(__stdcall*)(void*)>("GetPluginInfo")(info);
  int structSize, menuCount, configCount;
  const char* const* menu;
  const char* const* config;
  std::memcpy(&structSize, info + 0, 4);
  std::memcpy(&menu, info + 20, 4);
  std::memcpy(&menuCount, info + 24, 4);
  std::memcpy(&config, info + 28, 4);
  std::memcpy(&configCount, info + 32, 4);
  EXPECT_EQ(structSize, 44);
  ASSERT_EQ(menuCount, 1);
  EXPECT_EQ(std::string(menu[0]), "[&>] " + g_lng.messages[0]);
  ASSERT_EQ(configCount, 1);
  EXPECT_EQ(std::string(config[0]), g_lng.messages[0]);
}

TEST_F(FarAbiTest, OpenPluginShowsTheMenuAndAlwaysReturnsTheInvalidHandle) {
  g_menuAnswer = -1;
  HANDLE result = Export<HANDLE(__stdcall*)(int, int)>("OpenPlugin")(0, 0);
  EXPECT_EQ(result, INVALID_HANDLE_VALUE);
  ASSERT_EQ(g_menuTexts.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(g_menuTexts[i], g_lng.messages[i + 1]);
  EXPECT_EQ(g_menuSelected0, 1);
  EXPECT_EQ(g_menuTitle, g_lng.messages[0]);
  EXPECT_EQ(g_menuHelp, "Menu");
  EXPECT_TRUE(g_controlCommands.empty());
}

TEST_F(FarAbiTest, ChosenItemReadsBothPanelsThroughControl) {
  g_menuAnswer = 1;
  HANDLE result = Export<HANDLE(__stdcall*)(int, int)>("OpenPlugin")(0, 0);
  EXPECT_EQ(result, INVALID_HANDLE_VALUE);
  EXPECT_EQ(g_controlCommands, (std::vector<int>{2, 1}));
}

TEST_F(FarAbiTest, ConfigureStoresTheOptionsBelowTheHostsRoot) {
  EXPECT_EQ(Export<int(__stdcall*)(int)>("Configure")(0), 1);
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\QuickferryAbi\\Plugins\\Quickferry", 0,
                            KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD value = 0, size = 4, type = 0;
  EXPECT_EQ(::RegQueryValueExA(key, "BufKb", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  ::RegCloseKey(key);
  EXPECT_EQ(type, (DWORD)REG_DWORD);
  EXPECT_EQ(value, 4096u);
  ASSERT_EQ(g_dialogCalls.size(), 1u);  // the configuration dialog, cancelled
  EXPECT_EQ(g_dialogCalls[0].x2, 52);
  EXPECT_EQ(g_dialogCalls[0].y2, 25);
  EXPECT_EQ(g_dialogCalls[0].itemCount, 28);
  EXPECT_EQ(g_dialogCalls[0].help, "Config");
}

// An old binding (plug-in macros, the host's F5 parked under Ctrl+Alt) is
// rewritten once and the host asked through AdvControl to reload its macros.
TEST_F(FarAbiTest, PluginInfoRebindsAnOldBindingAndReloadsTheMacros) {
  auto set = [](const char* key, const char* sequence) {
    HKEY handle = nullptr;
    std::string path = std::string("Software\\Far\\KeyMacros\\Shell\\") + key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                &handle, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(handle, "Sequence", 0, REG_SZ, reinterpret_cast<const BYTE*>(sequence),
                     static_cast<DWORD>(std::strlen(sequence) + 1));
    ::RegCloseKey(handle);
  };
  set("F5", "F11 > 1");
  set("CtrlAltF5", "F5");
  unsigned char info[44];
  auto getPluginInfo = Export<void(__stdcall*)(void*)>("GetPluginInfo");
  getPluginInfo(info);
  getPluginInfo(info);
  EXPECT_EQ(g_advCalls, (std::vector<std::pair<int, int>>{{7, 0}}));
  EXPECT_EQ(g_messageCalls, 0);
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\KeyMacros\\Shell\\CtrlAltF6", 0,
                            KEY_READ, &key),
            ERROR_SUCCESS);
  char sequence[16] = {};
  DWORD size = sizeof sequence - 1;
  EXPECT_EQ(::RegQueryValueExA(key, "Sequence", nullptr, nullptr, reinterpret_cast<BYTE*>(sequence),
                               &size),
            ERROR_SUCCESS);
  ::RegCloseKey(key);
  EXPECT_STREQ(sequence, "F6");
}

}  // namespace
