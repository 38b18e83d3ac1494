// What to do with an existing target: the overwrite dialog and its rename
// dialog.
#pragma once

enum : int {
  AnswerOverwrite = 1,
  AnswerSkip = 2,
  AnswerAppend = 3,
  AnswerRename = 4,
};

// Asks about `destination`, which exists. `pairIndex` is the destination's
// pair in the FileList (the later pairs are re-examined when the answer
// changes the run), or -1 from the scan. With AnswerRename the new path is
// in newName[512]. May change RunOptions' OverwriteMode, OnlyNewer and
// ListNotCopied. Holds ScreenLock while it runs; once the run is stopping
// (a confirmed break) it asks nothing and answers AnswerSkip.
int AskOverwrite(const char* source, const char* destination, int pairIndex, char* newName);
