// The drive list and the disk information line.
#include "app/drive_selector.h"

#include <cstdint>

#include "app/private_snapshots.h"
#include "snapshot/value_format.h"

namespace korvane {
namespace {

// "major.minor.build", the build's low 16 bits read as a signed 16-bit number.
std::string VersionText(const VersionNumbers& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(static_cast<int16_t>(version.build & 0xFFFF));
}

// The used share of a volume in percent; a volume of no size reads 0.
std::string UsedShareText(const DiskSpace& space) {
  if (space.totalBytes == 0) return "0";
  return TwoDecimalText(static_cast<double>(space.totalBytes - space.freeToCaller) /
                        static_cast<double>(space.totalBytes) * 100);
}

}  // namespace

std::vector<std::string> DriveLetters(FileSystemServices& files) {
  std::vector<std::string> letters;
  for (const std::string& root : files.LogicalDriveRoots()) {
    if (!root.empty()) letters.push_back(root.substr(0, 1));
  }
  return letters;
}

void FillDriveList(ProgramContext& context) {
  const std::vector<std::string> letters = DriveLetters(context.files);
  if (letters.empty()) return;
  for (size_t i = 0; i < letters.size(); ++i) context.toolkit.ComboInsert(Control::盘符框, static_cast<int>(i), letters[i]);
  context.toolkit.SetSelectedIndex(Control::盘符框, 0);
  context.state.selectedDrive = letters[0];
  OnDriveSelected(context);
}

void OnDriveSelected(ProgramContext& context) {
  WindowToolkit& toolkit = context.toolkit;
  ProgramState& state = context.state;
  const std::string drive = toolkit.ComboItemText(Control::盘符框, toolkit.GetSelectedIndex(Control::盘符框));
  if (drive == state.lastHandledDrive) return;
  state.selectedDrive = drive;
  state.lastHandledDrive = drive;

  const std::string systemDirectory = context.files.SystemDirectory();
  const bool systemDrive = !systemDirectory.empty() && !drive.empty() &&
                           AsciiLower(systemDirectory.substr(0, 1)) == AsciiLower(drive.substr(0, 1));
  const std::string root = drive + ":\\";
  const DiskSpace space = context.files.DiskFreeSpace(root);
  // The name buffer is filled with blanks before the query, so a failed one leaves 255 of them.
  const std::string fileSystem = context.files.FileSystemName(root).value_or(std::string(255, ' '));
  std::string line = " 磁盘：" + drive + "  文件系统：" + fileSystem + "  容量：" + SizeText(space.totalBytes) +
                     "  已占用：" + UsedShareText(space) + "％";
  state.systemVersionTag.clear();
  if (systemDrive) {
    const std::string version = VersionText(context.files.NtVersionNumbers());
    line += "  系统版本：" + version;
    state.systemVersionTag = "_[" + version + "]";
  }
  toolkit.SetText(Control::过程框, line);
  RebuildPrivateSnapshotList(context);
}

}  // namespace korvane
