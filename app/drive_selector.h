// The drive list of 盘符框 and the handling of a drive choice: the selected drive, the system version
// tag and the disk information line.
#pragma once

#include <string>
#include <vector>

#include "app/program_state.h"

namespace korvane {

// The first character of each drive root, in the system's order.
std::vector<std::string> DriveLetters(FileSystemServices& files);

// Fills 盘符框, chooses its first drive and handles that choice; with no drive it does nothing.
void FillDriveList(ProgramContext& context);

// The handler of a choice in 盘符框: nothing when the drive is the one handled last; otherwise the new
// selected drive, its system version tag, its information line in 过程框 and its saved snapshots in
// 外部参照.
void OnDriveSelected(ProgramContext& context);

}  // namespace korvane
