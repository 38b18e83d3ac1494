// The message table: the host's texts by number, as the language file lists
// them. The texts belong to the host and are never copied or freed here.
#pragma once

#include "host.h"

constexpr int MessageCount = 120;

enum MessageId : int {
  MsgTitle = 0,
  MsgMenuCopy = 1, MsgMenuMove = 2, MsgMenuCopyCurrent = 3, MsgMenuMoveCurrent = 4,
  MsgHotkeyBind = 5, MsgHotkeyParkLabel = 6, MsgHotkeyAltShift = 7, MsgHotkeyCtrlShift = 8,
  MsgHotkeyCtrlAlt = 9,
  MsgOk = 10, MsgCancel = 11,
  MsgRestartNotice = 13,
  MsgAbout1 = 14, MsgAbout2 = 15, MsgAbout3 = 16, MsgAbout4 = 17,
  MsgConfigBuffer = 18, MsgConfigPercent = 19, MsgConfigKb = 20, MsgConfigOverwriteDef = 21,
  MsgConfigCopyStreamsDef = 22, MsgConfigAllowParallel = 23, MsgConfigParallelDef = 24,
  MsgConfigCopyDescs = 25, MsgConfigClearROFromCD = 26, MsgConfigNtfsOpts = 27,
  MsgConfigConfirmBreak = 28, MsgConfigCompleteBeep = 29, MsgConfigHideDescs = 30,
  MsgConfigHotkeys = 31, MsgConfigAbout = 32, MsgConfigTune = 33, MsgConfigCopyRightsDef = 34,
  MsgConfigDescsInDirs = 35,
  MsgNoMemory = 36, MsgCompressionFailed = 37, MsgEncryptionFailed = 38, MsgCannotCreate = 39,
  MsgWriteError = 40, MsgCannotDeleteSource = 41, MsgCannotOpenSource = 42, MsgReadError = 43,
  MsgWarningTitle = 44, MsgWarningQuestion = 45, MsgYes = 46, MsgNo = 47,
  MsgErrorTitle = 48, MsgRetry = 49, MsgSkip = 50,
  MsgPromptCopySeveral = 51, MsgPromptMoveSeveral = 52, MsgPromptCopyOne = 53,
  MsgPromptMoveOne = 54,
  MsgDlgRights = 55, MsgDlgStreams = 56, MsgDlgParallel = 57, MsgDlgCompression = 58,
  MsgDlgEncryption = 59, MsgDlgModeOff = 60, MsgDlgModeOn = 61, MsgDlgModeLeave = 62,
  MsgDlgExisting = 63, MsgDlgAsk = 64, MsgDlgOverwrite = 65, MsgDlgSkip = 66, MsgDlgAppend = 67,
  MsgDlgRename = 68, MsgDlgOnlyNewer = 69, MsgDlgListNotCopied = 70, MsgDlgStart = 71,
  MsgDlgConfigure = 72,
  MsgTitleCopy = 73, MsgTitleMove = 74,
  MsgVolReadOnly = 75, MsgVolNoCompression = 76, MsgVolNoEncryption = 77, MsgVolNoStreams = 78,
  MsgVolNoRights = 79, MsgVolInvalid = 80,
  MsgConfirmBreak = 81,
  MsgStatusScanning = 82, MsgStatusChecking = 83, MsgStatusFolders = 84,
  MsgProgressCopy = 85, MsgProgressMove = 86,
  MsgStatusDescriptions = 87, MsgStatusRemoving = 88,
  MsgListFailed1 = 89, MsgListFailed2 = 90,
  MsgTimeTotal = 91, MsgTimeElapsed = 92, MsgTimeLeft = 93, MsgLabelReading = 94,
  MsgLabelWriting = 95,
  MsgOverwriteExists = 96, MsgOverwriteForAll = 97, MsgOverwriteOnlyNewer = 98,
  MsgOverwriteListNotCopied = 99, MsgOverwriteOverwrite = 100, MsgOverwriteSkip = 101,
  MsgOverwriteAppend = 102, MsgOverwriteRename = 103, MsgOverwriteDestination = 104,
  MsgOverwriteSource = 105, MsgRenameTitle = 106, MsgRenameLabel = 107,
  MsgCountOf = 108, MsgCountUnit = 109, MsgSpeedUnit = 110,
  MsgMoveIntoItself = 111, MsgSameDestination = 112, MsgCannotReadFolder = 113,
  MsgNoDestinationName = 114, MsgCannotCreateFolder = 115, MsgSourceChanged = 116,
  MsgSameFile = 117,
  MsgMacroFileFailed = 118, MsgMacroFileForeign = 119,
};

// Filled by LoadMessages at every entry point; never null (a text the host
// does not have reads as "").
extern const char* MessageTable[MessageCount];

// Rebuilds MessageTable from the host's GetMsg, ids 0 to MessageCount - 1 in order.
void LoadMessages();

inline const char* Msg(int id) { return MessageTable[id]; }

// The host's services as SetStartupInfo received them.
extern HostServices Host;

// The host's version as AdvControl reported it to SetStartupInfo (major << 8
// | minor | build << 16); 0 for a host that has no AdvControl.
extern int HostVersion;

// The plug-in's entry in the host's plug-ins menu: "[&>] " and the title,
// into out[512] (cut to fit).
void FormatMenuString(char* out);
