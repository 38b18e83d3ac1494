// Process-wide values of the current run, read by the scan, the engine, the
// overwrite dialog and the progress display.
#pragma once

#include "platform/platform.h"

// Set from RunCopyMove's argument at the very start of a run.
extern int IsMove;

// Serialises screen output between the run's threads: an auto-reset event,
// created signalled. Every message box and dialog waits for it and signals
// it afterwards; the progress redraw only tries it. Null outside a run: the
// boxes then show without waiting.
extern HANDLE ScreenLock;
