// Writing the scan table as a snapshot file in the program directory, named after the moment, the
// table and the drive.
#pragma once

#include <string>

#include "app/program_state.h"

namespace korvane {

// time stamp, "_", record count, system version tag, "_", used size, ".", drive letter in lower case:
// 20211125153012_23833_[10.0.22000]_22.47GB.c
std::string SnapshotFileName(const std::string& timeStamp, const ProgramState& state);

// The thread body that writes the snapshot (plain while a file "0.0" lies in the program directory),
// reports in 过程框, enables the controls and sets " 空闲中".
void OutputWorker(ProgramContext& context);

}  // namespace korvane
