// The program run by the command line as a scripted user.
#include "cli/program_session.h"

#include <algorithm>
#include <chrono>

namespace korvane {

ProgramSession::ProgramSession(PosixFileSystemOptions options) : files_(std::move(options)) {
  toolkit_.SetEventHandler([this](const Event& event) { controller_.HandleEvent(event); });
}

ProgramSession::~ProgramSession() {
  for (const ThreadHandle thread : {state_.scanWorker, state_.outputWorker, state_.compareWorker}) {
    if (thread) toolkit_.JoinThread(thread);
  }
}

bool ProgramSession::SelectDrive(const std::string& letter) {
  const auto drives = Drives();
  const auto found = std::find_if(drives.begin(), drives.end(),
                                  [&](const std::string& drive) { return AsciiLower(drive) == AsciiLower(letter); });
  if (found == drives.end()) return false;
  toolkit_.SelectItem(Control::盘符框, static_cast<int>(found - drives.begin()));
  toolkit_.RunPending();
  return true;
}

std::string ProgramSession::NativeRoot(const std::string& letter) const {
  return files_.NativePath(letter + ":\\").value_or("");
}

void ProgramSession::WatchMessages(std::function<void(const std::string&)> observer) {
  toolkit_.AddTextObserver([observer = std::move(observer)](Control control, const std::string& text) {
    if (control == Control::过程框) observer(text);
  });
}

void ProgramSession::SaveSnapshot() {
  toolkit_.Click(Control::快照按钮);
  toolkit_.RunPending();
  toolkit_.RunUntil(
      [this] { return toolkit_.GetText(Control::状态框) == kStatusIdle && !toolkit_.IsDisabled(Control::快照按钮); },
      std::chrono::hours(24 * 366));
  // The writer's last text may still be on its way to the observers.
  if (state_.outputWorker) toolkit_.JoinThread(state_.outputWorker);
}

std::string ProgramSession::ProgramFilePath(const std::string& name) {
  return files_.NativePath(files_.ProgramDirectory() + "\\" + name).value_or(name);
}

}  // namespace korvane
