// The pre-pass over existing targets: skip, automatic numbers and the
// only-newer rule marked in the records before (or, from the overwrite
// dialog, during) the copy.
#pragma once

#include "platform/platform.h"

// Examines pairs firstPair .. PairCount() - 1 under ListLock.
void CheckExistingTargets(DWORD firstPair);
