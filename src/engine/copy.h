// The copy engine: the calling thread reads sources into a buffer; the
// writer empties filled buffers into the destinations and finishes each
// entry. Serial runs write between fills on the calling thread; parallel
// runs hand each full buffer to a writer thread while the next one fills.
#pragma once

#include <cstdint>

#include "buffers.h"
#include "platform/platform.h"

// Set when the user broke the run off with Esc.
extern int BreakRequested;
// Pair index of the last entry the writer completed; -1 before any.
extern int LastDoneIndex;

// Copies the data of every file pair of the FileList. The run driver has
// created ScreenLock and ListLock, drawn the progress box, reset the
// progress counters and set LastDoneIndex to -1.
void RunCopy(int pairCount, const DWORD* offsets, const char* names, int isMove);

// Writes the pieces of `state`'s buffer. 1 when the buffer was written
// out; 0 when the user broke off (serial runs only). The writer thread's
// whole body.
int WriteBuffer(BufferState* state);

// Drains the console input: 1 when Esc was pressed (and, with ConfirmBreak
// on, the break confirmed). The scan asks it too.
int BreakKeyPressed();

// Drains the console input; on Esc (confirmed when ConfirmBreak is on)
// stops the writer, deletes the destination being written, closes the
// source and sets BreakRequested. 1 when the run is to stop.
int CheckForBreak();
