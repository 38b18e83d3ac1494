// Process-wide values of the current run, read by the scan, the overwrite
// dialog and the progress display.
#pragma once

// Set from RunCopyMove's argument at the very start of a run.
extern int IsMove;
