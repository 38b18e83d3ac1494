// The scripted host: a startup record whose call slots answer menus,
// dialogs and messages from queues the test fills, hold two panels the test
// describes, draw into the virtual console, and record every call.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "host/host.h"

struct TestPanel {
  struct Item {
    std::string name;
    DWORD attributes = 0x20;
    unsigned long long size = 0;
    bool selected = false;
  };
  int type = PanelTypeFile;
  bool plugin = false;
  bool visible = true;
  std::string folder;
  std::vector<Item> items;
  int current = 0;

  TestPanel& Add(const std::string& name, DWORD attributes = 0x20, unsigned long long size = 0,
                 bool selected = false);
  TestPanel& Select(const std::string& name);
  TestPanel& SetCurrent(const std::string& name);
};

// A host version as AdvControl reports it.
constexpr int FarVersion(int major, int minor, int build) {
  return major << 8 | minor | build << 16;
}

class ScriptedHost {
 public:
  // Loads the messages from the language file; `rootKey` is the registry
  // root the host assigns to plug-ins.
  explicit ScriptedHost(std::string rootKey = "Software\\Far\\Plugins");
  ~ScriptedHost();
  ScriptedHost(const ScriptedHost&) = delete;
  ScriptedHost& operator=(const ScriptedHost&) = delete;

  // The startup record handed to SetStartupInfo (RecordSize as a current
  // host: the record's full size).
  HostServices record{};
  std::string rootKey;
  std::vector<std::string> messages;
  // What AdvControl answers for the host's version: FAR 1.75 build 2634
  // unless a test says otherwise (FarVersion).
  int farVersion = FarVersion(1, 75, 2634);

  // ---- Script: answers are taken from the front; an empty queue answers
  // Esc (-1) and counts as unexpected.
  std::deque<int> menuAnswers;
  struct DialogAnswer {
    int result = -1;
    std::function<void(DialogItem* items, int count)> edit;  // runs before returning
  };
  std::deque<DialogAnswer> dialogAnswers;
  std::deque<int> messageAnswers;
  int unexpectedCalls = 0;
  // Run inside the call, before it returns (for keys that must arrive at
  // that moment): after a message is recorded, and for every text drawn.
  std::function<void(const std::vector<std::string>& lines)> onMessage;
  std::function<void(const char* text)> onText;

  TestPanel active;
  TestPanel passive;

  // ---- Records
  struct MenuCall {
    int x, y, maxHeight;
    unsigned flags;
    std::string title, helpTopic;
    std::vector<MenuItem> items;
  };
  struct DialogCall {
    int width, height;
    std::string helpTopic;
    std::vector<DialogItem> items;  // as the plug-in handed them over
  };
  struct MessageCall {
    unsigned flags;
    std::vector<std::string> lines;
    int buttons;
  };
  struct ControlCall {
    int command;
    std::string text;  // the command line for command 9
    intptr_t parameter;
  };
  struct AdvCall {
    int command;
    intptr_t parameter;
    KeyMacroCommand macro;  // for AdvKeyMacro
  };
  std::vector<MenuCall> menuCalls;
  std::vector<DialogCall> dialogCalls;
  std::vector<MessageCall> messageCalls;
  std::vector<ControlCall> controlCalls;
  std::vector<AdvCall> advCalls;
  int getMsgCalls = 0;
  std::string commandLine;

 private:
  struct BuiltPanel {
    std::vector<PanelItem> all, selected;
  };
  void FillPanel(const TestPanel& panel, BuiltPanel* built, PanelInfo* info);
  BuiltPanel builtActive_, builtPassive_;

  ScriptedHost* previous_ = nullptr;  // the host that was current before this one
  static ScriptedHost* current_;
  static int WINAPI Menu(int, int, int, int, unsigned, const char*, const char*, const char*,
                         const int*, int*, const MenuItem*, int);
  static int WINAPI Dialog(int, int, int, int, int, const char*, DialogItem*, int);
  static int WINAPI Message(int, unsigned, const char*, const char* const*, int, int);
  static const char* WINAPI GetMsg(int, int);
  static int WINAPI Control(HANDLE, int, void*);
  static HANDLE WINAPI SaveScreen(int, int, int, int);
  static void WINAPI RestoreScreen(HANDLE);
  static void WINAPI Text(int, int, int, const char*);
  static int WINAPI AdvControl(int, int, void*);
};
