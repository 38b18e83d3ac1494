#include "boxes.h"

#include <cstring>

#include "host/messages.h"

int BoxFrameColor = 0x7F;
int BoxTitleColor = 0x70;
int BoxTextColor = 0x70;
int BoxHighlightColor = 0x71;

namespace {

constexpr int kMaxWidth = 511;

// The OEM code page's double-line frame pieces.
constexpr char kTopLeft = '\xC9', kTopRight = '\xBB', kBottomLeft = '\xC8', kBottomRight = '\xBC';
constexpr char kHorizontal = '\xCD', kVertical = '\xBA';

// "   " left + fill + right "   ", w cells in all.
void FrameRow(int x, int y, int w, char left, char fill, char right) {
  char row[kMaxWidth + 1];
  std::memset(row, ' ', w);
  if (w >= 8) {
    row[3] = left;
    std::memset(row + 4, fill, w - 8);
    row[w - 4] = right;
  }
  row[w] = 0;
  Host.Text(x, y, BoxFrameColor, row);
}

void DimCells(HANDLE output, int x, int y, int count) {
  WORD attributes[kMaxWidth + 2];
  if (count <= 0 || x < 0 || y < 0) return;
  COORD start{static_cast<SHORT>(x), static_cast<SHORT>(y)};
  DWORD done = 0;
  if (!platform::ReadConsoleOutputAttribute(output, attributes, count, start, &done)) return;
  for (DWORD i = 0; i < done; ++i) attributes[i] &= 7;
  platform::WriteConsoleOutputAttribute(output, attributes, done, start, &done);
}

}  // namespace

void DrawBox(int x1, int y1, int x2, int y2, const char* title) {
  int w = x2 - x1 + 1;
  if (w <= 0 || y2 < y1) return;
  if (w > kMaxWidth) w = kMaxWidth;
  FrameRow(x1, y1, w, ' ', ' ', ' ');
  FrameRow(x1, y1 + 1, w, kTopLeft, kHorizontal, kTopRight);
  for (int y = y1 + 2; y <= y2 - 2; ++y) FrameRow(x1, y, w, kVertical, ' ', kVertical);
  FrameRow(x1, y2 - 1, w, kBottomLeft, kHorizontal, kBottomRight);
  FrameRow(x1, y2, w, ' ', ' ', ' ');

  if (title && *title) {
    char text[kMaxWidth + 1];
    size_t length = strnlen(title, kMaxWidth - 2);
    text[0] = ' ';
    std::memcpy(text + 1, title, length);
    text[length + 1] = ' ';
    text[length + 2] = 0;
    Host.Text(x1 + (x2 - x1 - static_cast<int>(length)) / 2, y1 + 1, BoxTitleColor, text);
  }

  // The shadow goes into the console itself: the host's Text only writes
  // characters with their colours, it cannot dim what is already there.
  HANDLE output = platform::GetStdHandle(STD_OUTPUT_HANDLE);
  DimCells(output, x1 + 2, y2 + 1, w);
  for (int y = y1 + 1; y <= y2 + 1; ++y) DimCells(output, x2 + 1, y, 2);
}

void ShowStatusBox(const char* text) {
  Host.Text(0, 0, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  platform::GetConsoleScreenBufferInfo(platform::GetStdHandle(STD_OUTPUT_HANDLE), &info);
  int n = static_cast<int>(strnlen(text, kMaxWidth - 12));
  int x1 = (info.dwSize.X - (n + 12)) / 2;
  int y = (info.dwSize.Y - 5) / 2;
  DrawBox(x1, y - 2, x1 + n + 11, y + 2, "");
  Host.Text(x1 + 6, y, BoxTextColor, text);
  Host.Text(0, 0, 0, nullptr);
}

void FetchColours() {
  if (Host.RecordSize <= OldHostRecordSize) return;
  struct {
    int* colour;
    int index;
  } const palette[] = {
      {&BoxFrameColor, 23}, {&BoxTitleColor, 24}, {&BoxTextColor, 21}, {&BoxHighlightColor, 22}};
  for (const auto& entry : palette)
    *entry.colour = Host.AdvControl(Host.ModuleNumber, AdvGetColor,
                                    reinterpret_cast<void*>(static_cast<intptr_t>(entry.index)));
}
