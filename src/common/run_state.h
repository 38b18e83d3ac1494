// Process-wide values of the current run, read by the scan, the engine, the
// overwrite dialog, the progress display and the finishing steps. Each run
// sets them afresh; only one run exists at a time.
#pragma once

#include "platform/platform.h"

// The choices of one run, from the copy dialog; the overwrite dialog may
// change OverwriteMode, OnlyNewer and ListNotCopied while the run goes on.
struct RunOptionsRecord {
  int Parallel;
  int OnlyNewer;
  int ListNotCopied;
  int OverwriteMode;  // OverwriteAsk … OverwriteRename
  int CopyAccessRights;
  int CopyStreams;
  int CompressionMode;  // 0 uncompress, 1 compress, 2 leave as is
  int EncryptionMode;   // 0 decrypt, 1 encrypt, 2 leave as is
};

enum : int {
  OverwriteAsk = 0,
  OverwriteAll = 1,
  OverwriteSkip = 2,
  OverwriteAppend = 3,
  OverwriteRename = 4,
};

enum : int {
  ModeOff = 0,    // uncompress / decrypt
  ModeOn = 1,     // compress / encrypt
  ModeLeave = 2,  // as the destination gives it
};

extern RunOptionsRecord RunOptions;

// The run's box, 60 by 13 cells centred on the screen; screen saves of a run
// cover it and its two-cell shadow.
struct RunBoxRecord {
  int left, top, right, bottom;
};
extern RunBoxRecord RunBox;

// Set from RunCopyMove's argument at the very start of a run.
extern int IsMove;

// Serialises screen output between the run's threads: an auto-reset event,
// created signalled. Every message box and dialog waits for it and signals
// it afterwards; the progress redraw only tries it. Null outside a run: the
// boxes then show without waiting.
extern HANDLE ScreenLock;

// Guards the FileList's records while the engine runs: held while the
// reader takes a pair's offsets and while CheckExistingTargets marks
// entries. A recursive critical section.
extern CRITICAL_SECTION ListLock;
