// The comparison run: the reference, the minimum increment, the scan, and the pass that lists every
// directory that grew by at least the minimum and by more than its earliest-listed subdirectory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/program_state.h"

namespace korvane {

// The minimum increment in bytes: the limit text read as an integer times the factor of the unit index
// (0 B, 1 KB, 2 MB, 3 GB, anything else TB); an empty text is 0. A product beyond the 64-bit range
// gives the largest value, so that nothing passes rather than everything.
int64_t MinIncrement(std::string_view limitText, int unitIndex);

// The line 过程框 shows after pass step `step` with `rows` rows listed so far.
std::string ProgressLine(int step, int examined, int rows, bool zeroLimit, const std::string& limitLabel);

// Lists one directory as row `id` of 列表框: depth, path, size and growth in bytes and with units. Then it
// lets pending input through, shows the row and yields once to the window.
void ListResultRow(WindowToolkit& toolkit, int id, const std::string& path, int64_t current, int64_t growth);

// Walks the scan table from its last record to its first and lists the directories that grew, with a
// progress line after every directory and a summary at the end.
void ComparisonPass(ProgramContext& context, int64_t minIncrement);

// The thread body of the compare button: load, then the statistics run or scan and pass, then the
// controls enabled, "开始比对" and " 空闲中".
void CompareWorker(ProgramContext& context);

}  // namespace korvane
