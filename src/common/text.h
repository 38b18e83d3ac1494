// Bounded text helpers for the plug-in's fixed buffers. Nothing is ever
// written past `capacity`; a text that does not fit is refused, never cut
// into a different, wrong text.
#pragma once

#include <cstddef>

// Copies `text` into out[capacity]. Returns false, leaving out empty, when
// it does not fit with its terminator.
bool CopyText(char* out, size_t capacity, const char* text);

// Appends `text` to the text in out[capacity]. Returns false, leaving out
// unchanged, when the result would not fit.
bool AppendText(char* out, size_t capacity, const char* text);

// Writes `format` into out[capacity] with each "%s" replaced by `argument`
// and "%%" by "%"; any other "%" stays as it is. Formats come from the
// language file, so they never reach printf. Returns false, leaving out
// empty, when the result would not fit.
bool FormatWithText(char* out, size_t capacity, const char* format, const char* argument);

// ASCII case-insensitive comparisons, independent of the C locale.
int CompareNoCase(const char* a, const char* b);
int CompareNoCaseN(const char* a, const char* b, size_t count);
