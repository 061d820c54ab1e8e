// The window toolkit on Win32: the main and help windows built from their forms, every call carried to the
// window's thread.
//
// The thread that builds the toolkit is the window's thread. Calls from other threads reach it by one path,
// a SendMessage of a closure, which the window thread serves in its message loop, in WaitPumping and in
// JoinThread. The report list is a virtual list view over a row model of GBK texts that any thread changes
// directly; the list is told of changes in batches, so a long run of rows costs no call per cell.
// Everything of Win32 lives in the .cpp, in one record per toolkit.
#pragma once

#include <memory>

#include "platform/form.h"
#include "platform/window_toolkit.h"

namespace korvane {

struct Win32ToolkitData;

// The dialog-item identifier of a control's window (GetDlgItem), by which another process finds it.
int Win32ControlId(Control control);

class Win32Toolkit final : public WindowToolkit {
 public:
  // Builds the main window with its controls, hidden; the calling thread becomes the window's thread. The
  // help window is built from its form each time it is loaded.
  explicit Win32Toolkit(const WindowForm& mainForm, const WindowForm& helpForm = {});
  // Waits for every thread still known, then destroys the window.
  ~Win32Toolkit() override;
  Win32Toolkit(const Win32Toolkit&) = delete;
  Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  // WindowToolkit. Operations on a control that the form lacks are ignored and read as empty.
  void SetText(Control control, std::string_view text) override;
  std::string GetText(Control control) override;
  void SetCaption(Control control, std::string_view caption) override;
  std::string GetCaption(Control control) override;
  void SetDisabled(Control control, bool disabled) override;
  void SetChecked(Control control, bool checked) override;
  bool GetChecked(Control control) override;
  void SetSelectedIndex(Control control, int index) override;
  int GetSelectedIndex(Control control) override;
  int GetCurrentRow(Control control) override;
  // In the form's coordinates: relative to the control's frame.
  Bounds GetBounds(Control control) override;
  void SetBounds(Control control, const Bounds& bounds) override;
  // The outer rectangle on the screen; a new size raises the resized event.
  Bounds GetWindowBounds(Window window) override;
  void SetWindowBounds(Window window, const Bounds& bounds) override;
  void SetAlwaysOnTop(bool onTop) override;
  bool GetAlwaysOnTop() override;
  void ComboInsert(Control control, int index, std::string_view text) override;
  int ComboCount(Control control) override;
  std::string ComboItemText(Control control, int index) override;
  void ComboClear(Control control) override;
  int ListAppendRow(Control control, std::string_view firstCell) override;
  void ListSetCell(Control control, int row, int column, std::string_view text) override;
  std::string ListGetCell(Control control, int row, int column) override;
  int ListRowCount(Control control) override;
  void ListClear(Control control) override;
  void ListEnsureVisible(Control control, int row) override;
  void ListSetColumnTitle(Control control, int column, std::string_view title) override;
  void ListSetColumnWidth(Control control, int column, int width) override;
  int ListGetColumnWidth(Control control, int column) override;
  // Opens the help window owned by the main window; a modal one runs its own message loop until the user
  // closes it, with the main window disabled meanwhile.
  void LoadWindow(Window window, Window owner, bool modal) override;
  void LockRedraw() override;
  void UnlockRedraw() override;
  void SetTransparency(Window window, int alpha) override;
  void ProcessEvents() override;
  void PumpIfInput() override;
  void WaitPumping(int milliseconds) override;
  void SetClipboardText(std::string_view text) override;
  void SetErrorHandler(std::function<void(int code, std::string_view message)> handler) override;
  ThreadHandle StartThread(ThreadRoutine routine) override;
  void JoinThread(ThreadHandle thread) override;
  void CloseThreadHandle(ThreadHandle thread) override;
  void SetEventHandler(EventHandler handler) override;
  // Ends the process with the exit code (ExitProcess).
  [[noreturn]] void EndProgram(int exitCode) override;

  // On the window's thread: runs the created event, then shows the window. Events reach the handler only
  // from here on.
  void Open();
  // On the window's thread: the message loop, until the program ends.
  int RunMessageLoop();

  // The windows' and the controls' native handles (HWND), for tests and the screenshot; null when absent.
  void* NativeWindow(Window window = Window::MainWindow) const;
  void* NativeControl(Control control) const;

 private:
  std::unique_ptr<Win32ToolkitData> data_;
};

}  // namespace korvane
