// Every dialog is a short array of compact templates, expanded into the
// host's dialog items just before the host's Dialog is called.
#pragma once

#include <cstdint>

#include "host/host.h"

struct DialogItemTemplate {
  uint8_t type;
  uint8_t x1, y1, x2, y2;  // for items placed by a layout rule, x2 is the gap after the text
  uint8_t focus;
  // A check box's or radio button's initial state, or for an edit item with
  // the history flag the address of its history name.
  intptr_t selected;
  uint32_t flags;
  uint8_t defaultButton;
  const char* text;  // a message of the table, or ""
};

// Expands count templates into items: numbers widened without sign, state
// (or history name) and flags copied, the text copied into the 512-byte data
// field (cut to 511 characters).
void ExpandDialogItems(const DialogItemTemplate* templates, DialogItem* items, int count);
