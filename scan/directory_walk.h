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

// Where a walk puts each directory that reaches its minimum size.
class WalkOutput {
 public:
  virtual ~WalkOutput() = default;
  // The directory's path without a final "\", and its size.
  virtual void record(std::string_view path, int64_t size) = 0;
};

// Measures the subdirectories of path (no final "\"), counting and announcing each, hands those of at
// least minimumSize to the output, then walks each of them that has subdirectories of its own. A
// stop request ends the listing in hand; every walk started after it measures one directory and ends.
void DirectoryWalk(ProgramContext& context, std::string_view path, int64_t minimumSize, WalkOutput& output);

// Whether the directory (with or without a final "\") holds a subdirectory other than "." and "..".
bool HasSubdirectory(FileSystemServices& files, std::string_view path);

}  // namespace korvane
