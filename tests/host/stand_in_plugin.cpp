// A stand-in for the plug-in, for the host's tests of what Quickferry does
// only in rare cases: hand an operation back to the host's own copy or move
// (F5/F6 with the parked modifiers, Enter when confirmed), or leave a list of
// files that were not copied for the temporary panel; and ask the questions a run asks,
// printing the answers. QUICKFERRY_STAND_IN chooses: "copy" (F5 and Enter),
// "move" (F6 alone), "list" (the selection listed), "ask".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/messages.h"
#include "plugin/plugin.h"

namespace {

HostServices Services;

void PutKey(WORD key, char character, DWORD modifiers) {
  for (BOOL down : {TRUE, FALSE}) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down;
    record.Event.KeyEvent.wVirtualKeyCode = key;
    record.Event.KeyEvent.uChar.AsciiChar = character;
    record.Event.KeyEvent.dwControlKeyState = modifiers;
    DWORD written;
    platform::WriteConsoleInputA(platform::GetStdHandle(STD_INPUT_HANDLE), &record, 1, &written);
  }
}

void ListSelection() {
  PanelInfo panel;
  Services.Control(INVALID_HANDLE_VALUE, ControlGetActivePanel, &panel);
  char list[512];
  DWORD length = platform::GetTempPathA(sizeof list, list);
  if (length == 0 || length >= sizeof list - 20) return;
  std::strcat(list, "Quickferry.temp");
  HANDLE file = platform::CreateFileA(list, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  for (int i = 0; i < panel.SelectedItemsNumber; ++i) {
    std::string line =
        std::string(panel.CurDir) + "\\" + panel.SelectedItems[i].FindData.cFileName + "\r\n";
    DWORD written;
    platform::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  platform::CloseHandle(file);
  // Two options and a quoted name: the host must read them as FAR does.
  std::string command = std::string("tmp:+0 +replace \"") + list + "\"";
  Services.Control(INVALID_HANDLE_VALUE, ControlSetCommandLine, const_cast<char*>(command.c_str()));
  PutKey(VK_RETURN, '\r', 0);
}

// An error box with Retry and Skip, and a destination warning, as a run
// shows them.
void AskQuestions() {
  auto text = [](int id) { return Services.GetMsg(Services.ModuleNumber, id); };
  const char* error[] = {
      text(MsgErrorTitle), "Z:\\missing.txt", "\x01", text(MsgCannotOpenSource), "\x01",
      text(MsgRetry),      text(MsgSkip)};
  int errorAnswer = Services.Message(Services.ModuleNumber, MessageWarning, nullptr, error, 7, 2);
  const char* warning[] = {
      text(MsgWarningTitle), text(MsgVolReadOnly), text(MsgWarningQuestion), "\x01",
      text(MsgYes),          text(MsgNo)};
  int warningAnswer =
      Services.Message(Services.ModuleNumber, MessageWarning, nullptr, warning, 6, 2);
  std::printf("error box: %d, warning: %d\n", errorAnswer, warningAnswer);
  std::fflush(stdout);
}

}  // namespace

PLUGIN_EXPORT void WINAPI SetStartupInfo(const HostServices* info) {
  std::memcpy(&Services, info, sizeof Services);
}

PLUGIN_EXPORT void WINAPI GetPluginInfo(PluginInfo* info) {
  static const char* const strings[] = {"Stand-in"};
  info->StructSize = sizeof *info;
  info->PluginMenuStrings = strings;
  info->PluginMenuStringsNumber = 1;
}

PLUGIN_EXPORT HANDLE WINAPI OpenPlugin(int, int) {
  const char* mode = std::getenv("QUICKFERRY_STAND_IN");
  std::string m = mode ? mode : "";
  constexpr DWORD kCtrlShift = LEFT_CTRL_PRESSED | SHIFT_PRESSED;
  if (m == "copy") {
    PutKey(VK_F5, 0, kCtrlShift);
    PutKey(VK_RETURN, '\r', 0);
  } else if (m == "move") {
    PutKey(VK_F6, 0, kCtrlShift);
  } else if (m == "list") {
    ListSelection();
  } else if (m == "ask") {
    AskQuestions();
  }
  return INVALID_HANDLE_VALUE;
}

PLUGIN_EXPORT int WINAPI Configure(int) { return 1; }
