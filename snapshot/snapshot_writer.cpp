// Writing snapshot files.
#include "snapshot/snapshot_writer.h"

#include "snapshot/chunk_cipher.h"
#include "snapshot/gz_container.h"
#include "snapshot/value_format.h"

namespace korvane {

std::string SnapshotFileName(const std::string& timeStamp, const ProgramState& state) {
  const ScanTable& table = state.scanTable;
  return timeStamp + "_" + std::to_string(table.count()) + state.systemVersionTag + "_" + SizeText(table.size(1)) +
         "." + AsciiLower(state.selectedDrive);
}

void OutputWorker(ProgramContext& context) {
  WindowToolkit& toolkit = context.toolkit;
  FileSystemServices& files = context.files;
  toolkit.SetText(Control::过程框, " 正在输出快照数据，请勿进行其他操作，文件将保存在程序目录下");
  const Bytes text = SnapshotText(context.state.scanTable);
  const std::string name =
      SnapshotFileName(DateTimeText(files.LocalNow(), files.Uses24HourClock(), 3, 0), context.state);
  const std::string directory = files.ProgramDirectory() + "\\";
  const bool plain = files.FileExists(directory + "0.0");
  const bool written = files.WriteWholeFile(
      directory + name,
      plain ? text : ChunkCipher::encipher(GzContainer::pack(text), kPassPhrase, ChunkCipher::kRc4));
  toolkit.SetText(Control::过程框,
                  written ? " 快照文件(" + name + ")输出完毕，保存在程序目录下，请勿移动。"
                          : std::string(" 输出失败，请勿将程序置于系统盘，或执行程序时右键选择以管理员身份运行。"));
  for (const Control control : kInputControls) toolkit.SetDisabled(control, false);
  toolkit.SetText(Control::状态框, kStatusIdle);
}

}  // namespace korvane
