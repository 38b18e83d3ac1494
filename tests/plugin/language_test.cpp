// Every dialog, menu and question of the plug-in as it shows them, in each
// language it ships with: laid out within its frame and the screen, and
// with no hot key used twice in one of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/lng_file.h"
#include "host/messages.h"
#include "platform/testing.h"
#include "support/files.h"
#include "support/fixture.h"

namespace {

namespace pt = platform::testing;

constexpr const char* kSettings = "Software\\Far\\Plugins\\Quickferry";
constexpr DWORD kShowAmpersand = 0x2000;

// The key a hot key is typed with. FAR takes Alt and a letter in either
// keyboard layout, so a Cyrillic letter (code page 866) and the Latin one
// on the same key are one hot key.
char KeyOf(unsigned char c) {
  static const char kCyrillicKeys[] = "f,dult;pbqrkvyjghcnea[wxio]sm'.z";  // а to я
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (c >= 0x80 && c <= 0x9F) return kCyrillicKeys[c - 0x80];       // А to Я
  if (c >= 0xA0 && c <= 0xAF) return kCyrillicKeys[c - 0xA0];       // а to п
  if (c >= 0xE0 && c <= 0xEF) return kCyrillicKeys[c - 0xE0 + 16];  // р to я
  if (c == 0xF0 || c == 0xF1) return '`';                           // Ё ё
  return static_cast<char>(c);
}

// The character after the single '&' of a text, or 0.
unsigned char HotKeyOf(const char* text) {
  for (const char* p = text; *p; ++p)
    if (*p == '&') {
      if (p[1] == '&') {
        ++p;
        continue;
      }
      return static_cast<unsigned char>(p[1]);
    }
  return 0;
}

// Columns a text takes: its '&' marks are not shown.
int Shown(const char* text, bool literal) {
  int n = 0;
  for (const char* p = text; *p; ++p, ++n)
    if (*p == '&' && !literal && p[1]) ++p;  // "&x" shows x, "&&" one '&'
  return n;
}

void ExpectUniqueHotKeys(const std::vector<const char*>& texts, const std::string& where) {
  std::map<char, std::string> seen;
  for (const char* text : texts) {
    unsigned char hot = HotKeyOf(text);
    if (hot == 0 || hot == ' ') continue;
    auto [it, fresh] = seen.emplace(KeyOf(hot), text);
    EXPECT_TRUE(fresh) << where << ": \"" << text << "\" and \"" << it->second
                       << "\" share a hot key";
  }
}

// Where an item ends on its row (inclusive), as FAR draws it.
int LastColumn(const DialogItem& item) {
  bool literal = item.Flags & kShowAmpersand;
  int text = Shown(item.Data, literal);
  switch (item.Type) {
    case ItemCheckBox:
    case ItemRadioButton:
      return item.X1 + 4 + text - 1;  // "[x] " / "( ) "
    case ItemButton:
      return item.X1 + text + 3;  // "[ " and " ]"
    case ItemEdit:
      return item.X2 + ((item.Flags & ItemFlagHistory) ? 1 : 0);  // the history arrow
    default:
      return item.X1 + text - 1;
  }
}

void ExpectLaidOut(const ScriptedHost::DialogCall& call, const std::string& language) {
  std::string where = language + " " + call.helpTopic;
  SCOPED_TRACE(where);
  EXPECT_LE(call.width, 80);
  EXPECT_LE(call.height, 25);
  ASSERT_FALSE(call.items.empty());
  const DialogItem& box = call.items[0];
  ASSERT_EQ(box.Type, ItemDoubleBox);
  EXPECT_GE(box.X1, 0);
  EXPECT_LT(box.X2, call.width);
  EXPECT_LT(box.Y2, call.height);
  EXPECT_LE(Shown(box.Data, true) + 2, box.X2 - box.X1 - 1) << "the title fits the frame";

  std::map<int, std::vector<const DialogItem*>> rows;
  std::map<int, int> groupWidth;  // centred buttons: the host lines them up
  std::vector<const char*> texts;
  for (size_t i = 1; i < call.items.size(); ++i) {
    const DialogItem& item = call.items[i];
    if (!(item.Flags & kShowAmpersand)) texts.push_back(item.Data);
    if ((item.Flags & ItemFlagSeparator) == ItemFlagSeparator) continue;
    EXPECT_GT(item.Y1, box.Y1) << item.Data;
    EXPECT_LT(item.Y1, box.Y2) << item.Data;
    if (item.Type == ItemButton && (item.Flags & ItemFlagCenterGroup)) {
      int& width = groupWidth[item.Y1];
      width += (width ? 1 : 0) + Shown(item.Data, false) + 4;
      continue;
    }
    EXPECT_GT(item.X1, box.X1 + 1) << item.Data;
    EXPECT_LT(LastColumn(item), box.X2 - (item.Type == ItemEdit ? 0 : 1))
        << "\"" << item.Data << "\" touches the frame";
    rows[item.Y1].push_back(&item);
  }
  // A blank between the frame and the buttons on each side.
  for (const auto& [row, width] : groupWidth)
    EXPECT_LE(width, box.X2 - box.X1 - 3) << "the buttons of row " << row;
  for (auto& [row, items] : rows) {
    std::sort(items.begin(), items.end(),
              [](const DialogItem* a, const DialogItem* b) { return a->X1 < b->X1; });
    for (size_t i = 1; i < items.size(); ++i)
      EXPECT_LT(LastColumn(*items[i - 1]), items[i]->X1)
          << "\"" << items[i - 1]->Data << "\" runs into \"" << items[i]->Data << "\"";
  }
  ExpectUniqueHotKeys(texts, where);
}

class LanguageTest : public TwoPanelTest, public ::testing::WithParamInterface<const char*> {};

// Opens every dialog: the configuration with its hot-key dialog and About
// box; a copy with the full dialog, the overwrite dialog, its rename dialog
// and, for a file that cannot be read, the error box and the question about
// listing it; the compact copy dialog.
TEST_P(LanguageTest, EveryDialogFitsTheScreenAndHasItsOwnHotKeys) {
  LngFile lng;
  std::string error;
  ASSERT_TRUE(
      LoadLngFile(std::string(QUICKFERRY_LANG_DIR) + "/" + GetParam(), MessageCount, &lng, &error))
      << error;
  host->messages = lng.messages;
  SetRegistryDword(kSettings, "NtfsOpts", 1);
  enum { ConfigHotkeys = 23, ConfigAbout = 24, FullStart = 26, OverwriteSkip = 12, Rename = 14 };
  auto answers = [&](std::initializer_list<int> results) {
    for (int result : results) host->dialogAnswers.push_back({result, nullptr});
  };
  answers({ConfigHotkeys, -1, ConfigAbout, -1, -1});
  plugin.Configure(0);

  WriteFile(src / "a.txt", "new");
  WriteFile(dst / "a.txt", "old");
  WriteFile(src / "b.txt", "unreadable");
  host->active.Add("a.txt").Add("b.txt").Select("a.txt").Select("b.txt");
  pt::ArmFault("ReadFile", "*\\src\\b.txt", 1, ERROR_CRC);
  host->menuAnswers = {0};
  answers({FullStart, Rename, -1, OverwriteSkip});
  host->messageAnswers = {1, 1};  // Skip the unreadable file, do not list it
  plugin.OpenPlugin(0, 0);
  pt::ResetFaults();

  SetRegistryDword(kSettings, "NtfsOpts", 0);
  host->menuAnswers = {0};
  answers({-1});
  plugin.OpenPlugin(0, 0);

  std::multiset<std::string> topics;
  for (const auto& call : host->dialogCalls) {
    topics.insert(call.helpTopic);
    ExpectLaidOut(call, GetParam());
  }
  EXPECT_EQ(topics,
            (std::multiset<std::string>{"Config", "Hotkeys", "Config", "About", "Config", "Main",
                                        "Overwrite", "Rename", "Overwrite", "Main"}));
  EXPECT_EQ(host->dialogCalls[5].items.size(), 29u) << "the full copy dialog";
  EXPECT_EQ(host->dialogCalls.back().items.size(), 18u) << "the compact copy dialog";

  ASSERT_EQ(host->menuCalls.size(), 2u);
  const auto& menu = host->menuCalls[0];
  std::vector<const char*> lines;
  for (const MenuItem& item : menu.items) {
    lines.push_back(item.Text);
    EXPECT_LE(Shown(item.Text, false) + 6, 80) << item.Text;
  }
  ExpectUniqueHotKeys(lines, std::string(GetParam()) + " menu");
  for (size_t i = 0; i < menu.items.size(); ++i)
    EXPECT_EQ(HotKeyOf(menu.items[i].Text), '1' + i) << "the key macros pick items by digit";

  ASSERT_EQ(host->messageCalls.size(), 2u);
  for (const auto& message : host->messageCalls) {
    std::vector<const char*> buttons;
    for (size_t i = message.lines.size() - message.buttons; i < message.lines.size(); ++i)
      buttons.push_back(message.lines[i].c_str());
    ASSERT_EQ(buttons.size(), 2u);
    ExpectUniqueHotKeys(buttons, std::string(GetParam()) + " " + message.lines[0]);
  }
}

INSTANTIATE_TEST_SUITE_P(Shipped, LanguageTest,
                         ::testing::Values("QuickferryEng.lng", "QuickferryRus.lng"),
                         [](const auto& info) { return std::string(info.param).substr(10, 3); });

}  // namespace
