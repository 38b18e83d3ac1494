// The progress box of a run: a reading and a writing block (counts,
// percentage, speed, bar, file name) and a time line, drawn over RunBox;
// the console title shows the overall percentage and the time left.
#pragma once

#include <atomic>
#include <cstdint>

// The system time in microseconds (FILETIME / 10).
uint64_t NowMicroseconds();

// The run's counters, zeroed by ResetProgress before the engine starts.
// TotalRead and ReadTime grow on the reader's thread, TotalWritten and
// WriteTime on the writer's; the writer's skip accounting lowers both, and
// either thread's redraw reads all four. Atomic so that this needs no lock:
// +=, -= and plain reads work as on integers.
extern std::atomic<uint64_t> TotalRead;
extern std::atomic<uint64_t> TotalWritten;
extern std::atomic<uint64_t> ReadTime;   // microseconds spent in reads
extern std::atomic<uint64_t> WriteTime;  // microseconds spent in writes
// Set before the threads start, only read while they run.
extern uint64_t RunStartTime;
// Time of the last redraw; 0 redraws at the next call.
extern std::atomic<uint64_t> LastRedraw;

// Empties both file-name lines, zeroes TotalRead, TotalWritten, ReadTime
// and WriteTime, and sets RunStartTime to now.
void ResetProgress();

// The empty box over RunBox with its title and two separators; flushed.
void DrawProgressBox(const char* title);

// Add `bytes` to TotalRead (TotalWritten); a non-null name becomes the
// block's file name (a name above 511 characters keeps its last 511, the
// part that is shown). Redraws when 0.1 s has passed since the last redraw,
// 0.05 s after a new name, and only when ScreenLock is free at that instant
// (or null).
void ShowReadProgress(const char* name, uint64_t bytes);
void ShowWriteProgress(const char* name, uint64_t bytes);
// Redraws now (ScreenLock permitting): the end of a run shows its totals.
void RedrawProgress();

// One transfer block at row `row` (2 or 6) of the box.
void DrawTransferLines(const char* label, int row, const char* name, uint64_t done,
                       uint64_t total, uint64_t microseconds);
// The time line and the console title.
void DrawTimeLine();
