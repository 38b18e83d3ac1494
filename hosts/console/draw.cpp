// Drawing the host's own boxes into the screen buffer, in the OEM bytes the
// plug-in uses too, so that one renderer shows both.
#include <algorithm>

#include "platform/testing.h"
#include "screen.h"
#include "terminal_codes.h"

namespace pt = platform::testing;

namespace draw {

namespace {

CHAR_INFO Cell(char c, WORD attributes) {
  CHAR_INFO cell{};
  cell.Char.AsciiChar = c;
  cell.Attributes = attributes;
  return cell;
}

void Put(int x, int y, char c, WORD attributes) {
  if (x >= 0 && y >= 0 && x < Width() && y < Height())
    pt::ConsoleSetCell(x, y, Cell(c, attributes));
}

}  // namespace

int Width() { return pt::ConsoleWidth(); }
int Height() { return pt::ConsoleHeight(); }

void Text(int x, int y, WORD attributes, const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) Put(x + static_cast<int>(i), y, text[i], attributes);
}

void Fill(int x1, int y1, int x2, int y2, WORD attributes, char c) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) Put(x, y, c, attributes);
}

void Frame(int x1, int y1, int x2, int y2, WORD attributes, bool single) {
  const char h = single ? '\xC4' : '\xCD', v = single ? '\xB3' : '\xBA';
  for (int x = x1 + 1; x < x2; ++x) Put(x, y1, h, attributes), Put(x, y2, h, attributes);
  for (int y = y1 + 1; y < y2; ++y) Put(x1, y, v, attributes), Put(x2, y, v, attributes);
  Put(x1, y1, single ? '\xDA' : '\xC9', attributes);
  Put(x2, y1, single ? '\xBF' : '\xBB', attributes);
  Put(x1, y2, single ? '\xC0' : '\xC8', attributes);
  Put(x2, y2, single ? '\xD9' : '\xBC', attributes);
}

void Separator(int x1, int x2, int y, WORD attributes) {
  for (int x = x1 + 1; x < x2; ++x) Put(x, y, '\xC4', attributes);
  Put(x1, y, '\xC7', attributes);
  Put(x2, y, '\xB6', attributes);
}

void Shadow(int x1, int y1, int x2, int y2) {
  auto dim = [](int x, int y) {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return;
    CHAR_INFO cell = pt::ConsoleCell(x, y);
    cell.Attributes &= 0x07;
    if (cell.Attributes == 0) cell.Attributes = 0x08;
    pt::ConsoleSetCell(x, y, cell);
  };
  for (int x = x1 + 2; x <= x2 + 2; ++x) dim(x, y2 + 1);
  for (int y = y1 + 1; y <= y2; ++y) dim(x2 + 1, y), dim(x2 + 2, y);
}

void Title(int x1, int x2, int y, const std::string& title, WORD attributes) {
  if (title.empty()) return;
  std::string text = " " + title + " ";
  int room = x2 - x1 - 1;
  if (static_cast<int>(text.size()) > room) text = text.substr(0, std::max(room, 0));
  Text(x1 + (x2 - x1 + 1 - static_cast<int>(text.size())) / 2, y, attributes, text);
}

int HotText(int x, int y, const char* text, WORD normal, WORD hot, bool literal) {
  int column = 0;
  bool marked = false;
  for (const char* p = text; *p; ++p) {
    if (!literal && *p == '&' && p[1] != '&' && !marked && p[1]) {
      marked = true;
      Put(x + column++, y, *++p, hot);
      continue;
    }
    if (!literal && *p == '&' && p[1] == '&') ++p;
    Put(x + column++, y, *p, normal);
  }
  return column;
}

char HotKey(const char* text) {
  for (const char* p = text; *p; ++p) {
    if (*p != '&') continue;
    if (p[1] == '&') {
      ++p;
      continue;
    }
    return KeyLetter(static_cast<unsigned char>(p[1]));
  }
  return 0;
}

Area Save(int x1, int y1, int x2, int y2) {
  Area area;
  area.x1 = std::max(0, x1);
  area.y1 = std::max(0, y1);
  area.x2 = std::min(x2, Width() - 1);
  area.y2 = std::min(y2, Height() - 1);
  for (int y = area.y1; y <= area.y2; ++y)
    for (int x = area.x1; x <= area.x2; ++x) area.cells.push_back(pt::ConsoleCell(x, y));
  return area;
}

void Restore(const Area& area) {
  size_t i = 0;
  for (int y = area.y1; y <= area.y2; ++y)
    for (int x = area.x1; x <= area.x2; ++x)
      if (i < area.cells.size()) pt::ConsoleSetCell(x, y, area.cells[i++]);
}

}  // namespace draw
