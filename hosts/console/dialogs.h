// The host's own boxes on a terminal. Each draws over the screen, takes its
// keys from the console input queue, and puts back what it covered.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "screen.h"

// Index of the chosen item (starting on `selected`), or -1 for Esc. F1
// shows the help topic `help` (none when empty).
int MenuBox(const char* title, const MenuItem* items, int count, int selected,
            const std::string& help = "");
// Index of the item that closed the dialog, or -1 for Esc; states and edit
// texts are written back into the items. F1 shows the help topic `help`.
int RunDialog(int width, int height, const std::string& help, DialogItem* items, int count);
// Index of the chosen button, or -1 (Esc, or a box without buttons, which
// stays on the screen).
int MessageBox(unsigned flags, const char* const* lines, int count, int buttons);
// A scrollable list until Esc or Enter.
void ListView(const std::string& title, const std::vector<std::string>& lines);
// The topic of the plug-in's help file (TheHost.helpFile), scrollable, its
// links followed, until Esc.
void ShowHelp(const std::string& topic);

// ---- Pieces of the boxes ----

struct Key {
  WORD vk = 0;
  unsigned char ch = 0;
  DWORD modifiers = 0;
  bool resized = false;
};
// The next key pressed (or a change of the window's size).
Key ReadKey();
bool IsCancel(int key);
// The first line a text view shows after a scrolling key (arrows, page
// keys, Home, End), within 0..last.
int Scrolled(int key, int top, int shown, int last);

// A box the host draws over the screen: what it covers comes back after.
class Modal {
 public:
  Modal(int x1, int y1, int x2, int y2);
  ~Modal();
  Modal(const Modal&) = delete;
  Modal& operator=(const Modal&) = delete;

 private:
  draw::Area area_;
};
