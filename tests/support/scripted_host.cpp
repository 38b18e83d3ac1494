#include "scripted_host.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "common/lng_file.h"
#include "host/messages.h"
#include "platform/testing.h"

ScriptedHost* ScriptedHost::current_ = nullptr;

namespace {
struct SavedScreen {
  int x1, y1, x2, y2;
  std::vector<CHAR_INFO> cells;
};

// Host palette for AdvControl's colour command: a fixed, recognisable set.
int PaletteColour(int index) { return 0x10 + index; }
}  // namespace

TestPanel& TestPanel::Add(const std::string& name, DWORD attributes, unsigned long long size,
                          bool selected) {
  items.push_back({name, attributes, size, selected});
  return *this;
}

TestPanel& TestPanel::Select(const std::string& name) {
  for (Item& item : items)
    if (item.name == name) item.selected = true;
  return *this;
}

TestPanel& TestPanel::SetCurrent(const std::string& name) {
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].name == name) current = static_cast<int>(i);
  return *this;
}

ScriptedHost::ScriptedHost(std::string root) : rootKey(std::move(root)) {
  LngFile lng;
  std::string error;
  if (!LoadLngFile(QUICKFERRY_LANG_FILE, MessageCount, &lng, &error)) throw std::runtime_error(error);
  messages = lng.messages;
  record.RecordSize = sizeof(HostServices);
  std::snprintf(record.ModuleName, sizeof record.ModuleName, "%s", "Quickferry");
  record.ModuleNumber = 7;
  record.RootKey = rootKey.c_str();
  record.Menu = &ScriptedHost::Menu;
  record.Dialog = &ScriptedHost::Dialog;
  record.Message = &ScriptedHost::Message;
  record.GetMsg = &ScriptedHost::GetMsg;
  record.Control = &ScriptedHost::Control;
  record.SaveScreen = &ScriptedHost::SaveScreen;
  record.RestoreScreen = &ScriptedHost::RestoreScreen;
  record.Text = &ScriptedHost::Text;
  record.AdvControl = &ScriptedHost::AdvControl;
  previous_ = current_;
  current_ = this;
}

ScriptedHost::~ScriptedHost() {
  if (current_ == this) current_ = previous_;
}

void ScriptedHost::FillPanel(const TestPanel& panel, BuiltPanel* built, PanelInfo* info) {
  built->all.clear();
  built->selected.clear();
  for (const TestPanel::Item& item : panel.items) {
    PanelItem p{};
    p.FindData.dwFileAttributes = item.attributes;
    p.FindData.nFileSizeHigh = static_cast<DWORD>(item.size >> 32);
    p.FindData.nFileSizeLow = static_cast<DWORD>(item.size);
    std::snprintf(p.FindData.cFileName, sizeof p.FindData.cFileName, "%s", item.name.c_str());
    built->all.push_back(p);
    if (item.selected) {
      p.Flags = 1;
      built->selected.push_back(p);
    }
  }
  // As FAR does: with nothing selected, the current item counts as selected.
  if (built->selected.empty() && !built->all.empty() && panel.current < (int)built->all.size())
    built->selected.push_back(built->all[panel.current]);
  std::memset(info, 0, sizeof *info);
  info->PanelType = panel.type;
  info->Plugin = panel.plugin;
  info->Visible = panel.visible;
  info->PanelItems = built->all.empty() ? nullptr : built->all.data();
  info->ItemsNumber = static_cast<int>(built->all.size());
  info->SelectedItems = built->selected.empty() ? nullptr : built->selected.data();
  info->SelectedItemsNumber = static_cast<int>(built->selected.size());
  info->CurrentItem = panel.current;
  std::snprintf(info->CurDir, sizeof info->CurDir, "%s", panel.folder.c_str());
}

int WINAPI ScriptedHost::Menu(int, int x, int y, int maxHeight, unsigned flags, const char* title,
                              const char*, const char* helpTopic, const int*, int*,
                              const MenuItem* items, int count) {
  ScriptedHost* h = current_;
  h->menuCalls.push_back({x, y, maxHeight, flags, title ? title : "", helpTopic ? helpTopic : "",
                          std::vector<MenuItem>(items, items + count)});
  if (h->menuAnswers.empty()) {
    ++h->unexpectedCalls;
    return -1;
  }
  int answer = h->menuAnswers.front();
  h->menuAnswers.pop_front();
  return answer;
}

int WINAPI ScriptedHost::Dialog(int, int, int, int x2, int y2, const char* helpTopic,
                                DialogItem* items, int count) {
  ScriptedHost* h = current_;
  h->dialogCalls.push_back({x2, y2, helpTopic ? helpTopic : "",
                            std::vector<DialogItem>(items, items + count)});
  if (h->dialogAnswers.empty()) {
    ++h->unexpectedCalls;
    return -1;
  }
  DialogAnswer answer = h->dialogAnswers.front();
  h->dialogAnswers.pop_front();
  if (answer.edit) answer.edit(items, count);
  return answer.result;
}

int WINAPI ScriptedHost::Message(int, unsigned flags, const char*, const char* const* lines,
                                 int count, int buttons) {
  ScriptedHost* h = current_;
  h->messageCalls.push_back({flags, std::vector<std::string>(lines, lines + count), buttons});
  if (h->onMessage) h->onMessage(h->messageCalls.back().lines);
  if (h->messageAnswers.empty()) {
    ++h->unexpectedCalls;
    return -1;
  }
  int answer = h->messageAnswers.front();
  h->messageAnswers.pop_front();
  return answer;
}

const char* WINAPI ScriptedHost::GetMsg(int, int id) {
  ScriptedHost* h = current_;
  ++h->getMsgCalls;
  if (id < 0 || id >= static_cast<int>(h->messages.size())) return "";
  return h->messages[id].c_str();
}

int WINAPI ScriptedHost::Control(HANDLE, int command, void* parameter) {
  ScriptedHost* h = current_;
  ControlCall call{command, "", reinterpret_cast<intptr_t>(parameter)};
  switch (command) {
    case ControlGetActivePanel:
      h->FillPanel(h->active, &h->builtActive_, static_cast<PanelInfo*>(parameter));
      break;
    case ControlGetPassivePanel:
      h->FillPanel(h->passive, &h->builtPassive_, static_cast<PanelInfo*>(parameter));
      break;
    case ControlSetCommandLine:
      call.text = static_cast<const char*>(parameter);
      h->commandLine = call.text;
      break;
    default:
      break;
  }
  h->controlCalls.push_back(call);
  return 1;
}

HANDLE WINAPI ScriptedHost::SaveScreen(int x1, int y1, int x2, int y2) {
  namespace t = platform::testing;
  auto* saved = new SavedScreen{x1, y1, x2, y2, {}};
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) saved->cells.push_back(t::ConsoleCell(x, y));
  return saved;
}

void WINAPI ScriptedHost::RestoreScreen(HANDLE screen) {
  if (!screen) return;  // "bring the screen up to date": nothing to do here
  auto* saved = static_cast<SavedScreen*>(screen);
  size_t i = 0;
  for (int y = saved->y1; y <= saved->y2; ++y)
    for (int x = saved->x1; x <= saved->x2; ++x) platform::testing::ConsoleSetCell(x, y, saved->cells[i++]);
  delete saved;
}

void WINAPI ScriptedHost::Text(int x, int y, int colour, const char* text) {
  if (text) platform::testing::ConsoleWriteText(x, y, static_cast<WORD>(colour), text);
  if (text && current_->onText) current_->onText(text);
}

int WINAPI ScriptedHost::AdvControl(int, int command, void* parameter) {
  ScriptedHost* h = current_;
  if (command == AdvGetFarVersion) return h->farVersion;  // a question, not a call to record
  AdvCall call{command, reinterpret_cast<intptr_t>(parameter), {}};
  int result = 0;
  if (command == AdvGetColor) result = PaletteColour(static_cast<int>(call.parameter));
  if (command == AdvKeyMacro && parameter) call.macro = *static_cast<KeyMacroCommand*>(parameter);
  h->advCalls.push_back(call);
  return result;
}
