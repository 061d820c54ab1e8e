// Walking a drive into the scan table: the root with the volume's used bytes, then every directory of
// at least the minimum size, a block of each directory's children before the children's own blocks.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/program_state.h"

namespace korvane {

// The thread body of the save-snapshot scan: the selected drive with minimum 0, then " 空闲中".
void ScanWorker(ProgramContext& context);

// Appends the root record ("C:\" with the volume's used bytes), then walks the drive. Expects an empty
// table.
void ScanDrive(ProgramContext& context, std::string_view driveLetter, int64_t minimumSize);

// Records the subdirectories of path (no final "\") of at least minimumSize, then walks each of them
// that has subdirectories of its own.
void DirectoryWalk(ProgramContext& context, std::string_view path, int64_t minimumSize);

// Whether the directory (with or without a final "\") holds a subdirectory other than "." and "..".
bool HasSubdirectory(FileSystemServices& files, std::string_view path);

}  // namespace korvane
