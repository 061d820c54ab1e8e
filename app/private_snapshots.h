// The list of 外部参照: the private snapshot files of the chosen drive in the program directory.
#pragma once

#include "app/program_state.h"

namespace korvane {

// Refills 外部参照 from the program directory with the snapshots of the selected drive, newest first,
// each as its lower-case file name without "." and drive letter. The list is left without a selection.
void RebuildPrivateSnapshotList(ProgramContext& context);

}  // namespace korvane
