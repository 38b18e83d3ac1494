// The call slots of the startup record: what the plug-in asks of its host.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "host.h"
#include "platform/testing.h"
#include "screen.h"

HostState TheHost;
std::atomic<int> Interrupts{0};

int ExitStatus() {
  const Outcome& o = TheHost.outcome;
  // Files left by the user's own rule (skip, only newer) are no failure.
  bool incomplete = o.failures > 0 || o.unanswered > 0 || o.cancelled || o.refused || o.broken ||
                    Interrupts > 0;
  return incomplete ? 1 : 0;
}

void PrintNotCopied() {
  const auto& notCopied = TheHost.outcome.notCopied;
  if (notCopied.empty()) return;
  std::fprintf(stderr, "quickferry: %zu not copied:\n", notCopied.size());
  for (const std::string& p : notCopied) std::fprintf(stderr, "%s\n", Visible(p).c_str());
  std::fflush(stderr);
}

namespace {

namespace pt = platform::testing;

constexpr int kModuleNumber = 1;

// FAR's colours for the indexes the plug-in asks for (dialog text,
// highlighted text, box frame, box title); anything else is plain grey.
int PaletteColour(intptr_t index) {
  switch (index) {
    case 21:
      return 0x70;
    case 22:
      return 0x71;
    case 23:
      return 0x7F;
    case 24:
      return 0x70;
    default:
      return 0x07;
  }
}

// ---- Key macros ----
// The host keeps the macros of the keys the plug-in binds; "load" reads them
// from the registry, "save" writes what it holds back.
const char kMacroRoot[] = "Software\\Far\\KeyMacros\\Shell\\";
const char* const kMacroKeys[] = {"F5",         "F6",         "ShiftF5",     "ShiftF6",
                                  "AltShiftF5", "AltShiftF6", "CtrlShiftF5", "CtrlShiftF6",
                                  "CtrlAltF5",  "CtrlAltF6"};
std::map<std::string, std::string> Macros;

void LoadMacros() {
  Macros.clear();
  for (const char* key : kMacroKeys) {
    HKEY handle = nullptr;
    std::string path = std::string(kMacroRoot) + key;
    if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &handle) !=
        ERROR_SUCCESS)
      continue;
    char sequence[512];
    DWORD size = sizeof sequence - 1, type = 0;
    if (platform::RegQueryValueExA(handle, "Sequence", nullptr, &type,
                                   reinterpret_cast<BYTE*>(sequence), &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
      sequence[size < sizeof sequence ? size : sizeof sequence - 1] = 0;
      Macros[key] = sequence;
    }
    platform::RegCloseKey(handle);
  }
}

void SaveMacros() {
  for (const auto& [key, sequence] : Macros) {
    HKEY handle = nullptr;
    std::string path = std::string(kMacroRoot) + key;
    if (platform::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &handle, nullptr) != ERROR_SUCCESS)
      continue;
    platform::RegSetValueExA(handle, "Sequence", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(sequence.c_str()),
                             static_cast<DWORD>(sequence.size() + 1));
    platform::RegCloseKey(handle);
  }
}

// ---- Panels for Control ----
void FillPanelInfo(Panel& panel, PanelInfo* info) {
  std::memset(info, 0, sizeof *info);
  info->PanelType = PanelTypeFile;
  info->Visible = 1;
  info->PanelItems = panel.all.data();
  info->ItemsNumber = static_cast<int>(panel.all.size());
  // As FAR: with nothing selected, the current item stands for the selection.
  static std::vector<PanelItem> currentOnly[2];
  std::vector<PanelItem>& fallback = currentOnly[&panel == &TheHost.active ? 0 : 1];
  if (!panel.selected.empty()) {
    info->SelectedItems = panel.selected.data();
    info->SelectedItemsNumber = static_cast<int>(panel.selected.size());
  } else if (!panel.all.empty()) {
    fallback.assign(1, panel.all[panel.current]);
    info->SelectedItems = fallback.data();
    info->SelectedItemsNumber = 1;
  }
  info->CurrentItem = panel.current;
  info->Focus = &panel == &TheHost.active;
  std::string dir = WindowsPath(panel.folder);
  std::snprintf(info->CurDir, sizeof info->CurDir, "%s", dir.c_str());
}

// ---- The slots ----
int WINAPI MenuSlot(int, int, int, int, unsigned, const char* title, const char*, const char* help,
                    const int*, int*, const MenuItem* items, int count) {
  return TheHost.frontend->Menu(title ? title : "", help ? help : "", items, count);
}

int WINAPI DialogSlot(int, int, int, int width, int height, const char* help, DialogItem* items,
                      int count) {
  return TheHost.frontend->Dialog(width, height, help ? help : "", items, count);
}

int WINAPI MessageSlot(int, unsigned flags, const char*, const char* const* lines, int count,
                       int buttons) {
  return TheHost.frontend->Message(flags, lines, count, buttons);
}

const char* WINAPI GetMsgSlot(int, int id) { return Lng(id); }

int WINAPI ControlSlot(HANDLE, int command, void* parameter) {
  switch (command) {
    case ControlGetActivePanel:
    case ControlGetPassivePanel:
      if (!parameter) return 0;
      FillPanelInfo(command == ControlGetActivePanel ? TheHost.active : TheHost.passive,
                    static_cast<PanelInfo*>(parameter));
      return 1;
    case ControlUpdateActive:
    case ControlUpdatePassive:
      ReloadPanel(command == ControlUpdateActive ? &TheHost.active : &TheHost.passive,
                  parameter != nullptr);
      return 1;
    case ControlRedrawActive:
    case ControlRedrawPassive:
      TheHost.frontend->RedrawPanels();
      return 1;
    case ControlSetCommandLine:
      if (!parameter) return 0;
      TheHost.commandLine = static_cast<const char*>(parameter);
      return 1;
    default:
      return 0;
  }
}

HANDLE WINAPI SaveScreenSlot(int x1, int y1, int x2, int y2) {
  return new draw::Area(draw::Save(x1, y1, x2, y2));
}

void WINAPI RestoreScreenSlot(HANDLE handle) {
  if (auto* area = static_cast<draw::Area*>(handle)) {
    draw::Restore(*area);
    delete area;
  }
  TheHost.frontend->Flush();
}

void WINAPI TextSlot(int x, int y, int colour, const char* text) {
  if (!text) return TheHost.frontend->Flush();
  pt::ConsoleWriteText(x, y, static_cast<WORD>(colour), text);
}

int WINAPI AdvControlSlot(int, int command, void* parameter) {
  if (command == AdvGetColor) return PaletteColour(reinterpret_cast<intptr_t>(parameter));
  if (command == AdvKeyMacro && parameter) {
    int sub = static_cast<KeyMacroCommand*>(parameter)->command;
    if (sub == 0)
      LoadMacros();
    else if (sub == 1)
      SaveMacros();
    else
      return 0;
    return 1;
  }
  return 0;
}

}  // namespace

const char* Lng(int id) {
  const auto& m = TheHost.lng.messages;
  return id >= 0 && id < static_cast<int>(m.size()) ? m[id].c_str() : "";
}

std::string WithoutAmpersand(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p)
    if (*p != '&' || p[1] == '&') out += *p == '&' ? *++p : *p;
  return out;
}

std::string WindowsPath(const std::string& linuxPath) {
  std::vector<char> out(linuxPath.size() * 2 + 8);
  return pt::WindowsPathOf(linuxPath.c_str(), out.data(), static_cast<int>(out.size())) ? out.data()
                                                                                         : "";
}

std::string LinuxPath(const std::string& windowsPath) {
  char out[4096];
  return pt::HostPath(windowsPath.c_str(), out, sizeof out) ? out : "";
}

std::string OnDisk(const std::string& listed) {
  std::vector<char> out(listed.size() + 1);
  return pt::NameOnDisk(listed.c_str(), out.data(), static_cast<int>(out.size())) ? out.data()
                                                                                  : listed;
}

std::string ListedName(const std::string& name) {
  std::string path = WindowsPath("/" + name);
  return path.size() > 3 ? path.substr(3) : path;
}

std::string Visible(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", c);
      out += code;
    }
  }
  return out;
}

std::string Readable(const std::string& line) {
  // Paths start with a drive letter: "Z:\..." (or "...\" when shortened).
  for (size_t i = 0; i + 2 < line.size(); ++i) {
    bool drive = std::isalpha(static_cast<unsigned char>(line[i])) && line[i + 1] == ':' &&
                 line[i + 2] == '\\' && (i == 0 || line[i - 1] == ' ');
    if (!drive) continue;
    std::string path = LinuxPath(line.substr(i));
    if (!path.empty()) return Visible(OnDisk(line.substr(0, i)) + path);
  }
  return Visible(OnDisk(line));
}

HostServices MakeStartupRecord() {
  HostServices record{};
  record.RecordSize = sizeof record;
  std::snprintf(record.ModuleName, sizeof record.ModuleName, "%s", "quickferry");
  record.ModuleNumber = kModuleNumber;
  record.RootKey = "Software\\Far\\Plugins";
  record.Menu = MenuSlot;
  record.Dialog = DialogSlot;
  record.Message = MessageSlot;
  record.GetMsg = GetMsgSlot;
  record.Control = ControlSlot;
  record.SaveScreen = SaveScreenSlot;
  record.RestoreScreen = RestoreScreenSlot;
  record.Text = TextSlot;
  record.AdvControl = AdvControlSlot;
  return record;
}
