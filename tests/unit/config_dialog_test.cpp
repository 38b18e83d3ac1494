// The configuration dialog and the About box under the scripted host.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "platform/testing.h"
#include "settings/config_dialog.h"
#include "settings/macros.h"
#include "settings/settings.h"

namespace {

namespace pt = platform::testing;

// Items of the configuration dialog the tests press or fill.
enum {
  ByPercent = 2, ByKb = 3, Percent = 4, Kb = 5,
  Tune = 21, Hotkeys = 23, About = 24, Ok = 26, Cancel = 27,
};

// Each check box, found by its text.
struct CheckBox {
  const char* option;
  int SettingsRecord::*field;
  int message;
};
constexpr CheckBox kCheckBoxes[] = {
    {"OverwriteDef", &SettingsRecord::OverwriteDef, 21},
    {"CopyStreamsDef", &SettingsRecord::CopyStreamsDef, 22},
    {"AllowParallel", &SettingsRecord::AllowParallel, 23},
    {"ParallelDef", &SettingsRecord::ParallelDef, 24},
    {"CopyDescs", &SettingsRecord::CopyDescs, 25},
    {"ClearROFromCD", &SettingsRecord::ClearROFromCD, 26},
    {"NtfsOpts", &SettingsRecord::NtfsOpts, 27},
    {"ConfirmBreak", &SettingsRecord::ConfirmBreak, 28},
    {"CompleteBeep", &SettingsRecord::CompleteBeep, 29},
    {"HideDescs", &SettingsRecord::HideDescs, 30},
    {"CopyRightsDef", &SettingsRecord::CopyRightsDef, 34},
    {"DescsInDirs", &SettingsRecord::DescsInDirs, 35},
};

// The fifteen options, to compare records.
std::vector<int> Options() {
  std::vector<int> all = {Settings.BufPercent, Settings.BufKb, Settings.BufInKb};
  for (const CheckBox& box : kCheckBoxes) all.push_back(Settings.*box.field);
  return all;
}

class ConfigDialogTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    LoadSettings();
  }
  void TearDown() override {
    pt::RecordSound(false);
    EXPECT_EQ(host->unexpectedCalls, 0) << "the plug-in asked something the test did not script";
    CoreTest::TearDown();
  }
  // The item showing message `id`, or -1.
  int ItemOf(const DialogItem* items, int count, int id) const {
    for (int i = 0; i < count; ++i)
      if (host->messages[id] == items[i].Data) return i;
    return -1;
  }
  void Answer(int result, std::function<void(DialogItem*, int)> edit = nullptr) {
    host->dialogAnswers.push_back({result, std::move(edit)});
  }
};

// Each check box shows its option (any non-zero value is on) and OK stores
// its state there, 0 or 1; the boxes are found by their texts.
TEST_F(ConfigDialogTest, CheckBoxesShowAndStoreTheirOwnOptions) {
  for (const CheckBox& box : kCheckBoxes) {
    SCOPED_TRACE(box.option);
    for (const CheckBox& other : kCheckBoxes) Settings.*other.field = &other == &box ? 7 : 0;
    host->dialogCalls.clear();
    Answer(Ok, [](DialogItem* items, int count) {
      for (int i = 0; i < count; ++i)
        if (items[i].Type == ItemCheckBox) items[i].Selected = !items[i].Selected;
    });
    ShowConfigDialog();
    ASSERT_EQ(host->dialogCalls.size(), 1u);
    const auto& shown = host->dialogCalls[0].items;
    ASSERT_EQ(shown.size(), 28u);
    for (const CheckBox& other : kCheckBoxes) {
      int item = ItemOf(shown.data(), 28, other.message);
      ASSERT_GE(item, 0) << other.option;
      EXPECT_EQ(shown[item].Type, ItemCheckBox) << other.option;
      EXPECT_EQ(shown[item].Selected, &other == &box ? 1 : 0) << other.option;
      EXPECT_EQ(Settings.*other.field, &other == &box ? 0 : 1) << other.option;
    }
  }
}

TEST_F(ConfigDialogTest, BufferLineShowsAndStoresTheSettings) {
  Settings.BufInKb = 1;
  Settings.BufPercent = 33;
  Settings.BufKb = -12;
  Answer(Ok, [](DialogItem* items, int) {
    items[ByPercent].Selected = 1;
    items[ByKb].Selected = 0;
  });
  ShowConfigDialog();
  ASSERT_EQ(host->dialogCalls.size(), 1u);
  const auto& shown = host->dialogCalls[0].items;
  EXPECT_EQ(host->dialogCalls[0].helpTopic, "Config");
  EXPECT_EQ(shown[ByPercent].Selected, 0);
  EXPECT_EQ(shown[ByKb].Selected, 1);
  EXPECT_STREQ(shown[Percent].Data, "33");
  EXPECT_STREQ(shown[Kb].Data, "-12");
  EXPECT_EQ(Settings.BufInKb, 0);
  EXPECT_EQ(Settings.BufPercent, 33);
  EXPECT_EQ(Settings.BufKb, -12);
}

TEST_F(ConfigDialogTest, NumbersAreReadAsAtoiReadsThemButStopAtTheIntLimits) {
  struct Case {
    std::string text;
    int value;
  } cases[] = {
      {"", 0},
      {"-5", -5},
      {"12abc", 12},
      {"  +7", 7},
      {"\t 42 ", 42},
      {"abc", 0},
      {"+-3", 0},
      {"- 5", 0},
      {"0007", 7},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN},
      {std::string(600, '9'), INT_MAX},  // more than the field holds: no terminator within it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    Settings.BufPercent = Settings.BufKb = 1234;
    Answer(Ok, [&c](DialogItem* items, int) {
      for (int item : {Percent, Kb}) {
        size_t length = std::min(c.text.size(), sizeof items[item].Data);
        std::memset(items[item].Data, 0, sizeof items[item].Data);
        std::memcpy(items[item].Data, c.text.data(), length);
      }
    });
    ShowConfigDialog();
    EXPECT_EQ(Settings.BufPercent, c.value);
    EXPECT_EQ(Settings.BufKb, c.value);
  }
}

TEST_F(ConfigDialogTest, EditFieldsSitRightBehindTheirLabels) {
  struct Case {
    std::string percentLabel, kbLabel;
    int percentX1, kbRadioX1, kbX1;
  } cases[] = {
      {"&Percent of RAM", "In &KB", 24, 31, 41},
      {"", "", 9, 16, 20},
      {"P", "Kilobytes", 10, 17, 30},
      {std::string(40, 'p'), std::string(30, 'k'), 49, 56, 90},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.percentLabel + "|" + c.kbLabel);
    host->messages[19] = c.percentLabel;
    host->messages[20] = c.kbLabel;
    LoadMessages();
    host->dialogCalls.clear();
    Answer(-1);
    ShowConfigDialog();
    ASSERT_EQ(host->dialogCalls.size(), 1u);
    const auto& items = host->dialogCalls[0].items;
    EXPECT_EQ(items[ByPercent].X1, 5);
    EXPECT_EQ(items[Percent].X1, c.percentX1);
    EXPECT_EQ(items[Percent].X2, c.percentX1 + 4);
    EXPECT_EQ(items[ByKb].X1, c.kbRadioX1);
    EXPECT_EQ(items[Kb].X1, c.kbX1);
    EXPECT_EQ(items[Kb].X2, c.kbX1 + 4);
    for (int item : {ByPercent, ByKb, Percent, Kb}) EXPECT_EQ(items[item].Y1, 3) << item;
  }
}

// The user changes things, visits the hot-key dialog (binding the keys) and
// the About box, and finally cancels: the options stay, the binding stays.
TEST_F(ConfigDialogTest, CancelAfterSideTripsLeavesEveryOptionAsItWas) {
  Settings.BufPercent = 20;
  Settings.CopyDescs = 1;
  const std::vector<int> before = Options();
  auto change = [](DialogItem* items, int) {
    std::strcpy(items[Percent].Data, "77");
    items[ByKb].Selected = 1;
    items[ByPercent].Selected = 0;
    for (int i = 7; i <= 20; ++i)
      if (items[i].Type == ItemCheckBox) items[i].Selected = !items[i].Selected;
  };
  Answer(Hotkeys, change);
  Answer(8, [](DialogItem* items, int) {  // hot-key dialog: bind, Ctrl+Shift
    items[1].Selected = 1;
    items[4].Selected = 0;
    items[5].Selected = 1;
  });
  Answer(About);
  Answer(8);  // About box
  Answer(Hotkeys);
  Answer(-1);  // hot-key dialog: Esc
  Answer(Cancel);

  ShowConfigDialog();

  EXPECT_EQ(Options(), before);
  std::vector<std::string> topics;
  for (const auto& call : host->dialogCalls) topics.push_back(call.helpTopic);
  EXPECT_EQ(topics, (std::vector<std::string>{"Config", "Hotkeys", "Config", "About", "Config",
                                              "Hotkeys", "Config"}));
  // The dialog came back each time with the user's unconfirmed changes.
  for (size_t i : {2u, 4u, 6u}) {
    EXPECT_STREQ(host->dialogCalls[i].items[Percent].Data, "77") << i;
    EXPECT_EQ(host->dialogCalls[i].items[ByKb].Selected, 1) << i;
  }
  EXPECT_EQ(ParkedModifiers(), 24u);
  EXPECT_EQ(IsOwnMacro("F5"), 1);
}

TEST_F(ConfigDialogTest, TuneButtonPlaysTheTunesInTurn) {
  pt::RecordSound(true);
  std::vector<int> eventsAtCall;
  auto mark = [&eventsAtCall](DialogItem*, int) { eventsAtCall.push_back(pt::SoundEventCount()); };
  Answer(Tune, mark);
  Answer(Tune, mark);
  Answer(About, mark);
  Answer(8);
  Answer(Hotkeys, mark);
  Answer(-1);
  Answer(Tune, mark);
  Answer(Tune, mark);
  Answer(-1, mark);

  ShowConfigDialog();

  // Each press starts a tune where the previous call left off: the first
  // tone of tune 1 is 440 Hz, of tune 2 523 Hz, of tune 3 587 Hz.
  const std::vector<int> starts = {eventsAtCall[0], eventsAtCall[1], eventsAtCall[4],
                                   eventsAtCall[5]};
  const std::vector<DWORD> expected = {440, 523, 587, 440};
  for (size_t i = 0; i < starts.size(); ++i) {
    SCOPED_TRACE(i);
    pt::SoundEvent first = pt::SoundEventAt(starts[i]);
    EXPECT_EQ(first.kind, pt::SoundEvent::Tone);
    EXPECT_EQ(first.first, expected[i]);
  }
  // Nothing sounds outside the presses; each tune is longer than the last.
  EXPECT_EQ(eventsAtCall[0], 0);
  EXPECT_EQ(eventsAtCall[2], eventsAtCall[3]);
  EXPECT_EQ(eventsAtCall[3], eventsAtCall[4]);
  EXPECT_LT(eventsAtCall[1] - eventsAtCall[0], eventsAtCall[2] - eventsAtCall[1]);
  EXPECT_LT(eventsAtCall[2] - eventsAtCall[1], eventsAtCall[5] - eventsAtCall[4]);
  EXPECT_EQ(eventsAtCall[6] - eventsAtCall[5], eventsAtCall[1] - eventsAtCall[0]);
}

TEST_F(ConfigDialogTest, AboutBoxShowsTheVersionAndKeepsAmpersandsInItsTexts) {
  Answer(About);
  Answer(-1);
  Answer(-1);
  ShowConfigDialog();
  ASSERT_EQ(host->dialogCalls.size(), 3u);
  const auto& about = host->dialogCalls[1];
  EXPECT_EQ(about.helpTopic, "About");
  EXPECT_EQ(about.width, 43);
  EXPECT_EQ(about.height, 12);
  ASSERT_EQ(about.items.size(), 9u);
  EXPECT_STREQ(about.items[1].Data, "Version 1.34, Sep  1 2001");
  for (int id = 14; id <= 17; ++id) EXPECT_GE(ItemOf(about.items.data(), 9, id), 0) << id;
  // The first two texts say "Copy & move" and the like: the '&' is shown,
  // not taken as a hot-key mark.
  for (int id : {14, 15}) {
    SCOPED_TRACE(id);
    int item = ItemOf(about.items.data(), 9, id);
    ASSERT_GE(item, 0);
    EXPECT_EQ(about.items[item].Flags, 0x2000u);
  }
}

}  // namespace
