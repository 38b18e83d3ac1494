// The completion tune: after a run that went to its end, a tune whose length
// grows with the run's time. Tones go to the system's Beep on the NT family
// and straight to the PC speaker on Windows 95/98/Me (Settings.IsNT, so
// LoadSettings must have run).
#pragma once

#include "platform/platform.h"

// Every note lasts this long, in ms.
constexpr DWORD NoteLength = 75;

// Sounds one tone; returns when it has ended.
void PlayTone(DWORD frequency, DWORD duration);

// Plays tune 1 (6 notes), 2 (12) or 3 (18) without pauses; other numbers
// play nothing.
void PlayTune(int tune);

// For a run begun at `startTick` (GetTickCount): more than 30 minutes ago the
// third tune, more than 10 minutes the second, more than 30 seconds the
// first, else nothing.
void PlayCompletionTune(DWORD startTick);
