// Measuring directories: the folder-size query with its exhaustive fallback, and a volume's used bytes.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/program_state.h"

namespace korvane {

// The cumulative size of a directory (path without a final "\"): the folder-size query, or when that
// gives 0, a count of every file below, announced in 过程框.
int64_t DirectorySize(ProgramContext& context, std::string_view path);

// The sum of the sizes of all files below a directory (path with a final "\"), counted by listing
// breadth first. A stop request ends the listing phase with 0 and the summing phase with the sum so far.
int64_t ExhaustiveSize(ProgramContext& context, std::string_view directory);

// Total capacity minus the bytes free to the caller, of a drive given as "C:"; 0 when unknown.
int64_t VolumeUsedBytes(FileSystemServices& files, std::string_view drive);

}  // namespace korvane
