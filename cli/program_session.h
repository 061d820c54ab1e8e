// The program run by the command line as a scripted user: the real services, the headless window, the
// same controller; it selects, clicks and waits as a user would and reads what the window shows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/main_controller.h"
#include "app/main_form.h"
#include "cli/host.h"
#include "platform/headless/headless_toolkit.h"

namespace korvane {

class ProgramSession {
 public:
  explicit ProgramSession(const HostOptions& options);
  ~ProgramSession();
  ProgramSession(const ProgramSession&) = delete;
  ProgramSession& operator=(const ProgramSession&) = delete;

  // Starts the window, without the single-instance guards and without CF.ini: commands may run side
  // by side and leave the window's own choices alone.
  void Open() { window_.Open(); }

  HeadlessToolkit& window() { return window_; }
  ProgramState& state() { return state_; }

  // The drive letters of 盘符框.
  std::vector<std::string> Drives() { return window_.ComboItems(Control::盘符框); }
  // Chooses a drive as a user does; false when the list has no such letter.
  bool SelectDrive(const std::string& letter);
  // Chooses an item of a combo box and lets the window handle the choice.
  void Choose(Control box, int index);
  // Opens the list of 外部参照, which rebuilds it, and gives its entries.
  std::vector<std::string> PrivateSnapshots();
  // The directory a drive letter stands for, as this system names it.
  std::string NativeRoot(const std::string& letter) const;
  // The path of a file in the program directory as this system names it, and its bytes (empty when
  // unreadable).
  std::string ProgramFilePath(const std::string& name);
  Bytes ReadProgramFile(const std::string& name);
  std::string Message() { return window_.GetText(Control::过程框); }

  // Calls observer with each new text of 过程框, from whatever thread set it.
  void WatchMessages(std::function<void(const std::string&)> observer);

  // Clicks a button that starts a run and waits until the window is idle again, the run's thread ended.
  void Run(Control button);

 private:
  HostFiles host_;
  FileSystemServices& files_ = host_.services();
  HeadlessToolkit window_{MainWindowForm()};
  ProgramState state_;
  MainController controller_{{window_, files_, state_}, {.singleInstance = false, .settings = false}};
};

}  // namespace korvane
