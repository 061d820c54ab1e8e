// The statistics run: the drive's directories of at least the minimum size listed with their sizes and
// written into a comma-separated file in the program directory.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/program_state.h"

namespace korvane {

// Lists the drive's own row and every directory of at least minimumSize, writes the statistics file
// (named drive letter, "盘目录统计列表_", time stamp, "_", row count, ".csv") and the summary line.
void StatisticsExport(ProgramContext& context, std::string_view driveLetter, int64_t minimumSize);

}  // namespace korvane
