// The controller behind the main window: start-up, saving a snapshot and comparing on the workers, the
// list's clicks, the reference boxes, layout events, and closing.
#pragma once

#include "app/program_state.h"

namespace korvane {

struct ControllerOptions {
  // The window keeps to one running copy and keeps its choices in CF.ini; a scripted user such as the
  // command line does neither.
  bool singleInstance = true;
  bool settings = true;
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
  void OnCompareClicked();
  // Asks the running comparison to end and waits until it has.
  void StopComparison();
  void OnCloseRequested();
  void OnListDoubleClicked();
  void OnListRightClicked();

  // Enables the input controls, captions 比对按钮 "开始比对" and sets " 空闲中".
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
