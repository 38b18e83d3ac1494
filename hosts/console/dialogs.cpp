// The host's boxes on a terminal: menus, dialogs, message boxes and a list,
// drawn into the screen buffer over what is there and shown by tty. Keys
// come from the console input queue, where the reader thread puts them and
// where the plug-in's break check looks for Esc.
#include "dialogs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>

#include "host.h"
#include "screen.h"

namespace {

// FAR's colours.
constexpr WORD kMenuText = 0x30, kMenuHot = 0x3E, kMenuSelected = 0x0F, kMenuSelectedHot = 0x0E;
constexpr WORD kDialogText = 0x70, kDialogHot = 0x74, kDialogFrame = 0x7F;
constexpr WORD kFocused = 0x30, kFocusedHot = 0x34, kEdit = 0x30, kEditSelected = 0x1F;
constexpr WORD kWarningText = 0x4F, kWarningHot = 0x4E, kWarningFocused = 0x70,
               kWarningFocusedHot = 0x74;

constexpr WORD kBack = 0x08, kTab = 0x09, kPrior = 0x21, kNext = 0x22, kEnd = 0x23, kHome = 0x24,
               kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28, kDelete = 0x2E, kF1 = 0x70,
               kF10 = 0x79;
constexpr DWORD kAlt = LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED;
constexpr DWORD kCtrl = LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED;
constexpr DWORD kItemFlagGroup = 0x400;          // starts a group of radio buttons
constexpr DWORD kItemFlagSeparatorLine = 0x200;  // a text item drawn as a line
constexpr DWORD kItemFlagLiteral = 0x2000;       // '&' is shown, not a hot key

bool Printable(const Key& k) {
  return k.ch >= 0x20 && k.ch != 0x7F && !(k.modifiers & (kAlt | kCtrl));
}
int Length(const char* text) { return static_cast<int>(WithoutAmpersand(text).size()); }

}  // namespace

Key ReadKey() {
  for (;;) {
    INPUT_RECORD r{};
    DWORD n = 0;
    platform::ReadConsoleInputA(platform::GetStdHandle(STD_INPUT_HANDLE), &r, 1, &n);
    if (n == 0) continue;
    if (r.EventType == WINDOW_BUFFER_SIZE_EVENT) return Key{0, 0, 0, true};
    if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown) continue;
    const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
    return Key{k.wVirtualKeyCode, static_cast<unsigned char>(k.uChar.AsciiChar),
               k.dwControlKeyState, false};
  }
}

bool IsCancel(int key) { return key == VK_ESCAPE || key == kF10; }

Modal::Modal(int x1, int y1, int x2, int y2) : area_(draw::Save(x1, y1, x2 + 2, y2 + 1)) {
  ++tty::ModalDepth;
}

int Scrolled(int key, int top, int shown, int last) {
  if (key == kUp) top--;
  if (key == kDown) top++;
  if (key == kPrior) top -= shown;
  if (key == kNext) top += shown;
  if (key == kHome) top = 0;
  if (key == kEnd) top = last;
  return std::clamp(top, 0, last);
}

Modal::~Modal() {
  draw::Restore(area_);
  tty::SetCursor(-1, -1);
  tty::Render();
  --tty::ModalDepth;
}

// ---- Menu ----

int MenuBox(const char* title, const MenuItem* items, int count, int selected,
            const std::string& help) {
  int inner = Length(title) + 4;
  for (int i = 0; i < count; ++i) inner = std::max(inner, Length(items[i].Text) + 4);
  inner = std::min(inner, draw::Width() - 4);
  int w = inner + 2, h = std::min(count + 2, draw::Height());
  int x1 = (draw::Width() - w) / 2, y1 = (draw::Height() - h) / 2, x2 = x1 + w - 1, y2 = y1 + h - 1;
  auto usable = [&](int i) { return i >= 0 && i < count && !items[i].Separator; };
  if (!usable(selected)) selected = 0;
  while (selected < count && !usable(selected)) ++selected;
  if (selected >= count) return -1;
  Modal modal(x1, y1, x2, y2);
  for (;;) {
    draw::Fill(x1, y1, x2, y2, kMenuText);
    draw::Frame(x1, y1, x2, y2, kMenuText);
    draw::Title(x1, x2, y1, WithoutAmpersand(title), kMenuText);
    for (int i = 0; i < count && i < h - 2; ++i) {
      int y = y1 + 1 + i;
      if (items[i].Separator) {
        draw::Separator(x1, x2, y, kMenuText);
        continue;
      }
      bool on = i == selected;
      draw::Fill(x1 + 1, y, x2 - 1, y, on ? kMenuSelected : kMenuText);
      draw::HotText(x1 + 2, y, items[i].Text, on ? kMenuSelected : kMenuText,
                    on ? kMenuSelectedHot : kMenuHot);
    }
    draw::Shadow(x1, y1, x2, y2);
    tty::Render();
    Key k = ReadKey();
    if (IsCancel(k.vk)) return -1;
    if (k.vk == VK_RETURN) return selected;
    if (k.vk == kF1 && !help.empty()) {
      ShowHelp(help);
      continue;
    }
    int step = k.vk == kUp ? -1 : k.vk == kDown ? 1 : 0;
    if (step) {
      int i = selected;
      do i = (i + step + count) % count;
      while (!usable(i));
      selected = i;
    } else if (k.vk == kHome || k.vk == kEnd) {
      int i = k.vk == kHome ? 0 : count - 1;
      while (!usable(i)) i += k.vk == kHome ? 1 : -1;
      selected = i;
    } else if (k.ch > 0x20) {
      char c = static_cast<char>(std::tolower(k.ch));
      for (int i = 0; i < count; ++i)
        if (usable(i) && draw::HotKey(items[i].Text) == c) return i;
    }
  }
}

namespace {

// ---- History of edit fields, kept in the registry as FAR keeps it ----

constexpr int kHistorySize = 16;

std::string HistoryKey(const char* name) {
  return std::string("Software\\Far\\SavedDialogHistory\\") + name;
}

std::vector<std::string> LoadHistory(const char* name) {
  std::vector<std::string> lines;
  HKEY key = nullptr;
  if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, HistoryKey(name).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return lines;
  for (int i = 0; i < kHistorySize; ++i) {
    char value[32], text[512];
    std::snprintf(value, sizeof value, "Line%d", i);
    DWORD size = sizeof text - 1, type = 0;
    if (platform::RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text),
                                   &size) != ERROR_SUCCESS)
      break;
    text[std::min<DWORD>(size, sizeof text - 1)] = 0;
    lines.push_back(text);
  }
  platform::RegCloseKey(key);
  return lines;
}

void AddToHistory(const char* name, const std::string& text) {
  if (text.empty()) return;
  std::vector<std::string> lines = LoadHistory(name);
  lines.erase(std::remove(lines.begin(), lines.end(), text), lines.end());
  lines.insert(lines.begin(), text);
  if (lines.size() > kHistorySize) lines.resize(kHistorySize);
  HKEY key = nullptr;
  if (platform::RegCreateKeyExA(HKEY_CURRENT_USER, HistoryKey(name).c_str(), 0, nullptr, 0,
                                KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  for (size_t i = 0; i < lines.size(); ++i) {
    char value[32];
    std::snprintf(value, sizeof value, "Line%zu", i);
    platform::RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(lines[i].c_str()),
                             static_cast<DWORD>(lines[i].size() + 1));
  }
  platform::RegCloseKey(key);
}

// ---- Dialog ----

class DialogBox {
 public:
  DialogBox(int width, int height, const std::string& help, DialogItem* items, int count)
      : items_(items), count_(count), width_(width), height_(height), x_(count), help_(help) {
    left_ = (draw::Width() - width_) / 2;
    top_ = (draw::Height() - height_) / 2;
    Layout();
    focus_ = -1;
    for (int i = 0; i < count_ && focus_ < 0; ++i)
      if (items_[i].Focus && Focusable(i)) focus_ = i;
    if (focus_ < 0) focus_ = Step(count_ - 1, 1);
    Focus(focus_, true);
  }

  int Run() {
    Modal modal(left_, top_, left_ + width_ - 1, top_ + height_ - 1);
    int result = Loop();
    for (int i = 0; i < count_; ++i) items_[i].Focus = i == focus_;
    if (result >= 0 && std::strcmp(items_[result].Data, Lng(MsgCancel)) != 0)
      for (int i = 0; i < count_; ++i)
        if (items_[i].Type == ItemEdit && (items_[i].Flags & ItemFlagHistory) && items_[i].History)
          AddToHistory(items_[i].History, items_[i].Data);
    return result;
  }

 private:
  bool Focusable(int i) const {
    int t = items_[i].Type;
    return t == ItemEdit || t == ItemButton || t == ItemCheckBox || t == ItemRadioButton;
  }

  int Step(int from, int step) const {
    if (count_ == 0) return -1;
    int i = from;
    for (int n = 0; n < count_; ++n) {
      i = (i + step + count_) % count_;
      if (Focusable(i)) return i;
    }
    return -1;
  }

  // Buttons of a centred group share their row, centred in the dialog.
  void Layout() {
    for (int i = 0; i < count_; ++i) x_[i] = items_[i].X1;
    std::set<int> rows;
    for (int i = 0; i < count_; ++i)
      if (items_[i].Type == ItemButton && (items_[i].Flags & ItemFlagCenterGroup))
        rows.insert(items_[i].Y1);
    for (int row : rows) {
      int total = -1;
      for (int i = 0; i < count_; ++i)
        if (InGroupRow(i, row)) total += ButtonWidth(i) + 1;
      int x = (width_ - total) / 2;
      for (int i = 0; i < count_; ++i)
        if (InGroupRow(i, row)) x_[i] = x, x += ButtonWidth(i) + 1;
    }
  }
  bool InGroupRow(int i, int row) const {
    return items_[i].Type == ItemButton && (items_[i].Flags & ItemFlagCenterGroup) &&
           items_[i].Y1 == row;
  }
  int ButtonWidth(int i) const { return Length(items_[i].Data) + 4; }

  // Radio buttons group by adjacency; the group flag starts a new group.
  std::pair<int, int> GroupOf(int i) const {
    int first = i, last = i;
    while (first > 0 && items_[first - 1].Type == ItemRadioButton &&
           !(items_[first].Flags & kItemFlagGroup))
      --first;
    while (last + 1 < count_ && items_[last + 1].Type == ItemRadioButton &&
           !(items_[last + 1].Flags & kItemFlagGroup))
      ++last;
    return {first, last};
  }
  void SelectRadio(int i) {
    auto [first, last] = GroupOf(i);
    for (int j = first; j <= last; ++j) items_[j].Selected = j == i;
  }

  int DefaultButton() const {
    for (int i = 0; i < count_; ++i)
      if (items_[i].Type == ItemButton && items_[i].DefaultButton) return i;
    return -1;
  }

  void Focus(int i, bool opening = false) {
    if (i < 0) return;
    focus_ = i;
    if (items_[i].Type == ItemEdit) {
      cursor_ = strnlen(items_[i].Data, sizeof items_[i].Data);
      selectAll_ = opening;
      scroll_ = 0;
    }
  }

  const DialogItem* Box() const {
    for (int i = 0; i < count_; ++i)
      if (items_[i].Type == ItemDoubleBox) return &items_[i];
    return nullptr;
  }

  void Draw() {
    draw::Fill(left_, top_, left_ + width_ - 1, top_ + height_ - 1, kDialogText);
    tty::SetCursor(-1, -1);
    for (int i = 0; i < count_; ++i) DrawItem(i);
    draw::Shadow(left_, top_, left_ + width_ - 1, top_ + height_ - 1);
  }

  void DrawItem(int i) {
    DialogItem& item = items_[i];
    int x = left_ + x_[i], y = top_ + item.Y1;
    bool on = i == focus_, literal = item.Flags & kItemFlagLiteral;
    switch (item.Type) {
      case ItemDoubleBox:
        draw::Frame(x, y, left_ + item.X2, top_ + item.Y2, kDialogFrame);
        draw::Title(x, left_ + item.X2, y, WithoutAmpersand(item.Data), kDialogText);
        break;
      case ItemText:
        if (item.Flags & kItemFlagSeparatorLine) {
          const DialogItem* box = Box();
          int x1 = box ? left_ + box->X1 : left_, x2 = box ? left_ + box->X2 : left_ + width_ - 1;
          draw::Separator(x1, x2, y, kDialogFrame);
          draw::Title(x1, x2, y, item.Data, kDialogText);
        } else {
          draw::HotText(x, y, item.Data, kDialogText, kDialogHot, literal);
        }
        break;
      case ItemEdit:
        DrawEdit(i, x, y);
        break;
      case ItemButton: {
        bool isDefault = item.DefaultButton != 0;
        WORD attributes = on ? kFocused : kDialogText;
        draw::Text(x, y, attributes, isDefault ? "{ " : "[ ");
        int n =
            draw::HotText(x + 2, y, item.Data, attributes, on ? kFocusedHot : kDialogHot, literal);
        draw::Text(x + 2 + n, y, attributes, isDefault ? " }" : " ]");
        if (on) tty::SetCursor(x + 2, y);
        break;
      }
      case ItemCheckBox:
      case ItemRadioButton: {
        bool check = item.Type == ItemCheckBox;
        std::string mark =
            check ? (item.Selected ? "[x] " : "[ ] ") : (item.Selected ? "(\x07) " : "( ) ");
        WORD attributes = on ? kFocused : kDialogText;
        draw::Text(x, y, attributes, mark);
        draw::HotText(x + 4, y, item.Data, attributes, on ? kFocusedHot : kDialogHot, literal);
        if (on) tty::SetCursor(x + 1, y);
        break;
      }
      default:
        break;
    }
  }

  void DrawEdit(int i, int x, int y) {
    DialogItem& item = items_[i];
    int width = std::max(1, item.X2 - item.X1 + 1);
    std::string text(item.Data, strnlen(item.Data, sizeof item.Data));
    bool on = i == focus_;
    if (on) {
      if (cursor_ > text.size()) cursor_ = text.size();
      if (static_cast<int>(cursor_ - scroll_) >= width) scroll_ = cursor_ - width + 1;
      if (cursor_ < scroll_) scroll_ = cursor_;
    }
    size_t from = on ? scroll_ : 0;
    std::string shown = from < text.size() ? text.substr(from, width) : "";
    shown.resize(width, ' ');
    draw::Text(x, y, on && selectAll_ && !text.empty() ? kEditSelected : kEdit, shown);
    if (item.Flags & ItemFlagHistory) draw::Text(x + width, y, kFocused, "\x19");
    if (on) tty::SetCursor(x + static_cast<int>(cursor_ - scroll_), y);
  }

  // An edit key; false when the key is not an editing one.
  bool EditKey(const Key& k) {
    DialogItem& item = items_[focus_];
    std::string text(item.Data, strnlen(item.Data, sizeof item.Data));
    auto back = [&](size_t at) {  // start of the character before `at`
      while (at > 0 && (static_cast<unsigned char>(text[--at]) & 0xC0) == 0x80) {
      }
      return at;
    };
    auto forward = [&](size_t at) {
      if (at < text.size()) ++at;
      while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
      return at;
    };
    bool wasSelected = selectAll_;
    selectAll_ = false;
    if (Printable(k)) {
      if (wasSelected) text.clear(), cursor_ = 0;
      if (text.size() + 1 >= sizeof item.Data) return true;
      text.insert(cursor_++, 1, static_cast<char>(k.ch));
    } else if (k.vk == kBack) {
      if (wasSelected) text.clear(), cursor_ = 0;
      size_t at = back(cursor_);
      text.erase(at, cursor_ - at);
      cursor_ = at;
    } else if (k.vk == kDelete) {
      if (wasSelected) text.clear(), cursor_ = 0;
      text.erase(cursor_, forward(cursor_) - cursor_);
    } else if (k.vk == 'Y' && (k.modifiers & kCtrl)) {
      text.clear();
      cursor_ = 0;
    } else if (k.vk == kLeft) {
      cursor_ = back(cursor_);
    } else if (k.vk == kRight) {
      cursor_ = forward(cursor_);
    } else if (k.vk == kHome) {
      cursor_ = 0;
    } else if (k.vk == kEnd) {
      cursor_ = text.size();
    } else {
      selectAll_ = wasSelected;
      return false;
    }
    std::snprintf(item.Data, sizeof item.Data, "%s", text.c_str());
    return true;
  }

  void ShowHistory() {
    DialogItem& item = items_[focus_];
    std::vector<std::string> lines = LoadHistory(item.History);
    if (lines.empty()) return;
    std::vector<MenuItem> menu(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
      std::snprintf(menu[i].Text, sizeof menu[i].Text, "%s", lines[i].c_str());
    int chosen = MenuBox("", menu.data(), static_cast<int>(menu.size()), 0);
    if (chosen < 0) return;
    std::snprintf(item.Data, sizeof item.Data, "%s", lines[chosen].c_str());
    Focus(focus_);
  }

  // A hot key: true with *result when it closes the dialog.
  bool HotKey(char c, int* result) {
    for (int i = 0; i < count_; ++i) {
      DialogItem& item = items_[i];
      if ((item.Flags & kItemFlagLiteral) || draw::HotKey(item.Data) != c) continue;
      switch (item.Type) {
        case ItemButton:
          *result = i;
          return true;
        case ItemCheckBox:
          item.Selected = !item.Selected;
          Focus(i);
          return false;
        case ItemRadioButton:
          SelectRadio(i);
          Focus(i);
          return false;
        case ItemText:
          Focus(Step(i, 1));
          return false;
        default:
          Focus(i);
          return false;
      }
    }
    return false;
  }

  int Loop() {
    for (;;) {
      Draw();
      tty::Render();
      Key k = ReadKey();
      if (k.resized) continue;
      if (IsCancel(k.vk)) return -1;
      if (k.vk == kF1 && !help_.empty()) {
        ShowHelp(help_);
        continue;
      }
      if (focus_ < 0) continue;
      DialogItem& item = items_[focus_];
      bool edit = item.Type == ItemEdit;
      if (k.vk == VK_RETURN) {
        if (item.Type == ItemButton) return focus_;
        int d = DefaultButton();
        return d >= 0 ? d : focus_;
      }
      if (edit && (item.Flags & ItemFlagHistory) && k.vk == kDown &&
          (k.modifiers & (kCtrl | kAlt))) {
        ShowHistory();
        continue;
      }
      if (k.vk == kTab || k.vk == kDown || k.vk == kUp) {
        bool back = k.vk == kUp || (k.vk == kTab && (k.modifiers & SHIFT_PRESSED));
        Focus(Step(focus_, back ? -1 : 1));
        continue;
      }
      if (edit && EditKey(k)) continue;
      if (k.vk == kLeft || k.vk == kRight) {
        Focus(Step(focus_, k.vk == kLeft ? -1 : 1));
        continue;
      }
      if (k.ch == ' ' && !(k.modifiers & (kAlt | kCtrl))) {
        if (item.Type == ItemCheckBox) item.Selected = !item.Selected;
        if (item.Type == ItemRadioButton) SelectRadio(focus_);
        if (item.Type == ItemButton) return focus_;
        continue;
      }
      bool hot = (k.modifiers & kAlt) || !edit;
      int result = -1;
      char c = static_cast<char>(std::tolower(k.ch ? k.ch : k.vk));
      if (hot && c > 0x20 && HotKey(c, &result)) return result;
    }
  }

  DialogItem* items_;
  int count_, width_, height_, left_ = 0, top_ = 0;
  std::vector<int> x_;
  std::string help_;
  int focus_ = -1;
  size_t cursor_ = 0, scroll_ = 0;
  bool selectAll_ = false;
};

}  // namespace

int RunDialog(int width, int height, const std::string& help, DialogItem* items, int count) {
  return DialogBox(width, height, help, items, count).Run();
}

// ---- Message box ----

int MessageBox(unsigned flags, const char* const* lines, int count, int buttons) {
  if (count <= 0) return -1;
  buttons = std::clamp(buttons, 0, count - 1);
  bool warning = flags & MessageWarning, leftAligned = flags & MessageLeftAlign;
  WORD text = warning ? kWarningText : kDialogText, hot = warning ? kWarningHot : kDialogHot;
  WORD focusedText = warning ? kWarningFocused : kFocused,
       focusedHot = warning ? kWarningFocusedHot : kFocusedHot;
  std::vector<std::string> body(lines + 1, lines + count - buttons);
  int row = -1;
  for (int i = count - buttons; i < count; ++i) row += Length(lines[i]) + 5;
  int inner = std::max(Length(lines[0]) + 2, row);
  for (const std::string& line : body) inner = std::max(inner, static_cast<int>(line.size()));
  inner = std::min(inner, draw::Width() - 12);
  int w = inner + 10, h = static_cast<int>(body.size()) + (buttons ? 1 : 0) + 4;
  int x1 = (draw::Width() - w) / 2, y1 = (draw::Height() - h) / 2, x2 = x1 + w - 1, y2 = y1 + h - 1;
  int focus = 0;
  auto paint = [&] {
    draw::Fill(x1, y1, x2, y2, text);
    draw::Frame(x1 + 3, y1 + 1, x2 - 3, y2 - 1, text);
    draw::Title(x1 + 3, x2 - 3, y1 + 1, lines[0], text);
    for (size_t i = 0; i < body.size(); ++i) {
      int y = y1 + 2 + static_cast<int>(i);
      if (body[i] == "\x01") {
        draw::Separator(x1 + 3, x2 - 3, y, text);
        continue;
      }
      std::string line = body[i].substr(0, inner);
      int x = leftAligned ? x1 + 5 : x1 + 5 + (inner - static_cast<int>(line.size())) / 2;
      draw::Text(x, y, text, line);
    }
    int x = x1 + 5 + (inner - row) / 2;
    for (int b = 0; b < buttons; ++b) {
      const char* label = lines[count - buttons + b];
      WORD a = b == focus ? focusedText : text;
      draw::Text(x, y2 - 2, a, "[ ");
      int n = draw::HotText(x + 2, y2 - 2, label, a, b == focus ? focusedHot : hot);
      draw::Text(x + 2 + n, y2 - 2, a, " ]");
      if (b == focus) tty::SetCursor(x + 2, y2 - 2);
      x += n + 5;
    }
    draw::Shadow(x1, y1, x2, y2);
    tty::Render();
  };
  if (buttons == 0) {  // a notice that stays until the screen is drawn over
    paint();
    return -1;
  }
  Modal modal(x1, y1, x2, y2);
  for (;;) {
    paint();
    Key k = ReadKey();
    if (IsCancel(k.vk)) return -1;
    if (k.vk == VK_RETURN || (k.ch == ' ' && !k.modifiers)) return focus;
    if (k.vk == kLeft || (k.vk == kTab && (k.modifiers & SHIFT_PRESSED)))
      focus = (focus + buttons - 1) % buttons;
    else if (k.vk == kRight || k.vk == kTab)
      focus = (focus + 1) % buttons;
    else if (k.ch > 0x20 || (k.vk >= 'A' && k.vk <= 'Z')) {
      char c = static_cast<char>(std::tolower(k.ch > 0x20 ? k.ch : k.vk));
      for (int b = 0; b < buttons; ++b)
        if (draw::HotKey(lines[count - buttons + b]) == c) return b;
    }
  }
}

// ---- Scrollable list ----

void ListView(const std::string& title, const std::vector<std::string>& lines) {
  int w = draw::Width() - 4, h = std::min(draw::Height() - 2, static_cast<int>(lines.size()) + 4);
  h = std::max(h, 5);
  int x1 = 2, y1 = (draw::Height() - h) / 2, x2 = x1 + w - 1, y2 = y1 + h - 1;
  int shown = h - 2, top = 0, last = std::max(0, static_cast<int>(lines.size()) - shown);
  Modal modal(x1, y1, x2, y2);
  for (;;) {
    draw::Fill(x1, y1, x2, y2, kMenuText);
    draw::Frame(x1, y1, x2, y2, kMenuText);
    draw::Title(x1, x2, y1, title, kMenuText);
    for (int i = 0; i < shown && top + i < static_cast<int>(lines.size()); ++i)
      draw::Text(x1 + 2, y1 + 1 + i, kMenuText, lines[top + i].substr(0, w - 4));
    draw::Title(x1, x2, y2, "Esc: close", kMenuText);
    draw::Shadow(x1, y1, x2, y2);
    tty::Render();
    Key k = ReadKey();
    if (IsCancel(k.vk) || k.vk == VK_RETURN) return;
    top = Scrolled(k.vk, top, shown, last);
  }
}
