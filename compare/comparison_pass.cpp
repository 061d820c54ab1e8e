// The comparison run.
#include "compare/comparison_pass.h"

#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>

#include "compare/statistics_export.h"
#include "scan/directory_walk.h"
#include "snapshot/value_format.h"

namespace korvane {
namespace {

constexpr double kTolerance = 0.0000001;

// The rows a pass has listed, answering "the size of the earliest-listed row whose path contains this
// path": a path can stand in a listed path only from one of its "?:\" on, up to one of its "\", so every
// such piece is kept, the earliest row's first.
class ListedRows {
 public:
  bool empty() const { return sizes_.empty(); }

  // The path must outlive the pass: the scan table's paths do.
  void add(std::string_view path, int64_t size) {
    for (size_t start = 0; start + 2 < path.size(); ++start) {
      if (path[start + 1] != ':' || path[start + 2] != '\\') continue;
      for (size_t end = path.find('\\', start + 2); end != std::string_view::npos; end = path.find('\\', end + 1)) {
        sizes_.try_emplace(path.substr(start, end + 1 - start), size);
      }
    }
  }

  // The size of the listed row in which the path first occurs, 0 when it occurs in none.
  int64_t sizeBelow(std::string_view path) const {
    const auto found = sizes_.find(path);
    return found == sizes_.end() ? 0 : found->second;
  }

 private:
  std::unordered_map<std::string_view, int64_t> sizes_;
};

}  // namespace

std::string ProgressLine(int step, int examined, int rows, bool zeroLimit, const std::string& limitLabel) {
  std::string line;
  line.reserve(64 + limitLabel.size());
  line.append(" 比对进度：").append(std::to_string(step)).append("/").append(std::to_string(examined));
  if (rows == 0) {
    if (!zeroLimit) line.append("，未发现增量目录");
  } else if (zeroLimit) {
    line.append("，发现具有增量的目录").append(std::to_string(rows)).append("个");
  } else {
    line.append("，发现增量超过").append(limitLabel).append("的目录").append(std::to_string(rows)).append("个");
  }
  return line;
}

void ListResultRow(WindowToolkit& toolkit, int id, const std::string& path, int64_t current, int64_t growth) {
  const int row = toolkit.ListAppendRow(Control::列表框, std::to_string(id));
  toolkit.ListSetCell(Control::列表框, row, 1, std::to_string(PathDepth(path)));
  toolkit.ListSetCell(Control::列表框, row, 2, path);
  toolkit.ListSetCell(Control::列表框, row, 3, std::to_string(current));
  toolkit.ListSetCell(Control::列表框, row, 4, SizeText(current));
  toolkit.ListSetCell(Control::列表框, row, 5, std::to_string(growth));
  toolkit.ListSetCell(Control::列表框, row, 6, SizeText(growth));
  toolkit.PumpIfInput();
  toolkit.ListEnsureVisible(Control::列表框, row);
  toolkit.WaitPumping(0);
}

namespace {

std::string SummaryLine(int examined, int rows, bool zeroLimit, const std::string& limitLabel) {
  const std::string in = " 在" + std::to_string(examined) + "个目录中，";
  if (rows == 0) return zeroLimit ? in + "未发现增量目录" : in + "未发现增量超过" + limitLabel + "的目录";
  if (zeroLimit) return in + "共发现具有增量的目录" + std::to_string(rows) + "个，双击列表可查看目录内容";
  return in + "共发现增量超过" + limitLabel + "的目录" + std::to_string(rows) + "个，双击列表可查看目录内容";
}

}  // namespace

int64_t MinIncrement(std::string_view limitText, int unitIndex) {
  if (limitText.empty()) return 0;
  const int64_t limit = TextToInteger(limitText);
  if (unitIndex == 0) return limit;
  const double factor = unitIndex == 1 ? 1024.0 : unitIndex == 2 ? 1048576.0 : unitIndex == 3 ? 1073741824.0 : 1099511627776.0;
  const double product = static_cast<double>(limit) * factor;
  constexpr double kBeyond = 9223372036854775808.0;  // 2^63
  if (product >= kBeyond) return std::numeric_limits<int64_t>::max();
  if (product < -kBeyond) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(product);
}

void ComparisonPass(ProgramContext& context, int64_t minIncrement) {
  WindowToolkit& toolkit = context.toolkit;
  const ScanTable& table = context.state.scanTable;
  const ReferenceSnapshot& reference = context.state.reference;
  const bool zeroLimit = minIncrement == 0;
  const int count = table.count();
  const int examined = table.enumerated;
  const std::string limitLabel = toolkit.GetText(Control::限制框) + toolkit.GetText(Control::单位框);
  ListedRows listed;
  int rows = 0;
  for (int step = 1; step <= count; ++step) {
    if (context.state.stopRequested) break;
    const int record = count - step + 1;
    const std::string& path = table.path(record);
    const int64_t current = table.size(record);
    const int64_t before = reference.lookup(path);
    const double increment = static_cast<double>(current) - static_cast<double>(before);
    if (increment - static_cast<double>(minIncrement) >= -kTolerance) {
      const int64_t listedBelow = !listed.empty() && before != 0 ? listed.sizeBelow(path) : 0;
      if (increment - static_cast<double>(listedBelow) > kTolerance) {
        listed.add(path, current);
        ListResultRow(toolkit, ++rows, path, current, static_cast<int64_t>(std::trunc(increment)));
      }
    }
    toolkit.SetText(Control::过程框, ProgressLine(step, examined, rows, zeroLimit, limitLabel));
  }
  toolkit.SetText(Control::过程框, context.state.stopRequested ? std::string(" 本次操作已终止")
                                                              : SummaryLine(examined, rows, zeroLimit, limitLabel));
}

void CompareWorker(ProgramContext& context) {
  WindowToolkit& toolkit = context.toolkit;
  ProgramState& state = context.state;
  state.reference.load(context);
  if (!state.reference.isEmpty()) {
    const int64_t minIncrement =
        MinIncrement(toolkit.GetText(Control::限制框), toolkit.GetSelectedIndex(Control::单位框));
    if (state.reference.isStatisticsMarker()) {
      StatisticsExport(context, state.selectedDrive, minIncrement);
    } else {
      ScanDrive(context, state.selectedDrive, minIncrement);
      if (state.scanTable.count() >= 1) ComparisonPass(context, minIncrement);
    }
  }
  for (size_t i = 0; i + 1 < kInputControls.size(); ++i) toolkit.SetDisabled(kInputControls[i], false);
  toolkit.SetCaption(Control::比对按钮, "开始比对");
  toolkit.SetText(Control::状态框, kStatusIdle);
}

}  // namespace korvane
