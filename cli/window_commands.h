// The commands that drive the program's window as a user would: drives, snapshot, snapshots, compare
// and stats.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/host.h"

namespace korvane {

int Drives(const HostOptions& options);
int Snapshot(const HostOptions& options, const std::optional<std::string>& drive);
int Snapshots(const HostOptions& options, const std::optional<std::string>& drive);

struct ComparisonRequest {
  std::optional<std::string> drive;
  // One of the two: an item of 内部参照 (0 to 10), or an entry of 外部参照 ("latest" the newest).
  std::optional<int> builtIn;
  std::optional<std::string> privateSnapshot;
  std::string minimum;  // the text typed into 限制框
  std::optional<std::string> unit;
  bool units = false;            // 表单位框: sizes as texts with units
  std::vector<int> sortColumns;  // header clicks, in order
  std::optional<std::string> csvPath;
};

// A comparison, or with the statistics entry the statistics run; rows on stdout, progress on stderr.
int Compare(const HostOptions& options, const ComparisonRequest& request);
int Statistics(const HostOptions& options, const ComparisonRequest& request);

}  // namespace korvane
