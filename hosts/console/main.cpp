// quickferry: loads the plug-in as FAR does and runs one operation on the
// files named on the command line, printing every call the plug-in makes of
// its host. (The full-screen terminal host grows from here.)
//
//   quickferry [--move] [--current] SOURCE... DEST
//   quickferry --config
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/lng_file.h"
#include "common/plugin_module.h"
#include "platform/testing.h"

namespace fs = std::filesystem;

namespace {

struct Host {
  LngFile lng;
  std::vector<PanelItem> items;
  std::vector<PanelItem> selected;
  std::string sourceFolder, destFolder;
  int menuChoice = 0;
} g;

std::string WindowsPath(const fs::path& p) {
  std::string s = "Z:" + p.string();
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

int WINAPI Menu(int, int, int, int, unsigned, const char* title, const char*, const char*,
                const int*, int*, const MenuItem* items, int count) {
  std::printf("menu \"%s\":\n", title);
  for (int i = 0; i < count; ++i)
    std::printf("  %c %s\n", i == g.menuChoice ? '>' : ' ', items[i].Text);
  return g.menuChoice;
}

int WINAPI Dialog(int, int, int, int, int, const char* help, DialogItem* items, int count) {
  std::printf("dialog (help \"%s\", %d items): %s -- cancelled\n", help, count,
              count ? items[0].Data : "");
  return -1;
}

int WINAPI Message(int, unsigned, const char*, const char* const* lines, int count, int buttons) {
  std::printf("message:");
  for (int i = 0; i < count; ++i) std::printf(" [%s]", lines[i][0] == 1 ? "---" : lines[i]);
  std::printf(" (%d buttons) -- first button\n", buttons);
  return 0;
}

const char* WINAPI GetMsg(int, int id) {
  return id >= 0 && id < (int)g.lng.messages.size() ? g.lng.messages[id].c_str() : "";
}

int WINAPI Control(HANDLE, int command, void* parameter) {
  if (command == ControlGetActivePanel || command == ControlGetPassivePanel) {
    auto* info = static_cast<PanelInfo*>(parameter);
    std::memset(info, 0, sizeof *info);
    info->PanelType = PanelTypeFile;
    info->Visible = 1;
    bool active = command == ControlGetActivePanel;
    std::snprintf(info->CurDir, sizeof info->CurDir, "%s",
                  (active ? g.sourceFolder : g.destFolder).c_str());
    if (active) {
      info->PanelItems = g.items.data();
      info->ItemsNumber = (int)g.items.size();
      info->SelectedItems = g.selected.data();
      info->SelectedItemsNumber = (int)g.selected.size();
    }
    std::printf("control %d: %s panel read (%s)\n", command, active ? "active" : "passive",
                info->CurDir);
  } else {
    std::printf("control %d\n", command);
  }
  return 1;
}

HANDLE WINAPI SaveScreen(int, int, int, int) { return nullptr; }
void WINAPI RestoreScreen(HANDLE) {}
void WINAPI Text(int x, int y, int colour, const char* text) {
  if (text) platform::testing::ConsoleWriteText(x, y, static_cast<WORD>(colour), text);
}
int WINAPI AdvControl(int, int command, void*) {
  std::printf("advcontrol %d\n", command);
  return 0;
}

// Every value of the plug-in's key, as the registry holds it.
void PrintSettings(const std::string& key) {
  HKEY handle = nullptr;
  if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    std::printf("  (no such key)\n");
    return;
  }
  for (DWORD index = 0;; ++index) {
    char name[512];
    BYTE data[512];
    DWORD nameLength = sizeof name, size = sizeof data, type = 0;
    if (platform::RegEnumValueA(handle, index, name, &nameLength, nullptr, &type, data, &size) !=
        ERROR_SUCCESS)
      break;
    DWORD value = 0;
    std::memcpy(&value, data, size < 4 ? size : 4);
    if (type == REG_DWORD) std::printf("  %-15s %d\n", name, static_cast<int>(value));
  }
  platform::RegCloseKey(handle);
}

int Usage() {
  std::fprintf(stderr,
               "usage: quickferry [--move] [--current] SOURCE... DEST\n"
               "       quickferry --config\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool move = false, current = false, config = false;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--move") move = true;
    else if (a == "--current") current = true;
    else if (a == "--config") config = true;
    else if (a == "--version") return std::printf("quickferry %s\n", QUICKFERRY_VERSION), 0;
    else if (a == "--help") return Usage(), 0;
    else if (a.rfind("--", 0) == 0) return Usage();
    else args.push_back(a);
  }
  if (!config && args.size() < 2) return Usage();

  fs::path self = fs::canonical("/proc/self/exe").parent_path();
  const char* pluginEnv = std::getenv("QUICKFERRY_PLUGIN");
  fs::path plugin = pluginEnv ? fs::path(pluginEnv) : self / "../../src/libquickferry.so";
  if (!fs::exists(plugin)) plugin = self / "libquickferry.so";
  std::string error;
  if (!LoadLngFile((plugin.parent_path() / "QuickferryEng.lng").string(), 111, &g.lng, &error)) {
    std::fprintf(stderr, "quickferry: %s\n", error.c_str());
    return 2;
  }
  PluginModule module;
  if (!LoadPluginModule(plugin.string(), &module, &error)) {
    std::fprintf(stderr, "quickferry: %s\n", error.c_str());
    return 2;
  }

  HostServices record{};
  record.RecordSize = sizeof record;
  record.ModuleNumber = 1;
  record.RootKey = "Software\\Far\\Plugins";
  record.Menu = Menu;
  record.Dialog = Dialog;
  record.Message = Message;
  record.GetMsg = GetMsg;
  record.Control = Control;
  record.SaveScreen = SaveScreen;
  record.RestoreScreen = RestoreScreen;
  record.Text = Text;
  record.AdvControl = AdvControl;
  module.SetStartupInfo(&record);

  PluginInfo info{};
  module.GetPluginInfo(&info);
  std::printf("plug-in menu: \"%s\", configuration: \"%s\"\n", info.PluginMenuStrings[0],
              info.PluginConfigStrings[0]);

  if (config) {
    std::printf("Configure returned %d; settings in HKCU\\%s\\Quickferry:\n", module.Configure(0),
                record.RootKey);
    PrintSettings(std::string(record.RootKey) + "\\Quickferry");
    return 0;
  }

  fs::path dest = fs::absolute(args.back());
  args.pop_back();
  fs::path folder = fs::absolute(args.front()).parent_path();
  for (const std::string& a : args) {
    fs::path p = fs::absolute(a);
    if (!fs::exists(p) || p.parent_path() != folder) {
      std::fprintf(stderr, "quickferry: %s: missing, or not in the folder of the first source\n",
                   a.c_str());
      return 2;
    }
    PanelItem item{};
    item.FindData.dwFileAttributes = fs::is_directory(p) ? 0x10 : 0x20;
    std::snprintf(item.FindData.cFileName, sizeof item.FindData.cFileName, "%s",
                  p.filename().c_str());
    g.items.push_back(item);
  }
  g.selected = g.items;
  g.sourceFolder = WindowsPath(folder);
  g.destFolder = WindowsPath(fs::is_directory(dest) ? dest : dest.parent_path());
  g.menuChoice = (move ? 1 : 0) + (current ? 2 : 0);

  HANDLE result = module.OpenPlugin(0, 0);
  std::printf("OpenPlugin returned %s\n", result == INVALID_HANDLE_VALUE ? "-1" : "a panel");
  INPUT_RECORD key;
  while (platform::testing::ConsolePopInput(&key))
    std::printf("handed back to the host: key 0x%02X %s, modifiers %u\n",
                key.Event.KeyEvent.wVirtualKeyCode, key.Event.KeyEvent.bKeyDown ? "down" : "up",
                key.Event.KeyEvent.dwControlKeyState);
  return 0;
}
