#include "settings.h"

#include <cstddef>
#include <iterator>

#include "common/text.h"

SettingsRecord Settings;
char SettingsKey[512];

namespace {

struct Option {
  const char* name;
  int SettingsRecord::*field;
  int defaultValue;
};

// The one order in which the options are loaded and saved.
constexpr Option kOptions[] = {
    {"BufPercent", &SettingsRecord::BufPercent, 15},
    {"BufKb", &SettingsRecord::BufKb, 4096},
    {"BufInKb", &SettingsRecord::BufInKb, 0},
    {"OverwriteDef", &SettingsRecord::OverwriteDef, 0},
    {"CopyStreamsDef", &SettingsRecord::CopyStreamsDef, 0},
    {"AllowParallel", &SettingsRecord::AllowParallel, 1},
    {"ParallelDef", &SettingsRecord::ParallelDef, 0},
    {"CopyDescs", &SettingsRecord::CopyDescs, 0},
    {"ClearROFromCD", &SettingsRecord::ClearROFromCD, 1},
    {"NtfsOpts", &SettingsRecord::NtfsOpts, 0},
    {"ConfirmBreak", &SettingsRecord::ConfirmBreak, 0},
    {"CompleteBeep", &SettingsRecord::CompleteBeep, 0},
    {"HideDescs", &SettingsRecord::HideDescs, 1},
    {"DescsInDirs", &SettingsRecord::DescsInDirs, 1},
    {"CopyRightsDef", &SettingsRecord::CopyRightsDef, 0},
};
static_assert(std::size(kOptions) == 15);

constexpr const char* kDescriptionsKey = "Software\\Far\\Descriptions";
constexpr const char* kDefaultDescriptionNames = "Descript.ion,Files.bbs";

}  // namespace

void LoadSettings() {
  for (const Option& option : kOptions)
    Settings.*option.field = ReadSettingDword(option.name, option.defaultValue);

  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;  // 148
  int nt = platform::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  Settings.IsNT = nt;
  Settings.IsNT5 = nt && version.dwMajorVersion >= 5;

  ReadUserString(kDescriptionsKey, "ListNames", Settings.descriptionNamesText,
                 kDefaultDescriptionNames, sizeof Settings.descriptionNamesText);
  Settings.DescriptionNameCount = SplitDescriptionNames(
      Settings.descriptionNamesText, Settings.DescriptionNames, MaxDescriptionNames);
}

void SaveSettings() {
  for (const Option& option : kOptions) WriteSettingDword(option.name, Settings.*option.field);
}

int SplitDescriptionNames(char* text, const char** names, int capacity) {
  int count = 0;
  char* piece = text;
  for (char* p = text;; ++p) {
    bool end = *p == 0;
    if (end || *p == ',') {
      *p = 0;
      if (*piece && count < capacity) names[count++] = piece;
      if (end) break;
      piece = p + 1;
    }
  }
  return count;
}
