// The terminal side of the interactive host. ncursesw draws; a reader thread
// reads the terminal's bytes itself (ncurses is not called from two threads)
// and turns them into console key records. The terminal is given back on
// every way out: Stop, exit, and the signals that end the process.
#include "screen.h"

#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <thread>

#include "host.h"
#include "platform/testing.h"
#include "terminal_codes.h"

namespace pt = platform::testing;

namespace tty {

std::atomic<int> ModalDepth{0};

namespace {

// ---- Colours ----

const short kCursesColour[8] = {COLOR_BLACK, COLOR_BLUE,    COLOR_GREEN,  COLOR_CYAN,
                                COLOR_RED,   COLOR_MAGENTA, COLOR_YELLOW, COLOR_WHITE};

struct Terminal {
  std::mutex mutex;  // every ncurses call
  bool active = false;
  bool utf8 = true;
  bool colours = false;
  bool bright = false;  // 16 colours
  std::map<int, short> pairs;
  std::string title;
  int cursorX = -1, cursorY = -1;
  int columns = 80, rows = 25;
  std::thread reader;
  std::atomic<bool> stop{false};
  int wakeRead = -1, wakeWrite = -1;
} T;

std::atomic<bool> Resized{false};

// The parts of a console attribute as ncurses takes them.
void AttributeOf(WORD a, attr_t* attributes, short* pair) {
  *attributes = A_NORMAL;
  *pair = 0;
  if (!T.colours) {
    if ((a >> 4) & 7) *attributes = A_REVERSE;  // boxes and highlights stand out
    return;
  }
  int fg = a & 0x0F, bg = (a >> 4) & 0x0F;
  short f = kCursesColour[fg & 7], b = kCursesColour[bg & 7];
  if (T.bright) {
    if (fg & 8) f += 8;
    if (bg & 8) b += 8;
  } else if (fg & 8) {
    *attributes |= A_BOLD;
  }
  int key = f << 8 | b;
  auto it = T.pairs.find(key);
  if (it == T.pairs.end()) {
    short next = static_cast<short>(T.pairs.size() + 1);
    if (next >= COLOR_PAIRS) return;
    init_pair(next, f, b);
    it = T.pairs.emplace(key, next).first;
  }
  *pair = it->second;
}

void WriteTitle(const std::string& title) {
  std::string sequence = "\033]2;" + title + "\007";
  ::write(STDOUT_FILENO, sequence.data(), sequence.size());
}

// The plug-in sets the title without a redraw after it: looked at with every
// redraw and by the key reader's timer.
void UpdateTitleLocked() {
  char title[512];
  pt::ConsoleTitle(title, sizeof title);
  if (title != T.title) {
    T.title = title;
    WriteTitle(T.title);
  }
}

void UpdateTitle() {
  std::lock_guard<std::mutex> lock(T.mutex);
  if (T.active) UpdateTitleLocked();
}

// ---- Giving the terminal back from a signal handler: prepared strings and
// calls that are safe there.
struct termios SavedModes;
bool HaveSavedModes = false;
char RestoreSequence[256];
size_t RestoreLength = 0;

void EmergencyRestore() {
  if (RestoreLength) ::write(STDOUT_FILENO, RestoreSequence, RestoreLength);
  if (HaveSavedModes) ::tcsetattr(STDIN_FILENO, TCSANOW, &SavedModes);
}

void OnFatalSignal(int signal) {
  EmergencyRestore();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void OnResize(int) { Resized = true; }

// The first interrupt, hang-up or termination breaks off the run as Esc
// would (the reader passes Esc on until the plug-in has returned), so that
// no partial file stays behind; the second ends the process.
void OnInterrupt(int signal) {
  if (Interrupts.fetch_add(1) >= 1) OnFatalSignal(signal);
}

void PrepareRestoreSequence() {
  std::string s;
  for (const char* cap : {"sgr0", "cnorm", "rmcup"}) {
    char* value = tigetstr(const_cast<char*>(cap));
    if (value && value != reinterpret_cast<char*>(-1)) s += value;
  }
  s += "\033]2;\007\033[23;0t\r\n";  // our title gone, the saved one back
  RestoreLength = std::min(s.size(), sizeof RestoreSequence);
  std::memcpy(RestoreSequence, s.data(), RestoreLength);
}

const int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT};

void InstallSignals() {
  for (int s : kFatalSignals) ::signal(s, OnFatalSignal);
  for (int s : kInterruptSignals) ::signal(s, OnInterrupt);
  struct sigaction action {};
  action.sa_handler = OnResize;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGWINCH, &action, nullptr);
}

void RemoveSignals() {
  for (int s : kFatalSignals) ::signal(s, SIG_DFL);
  for (int s : kInterruptSignals) ::signal(s, SIG_DFL);
  ::signal(SIGWINCH, SIG_DFL);
}

void Feed(const TerminalKey& key) {
  if (!key.vk && !key.ch) return;
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = TRUE;
  record.Event.KeyEvent.wRepeatCount = 1;
  record.Event.KeyEvent.wVirtualKeyCode = key.vk;
  record.Event.KeyEvent.uChar.AsciiChar = static_cast<CHAR>(key.ch);
  record.Event.KeyEvent.dwControlKeyState = key.modifiers;
  // Outside the host's own dialogs, a key goes to the running copy.
  if (key.vk == VK_ESCAPE && key.modifiers == 0 && ModalDepth == 0 && TheHost.inPlugin)
    TheHost.outcome.broken = true;
  pt::ConsoleFeedInput(record);
}

void FeedResize() {
  INPUT_RECORD record{};
  record.EventType = WINDOW_BUFFER_SIZE_EVENT;
  pt::ConsoleFeedInput(record);
}

void HandleResize() {
  struct winsize size {};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) return;
  {
    std::lock_guard<std::mutex> lock(T.mutex);
    if (!T.active) return;
    resize_term(size.ws_row, size.ws_col);
    clear();
  }
  Render();
  FeedResize();
}

void ReadKeys() {
  std::string pending;
  bool closed = false;
  while (!T.stop) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {T.wakeRead, POLLIN, 0}};
    int ready = ::poll(fds, 2, pending.empty() ? 200 : 40);
    if (Resized.exchange(false)) HandleResize();
    if (T.stop) break;
    UpdateTitle();
    // Esc for every question and for the copy, until the run has ended.
    if (Interrupts > 0 && (TheHost.inPlugin || ModalDepth > 0) && pt::ConsoleInputCount() == 0)
      Feed(PlainKey(0x1B));
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      char buffer[256];
      ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n > 0) pending.append(buffer, static_cast<size_t>(n));
      if (n == 0) closed = true;
    } else if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
      closed = true;
    }
    bool timedOut = ready == 0 || closed;
    while (!pending.empty()) {
      TerminalKey key;
      size_t used = DecodeKey(pending, timedOut, &key);
      if (!used) break;
      pending.erase(0, used);
      Feed(key);
    }
    if (closed) break;
  }
  // The terminal went away: every dialog still to come is answered with Esc.
  while (closed && !T.stop) {
    if (ModalDepth > 0 && pt::ConsoleInputCount() == 0) Feed(PlainKey(0x1B));
    pollfd wake = {T.wakeRead, POLLIN, 0};
    ::poll(&wake, 1, 100);
  }
}

// The variable that names the terminal's encoding, as setlocale reads them.
bool LocaleNamesUtf8() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    std::string text(value);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.find("utf-8") != std::string::npos || text.find("utf8") != std::string::npos;
  }
  return false;
}

}  // namespace

bool Start(std::string* error) {
  // A locale this system lacks (ru_RU.UTF-8 not generated) still says the
  // terminal speaks UTF-8; C.UTF-8 draws it the same.
  if (!std::setlocale(LC_ALL, "") && LocaleNamesUtf8()) std::setlocale(LC_CTYPE, "C.UTF-8");
  T.utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  if (::tcgetattr(STDIN_FILENO, &SavedModes) == 0) HaveSavedModes = true;
  if (!newterm(nullptr, stdout, stdin)) {
    *error =
        "cannot use this terminal (TERM=" + std::string(getenv("TERM") ? getenv("TERM") : "") + ")";
    return false;
  }
  PrepareRestoreSequence();
  InstallSignals();
  raw();
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  if (has_colors()) {
    start_color();
    T.colours = true;
    T.bright = COLORS >= 16;
  }
  curs_set(0);
  T.columns = COLS;
  T.rows = LINES;
  ::write(STDOUT_FILENO, "\033[22;0t", 7);  // keep the terminal's title to restore
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) == 0) T.wakeRead = pipe[0], T.wakeWrite = pipe[1];
  T.active = true;
  T.stop = false;
  T.reader = std::thread(ReadKeys);
  std::atexit(Stop);
  return true;
}

void Stop() {
  if (T.reader.joinable()) {
    T.stop = true;
    if (T.wakeWrite >= 0) ::write(T.wakeWrite, "x", 1);
    T.reader.join();
  }
  std::lock_guard<std::mutex> lock(T.mutex);
  if (!T.active) return;
  T.active = false;
  curs_set(1);
  endwin();
  WriteTitle("");
  ::write(STDOUT_FILENO, "\033[23;0t", 7);
  RemoveSignals();
  if (HaveSavedModes) ::tcsetattr(STDIN_FILENO, TCSANOW, &SavedModes);
}

void SetCursor(int x, int y) {
  std::lock_guard<std::mutex> lock(T.mutex);
  T.cursorX = x;
  T.cursorY = y;
}

int Columns() { return T.columns; }
int Rows() { return T.rows; }

void Render() {
  std::lock_guard<std::mutex> lock(T.mutex);
  if (!T.active) return;
  int width = pt::ConsoleWidth(), height = pt::ConsoleHeight();
  int rows = std::min(LINES, height), columns = std::min(COLS, width);
  std::vector<CHAR_INFO> cells(width);
  std::vector<Glyph> glyphs;
  std::vector<int> columnOf;
  int cursorColumn = T.cursorX;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < width; ++x) cells[x] = pt::ConsoleCell(x, y);
    DecodeRow(cells, &glyphs, &columnOf);
    if (y == T.cursorY && T.cursorX >= 0 && T.cursorX < width) cursorColumn = columnOf[T.cursorX];
    for (int x = 0; x < columns; ++x) {
      const Glyph& g = glyphs[x];
      if (g.covered) continue;
      wchar_t text[2] = {T.utf8 ? g.c : AsciiGlyph(g.c), 0};
      if (wcwidth(text[0]) == 2 && x + 1 >= columns) text[0] = L' ';
      attr_t attributes;
      short pair;
      AttributeOf(g.attributes, &attributes, &pair);
      cchar_t cell;
      setcchar(&cell, text, attributes, pair, nullptr);
      mvadd_wch(y, x, &cell);
    }
  }
  if (T.cursorX >= 0 && cursorColumn < columns && T.cursorY < rows) {
    move(T.cursorY, cursorColumn);
    curs_set(1);
  } else {
    curs_set(0);
  }
  refresh();
  UpdateTitleLocked();
}

}  // namespace tty
