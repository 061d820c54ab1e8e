// The directory records of one scan and their text form, one "path|size" line per record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot/gbk_text.h"

namespace korvane {

// Record 1 is the drive's root ("C:\") with the volume's used bytes; every other record is a directory
// path ending in "\" with the cumulative size of everything below it, in scan order.
class ScanTable {
 public:
  void clear();
  void append(std::string_view path, int64_t size);
  int count() const { return static_cast<int>(paths_.size()); }
  // Records count from 1.
  const std::string& path(int record) const { return paths_.at(record - 1); }
  int64_t size(int record) const { return sizes_.at(record - 1); }

  // Directories the running scan has examined (measured), recorded or not; the root is not counted.
  int32_t enumerated = 0;

 private:
  std::vector<std::string> paths_;
  std::vector<int64_t> sizes_;
};

// Each record as path, "|", decimal size, CR LF, in table order.
Bytes SnapshotText(const ScanTable& table);

// Reads a well-formed snapshot text back into records, splitting each line at its last "|" (a "|" in
// the path can only be a trail byte). Well-formed: every line ends in CR LF, its path begins with a
// drive letter and ":" and ends in "\", and its size is written as SnapshotText writes it. Anything
// else gives nothing, so that every text it accepts serialises back to the same bytes.
std::optional<ScanTable> ParseSnapshotText(std::string_view text);

}  // namespace korvane
