// Walking a drive into the scan table.
#include "scan/directory_walk.h"

#include <string>
#include <vector>

#include "scan/directory_size.h"

namespace korvane {

void ScanWorker(ProgramContext& context) {
  ScanDrive(context, context.state.selectedDrive, 0);
  context.toolkit.SetText(Control::状态框, kStatusIdle);
}

namespace {

// The scan's output: records in the table, each path with its final "\".
class ScanTableOutput final : public WalkOutput {
 public:
  explicit ScanTableOutput(ScanTable& table) : table_(table) {}
  void record(std::string_view path, int64_t size) override { table_.append(std::string(path) + "\\", size); }

 private:
  ScanTable& table_;
};

}  // namespace

void ScanDrive(ProgramContext& context, std::string_view driveLetter, int64_t minimumSize) {
  const std::string drive = std::string(driveLetter) + ":";
  context.files.BeginScan();
  context.state.scanTable.append(drive + "\\", VolumeUsedBytes(context.files, drive));
  ScanTableOutput output(context.state.scanTable);
  DirectoryWalk(context, drive, minimumSize, output);
  context.files.EndScan();
}

void DirectoryWalk(ProgramContext& context, std::string_view path, int64_t minimumSize, WalkOutput& output) {
  const std::string directory = std::string(path) + "\\";
  std::vector<std::string> children;
  {
    const auto listing = context.files.FindEntries(directory + "*.*", EntryKind::directories);
    for (std::string name = listing->next(); !name.empty(); name = listing->next()) {
      // "." and "..", and every directory whose name begins with a dot, are passed over; their
      // files still count in this directory's size.
      if (name[0] != '.') {
        const std::string child = directory + name;
        const int64_t size = DirectorySize(context, child);
        ScanTable& table = context.state.scanTable;
        ++table.enumerated;
        context.toolkit.SetText(Control::过程框, " 当前已枚举" + context.state.selectedDrive + "盘目录" +
                                                    std::to_string(table.enumerated) + "个，尚未完成，请勿操作");
        if (size >= minimumSize) {
          output.record(child, size);
          children.push_back(name);
        }
      }
      context.toolkit.PumpIfInput();
      context.toolkit.WaitPumping(0);
      if (context.state.stopRequested) break;
    }
  }
  if (context.state.stopRequested) return;
  for (const std::string& name : children) {
    if (HasSubdirectory(context.files, directory + name)) DirectoryWalk(context, directory + name, minimumSize, output);
    context.toolkit.PumpIfInput();
  }
}

bool HasSubdirectory(FileSystemServices& files, std::string_view path) {
  std::string directory(path);
  // A final 0x5C byte may be the trail byte of a name's last character ("乗").
  if (directory.empty() || LastPathSeparator(directory) != directory.size() - 1) directory += '\\';
  const auto listing = files.FindEntries(directory + "*.*", EntryKind::directories);
  for (std::string name = listing->next(); !name.empty(); name = listing->next()) {
    if (name != "." && name != "..") return true;
  }
  return false;
}

}  // namespace korvane
