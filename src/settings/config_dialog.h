// The configuration dialog over the Settings record, and the About box.
#pragma once

// Edits the options in the Settings record; they change only when the user
// confirms with OK. Leads to the hot-key dialog, the About box and the
// completion tunes. Does not save: its callers call SaveSettings.
void ShowConfigDialog();

// Shows the version and the About texts until the user closes the box.
void ShowAboutBox();
