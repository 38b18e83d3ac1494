// The terminal: shows the virtual console's cells with ncursesw and feeds the
// keys typed into the virtual console's input queue.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tty {

// Takes over the terminal (ncursesw, raw keys, a reader thread). False with
// a reason when it cannot.
bool Start(std::string* error);
// Gives the terminal back as it was; safe to call twice.
void Stop();
// Shows the cells (and the title) as they are now; any thread.
void Render();
// Where the terminal's cursor stands after the next Render; x < 0 hides it.
void SetCursor(int x, int y);
// Terminal size at Start.
int Columns();
int Rows();

// Host dialogs open: Esc then belongs to them, not to a running copy.
extern std::atomic<int> ModalDepth;

}  // namespace tty

// ---- Drawing into the virtual console (the host's screen buffer) ------------

namespace draw {

int Width();
int Height();
void Text(int x, int y, WORD attributes, const std::string& text);
void Fill(int x1, int y1, int x2, int y2, WORD attributes, char c = ' ');
// A frame of double lines (single with `single`).
void Frame(int x1, int y1, int x2, int y2, WORD attributes, bool single = false);
// The row of a separator inside a frame: ╟───╢.
void Separator(int x1, int x2, int y, WORD attributes);
// " title " centred between x1 and x2 (a frame's top or bottom line).
void Title(int x1, int x2, int y, const std::string& title, WORD attributes);
// The two columns right of and the row below a box, dimmed.
void Shadow(int x1, int y1, int x2, int y2);
// Text with its '&'-marked letter in `hot` (unless `literal`); returns the
// number of cells drawn.
int HotText(int x, int y, const char* text, WORD normal, WORD hot, bool literal = false);
// The key of the marked letter (KeyLetter), or 0.
char HotKey(const char* text);

struct Area {
  int x1 = 0, y1 = 0, x2 = -1, y2 = -1;
  std::vector<CHAR_INFO> cells;
};
Area Save(int x1, int y1, int x2, int y2);
void Restore(const Area& area);

}  // namespace draw
