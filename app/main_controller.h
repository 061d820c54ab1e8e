// The controller behind the main window: start-up, saving a snapshot on the workers, and closing.
#pragma once

#include "app/program_state.h"

namespace korvane {

struct ControllerOptions {
  // The window keeps to one running copy; a scripted user such as the command line need not.
  bool singleInstance = true;
};

class MainController {
 public:
  explicit MainController(ProgramContext context, ControllerOptions options = {})
      : context_(context), options_(options) {}

  // Runs on the window's thread for every event of the main window.
  void HandleEvent(const Event& event);

 private:
  void OnCreated();
  void OnSaveSnapshotClicked();
  void OnCloseRequested();

  // Enables the input controls and sets " 空闲中".
  void RestoreIdle();
  // Starts a worker; on failure the controls and the status return to idle and 0 is returned.
  ThreadHandle StartWorker(void (*body)(ProgramContext&));
  // Polls 状态框 until it no longer reads " 工作中", keeping the window served.
  void WaitWhileWorking();
  // Makes sure the thread has ended and releases its handle.
  void FinishThread(ThreadHandle& thread);
  // Ends the program with exit code 0 once every worker has ended: a running walk is asked to stop, a
  // snapshot being written is finished.
  void EndProgram();

  ProgramContext context_;
  ControllerOptions options_;
};

}  // namespace korvane
