// The program run by the command line as a scripted user: the real services, the headless window, the
// same controller; it selects, clicks and waits as a user would and reads what the window shows.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/main_controller.h"
#include "app/main_form.h"
#include "platform/headless/headless_toolkit.h"
#include "platform/posix/posix_file_system.h"

namespace korvane {

class ProgramSession {
 public:
  explicit ProgramSession(PosixFileSystemOptions options);
  ~ProgramSession();
  ProgramSession(const ProgramSession&) = delete;
  ProgramSession& operator=(const ProgramSession&) = delete;

  // Starts the window, without the single-instance guards: commands may run side by side.
  void Open() { toolkit_.Open(); }

  // The drive letters of 盘符框.
  std::vector<std::string> Drives() { return toolkit_.ComboItems(Control::盘符框); }
  // Chooses a drive as a user does; false when the list has no such letter.
  bool SelectDrive(const std::string& letter);
  // The native directory a drive letter stands for.
  std::string NativeRoot(const std::string& letter) const;
  std::string Message() { return toolkit_.GetText(Control::过程框); }

  // Calls observer with each new text of 过程框, from whatever thread set it.
  void WatchMessages(std::function<void(const std::string&)> observer);

  // Clicks 保存快照 and waits until the window is idle again.
  void SaveSnapshot();
  // Asks the walk to end early, as closing the window does; safe from a signal handler.
  std::atomic<bool>& StopFlag() { return state_.stopRequested; }
  // The native path of a file in the program directory.
  std::string ProgramFilePath(const std::string& name);

 private:
  PosixFileSystem files_;
  HeadlessToolkit toolkit_{MainWindowForm()};
  ProgramState state_;
  MainController controller_{{toolkit_, files_, state_}, {.singleInstance = false, .settings = false}};
};

}  // namespace korvane
