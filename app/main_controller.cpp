// The controller behind the main window.
#include "app/main_controller.h"

#include <chrono>
#include <thread>

#include "app/drive_selector.h"
#include "app/help_form.h"
#include "app/instance_guard.h"
#include "app/private_snapshots.h"
#include "app/settings.h"
#include "app/window_layout.h"
#include "compare/column_sorter.h"
#include "compare/comparison_pass.h"
#include "scan/directory_walk.h"
#include "snapshot/chunk_cipher.h"
#include "snapshot/snapshot_writer.h"

namespace korvane {

void MainController::HandleEvent(const Event& event) {
  if (event.window == Window::HelpWindow) return HandleHelpWindowEvent(context_, event);
  ProgramState& state = context_.state;
  switch (event.kind) {
    case EventKind::created: return OnCreated();
    case EventKind::closeRequested: return OnCloseRequested();
    case EventKind::resized: return OnWindowResized(context_, state.layout);
    case EventKind::wheel: return OnMouseWheel(context_, state.layout, event.argument);
    case EventKind::headerClicked: return ColumnSorter(context_, state.sort, event.argument);
    case EventKind::doubleClicked: return OnListDoubleClicked();
    case EventKind::rightClicked: return OnListRightClicked();
    case EventKind::clicked:
      if (event.control == Control::快照按钮) return OnSaveSnapshotClicked();
      if (event.control == Control::比对按钮) return OnCompareClicked();
      if (event.control == Control::表单位框) return ApplyUnitDisplay(context_);
      if (event.control == Control::帮助按钮) return OpenHelpWindow(context_);
      return;
    case EventKind::itemSelected:
      // The two reference boxes exclude each other: choosing in one clears the other.
      if (event.control == Control::盘符框) return OnDriveSelected(context_);
      if (event.control == Control::内部参照) return context_.toolkit.SetSelectedIndex(Control::外部参照, -1);
      if (event.control == Control::外部参照) return context_.toolkit.SetSelectedIndex(Control::内部参照, -1);
      return;
    case EventKind::dropDown:
      if (event.control == Control::外部参照) RebuildPrivateSnapshotList(context_);
      return;
    case EventKind::mouseUp: return;
  }
}

void MainController::OnCreated() {
  RememberWindowSize(context_, context_.state.layout);
  if (options_.singleInstance) {
    ProcessNameGuard(context_, 1, true);
    MutexGuard(context_, kPassPhrase, true);
  }
  ApplyInitialChoices(context_);
  FillDriveList(context_);
  if (options_.settings) RestoreSettings(context_);
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

void MainController::OnCompareClicked() {
  WindowToolkit& toolkit = context_.toolkit;
  ProgramState& state = context_.state;
  // A stop is under way: its own click is still waiting.
  if (state.stopRequested) return;
  toolkit.SetText(Control::状态框, kStatusWorking);
  if (toolkit.GetCaption(Control::比对按钮) == "开始比对") {
    toolkit.SetCaption(Control::比对按钮, "停止比对");
    for (size_t i = 0; i + 1 < kInputControls.size(); ++i) toolkit.SetDisabled(kInputControls[i], true);
    toolkit.ListClear(Control::列表框);
    state.scanTable.clear();
    if (TextToInteger(toolkit.GetText(Control::限制框)) < 1) toolkit.SetText(Control::限制框, "");
    state.compareWorker = StartWorker(CompareWorker);
    if (state.compareWorker) WaitWhileWorking();
  } else {
    StopComparison();
  }
  FinishThread(state.compareWorker);
}

void MainController::StopComparison() {
  WindowToolkit& toolkit = context_.toolkit;
  toolkit.SetDisabled(Control::比对按钮, true);
  context_.state.stopRequested = true;
  WaitWhileWorking();
  toolkit.SetDisabled(Control::比对按钮, false);
  context_.state.stopRequested = false;
}

void MainController::OnCloseRequested() {
  WindowToolkit& toolkit = context_.toolkit;
  if (toolkit.GetCaption(Control::比对按钮) != "开始比对") {
    // Closing during a comparison stops it and keeps the window; a second close ends the program.
    if (context_.state.stopRequested) return;
    toolkit.SetText(Control::状态框, kStatusWorking);
    StopComparison();
    FinishThread(context_.state.compareWorker);
    return;
  }
  if (options_.settings) SaveSettings(context_);
  toolkit.ProcessEvents();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EndProgram();
}

void MainController::OnListDoubleClicked() {
  WindowToolkit& toolkit = context_.toolkit;
  if (toolkit.GetText(Control::状态框) != kStatusIdle) return;
  const int row = toolkit.GetCurrentRow(Control::列表框);
  if (row == -1) return toolkit.SetAlwaysOnTop(!toolkit.GetAlwaysOnTop());
  context_.files.ShellExplore(toolkit.ListGetCell(Control::列表框, row, 2));
}

void MainController::OnListRightClicked() {
  WindowToolkit& toolkit = context_.toolkit;
  if (toolkit.GetText(Control::状态框) != kStatusIdle) return;
  const int row = toolkit.GetCurrentRow(Control::列表框);
  if (row >= 0) toolkit.SetClipboardText(toolkit.ListGetCell(Control::列表框, row, 2));
}

void MainController::RestoreIdle() {
  for (const Control control : kInputControls) context_.toolkit.SetDisabled(control, false);
  context_.toolkit.SetCaption(Control::比对按钮, "开始比对");
  context_.toolkit.SetText(Control::状态框, kStatusIdle);
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
