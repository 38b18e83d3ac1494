// The terminal host's two decoders: the key sequences terminals send, and
// screen rows where the plug-in's OEM frames meet UTF-8 file names.
#include "terminal_codes.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "common/hlf_file.h"
#include "common/lng_file.h"

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
      // A box drawn over frames: its edge, then the frames' ends (each a
      // valid UTF-8 pair), at the row's end or before the next panel.
      {"\xBA\xC4\xB6", L"║─╢"},
      {"\xBA\xCD\xBC\xC8\xCD", L"║═╝╚═"},
      {"\xBA\xC4\xB6\xC7\xC4", L"║─╢╟─"},
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

// The Russian language file's code page: Cyrillic letters where 437 has
// accents and Greek, and UTF-8 names beside them.
class Cp866RowTest : public ScreenRowTest {
 protected:
  void SetUp() override { SetOemCodePage(866); }
  void TearDown() override { SetOemCodePage(437); }
};

TEST_F(Cp866RowTest, CyrillicTextNamesAndFramesEachLookRight) {
  const struct {
    const char* bytes;
    const wchar_t* shown;
  } table[] = {
      // "\xE2\xA2\xAE" at the end of the word reads as UTF-8 on its own,
      // "только" all through.
      {"\xBA\x8A\xAE\xAB\xA8\xE7\xA5\xE1\xE2\xA2\xAE \xBA", L"║Количество ║"},
      {"\xE2\xAE\xAB\xEC\xAA\xAE \xE3\xA6\xA5", L"только уже"},
      // Names: Cyrillic, and CJK with a byte that no Russian word has.
      {"\xD1\x84\xD0\xB0 \xE4\xB8\xAD\xE6\x96\x87", L"фа 中文    "},
      {"\xF0\xF1 \xFC", L"Ёё №"},
      // A name right after a frame, and one inside a Cyrillic line: the
      // columns it saves come back at the next gap, not at a letter.
      {"\xBA\xC3\x9C"
       "ber\xBA",
       L"║Über ║"},
      {"\x8A\xAE\xAF\xA8\xE0\xAE\xA2\xA0\xE2\xEC \xD1\x84\xD0\xB0.txt \xA2:  \xBA",
       L"Копировать фа.txt в:    ║"},
      {"\xDB\xB0\xB0\xB0", L"█░░░"},
      {"\xC7\xC4\xC4\xB6", L"╟──╢"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.bytes);
    EXPECT_EQ(Shown(row.bytes), row.shown);
  }
}

TEST_F(Cp866RowTest, LinesForTheTerminalBecomeUtf8ButNamesStay) {
  EXPECT_EQ(OemToUtf8("\x8A\xAE\xAF\xA8\xEF: \xD1\x84\xD0\xB0 \xFC"), "Копия: фа №");
  SetOemCodePage(437);
  EXPECT_EQ(OemToUtf8("\x8A\xD1\x84"), "\x8A\xD1\x84") << "437: left as it is";
}

// Every byte of the Russian messages and help text shows as its own
// Cyrillic letter: no word of them reads as UTF-8.
TEST_F(Cp866RowTest, EveryRussianMessageAndHelpLineShowsAsWritten) {
  LngFile lng;
  HlfFile hlf;
  std::string error;
  ASSERT_TRUE(LoadLngFile(QUICKFERRY_LANG_DIR "/QuickferryRus.lng", 111, &lng, &error)) << error;
  ASSERT_TRUE(LoadHlfFile(QUICKFERRY_LANG_DIR "/QuickferryRus.hlf", &hlf, &error)) << error;
  std::vector<std::string> lines = lng.messages;
  for (const HlfTopic& topic : hlf.topics) {
    lines.insert(lines.end(), topic.header.begin(), topic.header.end());
    lines.insert(lines.end(), topic.body.begin(), topic.body.end());
  }
  for (const std::string& line : lines) {
    std::vector<Glyph> row;
    std::vector<int> columns;
    DecodeRow(Cells(line), &row, &columns);
    for (size_t x = 0; x < line.size(); ++x)
      if (columns[x] != static_cast<int>(x) || (row[x].c == L'?' && line[x] != '?')) {
        ADD_FAILURE() << "read as UTF-8 at byte " << x << ": " << OemToUtf8(line);
        break;
      }
  }
}

}  // namespace
