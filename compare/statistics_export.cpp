// The statistics run.
#include "compare/statistics_export.h"

#include <string>

#include "scan/directory_size.h"
#include "scan/directory_walk.h"
#include "snapshot/value_format.h"

namespace korvane {
namespace {

// One line of the file: every field in double quotes, separated by commas.
std::string CsvLine(std::initializer_list<std::string_view> fields) {
  std::string line;
  for (const std::string_view field : fields) {
    if (!line.empty()) line += ',';
    line.append(1, '"').append(field).append(1, '"');
  }
  return line;
}

// Lists each recorded directory as a row and as a line of the statistics text.
class StatisticsOutput final : public WalkOutput {
 public:
  StatisticsOutput(ProgramContext& context, std::string_view drive, int64_t driveBytes) : context_(context) {
    WindowToolkit& toolkit = context.toolkit;
    const int row = toolkit.ListAppendRow(Control::列表框, "1");
    toolkit.ListSetCell(Control::列表框, row, 1, "0");
    toolkit.ListSetCell(Control::列表框, row, 2, drive);
    toolkit.ListSetCell(Control::列表框, row, 3, std::to_string(driveBytes));
    toolkit.ListSetCell(Control::列表框, row, 4, SizeText(driveBytes));
    rows_ = 1;
    context.state.statisticsText = CsvLine({"ID", "层级", "路径", "容量", "容量(单位)"}) + "\r\n" +
                                   CsvLine({"1", "0", drive, std::to_string(driveBytes), SizeText(driveBytes)});
  }

  void record(std::string_view path, int64_t size) override {
    WindowToolkit& toolkit = context_.toolkit;
    const std::string id = std::to_string(++rows_);
    const std::string depth = std::to_string(PathDepth(path) + 1);  // the "\" characters of a path without its final one
    const int row = toolkit.ListAppendRow(Control::列表框, id);
    toolkit.ListSetCell(Control::列表框, row, 1, depth);
    toolkit.ListSetCell(Control::列表框, row, 2, path);
    toolkit.ListSetCell(Control::列表框, row, 3, std::to_string(size));
    toolkit.ListSetCell(Control::列表框, row, 4, SizeText(size));
    toolkit.ListEnsureVisible(Control::列表框, row);
    context_.state.statisticsText += "\r\n" + CsvLine({id, depth, path, std::to_string(size), SizeText(size)});
  }

  int rows() const { return rows_; }

 private:
  ProgramContext& context_;
  int rows_ = 0;
};

}  // namespace

void StatisticsExport(ProgramContext& context, std::string_view driveLetter, int64_t minimumSize) {
  FileSystemServices& files = context.files;
  const std::string drive = std::string(driveLetter) + ":";
  context.state.statisticsText.clear();
  StatisticsOutput output(context, drive, VolumeUsedBytes(files, drive));
  files.BeginScan();
  DirectoryWalk(context, drive, minimumSize, output);
  files.EndScan();

  std::string& name = context.state.statisticsFileName;
  name = std::string(driveLetter) + "盘目录统计列表_" +
                           DateTimeText(files.LocalNow(), files.Uses24HourClock(), 3, 0) + "_" +
                           std::to_string(output.rows()) + ".csv";
  files.WriteWholeFile(files.ProgramDirectory() + "\\" + name, context.state.statisticsText);

  WindowToolkit& toolkit = context.toolkit;
  toolkit.SetText(Control::过程框,
                  minimumSize == 0
                      ? " 本次操作共枚举目录：" + std::to_string(context.state.scanTable.enumerated) + "个"
                      : " 本次操作共枚举超过" + toolkit.GetText(Control::限制框) + toolkit.GetText(Control::单位框) +
                            "限制的目录：" + std::to_string(output.rows() - 1) + "个");
}

}  // namespace korvane
