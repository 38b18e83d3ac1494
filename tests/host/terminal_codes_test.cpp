// The terminal host's two decoders: the key sequences terminals send, and
// screen rows where the plug-in's OEM frames meet UTF-8 file names.
#include "terminal_codes.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

namespace {

constexpr WORD kTab = 0x09, kUp = 0x26, kDown = 0x28, kDelete = 0x2E, kF1 = 0x70;

TEST(TerminalKeysTest, SequencesBecomeKeyRecords) {
  const struct {
    const char* bytes;
    WORD vk;
    unsigned char ch;
    DWORD modifiers;
  } table[] = {
      {"\x1b[A", kUp, 0, 0},
      {"\x1bOB", kDown, 0, 0},
      {"\x1b[1;5B", kDown, 0, LEFT_CTRL_PRESSED},
      {"\x1b[1;3B", kDown, 0, LEFT_ALT_PRESSED},
      {"\x1b[3~", kDelete, 0, 0},
      {"\x1bOP", kF1, 0, 0},
      {"\x1b[15~", VK_F5, 0, 0},
      {"\x1b[17;6~", VK_F6, 0, LEFT_CTRL_PRESSED | SHIFT_PRESSED},
      {"\x1b[Z", kTab, 0, SHIFT_PRESSED},
      {"\x1bs", 'S', 's', LEFT_ALT_PRESSED},
      {"\r", VK_RETURN, '\r', 0},
      {"\x03", VK_ESCAPE, 0x1b, 0},
      {"Q", 'Q', 'Q', SHIFT_PRESSED},
      {"\xc3", 0, 0xc3, 0},  // one byte of a UTF-8 character, as typed
  };
  for (const auto& row : table) {
    SCOPED_TRACE(testing::PrintToString(std::string(row.bytes)));
    std::string bytes = std::string(row.bytes) + "x";  // the next key must stay
    TerminalKey key;
    EXPECT_EQ(DecodeKey(bytes, false, &key), bytes.size() - 1);
    EXPECT_EQ(key.vk, row.vk);
    EXPECT_EQ(key.ch, row.ch);
    EXPECT_EQ(key.modifiers, row.modifiers);
  }
}

TEST(TerminalKeysTest, LoneEscWaitsForTheRestOfASequence) {
  TerminalKey key;
  EXPECT_EQ(DecodeKey("\x1b", false, &key), 0u);
  EXPECT_EQ(DecodeKey("\x1b[1;", false, &key), 0u);
  ASSERT_EQ(DecodeKey("\x1b", true, &key), 1u);
  EXPECT_EQ(key.vk, VK_ESCAPE);
  // Two Escs are two keys, not Alt+Esc.
  ASSERT_EQ(DecodeKey("\x1b\x1b", false, &key), 1u);
  EXPECT_EQ(key.vk, VK_ESCAPE);
}

class ScreenRowTest : public testing::Test {
 protected:
  // Character widths come from the locale, as in the host on a UTF-8 terminal.
  static void SetUpTestSuite() { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }
};

std::vector<CHAR_INFO> Cells(const std::string& bytes, WORD attributes = 0x07) {
  std::vector<CHAR_INFO> cells(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    cells[i].Char.AsciiChar = bytes[i];
    cells[i].Attributes = attributes;
  }
  return cells;
}

std::wstring Shown(const std::string& bytes) {
  std::vector<Glyph> row;
  std::vector<int> columns;
  DecodeRow(Cells(bytes), &row, &columns);
  std::wstring out;
  for (const Glyph& g : row)
    if (!g.covered) out += g.c;
  return out;
}

TEST_F(ScreenRowTest, FramesBarsAndNamesEachLookRight) {
  const struct {
    const char* bytes;
    const wchar_t* shown;
  } table[] = {
      // A separator ends in "\xC4\xB6", a valid UTF-8 pair.
      {"\xC7\xC4\xC4\xC4\xB6", L"╟───╢"},
      // A bar starting with one filled cell: "\xDB\xB0" is valid UTF-8 too.
      {"\xDB\xB0\xB0\xB0", L"█░░░"},
      {"\xDB\xDB\xB0", L"██░"},
      // Names right after a frame, in Latin and Cyrillic letters (whose
      // bytes are box bytes in the OEM page); the columns saved come back
      // before the next frame.
      {"\xBA\xC3\x9C"
       "ber\xBA",
       L"║Über ║"},
      {"\xBA\xD0\xB0\xD0\xB1  \xBA", L"║аб    ║"},
      {"\xBA\xE6\x97\xA5.txt \xBA", L"║日.txt  ║"},
      // A stray byte is an OEM character, not half a name.
      {"a\xC3 b", L"a├ b"},
      // Bytes the Linux layer escaped in a name show as on disk, a control
      // byte as '?'; the column saved comes back at the frame.
      {"\xBA" "a\xFF\xBA" "b\xFF\xAE\xFF\x81\xBA", L"║a:b.?   ║"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.bytes);
    EXPECT_EQ(Shown(row.bytes), row.shown);
  }
}

TEST_F(ScreenRowTest, RowKeepsItsWidthAndCursorFollowsTheText) {
  std::string bytes = "\xBA\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB   \xBA";  // ║файл   ║
  std::vector<Glyph> row;
  std::vector<int> columns;
  DecodeRow(Cells(bytes), &row, &columns);
  ASSERT_EQ(row.size(), bytes.size());
  EXPECT_EQ(row.back().c, L'║');
  // A cursor after the name (cell 9) stands right after the fourth letter.
  EXPECT_EQ(columns[9], 5);
}

}  // namespace
