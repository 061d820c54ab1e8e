// The program run by the command line as a scripted user.
#include "cli/program_session.h"

#include <algorithm>
#include <chrono>

namespace korvane {

ProgramSession::ProgramSession(const HostOptions& options) : host_(options) {
  window_.SetEventHandler([this](const Event& event) { controller_.HandleEvent(event); });
}

ProgramSession::~ProgramSession() {
  for (const ThreadHandle thread : {state_.scanWorker, state_.outputWorker, state_.compareWorker}) {
    if (thread) window_.JoinThread(thread);
  }
}

bool ProgramSession::SelectDrive(const std::string& letter) {
  const auto drives = Drives();
  const auto found = std::find_if(drives.begin(), drives.end(),
                                  [&](const std::string& drive) { return AsciiLower(drive) == AsciiLower(letter); });
  if (found == drives.end()) return false;
  Choose(Control::盘符框, static_cast<int>(found - drives.begin()));
  return true;
}

void ProgramSession::Choose(Control box, int index) {
  window_.SelectItem(box, index);
  window_.RunPending();
}

std::vector<std::string> ProgramSession::PrivateSnapshots() {
  window_.DropDown(Control::外部参照);
  window_.RunPending();
  return window_.ComboItems(Control::外部参照);
}

std::string ProgramSession::NativeRoot(const std::string& letter) const {
  return host_.UserPath(letter + ":\\").value_or("");
}

std::string ProgramSession::ProgramFilePath(const std::string& name) {
  return host_.UserPath(files_.ProgramDirectory() + "\\" + name).value_or(name);
}

Bytes ProgramSession::ReadProgramFile(const std::string& name) {
  return files_.ReadWholeFile(files_.ProgramDirectory() + "\\" + name);
}

void ProgramSession::WatchMessages(std::function<void(const std::string&)> observer) {
  window_.AddTextObserver([observer = std::move(observer)](Control control, const std::string& text) {
    if (control == Control::过程框) observer(text);
  });
}

void ProgramSession::Run(Control button) {
  window_.Click(button);
  window_.RunPending();
  window_.RunUntil(
      [this] { return window_.GetText(Control::状态框) == kStatusIdle && !window_.IsDisabled(Control::快照按钮); },
      std::chrono::hours(24 * 366));
  // A worker's last text may still be on its way to the observers.
  for (const ThreadHandle thread : {state_.outputWorker, state_.compareWorker}) {
    if (thread) window_.JoinThread(thread);
  }
}

}  // namespace korvane
