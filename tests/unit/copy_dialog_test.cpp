// The copy dialog under the scripted host: layout, forms, destination
// resolution and the volume questions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/run_state.h"
#include "core_fixture.h"
#include "paths/paths.h"
#include "platform/testing.h"
#include "run/copy_dialog.h"
#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

enum {
  Destination = 2, Parallel = 4, OnlyNewer = 5, ListNotCopied = 6,
  Ask = 9, Overwrite = 10, Skip = 11, Append = 12, Rename = 13,
  Rights = 15, Streams = 16, CompressOff = 18, CompressOn = 19, CompressLeave = 20,
  EncryptOff = 22, EncryptOn = 23, EncryptLeave = 24, Start = 26, Cancel = 27,
  CompactStart = 15, CompactCancel = 16, CompactConfigure = 17,
};

void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
  ::SetEnvironmentVariableA(name, value);
#else
  if (value)
    ::setenv(name, value, 1);
  else
    ::unsetenv(name);
#endif
}

std::string CurrentDirectory() {
  char buffer[512] = "";
  platform::GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

// Selects an item as the user would: a radio button clears its group.
void Choose(DialogItem* items, int count, int item) {
  if (items[item].Type == ItemRadioButton) {
    for (int i = item - 1; i >= 0 && items[i].Type == ItemRadioButton; --i) items[i].Selected = 0;
    for (int i = item + 1; i < count && items[i].Type == ItemRadioButton; ++i)
      items[i].Selected = 0;
  }
  items[item].Selected = 1;
}

// Linux: D: is the test's folder. Windows: the test's folder on its drive.
class CopyDialogTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    savedDirectory = CurrentDirectory();
#ifdef _WIN32
    root = dir.string() + "\\";
#else
    root = "D:\\";
    ASSERT_TRUE(pt::MapDrive('D', pt::DriveKind::Fixed, dir.string().c_str()));
#endif
    for (const char* folder : {"src", "out", "elsewhere"}) fs::create_directories(dir / folder);
    source = root + "src";
    LoadSettings();
    Settings.IsNT = 1;
    Settings.NtfsOpts = 1;
    Settings.AllowParallel = 0;
    Settings.OverwriteDef = Settings.CopyStreamsDef = Settings.CopyRightsDef = 0;
  }
  void TearDown() override {
    EXPECT_EQ(host->unexpectedCalls, 0) << "the plug-in asked something the test did not script";
    platform::SetCurrentDirectoryA(savedDirectory.c_str());
#ifndef _WIN32
    pt::ResetDrives();
#endif
    CoreTest::TearDown();
  }
  void Answer(int result, std::function<void(DialogItem*, int)> edit = nullptr) {
    host->dialogAnswers.push_back({result, std::move(edit)});
  }
  // Types `text` into the destination (without a terminator when it fills
  // the field), chooses `items`, and closes with `result`.
  void Type(int result, std::string text, std::vector<int> chosen = {}) {
    Answer(result, [text, chosen](DialogItem* items, int count) {
      std::memset(items[Destination].Data, 0, sizeof items[Destination].Data);
      std::memcpy(items[Destination].Data, text.data(),
                  std::min(text.size(), sizeof items[Destination].Data));
      for (int item : chosen) Choose(items, count, item);
    });
  }
  int Run(const std::string& defaultDestination = "", int passiveIsPlugin = 0, int isMove = 0) {
    RunOptions = {9, 9, 9, 9, 9, 9, 9, 9};
    struct {
      char out[512];
      char guard[16];
    } buffer;
    std::memset(&buffer, 0x5A, sizeof buffer);
    int result = RunCopyDialog(isMove, "Copy a.txt to:", defaultDestination.c_str(),
                               source.c_str(), passiveIsPlugin, buffer.out);
    for (char c : buffer.guard) EXPECT_EQ(c, 0x5A) << "written past the destination";
    destination = std::string(buffer.out, strnlen(buffer.out, sizeof buffer.out));
    return result;
  }
  std::vector<std::string> Questions() const {
    std::vector<std::string> texts;
    for (const auto& call : host->messageCalls) texts.push_back(call.lines.at(1));
    return texts;
  }
  std::vector<std::string> Texts(const std::vector<int>& ids) const {
    std::vector<std::string> texts;
    for (int id : ids) texts.push_back(host->messages[id]);
    return texts;
  }

  using Ids = std::vector<int>;
  struct VolumeCase {
    const char* what;
    std::string typed, resolved;
    bool compact;
    Ids chosen, asked, answers;  // answers: 0 go on, 1 back to the dialog
    bool noVolume;
    int result, compression, encryption, streams, rights;
  };
  void RunVolumeCases(const std::vector<VolumeCase>& cases) {
    for (const VolumeCase& c : cases) {
      SCOPED_TRACE(c.what);
      pt::ResetFaults();
      if (c.noVolume)
        pt::ArmFault("GetVolumeInformationA", "*", 1, ERROR_PATH_NOT_FOUND, pt::Repeat::FromThenOn);
      Settings.NtfsOpts = !c.compact;
      Settings.CopyStreamsDef = Settings.CopyRightsDef = c.compact;
      host->dialogCalls.clear();
      host->messageCalls.clear();
      host->messageAnswers.assign(c.answers.begin(), c.answers.end());
      Type(c.compact ? CompactStart : Start, c.typed, c.chosen);
      if (c.result == DialogCancelled) Answer(Cancel);
      EXPECT_EQ(Run(), c.result);
      EXPECT_EQ(Questions(), Texts(c.asked));
      EXPECT_EQ(destination, c.result == DialogGoOn ? c.resolved : "");
      EXPECT_EQ(RunOptions.CompressionMode, c.compression);
      EXPECT_EQ(RunOptions.EncryptionMode, c.encryption);
      EXPECT_EQ(RunOptions.CopyStreams, c.streams);
      EXPECT_EQ(RunOptions.CopyAccessRights, c.rights);
      if (c.result == DialogCancelled) {  // back with the resolved destination, the rest anew
        ASSERT_EQ(host->dialogCalls.size(), 2u);
        const auto& again = host->dialogCalls[1].items;
        EXPECT_EQ(again[Destination].Data, c.resolved);
        EXPECT_EQ(again[CompressOn].Selected + again[Streams].Selected, 0);
        EXPECT_EQ(again[CompressLeave].Selected, 1);
      }
    }
    pt::ResetFaults();
  }

  std::string savedDirectory, root, source, destination;
};

TEST_F(CopyDialogTest, RowsAreLaidOutFromTheTextLengths) {
  struct Case {
    const char* what;
    std::vector<std::pair<int, std::string>> texts;  // message id, text
    std::vector<std::pair<int, int>> x1;             // item, X1
  } cases[] = {
      {"short",
       {{57, "Par"}, {63, "Existing: "}, {64, "Ask"}, {66, "Skip"}, {67, "Append"},
        {55, "Rights"}, {58, "Compr: "}, {60, "Off"}, {61, "On"}, {59, "Encryption: "}},
       {{5, 13}, {9, 15}, {10, 22}, {11, 15}, {12, 23}, {13, 33},
        {16, 16}, {18, 12}, {19, 21}, {20, 29}, {22, 17}, {23, 26}, {24, 34}}},
      {"empty",
       {{57, ""}, {63, ""}, {64, ""}, {66, ""}, {67, ""}, {55, ""}, {58, ""}, {60, ""},
        {61, ""}, {59, ""}},
       {{5, 10}, {9, 5}, {10, 9}, {11, 5}, {12, 9}, {13, 13},
        {16, 10}, {18, 5}, {19, 11}, {20, 17}, {22, 5}, {23, 11}, {24, 17}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& [id, text] : c.texts) host->messages[id] = text;
    LoadMessages();
    host->dialogCalls.clear();
    Answer(-1);
    EXPECT_EQ(Run(), DialogCancelled);
    ASSERT_EQ(host->dialogCalls.size(), 1u);
    const auto& items = host->dialogCalls[0].items;
    for (const auto& [item, x1] : c.x1) EXPECT_EQ(items[item].X1, x1) << "item " << item;
  }
}

TEST_F(CopyDialogTest, FullFormOnlyOnNtWithNtfsOptions) {
  const int caps = GetVolumeCaps((root + "out\\").c_str());
  ASSERT_NE(caps, -1);
  Settings.CopyRightsDef = Settings.CopyStreamsDef = Settings.OverwriteDef = 1;
  struct Case {
    int isNT, ntfsOpts;
    bool full;
  } cases[] = {{1, 1, true}, {1, 0, false}, {0, 1, false}, {0, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "IsNT " << c.isNT << " NtfsOpts " << c.ntfsOpts);
    Settings.IsNT = c.isNT;
    Settings.NtfsOpts = c.ntfsOpts;
    host->dialogCalls.clear();
    // The full form's streams and rights are cleared, so no volume asks.
    Answer(c.full ? Start : CompactStart, [](DialogItem* items, int) {
      items[Rights].Selected = items[Streams].Selected = 0;
    });
    EXPECT_EQ(Run(root + "out\\"), DialogGoOn);
    EXPECT_EQ(destination, root + "out\\");
    EXPECT_TRUE(host->messageCalls.empty());

    ASSERT_EQ(host->dialogCalls.size(), 1u);
    const auto& call = host->dialogCalls[0];
    const auto& items = call.items;
    EXPECT_EQ(call.helpTopic, "Main");
    EXPECT_EQ(call.width, 71);
    EXPECT_EQ(call.height, c.full ? 18 : 14);
    ASSERT_EQ(items.size(), c.full ? 29u : 18u);
    EXPECT_EQ(items[0].Y2, c.full ? 16 : 12);
    EXPECT_EQ(items[0].Data, host->messages[73]);
    EXPECT_STREQ(items[1].Data, "Copy a.txt to:");
    EXPECT_EQ(items[Destination].Data, root + "out\\");
    EXPECT_STREQ(items[Destination].History, "Copy");
    EXPECT_EQ(items[Destination].Focus, 1);
    EXPECT_EQ(items[Ask].Selected, 0);
    EXPECT_EQ(items[Overwrite].Selected, 1);
    EXPECT_EQ(items[OnlyNewer].Selected + items[ListNotCopied].Selected, 0);
    if (c.full) {
      EXPECT_EQ(items[Rights].Selected, 1);
      EXPECT_EQ(items[Streams].Selected, 1);
      EXPECT_EQ(items[CompressLeave].Selected, 1);
      EXPECT_EQ(items[EncryptLeave].Selected, 1);
      EXPECT_EQ(RunOptions.CopyStreams + RunOptions.CopyAccessRights, 0);
    } else {
      const int buttonTexts[] = {71, 11, 72};
      for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[15 + i].Type, ItemButton);
        EXPECT_EQ(items[15 + i].Data, host->messages[buttonTexts[i]]);
        EXPECT_EQ(items[15 + i].Y1, 11);
        EXPECT_EQ(items[15 + i].Flags, ItemFlagCenterGroup);
        EXPECT_EQ(items[15 + i].DefaultButton, i == 0 ? 1 : 0);
      }
      // The defaults, silently dropped where the volume lacks them.
      EXPECT_EQ(RunOptions.CopyStreams, c.isNT && (caps & CapsNamedStreams) ? 1 : 0);
      EXPECT_EQ(RunOptions.CopyAccessRights, c.isNT && (caps & CapsAccessRights) ? 1 : 0);
    }
    EXPECT_EQ(RunOptions.CompressionMode, ModeLeave);
    EXPECT_EQ(RunOptions.EncryptionMode, ModeLeave);
    EXPECT_EQ(RunOptions.OverwriteMode, OverwriteAll);

    Answer(c.full ? Cancel : CompactCancel);
    EXPECT_EQ(Run(root + "out\\"), DialogCancelled);
    EXPECT_EQ(destination, "");
    Answer(-1);
    EXPECT_EQ(Run(root + "out\\"), DialogCancelled);
  }
}

TEST_F(CopyDialogTest, ConfigurationButtonSavesAndShowsTheFormTheSettingsAskFor) {
  Settings.NtfsOpts = 0;
  Type(CompactConfigure, root + "typed");
  Answer(26, [](DialogItem* items, int) { items[18].Selected = 1; });  // NtfsOpts, OK
  Answer(Cancel);
  EXPECT_EQ(Run(root + "out\\"), DialogCancelled);

  ASSERT_EQ(host->dialogCalls.size(), 3u);
  EXPECT_EQ(host->dialogCalls[0].items.size(), 18u);
  EXPECT_EQ(host->dialogCalls[1].helpTopic, "Config");
  EXPECT_EQ(host->dialogCalls[2].helpTopic, "Main");
  EXPECT_EQ(host->dialogCalls[2].items.size(), 29u);
  EXPECT_EQ(host->dialogCalls[2].items[Destination].Data, root + "typed");
  EXPECT_EQ(RegistryDword(kSettingsKey, "NtfsOpts"), 1u);
}

TEST_F(CopyDialogTest, PluginDestinationGoesToTheHostOnlyTowardsAPluginPanel) {
  Answer(Start);  // Enter at once on the default
  EXPECT_EQ(Run("plugin:", 1), DialogHostPlugin);
  Type(Start, "PLUGIN:");
  EXPECT_EQ(Run(root + "out\\", 1), DialogHostPlugin);
  EXPECT_TRUE(host->messageCalls.empty());

  host->dialogCalls.clear();
  Type(Start, "PLUGIN:");
  Answer(Cancel);
  host->messageAnswers = {0};
  EXPECT_EQ(Run(root + "out\\", 0, 1), DialogCancelled);
  ASSERT_EQ(host->messageCalls.size(), 1u);
  EXPECT_EQ(host->messageCalls[0].flags, static_cast<unsigned>(MessageWarning));
  EXPECT_EQ(host->messageCalls[0].buttons, 1);
  EXPECT_EQ(host->messageCalls[0].lines,
            (std::vector<std::string>{host->messages[74], host->messages[80], "\x01",
                                      host->messages[10]}));
  ASSERT_EQ(host->dialogCalls.size(), 2u);
  EXPECT_EQ(host->dialogCalls[1].items[0].Data, host->messages[74]);
  EXPECT_STREQ(host->dialogCalls[1].items[Destination].Data, "PLUGIN:");
}

TEST_F(CopyDialogTest, DestinationIsResolvedAgainstTheSourceFolder) {
  SetVariable("QF_DIALOG_SUB", "sub");
  std::string slashed = root;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  struct Case {
    std::string typed, expected;
  } cases[] = {
      {slashed + "x/%QF_DIALOG_SUB%", root + "x\\sub"},
      {"..\\out", root + "out"},
      {"../out/", root + "out\\"},
      {".", root + "src"},
      {"new", root + "src\\new"},
  };
  const std::string elsewhere = root + "elsewhere";
  ASSERT_TRUE(platform::SetCurrentDirectoryA(elsewhere.c_str()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Type(Start, c.typed);
    EXPECT_EQ(Run(root + "out\\"), DialogGoOn);
    EXPECT_EQ(destination, c.expected);
    EXPECT_EQ(CurrentDirectory(), elsewhere);
  }
  EXPECT_TRUE(host->messageCalls.empty());
  SetVariable("QF_DIALOG_SUB", nullptr);
}

TEST_F(CopyDialogTest, UnresolvableDestinationWarnsAndComesBackAsTyped) {
  SetVariable("QF_DIALOG_LONG", std::string(600, 'v').c_str());
  struct Case {
    const char* what;
    std::string typed;
    const char* failing;  // the platform call that fails, if any
  } cases[] = {
      {"empty", "", nullptr},
      {"too long once expanded", root + "%QF_DIALOG_LONG%", nullptr},
      {"too long once made full", std::string(505, 'n'), nullptr},
      {"expansion fails", root + "out", "ExpandEnvironmentStringsA"},
      {"source folder cannot be made current", "..\\out", "SetCurrentDirectoryA"},
      {"field without its terminator", std::string(512, 'u'), nullptr},
  };
  const std::string before = CurrentDirectory();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    pt::ResetFaults();
    if (c.failing) pt::ArmFault(c.failing, "*", 1, ERROR_NOT_ENOUGH_MEMORY);
    host->dialogCalls.clear();
    host->messageCalls.clear();
    host->messageAnswers = {0};
    Type(Start, c.typed);
    Answer(Cancel);
    EXPECT_EQ(Run(root + "out\\"), DialogCancelled);
    EXPECT_EQ(Questions(), Texts({80}));
    EXPECT_EQ(host->messageCalls.at(0).buttons, 1);
    ASSERT_EQ(host->dialogCalls.size(), 2u);
    // A text the field could not hold is not taken: the last one comes back.
    EXPECT_EQ(host->dialogCalls[1].items[Destination].Data,
              c.typed.size() < 512 ? c.typed : root + "out\\");
    EXPECT_EQ(CurrentDirectory(), before);
  }
  SetVariable("QF_DIALOG_LONG", nullptr);
}

TEST_F(CopyDialogTest, VolumeQuestionsAndWhatGoingOnDrops) {
  const int caps = GetVolumeCaps((root + "out").c_str());
  ASSERT_NE(caps, -1);
  const bool encrypts = caps & CapsEncryption;
  const std::string out = root + "out";
  // Encrypting sets compression aside, so only encryption may be asked about.
  RunVolumeCases({
      {"encrypt", "..\\out", out, false, {CompressOn, EncryptOn}, encrypts ? Ids{} : Ids{77},
       {0}, false, DialogGoOn, 2, encrypts ? 1 : 2, 0, 0},
      // An unknown volume: one question, and going on ends the checks.
      {"no volume, go on", "..\\out", out, false, {CompressOn, Streams}, {80}, {0}, true,
       DialogGoOn, 1, 2, 1, 0},
      {"no volume, back", "..\\out", out, false, {Streams}, {80}, {1}, true, DialogCancelled, 2,
       2, 1, 0},
  });
}

// Drives of a chosen kind; P: is /proc, a volume that keeps no compression,
// encryption, streams or access rights.
TEST_F(CopyDialogTest, VolumesOfChosenKinds) {
#ifdef _WIN32
  GTEST_SKIP() << "needs drives of a chosen kind, which only the Linux drive table maps";
#else
  ASSERT_TRUE(pt::MapDrive('R', pt::DriveKind::ReadOnly, (dir / "out").c_str()));
  ASSERT_TRUE(pt::MapDrive('S', pt::DriveKind::CdRom, (dir / "out").c_str()));
  ASSERT_TRUE(pt::MapDrive('P', pt::DriveKind::Fixed, "/proc"));
  const std::vector<int> all = {CompressOn, Streams, Rights};
  RunVolumeCases({
      {"read-only, go on", "R:\\", "R:\\", false, {}, {75}, {0}, false, DialogGoOn, 2, 2, 0, 0},
      {"read-only, back", "R:\\", "R:\\", false, {}, {75}, {1}, false, DialogCancelled, 2, 2, 0, 0},
      {"CD-ROM", "S:\\", "S:\\", false, {}, {75}, {0}, false, DialogGoOn, 2, 2, 0, 0},
      {"compress, go on", "P:/", "P:\\", false, {CompressOn}, {76}, {0}, false, DialogGoOn, 2, 2,
       0, 0},
      {"compress, back", "P:/", "P:\\", false, {CompressOn}, {76}, {1}, false, DialogCancelled, 1,
       2, 0, 0},
      {"uncompress", "P:/", "P:\\", false, {CompressOff}, {}, {}, false, DialogGoOn, 0, 2, 0, 0},
      {"in order", "P:/", "P:\\", false, all, {76, 78, 79}, {0, 0, 0}, false, DialogGoOn, 2, 2, 0,
       0},
      {"back at streams", "P:/", "P:\\", false, all, {76, 78}, {0, 1}, false, DialogCancelled, 2,
       2, 1, 1},
      {"compact form drops the defaults", "P:/", "P:\\", true, {}, {}, {}, false, DialogGoOn, 2, 2,
       0, 0},
  });
#endif
}

TEST_F(CopyDialogTest, OptionsComeFromTheItems) {
  const int radios[] = {Ask, Overwrite, Skip, Append, Rename};
  for (int mode = 0; mode < 5; ++mode) {
    SCOPED_TRACE(mode);
    const bool odd = mode % 2;
    std::vector<int> chosen = {radios[mode]};
    if (odd) chosen.insert(chosen.end(), {Parallel, OnlyNewer});
    else chosen.push_back(ListNotCopied);
    Settings.OverwriteDef = 1;  // the dialog starts on Overwrite
    Type(Start, root + "out", chosen);
    EXPECT_EQ(Run(), DialogGoOn);
    EXPECT_EQ(RunOptions.OverwriteMode, mode);
    EXPECT_EQ(RunOptions.Parallel, odd ? 1 : 0);
    EXPECT_EQ(RunOptions.OnlyNewer, odd ? 1 : 0);
    EXPECT_EQ(RunOptions.ListNotCopied, odd ? 0 : 1);
  }
}

TEST_F(CopyDialogTest, ParallelStartsFromTheDriveRelation) {
#ifdef _WIN32
  GTEST_SKIP() << "needs drives of chosen kinds, which only the Linux drive table maps";
#else
  ASSERT_TRUE(pt::MapDrive('E', pt::DriveKind::Removable, (dir / "out").c_str()));
  ASSERT_TRUE(pt::MapDrive('M', pt::DriveKind::Network, (dir / "src").c_str(), "srv\\a"));
  ASSERT_TRUE(pt::MapDrive('N', pt::DriveKind::Network, (dir / "out").c_str(), "srv\\b"));
  struct Case {
    const char *what, *source, *destination;
    int allowParallel, parallelDef, expected;
  } cases[] = {
      {"different drives", "D:\\src", "E:\\", 1, 0, 1},
      {"not allowed", "D:\\src", "E:\\", 0, 1, 0},
      {"same server", "M:\\", "N:\\", 1, 1, 0},
      {"cannot tell, default on", "D:\\src", "D:\\out", 1, 1, 1},
      {"cannot tell, default off", "D:\\src", "D:\\out", 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Settings.AllowParallel = c.allowParallel;
    Settings.ParallelDef = c.parallelDef;
    source = c.source;
    host->dialogCalls.clear();
    Answer(-1);
    EXPECT_EQ(Run(c.destination), DialogCancelled);
    ASSERT_EQ(host->dialogCalls.size(), 1u);
    EXPECT_EQ(host->dialogCalls[0].items[Parallel].Selected, c.expected);
  }
#endif
}

}  // namespace
