// The controller behind the main window.
#include "app/main_controller.h"

#include <chrono>
#include <thread>

#include "app/drive_selector.h"
#include "app/instance_guard.h"
#include "scan/directory_walk.h"
#include "snapshot/chunk_cipher.h"
#include "snapshot/snapshot_writer.h"

namespace korvane {

void MainController::HandleEvent(const Event& event) {
  switch (event.kind) {
    case EventKind::created: return OnCreated();
    case EventKind::closeRequested: return OnCloseRequested();
    case EventKind::clicked:
      if (event.control == Control::快照按钮) OnSaveSnapshotClicked();
      return;
    case EventKind::itemSelected:
      if (event.control == Control::盘符框) OnDriveSelected(context_);
      return;
    default: return;
  }
}

void MainController::OnCreated() {
  const Bounds window = context_.toolkit.GetWindowBounds(Window::MainWindow);
  context_.state.windowWidth = window.width;
  context_.state.windowHeight = window.height;
  if (options_.singleInstance) {
    ProcessNameGuard(context_, 1, true);
    MutexGuard(context_, kPassPhrase, true);
  }
  FillDriveList(context_);
}

void MainController::OnSaveSnapshotClicked() {
  WindowToolkit& toolkit = context_.toolkit;
  ProgramState& state = context_.state;
  FinishThread(state.outputWorker);
  toolkit.SetText(Control::状态框, kStatusWorking);
  for (const Control control : kInputControls) toolkit.SetDisabled(control, true);
  state.scanTable.clear();
  state.scanWorker = StartWorker(ScanWorker);
  if (!state.scanWorker) return;
  WaitWhileWorking();
  FinishThread(state.scanWorker);
  if (state.stopRequested) {
    // A walk that was stopped leaves part of the drive unrecorded: that is no snapshot to keep.
    RestoreIdle();
    return;
  }
  toolkit.SetText(Control::状态框, kStatusWorking);
  state.outputWorker = StartWorker(OutputWorker);
}

void MainController::RestoreIdle() {
  for (const Control control : kInputControls) context_.toolkit.SetDisabled(control, false);
  context_.toolkit.SetText(Control::状态框, kStatusIdle);
}

void MainController::OnCloseRequested() {
  if (context_.toolkit.GetCaption(Control::比对按钮) != "开始比对") return;
  context_.toolkit.ProcessEvents();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EndProgram();
}

ThreadHandle MainController::StartWorker(void (*body)(ProgramContext&)) {
  const ThreadHandle thread = context_.toolkit.StartThread([this, body] { body(context_); });
  if (!thread) RestoreIdle();
  return thread;
}

void MainController::WaitWhileWorking() {
  while (context_.toolkit.GetText(Control::状态框) == kStatusWorking) context_.toolkit.WaitPumping(500);
}

void MainController::FinishThread(ThreadHandle& thread) {
  if (!thread) return;
  context_.toolkit.JoinThread(thread);
  context_.toolkit.CloseThreadHandle(thread);
  thread = 0;
}

void MainController::EndProgram() {
  ProgramState& state = context_.state;
  state.stopRequested = true;
  for (ThreadHandle* thread : {&state.scanWorker, &state.outputWorker, &state.compareWorker}) FinishThread(*thread);
  context_.toolkit.EndProgram(0);
}

}  // namespace korvane
