// The copy dialog: destination and options of one run.
#pragma once

enum : int {
  DialogGoOn = 0,
  DialogCancelled = 1,
  DialogHostPlugin = -1,  // "plugin:" towards a plug-in panel: the host does it
};

// Shows the dialog (again after the configuration button, a refused
// "plugin:" or a declined volume warning) until the user starts or leaves.
// On DialogGoOn, destination[512] holds the resolved full destination and
// RunOptions are set; on the other results it is empty.
//
// The full form (NTFS options) is shown on the NT family with NtfsOpts on,
// else the compact one; the form is chosen again at each display, so the
// configuration button may switch it. The text in the destination field
// survives the configuration button and every refusal; a declined volume
// warning shows the resolved destination instead.
//
// The destination is read with '/' as '\', %NAME% expanded, and made full
// against sourceDirectory; the process's current directory is the same
// afterwards. A destination that cannot be resolved (empty, over 511
// characters once expanded or made full, a failed expansion, a source
// directory that cannot be made current) is never cut: the one-button
// warning "invalid or cannot be reached" (as for "plugin:" without a plug-in
// panel) is shown and the dialog comes back with the text as typed.
int RunCopyDialog(int isMove, const char* prompt, const char* defaultDestination,
                  const char* sourceDirectory, int passiveIsPlugin, char* destination);
