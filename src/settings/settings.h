// The options, loaded from and saved to the registry below SettingsKey, plus
// the description-file names and the Windows family flags loaded with them.
#pragma once

#include "platform/platform.h"

constexpr int MaxDescriptionNames = 100;

struct SettingsRecord {
  // The options, in their load and save order; each a registry DWORD.
  int BufPercent;
  int BufKb;
  int BufInKb;
  int OverwriteDef;
  int CopyStreamsDef;
  int AllowParallel;
  int ParallelDef;
  int CopyDescs;
  int ClearROFromCD;
  int NtfsOpts;
  int ConfirmBreak;
  int CompleteBeep;
  int HideDescs;
  int DescsInDirs;
  int CopyRightsDef;

  // Pieces of descriptionNamesText, in the order of the host's "ListNames".
  const char* DescriptionNames[MaxDescriptionNames];
  int DescriptionNameCount;
  char descriptionNamesText[512];

  int IsNT;   // the NT family
  int IsNT5;  // the NT family, version 5 or later
};

extern SettingsRecord Settings;

// "<host's plug-in root>\Quickferry", set by SetStartupInfo. A root too long
// for the buffer leaves it empty: the options then take their defaults.
extern char SettingsKey[512];

// Fills the whole record: options (their defaults where the registry has
// none), the family flags, the description-file names.
void LoadSettings();

// Writes the fifteen options in their order.
void SaveSettings();

// Splits `text` in place at commas into at most `capacity` names. Empty
// pieces are dropped (a description file always has a name) and names past
// the capacity are ignored. Returns the number of names.
int SplitDescriptionNames(char* text, const char** names, int capacity);

// ---- Registry operations (none reports an error; every key opened is
// closed before they return). Paths are below HKEY_CURRENT_USER.

// The option under SettingsKey, or `defaultValue` when the key or value is
// missing or the value is not 4 bytes of REG_DWORD or REG_BINARY.
int ReadSettingDword(const char* name, int defaultValue);
void WriteSettingDword(const char* name, int value);

// Reads a REG_SZ into buffer[capacity]; on any failure (missing, too long
// for the buffer with its terminator) copies `defaultText` instead (cut to
// the capacity). Returns 1 when the registry's text was used, else 0.
int ReadUserString(const char* keyPath, const char* name, char* buffer, const char* defaultText,
                   DWORD capacity);
void WriteUserString(const char* keyPath, const char* name, const char* text);
void WriteUserDword(const char* keyPath, const char* name, int value);
void DeleteUserKey(const char* keyPath);

// Copies every value of the source key to the target key (created when
// missing), same names, types and data. Values whatever their size: one
// whose name or data exceeds 512 bytes is carried whole, since callers
// delete the source right after. Nothing happens when the source is missing.
void CopyUserKeyValues(const char* sourcePath, const char* targetPath);
