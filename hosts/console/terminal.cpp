// Interactive mode: the panels behind, the plug-in's menus, dialogs and
// progress box in front, on the terminal.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "common/plugin_module.h"
#include "dialogs.h"
#include "host.h"
#include "platform/testing.h"
#include "screen.h"
#include "terminal_codes.h"

namespace pt = platform::testing;

namespace {

// FAR's panel colours.
constexpr WORD kPanel = 0x1B, kPanelFolder = 0x1F, kPanelSelected = 0x1E, kPanelCursor = 0x30,
               kPanelCursorSelected = 0x3E, kKeyLabel = 0x30;

// `text` cut to `width`: keeping its end ("...end"), or its start with FAR's
// mark of a cut name ("star}").
std::string Fit(const std::string& text, int width, bool keepEnd) {
  if (width <= 0) return "";
  if (static_cast<int>(text.size()) <= width) return text;
  if (width <= 3) return text.substr(0, width);
  return keepEnd ? "..." + text.substr(text.size() - (width - 3)) : text.substr(0, width - 1) + "}";
}

void DrawPanel(Panel& panel, int x1, int x2, int y2, bool active) {
  draw::Fill(x1, 0, x2, y2, kPanel);
  draw::Frame(x1, 0, x2, y2, kPanel);
  if (panel.folder.empty()) return;
  int inner = x2 - x1 - 1;
  draw::Title(x1, x2, 0, Fit(panel.folder, inner - 2, true), active ? kPanelCursor : kPanel);
  int listTop = 1, listBottom = y2 - 3, rows = listBottom - listTop + 1;
  draw::Separator(x1, x2, y2 - 2, kPanel);
  if (rows <= 0) return;
  std::set<std::string> selected;
  for (const PanelItem& item : panel.selected) selected.insert(ItemName(item));
  int count = static_cast<int>(panel.all.size());
  if (panel.current < panel.top) panel.top = panel.current;
  if (panel.current >= panel.top + rows) panel.top = panel.current - rows + 1;
  for (int r = 0; r < rows && panel.top + r < count; ++r) {
    const PanelItem& item = panel.all[panel.top + r];
    bool isSelected = selected.count(ItemName(item)) != 0;
    bool cursor = active && panel.top + r == panel.current;
    WORD a = cursor           ? (isSelected ? kPanelCursorSelected : kPanelCursor)
             : isSelected     ? kPanelSelected
             : IsFolder(item) ? kPanelFolder
                              : kPanel;
    char size[32];
    if (std::strcmp(ItemName(item), "..") == 0)
      std::snprintf(size, sizeof size, "Up");
    else if (IsFolder(item))
      std::snprintf(size, sizeof size, "Folder");
    else
      std::snprintf(size, sizeof size, "%llu",
                    (static_cast<unsigned long long>(item.FindData.nFileSizeHigh) << 32) |
                        item.FindData.nFileSizeLow);
    std::string line = Fit(Visible(OnDisk(ItemName(item))), inner - 12, false);
    line.resize(std::max(0, inner - 11), ' ');
    std::string right = size;
    right.insert(0, std::max<size_t>(0, 10 - std::min<size_t>(10, right.size())), ' ');
    draw::Text(x1 + 1, listTop + r, a, line + " " + right.substr(0, 10));
  }
  char info[128];
  if (active && !panel.selected.empty())
    std::snprintf(info, sizeof info, "%zu selected", panel.selected.size());
  else
    std::snprintf(info, sizeof info, "%d items",
                  count - (count && std::strcmp(ItemName(panel.all[0]), "..") == 0));
  draw::Text(x1 + 2, y2 - 1, kPanel, Fit(info, inner - 2, false));
}

void DrawPanels() {
  int w = draw::Width(), h = draw::Height();
  if (h < 8 || w < 20) return;
  int half = w / 2;
  DrawPanel(TheHost.active, 0, half - 1, h - 3, true);
  DrawPanel(TheHost.passive, half, w - 1, h - 3, false);
  draw::Fill(0, h - 2, w - 1, h - 2, 0x07);
  draw::Text(0, h - 2, 0x07, Fit(TheHost.active.folder + "> " + TheHost.commandLine, w, true));
  draw::Fill(0, h - 1, w - 1, h - 1, kKeyLabel);
  static const char* const kLabels[] = {"Help", "", "", "", "Copy", "Move", "", "", "", "Quit"};
  int slot = w / 10;
  for (int i = 0; i < 10; ++i) {
    std::string number = std::to_string(i + 1);
    draw::Text(i * slot, h - 1, 0x07, number);
    draw::Text(i * slot + static_cast<int>(number.size()), h - 1, kKeyLabel,
               Fit(kLabels[i], slot - static_cast<int>(number.size()) - 1, false));
  }
}

// ---- The frontend ----

class TerminalFrontend : public Frontend {
 public:
  std::vector<std::string> notes;

  int Menu(const char* title, const char* help, const MenuItem* items, int count) override {
    bool operations = std::strcmp(title, Lng(MsgTitle)) == 0;
    int selected = 0;
    for (int i = 0; i < count; ++i)
      if (items[i].Selected) selected = i;
    if (operations)
      selected = (TheHost.options.move ? 1 : 0) + (TheHost.options.current.empty() ? 0 : 2);
    int chosen = MenuBox(title, items, count, selected, help);
    if (operations && chosen < 0) TheHost.outcome.cancelled = true;
    return chosen;
  }

  int Dialog(int width, int height, const char* help, DialogItem* items, int count) override {
    bool copyDialog = std::strcmp(help, "Main") == 0;
    // DEST from the command line stands in the destination field at first.
    if (copyDialog && ++TheHost.copyDialogShown == 1)
      for (int i = 0; i < count; ++i)
        if (items[i].Type == ItemEdit) {
          std::snprintf(items[i].Data, sizeof items[i].Data, "%s", TheHost.destWindows.c_str());
          break;
        }
    int result = RunDialog(width, height, help, items, count);
    if (copyDialog && (result < 0 || std::strcmp(items[result].Data, Lng(MsgCancel)) == 0))
      TheHost.outcome.cancelled = true;
    return result;
  }

  int Message(unsigned flags, const char* const* lines, int count, int buttons) override {
    bool breakQuestion = false;
    for (int i = 1; i < count; ++i)
      breakQuestion |= std::strcmp(lines[i], Lng(MsgConfirmBreak)) == 0;
    // A signal has already decided.
    if (breakQuestion && Interrupts > 0) return 0;
    int answer = MessageBox(flags, lines, count, buttons);
    if (breakQuestion && answer != 0) TheHost.outcome.broken = false;
    // An error box: Skip (or its one button) leaves a file behind.
    if (count > 0 && std::strcmp(lines[0], Lng(MsgErrorTitle)) == 0 &&
        (buttons == 1 || answer != 0))
      TheHost.outcome.failures++;
    return answer;
  }

  void Flush() override { tty::Render(); }

  void RedrawPanels() override {
    DrawPanels();
    tty::Render();
  }

  bool ConfirmOwnOperation(bool move, int count, std::string* dest) override {
    const char* verb = move ? "Move" : "Copy";
    DialogItem items[6]{};
    auto set = [&](int i, int type, int x1, int y1, int x2, int y2, const std::string& text) {
      items[i].Type = type;
      items[i].X1 = x1, items[i].Y1 = y1, items[i].X2 = x2, items[i].Y2 = y2;
      std::snprintf(items[i].Data, sizeof items[i].Data, "%s", text.c_str());
    };
    set(0, ItemDoubleBox, 3, 1, 62, 6, verb);
    set(1, ItemText, 5, 2, 0, 0,
        std::string(verb) + " " + std::to_string(count) + (count == 1 ? " item" : " items") +
            " to:");
    set(2, ItemEdit, 5, 3, 59, 0, *dest);
    set(3, ItemText, 5, 4, 0, 0, "");
    items[3].Flags = ItemFlagSeparator;
    set(4, ItemButton, 0, 5, 0, 0, verb);
    set(5, ItemButton, 0, 5, 0, 0, "Cancel");
    items[2].Focus = 1;
    items[4].DefaultButton = 1;
    items[4].Flags = items[5].Flags = ItemFlagCenterGroup;
    if (RunDialog(66, 8, "", items, 6) != 4) return false;
    *dest = items[2].Data;
    return !dest->empty();
  }

  void ShowNotCopied(const std::vector<std::string>& paths) override {
    std::vector<std::string> shown;
    for (const std::string& p : paths) shown.push_back(Visible(p));
    ListView("Not copied: " + std::to_string(paths.size()), shown);
  }

  void Note(const std::string& text) override { notes.push_back(Visible(text)); }
};

}  // namespace

int RunInteractive(const PluginModule& plugin) {
  std::string error;
  if (!tty::Start(&error)) {
    std::fprintf(stderr, "quickferry: %s (--batch needs no terminal)\n", error.c_str());
    return 2;
  }
  // The plug-in lays its boxes out for at least 80 by 25; a smaller
  // terminal shows the top left of that.
  pt::ConsoleReset(std::max(80, tty::Columns()), std::max(25, tty::Rows()));
  TerminalFrontend frontend;
  TheHost.frontend = &frontend;
  bool config = TheHost.options.config;
  if (config) {
    std::string here = std::filesystem::current_path().string();
    LoadPanel(&TheHost.active, here, {}, "");
    LoadPanel(&TheHost.passive, here, {}, "");
  }
  HostServices record = MakeStartupRecord();
  plugin.SetStartupInfo(&record);
  PluginInfo info{};
  plugin.GetPluginInfo(&info);
  frontend.RedrawPanels();
  TheHost.inPlugin = true;
  if (config)
    plugin.Configure(0);
  else
    plugin.OpenPlugin(0, 0);
  TheHost.inPlugin = false;
  if (!config) HandleQueuedInput();
  tty::Stop();

  if (TheHost.outcome.broken || Interrupts > 0) frontend.notes.push_back("broken off");
  for (const std::string& note : frontend.notes)
    std::fprintf(stderr, "quickferry: %s\n", OemToUtf8(note).c_str());
  if (config) return 0;
  int status = ExitStatus();
  if (status != 0 || TheHost.options.listNotCopied) PrintNotCopied();
  return status;
}
