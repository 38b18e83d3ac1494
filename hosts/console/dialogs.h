// The host's own boxes on a terminal. Each draws over the screen, takes its
// keys from the console input queue, and puts back what it covered.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

// Index of the chosen item (starting on `selected`), or -1 for Esc.
int MenuBox(const char* title, const MenuItem* items, int count, int selected);
// Index of the item that closed the dialog, or -1 for Esc; states and edit
// texts are written back into the items.
int RunDialog(int width, int height, DialogItem* items, int count);
// Index of the chosen button, or -1 (Esc, or a box without buttons, which
// stays on the screen).
int MessageBox(unsigned flags, const char* const* lines, int count, int buttons);
// A scrollable list until Esc or Enter.
void ListView(const std::string& title, const std::vector<std::string>& lines);
