// One copy or move run, from the panels to the refreshed panels.
#pragma once

#include "host/host.h"

// Runs one operation. Returns 1 when the run finished, failed with a message
// or was cancelled; 0 when it declined before its dialog (the host's own
// command should do it); -1 when the destination "plugin:" asks the host to.
int RunCopyMove(int isMove, int currentItemOnly);

// What phases 1 and 2 find out: the texts the copy dialog starts from.
struct RunStart {
  char defaultDestination[512];
  char prompt[512];
  char sourceDirectory[512];
  int passiveIsPlugin;
};

// Phases 1 and 2: reads the passive and then the active panel into *active,
// and fills *start. Returns 0 when the run declines (quick view or
// information panel, no items, ".." as the subject, a panel the texts do not
// fit), else 1.
int ReadPanelsAndPrompt(int isMove, int currentItemOnly, PanelInfo* active, RunStart* start);
