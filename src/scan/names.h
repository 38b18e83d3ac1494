// Display helpers for names and paths.
#pragma once

// Writes `path` into out[512], shortened from the left to at most n
// characters: a longer path keeps its last n characters, the first three of
// them replaced by dots (n below 3 gives n dots). n is taken as 0..511.
void ShortenPathLeft(const char* path, char* out, int n);
