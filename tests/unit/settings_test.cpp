#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "platform/testing.h"
#include "settings/macros.h"
#include "settings/settings.h"

namespace {

namespace pt = platform::testing;
using SettingsTest = CoreTest;

std::vector<std::string> Names() {
  return std::vector<std::string>(Settings.DescriptionNames,
                                  Settings.DescriptionNames + Settings.DescriptionNameCount);
}

TEST_F(SettingsTest, SettingsKeyIsTheHostRootAndQuickferry) {
  EXPECT_STREQ(SettingsKey, "Software\\Far\\Plugins\\Quickferry");
}

TEST_F(SettingsTest, EmptyRegistryGivesEveryDefault) {
  LoadSettings();
  EXPECT_EQ(Settings.BufPercent, 15);
  EXPECT_EQ(Settings.BufKb, 4096);
  EXPECT_EQ(Settings.BufInKb, 0);
  EXPECT_EQ(Settings.OverwriteDef, 0);
  EXPECT_EQ(Settings.CopyStreamsDef, 0);
  EXPECT_EQ(Settings.AllowParallel, 1);
  EXPECT_EQ(Settings.ParallelDef, 0);
  EXPECT_EQ(Settings.CopyDescs, 0);
  EXPECT_EQ(Settings.ClearROFromCD, 1);
  EXPECT_EQ(Settings.NtfsOpts, 0);
  EXPECT_EQ(Settings.ConfirmBreak, 0);
  EXPECT_EQ(Settings.CompleteBeep, 0);
  EXPECT_EQ(Settings.HideDescs, 1);
  EXPECT_EQ(Settings.DescsInDirs, 1);
  EXPECT_EQ(Settings.CopyRightsDef, 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Descript.ion", "Files.bbs"}));
}

TEST_F(SettingsTest, SavedValuesComeBackUnchangedIncludingOutOfRangeNumbers) {
  LoadSettings();
  Settings.BufPercent = 0;
  Settings.BufKb = 250000;
  Settings.CopyDescs = 7;  // any non-zero value counts as on, and is kept as it is
  Settings.HideDescs = 0;
  Settings.CopyRightsDef = -3;
  SaveSettings();
  Settings = SettingsRecord{};
  LoadSettings();
  EXPECT_EQ(Settings.BufPercent, 0);
  EXPECT_EQ(Settings.BufKb, 250000);
  EXPECT_EQ(Settings.CopyDescs, 7);
  EXPECT_EQ(Settings.HideDescs, 0);
  EXPECT_EQ(Settings.CopyRightsDef, -3);
  EXPECT_EQ(Settings.AllowParallel, 1);
  EXPECT_EQ(RegistryDword(kSettingsKey, "CopyRightsDef"), 0xFFFFFFFDu);
}

TEST_F(SettingsTest, ValuesOfTheWrongTypeOrSizeTakeTheDefault) {
  const BYTE two[2] = {1, 0};
  const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  const BYTE four[4] = {40, 0, 0, 0};
  SetRegistryValue(kSettingsKey, "BufPercent", REG_SZ, "99", 3);
  SetRegistryValue(kSettingsKey, "BufKb", REG_DWORD, two, sizeof two);
  SetRegistryValue(kSettingsKey, "HideDescs", REG_BINARY, eight, sizeof eight);
  SetRegistryValue(kSettingsKey, "ParallelDef", REG_BINARY, four, sizeof four);
  LoadSettings();
  EXPECT_EQ(Settings.BufPercent, 15);
  EXPECT_EQ(Settings.BufKb, 4096);
  EXPECT_EQ(Settings.HideDescs, 1);
  EXPECT_EQ(Settings.ParallelDef, 40);  // four bytes of binary are a DWORD
}

TEST_F(SettingsTest, UnreadableRegistryGivesDefaultsAndUnwritableOneIsSilent) {
  SetRegistryDword(kSettingsKey, "BufPercent", 50);
  pt::ArmFault("RegOpenKeyExA", "*", 1, ERROR_ACCESS_DENIED, pt::Repeat::FromThenOn);
  LoadSettings();
  EXPECT_EQ(Settings.BufPercent, 15);
  pt::ResetFaults();
  pt::ArmFault("RegSetValueExA", "*\\BufKb", 1, ERROR_ACCESS_DENIED);
  Settings.BufKb = 64;
  SaveSettings();
  EXPECT_FALSE(RegistryDword(kSettingsKey, "BufKb"));
  EXPECT_EQ(RegistryDword(kSettingsKey, "BufPercent"), 15u);  // the rest were written
}

TEST_F(SettingsTest, FamilyFlagsFollowTheReportedVersion) {
  struct Case {
    DWORD platformId, major;
    int isNT, isNT5;
  } cases[] = {
      {VER_PLATFORM_WIN32_NT, 10, 1, 1},
      {VER_PLATFORM_WIN32_NT, 5, 1, 1},
      {VER_PLATFORM_WIN32_NT, 4, 1, 0},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.major);
    pt::SetReportedVersion(c.platformId, c.major, 10);
    LoadSettings();
    EXPECT_EQ(Settings.IsNT, c.isNT);
    EXPECT_EQ(Settings.IsNT5, c.isNT5);
  }
}

TEST_F(SettingsTest, ListNamesSplitsAtCommasKeepingSpacesAndDroppingEmptyPieces) {
  struct Case {
    const char* value;
    std::vector<std::string> names;
  } cases[] = {
      {"Descript.ion", {"Descript.ion"}},
      {"a.ion,b.bbs,c.txt", {"a.ion", "b.bbs", "c.txt"}},
      {"a, b", {"a", " b"}},
      {"a,,b", {"a", "b"}},
      {",a,", {"a"}},
      {"", {}},
      {",", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    SetRegistryString("Software\\Far\\Descriptions", "ListNames", c.value);
    LoadSettings();
    EXPECT_EQ(Names(), c.names);
  }
}

TEST_F(SettingsTest, ListNamesKeepsTheFirstHundredAndRefusesOverlongValues) {
  std::string many;
  for (int i = 0; i < 150; ++i) many += (i ? "," : "") + std::to_string(i);
  SetRegistryString("Software\\Far\\Descriptions", "ListNames", many);
  LoadSettings();
  ASSERT_EQ(Settings.DescriptionNameCount, MaxDescriptionNames);
  EXPECT_STREQ(Settings.DescriptionNames[99], "99");

  SetRegistryString("Software\\Far\\Descriptions", "ListNames", std::string(511, 'x'));
  LoadSettings();
  EXPECT_EQ(Names(), (std::vector<std::string>{std::string(511, 'x')}));
  SetRegistryString("Software\\Far\\Descriptions", "ListNames", std::string(512, 'x'));
  LoadSettings();
  EXPECT_EQ(Names(), (std::vector<std::string>{"Descript.ion", "Files.bbs"}));
}

TEST_F(SettingsTest, ReadUserStringTerminatesATextStoredWithoutItsEnd) {
  SetRegistryValue("Software\\Far\\Test", "Text", REG_SZ, "abc", 3);
  char buffer[8];
  std::memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(ReadUserString("Software\\Far\\Test", "Text", buffer, "default", sizeof buffer), 1);
  EXPECT_STREQ(buffer, "abc");
  // Eight bytes without a terminator do not fit eight bytes with one.
  SetRegistryValue("Software\\Far\\Test", "Text", REG_SZ, "abcdefgh", 8);
  EXPECT_EQ(ReadUserString("Software\\Far\\Test", "Text", buffer, "default", sizeof buffer), 0);
  EXPECT_STREQ(buffer, "default");
}

TEST_F(SettingsTest, CopyUserKeyValuesCarriesEveryValueWholeWhateverItsSize) {
  const std::string from = "Software\\Far\\KeyMacros\\Shell\\F5";
  const std::string to = "Software\\Far\\KeyMacros\\Shell.backup\\F5";
  std::string longName(600, 'n');
  std::vector<BYTE> big(5000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i);
  std::string longText(2000, 's');
  SetRegistryString(from, "Sequence", "CtrlF10");
  SetRegistryDword(from, "DisableOutput", 1);
  SetRegistryValue(from, "Big", REG_BINARY, big.data(), (DWORD)big.size());
  SetRegistryString(from, longName, "long name");
  SetRegistryString(from, "LongText", longText);
  SetRegistryDword(from, "After", 2);

  CopyUserKeyValues(from.c_str(), to.c_str());
  EXPECT_EQ(RegistryString(to, "Sequence"), "CtrlF10");
  EXPECT_EQ(RegistryDword(to, "DisableOutput"), 1u);
  EXPECT_EQ(RegistryString(to, longName), "long name");
  EXPECT_EQ(RegistryString(to, "LongText"), longText);
  EXPECT_EQ(RegistryDword(to, "After"), 2u);
  EXPECT_EQ(RegistryType(to, "Big"), (DWORD)REG_BINARY);
  HKEY key = nullptr;
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, to.c_str(), 0, KEY_QUERY_VALUE, &key),
            (LONG)ERROR_SUCCESS);
  std::vector<BYTE> back(6000);
  DWORD size = (DWORD)back.size(), type = 0;
  EXPECT_EQ(platform::RegQueryValueExA(key, "Big", nullptr, &type, back.data(), &size),
            (LONG)ERROR_SUCCESS);
  platform::RegCloseKey(key);
  back.resize(size);
  EXPECT_EQ(back, big);
}

TEST_F(SettingsTest, CopyUserKeyValuesFromAMissingKeyCreatesNothing) {
  CopyUserKeyValues("Software\\Far\\KeyMacros\\Shell\\F7",
                    "Software\\Far\\KeyMacros\\Shell.backup\\F7");
  EXPECT_FALSE(RegistryKeyExists("Software\\Far\\KeyMacros\\Shell.backup\\F7"));
}

TEST_F(SettingsTest, OwnMacrosAreRecognisedByTheirSequence) {
  struct Case {
    const char* sequence;  // null: no such value
    int own;
  } cases[] = {
      {"F11 > 1", 1}, {"f11 >4", 1}, {"F11 >", 1}, {"F5", 1}, {"f6", 1},
      {"F11", 0},     {"F5 ", 0},    {"F7", 0},    {"", 0},   {nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sequence ? c.sequence : "(none)");
    DeleteUserKey("Software\\Far\\KeyMacros\\Shell\\F5");
    if (c.sequence) SetRegistryString("Software\\Far\\KeyMacros\\Shell\\F5", "Sequence", c.sequence);
    EXPECT_EQ(IsOwnMacro("F5"), c.own);
  }
  // A sequence of another type, or too long to read, is not the plug-in's.
  DWORD number = 5;
  SetRegistryValue("Software\\Far\\KeyMacros\\Shell\\F6", "Sequence", REG_DWORD, &number, 4);
  EXPECT_EQ(IsOwnMacro("F6"), 0);
  SetRegistryString("Software\\Far\\KeyMacros\\Shell\\F6", "Sequence", "F11 > " + std::string(600, '1'));
  EXPECT_EQ(IsOwnMacro("F6"), 0);
}

TEST_F(SettingsTest, ParkedModifiersTakeTheFirstOwnParkingMacro) {
  struct Case {
    std::vector<const char*> keys;
    DWORD state;
  } cases[] = {
      {{}, 0},
      {{"CtrlAltF5"}, 10},
      {{"CtrlShiftF5", "CtrlAltF5"}, 24},
      {{"AltShiftF5", "CtrlShiftF5"}, 18},
      {{"CtrlShiftF6"}, 0},  // only the F5 macros are asked
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    for (const char* key : {"AltShiftF5", "CtrlShiftF5", "CtrlAltF5", "CtrlShiftF6"})
      DeleteUserKey((std::string("Software\\Far\\KeyMacros\\Shell\\") + key).c_str());
    for (const char* key : c.keys)
      SetRegistryString(std::string("Software\\Far\\KeyMacros\\Shell\\") + key, "Sequence",
                        std::string(key).back() == '5' ? "F5" : "F6");
    EXPECT_EQ(ParkedModifiers(), c.state);
  }
}

}  // namespace
