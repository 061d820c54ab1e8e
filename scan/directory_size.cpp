// Measuring directories.
#include "scan/directory_size.h"

#include <deque>
#include <string>
#include <vector>

namespace korvane {

int64_t DirectorySize(ProgramContext& context, std::string_view path) {
  if (const int64_t size = context.files.FolderSize(path); size != 0) return size;
  const std::string systemDirectory = context.files.SystemDirectory();
  const bool systemDrive = !systemDirectory.empty() && context.state.selectedDrive == systemDirectory.substr(0, 1);
  std::string message = " 当前已枚举" + context.state.selectedDrive + "盘目录" +
                        std::to_string(context.state.scanTable.enumerated);
  message += systemDrive ? "个，正在验证大型系统目录：" : "个，正在验证特定文件目录：";
  message.append(path).append(" ==> 时间较长，尚未完成，请勿操作");
  context.toolkit.SetText(Control::过程框, message);
  return ExhaustiveSize(context, std::string(path) + "\\");
}

int64_t ExhaustiveSize(ProgramContext& context, std::string_view directory) {
  // Listing, breadth first: every directory below, names beginning with a dot included.
  std::vector<std::string> directories{std::string(directory)};
  for (size_t next = 0; next < directories.size(); ++next) {
    const std::string parent = directories[next];
    const auto listing = context.files.FindEntries(parent + "*.*", EntryKind::directories);
    for (std::string name = listing->next(); !name.empty(); name = listing->next()) {
      if (name != "." && name != "..") directories.push_back(parent + name + "\\");
      context.toolkit.PumpIfInput();
    }
    if (context.state.stopRequested) return 0;
  }
  // Summing the files of each.
  int64_t total = 0;
  for (const std::string& parent : directories) {
    const auto listing = context.files.FindEntries(parent + "*.*", EntryKind::files);
    for (std::string name = listing->next(); !name.empty(); name = listing->next()) {
      total += context.files.FileSize(parent + name);
      context.toolkit.PumpIfInput();
    }
    if (context.state.stopRequested) return total;
  }
  return total;
}

int64_t VolumeUsedBytes(FileSystemServices& files, std::string_view drive) {
  const DiskSpace space = files.DiskFreeSpace(drive);
  return space.totalBytes - space.freeToCaller;
}

}  // namespace korvane
