// Boxes drawn straight into the host's screen: the frame of the progress
// box and the one-line status boxes of the run's phases.
#pragma once

// Colour attributes (background high nibble, foreground low), refreshed
// from the host's palette once per run by FetchColours.
extern int BoxFrameColor;      // frames, separators, blank rows
extern int BoxTitleColor;      // titles
extern int BoxTextColor;       // text, counts, bars
extern int BoxHighlightColor;  // labels

// A double frame from (x1, y1) to (x2, y2), inclusive, with a blank margin,
// the title centred on the top edge (none when empty) and a shadow two
// cells wide. Does not flush.
void DrawBox(int x1, int y1, int x2, int y2, const char* title);

// One line of text in a box centred on the screen, then flushed.
void ShowStatusBox(const char* text);

// Takes the four colours from the host's palette (only from a host whose
// startup record is larger than 336 bytes; older ones keep what they have).
void FetchColours();
