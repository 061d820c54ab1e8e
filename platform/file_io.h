// Whole-file reading, and writing that replaces its target in one step or not at all.
#pragma once

#include <optional>
#include <string>

#include "snapshot/gbk_text.h"

namespace korvane {

struct FileResult {
  bool ok = false;
  // What went wrong, for a message: the step and the system's reason.
  std::string problem;
};

std::optional<Bytes> ReadWholeFile(const std::string& path, std::string* problem = nullptr);

// Writes a temporary file beside the target, flushes it to the disk and renames it over the target,
// so a crash or a full disk leaves either the old file or the new one, never half of one.
FileResult WriteWholeFileReplacing(const std::string& path, const Bytes& contents);

}  // namespace korvane
