// What bytes mean on each side of the terminal: the keys it sends, and the
// screen rows the plug-in and the host fill with OEM and UTF-8 bytes.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// A key as a console key record carries it.
struct TerminalKey {
  WORD vk = 0;
  unsigned char ch = 0;
  DWORD modifiers = 0;
};

// The key of one byte (Ctrl+C counts as Esc: it breaks off, as in FAR).
TerminalKey PlainKey(unsigned char c);
// Decodes one key (xterm, tmux and screen sequences) from the front of
// `bytes`; returns the bytes used, or 0 when more must come. A lone Esc
// counts once `timedOut`. An unknown sequence is used up as a key with vk 0.
size_t DecodeKey(const std::string& bytes, bool timedOut, TerminalKey* key);

struct Glyph {
  wchar_t c = L' ';
  WORD attributes = 0x07;
  bool covered = false;  // the second column of a wide character
};

// One row of cells as the user should see it (`row`, one glyph per
// column), and the column each cell lands in (`columnOf`).
void DecodeRow(const std::vector<CHAR_INFO>& cells, std::vector<Glyph>* row,
               std::vector<int>* columnOf);
// The code page of the plug-in's OEM bytes, the language file's: 437
// unless set, or 866. With 866 a run of bytes above 0x7F counts as UTF-8
// (a name) only when all of it is UTF-8.
void SetOemCodePage(int codePage);
// A line for a UTF-8 terminal: with 866, its OEM bytes as UTF-8 (names
// kept); with 437 the plug-in's texts are ASCII and the line stays as it is.
std::string OemToUtf8(const std::string& text);

// The key a hot-key character of the OEM code page is typed with: a letter
// in lower case; with 866 a Cyrillic letter as the Latin letter on its key,
// as FAR takes Alt and a letter in either keyboard layout.
char KeyLetter(unsigned char c);

// A plain ASCII stand-in for a terminal without UTF-8.
wchar_t AsciiGlyph(wchar_t c);
