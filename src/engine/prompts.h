// Error prompts: message boxes that report a failed system call with the
// system's own text for the calling thread's last error. Each waits for
// ScreenLock (when a run has one) and signals it afterwards, so they may be
// called from the reader or the writer thread.
#pragma once

#include <atomic>

#include "platform/platform.h"

// Set by the engine from a confirmed break until it returns: the writer
// thread stops at its next step, and a box or dialog asked for meanwhile is
// not shown (the user has already said to stop).
extern std::atomic<bool> RunStopping;

// Waits for ScreenLock, when a run has one, before a box or dialog. False,
// holding nothing, when the run is stopping: then nothing is shown.
// *held tells GiveScreen whether there is a lock to give back.
bool TakeScreen(bool* held);
void GiveScreen(bool held);

// Room in one box's item list.
constexpr int PromptItemCapacity = 100;

// `message`, the system text, OK.
void ShowErrorBox(const char* message);

// `fileName`, `message`, the system text, OK.
void ShowFileErrorBox(const char* message, const char* fileName);

// `fileName`, `message`, the system text, Retry and Skip. 0 for retry; 2 for
// skip, also when the box was closed with Esc or not shown (RunStopping).
int AskRetrySkip(const char* message, const char* fileName);

// Appends the lines of the system's text for `error` to items[*count],
// advancing *count, never beyond `capacity`. The lines point into text[512],
// which must outlive the items. An error without a text, and ERROR_SUCCESS,
// give no lines.
void SystemErrorLines(DWORD error, char* text, const char** items, int* count, int capacity);

// The same for a text already in text[512] (at most 511 characters): trailing
// full stops, spaces and control characters dropped, line breaks inside it
// removed (one space kept between two words), converted to OEM, then broken
// at spaces into lines longer than 40 characters, the last one excepted; a
// word longer than that is not broken. Lines that do not fit are dropped.
void SystemTextLines(char* text, const char** items, int* count, int capacity);
