// What bytes mean on each side of the terminal: the keys it sends, and the
// screen rows the plug-in and the host fill with OEM and UTF-8 bytes.
#include "terminal_codes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>

namespace {

// The OEM code page's glyphs: 0x00-0x1F, then 0x80-0xFF.
const wchar_t kLow[32] = {L' ', L'☺', L'☻', L'♥', L'♦', L'♣', L'♠', L'•', L'◘', L'○', L'◙',
                          L'♂', L'♀', L'♪', L'♫', L'☼', L'►', L'◄', L'↕', L'‼', L'¶', L'§',
                          L'▬', L'↨', L'↑', L'↓', L'→', L'←', L'∟', L'↔', L'▲', L'▼'};
const wchar_t kHigh[128] = {
    L'Ç', L'ü', L'é', L'â', L'ä', L'à', L'å', L'ç', L'ê', L'ë', L'è', L'ï', L'î', L'ì', L'Ä', L'Å',
    L'É', L'æ', L'Æ', L'ô', L'ö', L'ò', L'û', L'ù', L'ÿ', L'Ö', L'Ü', L'¢', L'£', L'¥', L'₧', L'ƒ',
    L'á', L'í', L'ó', L'ú', L'ñ', L'Ñ', L'ª', L'º', L'¿', L'⌐', L'¬', L'½', L'¼', L'¡', L'«', L'»',
    L'░', L'▒', L'▓', L'│', L'┤', L'╡', L'╢', L'╖', L'╕', L'╣', L'║', L'╗', L'╝', L'╜', L'╛', L'┐',
    L'└', L'┴', L'┬', L'├', L'─', L'┼', L'╞', L'╟', L'╚', L'╔', L'╩', L'╦', L'╠', L'═', L'╬', L'╧',
    L'╨', L'╤', L'╥', L'╙', L'╘', L'╒', L'╓', L'╫', L'╪', L'┘', L'┌', L'█', L'▄', L'▌', L'▐', L'▀',
    L'α', L'ß', L'Γ', L'π', L'Σ', L'σ', L'µ', L'τ', L'Φ', L'Θ', L'Ω', L'δ', L'∞', L'φ', L'ε', L'∩',
    L'≡', L'±', L'≥', L'≤', L'⌠', L'⌡', L'÷', L'≈', L'°', L'∙', L'·', L'√', L'ⁿ', L'²', L'■', L' '};

// Code page 866 differs from the above in its letters: Cyrillic where 437
// has Latin accents and Greek, and its own last sixteen.
const wchar_t kHigh866Tail[16] = {L'Ё', L'ё', L'Є', L'є', L'Ї', L'ї', L'Ў', L'ў',
                                  L'°', L'∙', L'·', L'√', L'№', L'¤', L'■', L' '};

int OemCodePage = 437;

wchar_t HighGlyph(unsigned char b) {
  if (OemCodePage == 866) {
    if (b < 0xB0) return static_cast<wchar_t>(0x410 + (b - 0x80));               // А to п
    if (b >= 0xE0 && b < 0xF0) return static_cast<wchar_t>(0x440 + (b - 0xE0));  // р to я
    if (b >= 0xF0) return kHigh866Tail[b - 0xF0];
  }
  return kHigh[b - 0x80];
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Box and block bytes whose stroke goes on to the right: after one of them a
// byte that could start UTF-8 is taken as the next piece of the line.
bool RunsRight(unsigned char b) {
  static const unsigned char kBytes[] = {0xB0, 0xB1, 0xB2, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4,
                                         0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC,
                                         0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4,
                                         0xD5, 0xD6, 0xD7, 0xD8, 0xDA, 0xDB, 0xDC, 0xDF};
  return std::memchr(kBytes, b, sizeof kBytes) != nullptr;
}

// A UTF-8 sequence at `s` (file names are UTF-8 on Linux): its length and
// character, or 0.
int Utf8At(const unsigned char* s, int available, wchar_t* out) {
  unsigned char b = s[0];
  int n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
  if (n == 0 || n > available) return 0;
  unsigned value = b & (0x7F >> n);
  for (int i = 1; i < n; ++i) {
    if (!IsContinuation(s[i])) return 0;
    value = value << 6 | (s[i] & 0x3F);
  }
  if ((n == 3 && value < 0x800) || (n == 4 && (value < 0x10000 || value > 0x10FFFF)) ||
      (value >= 0xD800 && value <= 0xDFFF))
    return 0;
  *out = static_cast<wchar_t>(value);
  return n;
}

constexpr WORD kBack = 0x08, kTab = 0x09, kPrior = 0x21, kNext = 0x22, kEnd = 0x23, kHome = 0x24,
               kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28, kInsert = 0x2D,
               kDelete = 0x2E, kF1 = 0x70;

DWORD ModifiersOf(int parameter) {
  int m = parameter > 1 ? parameter - 1 : 0;
  return (m & 1 ? SHIFT_PRESSED : 0) | (m & 2 ? LEFT_ALT_PRESSED : 0) |
         (m & 4 ? LEFT_CTRL_PRESSED : 0);
}

// A byte of a name that the Linux layer escaped (platform.h: 0xFF, then the
// byte with its top bit flipped), or 0.
unsigned char EscapedByte(const unsigned char* s, int available) {
  if (available < 2 || s[0] != 0xFF) return 0;
  unsigned char c = s[1] ^ 0x80;
  return c < 0x20 || c == 0xFF || std::strchr("\"*:<>?\\|. ", c) ? c : 0;
}

bool IsBoxPiece(unsigned char b) { return b >= 0xB0 && b <= 0xDF; }

// Two box bytes between a box's edge and the row's end or a frame that goes
// on: the end of a line that a box was drawn over ("\xBA\xC4\xB6" is a
// dialog's edge, then a separator's "─╢"), never a one-letter name.
bool FrameEnd(const std::vector<unsigned char>& bytes, int x, int length) {
  int n = static_cast<int>(bytes.size());
  wchar_t c;
  return length == 2 && x > 0 && IsBoxPiece(bytes[x - 1]) && IsBoxPiece(bytes[x]) &&
         IsBoxPiece(bytes[x + 1]) &&
         (x + 2 == n || (IsBoxPiece(bytes[x + 2]) && Utf8At(&bytes[x + 2], n - x - 2, &c) == 0));
}

// A UTF-8 sequence that no Cyrillic text in 866 holds: a lead byte below
// 0xE0 or a continuation byte from 0xB0 on are box pieces there, never
// letters.
bool PlainlyUtf8(const unsigned char* s, int length) {
  if (length == 2) return true;
  for (int i = 1; i < length; ++i)
    if (s[i] >= 0xB0) return true;
  return false;
}

// For each byte, whether UTF-8 may be read there. With 866 the letters
// р to я lead three-byte sequences and А to п continue them, so many a
// Russian word is valid UTF-8 ("только"); a run of bytes above 0x7F is
// taken as UTF-8 only when all of it decodes (but for the pieces of a
// frame around it) and some sequence in it is plainly UTF-8; else only the
// plain sequences are. A name of three-byte characters that all look like
// Cyrillic letters shows as those letters.
std::vector<bool> Utf8Runs(const std::vector<unsigned char>& bytes) {
  int n = static_cast<int>(bytes.size());
  std::vector<bool> runs(n, OemCodePage != 866);
  if (OemCodePage != 866) return runs;
  wchar_t c;
  for (int x = 0; x < n;) {
    if (bytes[x] < 0x80) {
      ++x;
      continue;
    }
    int end = x;
    while (end < n && bytes[end] >= 0x80) ++end;
    int from = x;
    while (from < end && IsBoxPiece(bytes[from]) && IsContinuation(bytes[from])) ++from;
    int to = from;
    bool plain = false;
    for (int length; to < end && (length = Utf8At(&bytes[to], end - to, &c)) > 0; to += length)
      plain = plain || PlainlyUtf8(&bytes[to], length);
    bool framed = true;
    for (int i = to; i < end; ++i) framed = framed && IsBoxPiece(bytes[i]);
    if (framed && plain) {
      for (int i = from; i < to; ++i) runs[i] = true;
    } else {
      for (int i = x, length; i < end; i += std::max(length, 1)) {
        length = Utf8At(&bytes[i], end - i, &c);
        if (length > 0 && PlainlyUtf8(&bytes[i], length))
          for (int k = i; k < i + length; ++k) runs[k] = true;
      }
    }
    x = end;
  }
  return runs;
}

}  // namespace

void SetOemCodePage(int codePage) { OemCodePage = codePage == 866 ? 866 : 437; }

char KeyLetter(unsigned char c) {
  static const char kCyrillicKeys[] = "f,dult;pbqrkvyjghcnea[wxio]sm'.z";  // а to я
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (OemCodePage != 866 || c < 0x80) return static_cast<char>(c);
  if (c < 0xA0) return kCyrillicKeys[c - 0x80];                    // А to Я
  if (c < 0xB0) return kCyrillicKeys[c - 0xA0];                    // а to п
  if (c >= 0xE0 && c < 0xF0) return kCyrillicKeys[c - 0xE0 + 16];  // р to я
  return static_cast<char>(c);
}

std::string OemToUtf8(const std::string& text) {
  if (OemCodePage != 866) return text;
  std::vector<unsigned char> bytes(text.begin(), text.end());
  std::vector<bool> utf8 = Utf8Runs(bytes);
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] < 0x80 || utf8[i]) {
      out += static_cast<char>(bytes[i]);
      continue;
    }
    wchar_t c = HighGlyph(bytes[i]);  // below 0x10000: two or three bytes
    if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// One row of cells as the user should see it, and the column each cell
// lands in. The plug-in's frames and bars are OEM bytes while names are
// UTF-8: a valid UTF-8 sequence is taken as a character unless it goes on
// from a line or bar, or a stray continuation byte follows it (a bar
// "\xDB\xB0\xB0" is valid UTF-8 in its first two). A character takes fewer
// columns than its bytes had cells; the text after it moves left, and the
// columns saved come back at the next gap (two blanks, a frame, the end), so
// that boxes keep their shape.
void DecodeRow(const std::vector<CHAR_INFO>& cells, std::vector<Glyph>* row,
               std::vector<int>* columnOf) {
  int n = static_cast<int>(cells.size());
  std::vector<unsigned char> bytes(n);
  for (int i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(cells[i].Char.AsciiChar);
  row->assign(n, Glyph{});
  columnOf->assign(n, 0);
  int column = 0, owed = 0;
  WORD owedAttributes = 0x07;
  auto pay = [&] {
    for (; owed > 0 && column < n; --owed) (*row)[column++] = Glyph{L' ', owedAttributes, false};
    owed = 0;
  };
  bool afterRun = false;
  std::vector<bool> utf8 = Utf8Runs(bytes);
  for (int x = 0; x < n;) {
    unsigned char b = bytes[x];
    if (unsigned char original = EscapedByte(&bytes[x], n - x)) {
      // Shown as on disk; a control byte (or a lone 0xFF) as '?'.
      (*columnOf)[x] = (*columnOf)[x + 1] = column;
      wchar_t shown = original < 0x20 || original == 0xFF ? L'?' : static_cast<wchar_t>(original);
      (*row)[column++] = Glyph{shown, cells[x].Attributes, false};
      owed += 1;
      owedAttributes = cells[x].Attributes;
      afterRun = false;
      x += 2;
      continue;
    }
    wchar_t c = 0;
    int length = b >= 0x80 && utf8[x] ? Utf8At(&bytes[x], n - x, &c) : 0;
    bool text = length > 0 && !afterRun && !(x + length < n && IsContinuation(bytes[x + length])) &&
                !FrameEnd(bytes, x, length);
    if (text) {
      int width = wcwidth(c);
      if (width < 1 || width > length) c = L'?', width = 1;
      for (int i = 0; i < length; ++i) (*columnOf)[x + i] = column;
      (*row)[column] = Glyph{c, cells[x].Attributes, false};
      for (int i = 1; i < width; ++i) (*row)[column + i] = Glyph{L' ', cells[x].Attributes, true};
      column += width;
      owed += length - width;
      owedAttributes = cells[x].Attributes;
      afterRun = false;
      x += length;
      continue;
    }
    bool letter = OemCodePage == 866 && b >= 0x80 && (b < 0xB0 || b >= 0xE0);
    bool gap = (b >= 0x80 && !letter) || (b == ' ' && (x + 1 == n || bytes[x + 1] == ' '));
    (*columnOf)[x] = column;  // a cursor here stands right after the text
    if (owed && gap) pay();
    (*row)[column++] = Glyph{b < 0x20    ? kLow[b]
                             : b == 0x7F ? L'⌂'
                             : b < 0x80  ? static_cast<wchar_t>(b)
                                         : HighGlyph(b),
                             cells[x].Attributes, false};
    afterRun = b >= 0x80 && RunsRight(b);
    ++x;
  }
  pay();
}

wchar_t AsciiGlyph(wchar_t c) {
  if (c < 0x80) return c;
  if (std::wcschr(L"═─╟╢╫╪╤╧╥╨", c)) return L'-';
  if (std::wcschr(L"║│╡╞", c)) return L'|';
  if (std::wcschr(L"╔╗╚╝┌┐└┘├┤┬┴┼╠╣╦╩╬╓╖╙╜╒╕╘╛", c)) return L'+';
  if (std::wcschr(L"█▓▄▀▌▐■", c)) return L'#';
  if (std::wcschr(L"░▒", c)) return L'.';
  if (c == L'•' || c == L'∙' || c == L'·') return L'*';
  if (c == L'↓') return L'v';
  return L'?';
}

TerminalKey PlainKey(unsigned char c) {
  TerminalKey k;
  k.ch = c;
  if (c == '\r' || c == '\n')
    k.vk = VK_RETURN, k.ch = '\r';
  else if (c == 0x7F || c == 0x08)
    k.vk = kBack, k.ch = 0x08;
  else if (c == '\t')
    k.vk = kTab;
  else if (c == 0x03)
    k.vk = VK_ESCAPE, k.ch = 0x1B;  // Ctrl+C breaks off, as Esc
  else if (c == 0x1B)
    k.vk = VK_ESCAPE;
  else if (c >= 1 && c <= 26)
    k.vk = static_cast<WORD>('A' + c - 1), k.modifiers = LEFT_CTRL_PRESSED, k.ch = 0;
  else if (c >= 'a' && c <= 'z')
    k.vk = static_cast<WORD>(c - 'a' + 'A');
  else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
    k.vk = c;
  if (c >= 'A' && c <= 'Z') k.modifiers = SHIFT_PRESSED;
  return k;
}

size_t DecodeKey(const std::string& s, bool timedOut, TerminalKey* key) {
  const unsigned char c = static_cast<unsigned char>(s[0]);
  *key = TerminalKey{};
  if (c != 0x1B) {
    *key = PlainKey(c);
    return 1;
  }
  if (s.size() == 1) {
    if (!timedOut) return 0;
    *key = PlainKey(0x1B);
    return 1;
  }
  char kind = s[1];
  if (kind == '[' || kind == 'O') {
    size_t end = 2;
    while (end < s.size() && !(s[end] >= 0x40 && s[end] <= 0x7E)) ++end;
    if (end >= s.size()) {
      if (!timedOut) return 0;
      *key = PlainKey(0x1B);
      return 1;
    }
    std::string parameters = s.substr(2, end - 2);
    char final = s[end];
    int first = std::atoi(parameters.c_str());
    size_t semicolon = parameters.find(';');
    DWORD modifiers = semicolon == std::string::npos
                          ? 0
                          : ModifiersOf(std::atoi(parameters.c_str() + semicolon + 1));
    static const char kFinals[] = "ABCDHFPQRS";
    static const WORD kKeys[] = {kUp,  kDown, kRight,  kLeft,   kHome,
                                 kEnd, kF1,   kF1 + 1, kF1 + 2, kF1 + 3};
    if (const char* f = std::strchr(kFinals, final); f && *f) {
      key->vk = kKeys[f - kFinals];
    } else if (final == 'Z') {
      key->vk = kTab;
      modifiers |= SHIFT_PRESSED;
    } else if (final == '~') {
      static const std::map<int, WORD> kTilde = {
          {1, kHome},    {7, kHome},    {2, kInsert},  {3, kDelete},   {4, kEnd},
          {8, kEnd},     {5, kPrior},   {6, kNext},    {11, kF1},      {12, kF1 + 1},
          {13, kF1 + 2}, {14, kF1 + 3}, {15, kF1 + 4}, {17, kF1 + 5},  {18, kF1 + 6},
          {19, kF1 + 7}, {20, kF1 + 8}, {21, kF1 + 9}, {23, kF1 + 10}, {24, kF1 + 11}};
      auto it = kTilde.find(first);
      if (it != kTilde.end()) key->vk = it->second;
    }
    key->modifiers = modifiers;
    return end + 1;
  }
  if (static_cast<unsigned char>(kind) == 0x1B) {
    *key = PlainKey(0x1B);
    return 1;
  }
  *key = PlainKey(static_cast<unsigned char>(kind));  // Alt+key
  key->modifiers |= LEFT_ALT_PRESSED;
  return 2;
}
