// The window toolkit without a window: the form as an in-memory model, a queue of user events run on the
// window thread, and driver calls with which tests and the command line play the user.
//
// One mutex guards the model, so every operation may be called from any thread. Posted events run only on
// the window thread (the one that built the toolkit or last called Open), inside ProcessEvents,
// PumpIfInput, WaitPumping and the driver calls; a handler that waits thus runs the next events nested
// inside it, as the real window's wait loop does. Ending the program unwinds the window thread back to the
// driver call, which records the exit code.
//
// A modal window does not block the call that opens it: while it is open, the other window refuses input,
// and the driver closes it as the user would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/form.h"
#include "platform/window_toolkit.h"

namespace korvane {

class HeadlessToolkit final : public WindowToolkit {
 public:
  // Thrown by EndProgram to unwind the window thread to the driver call. Deliberately not a
  // std::exception, so that a handler catching those lets it pass.
  struct ProgramEnded {
    int exitCode;
  };

  // The help window's controls exist only while it is open.
  explicit HeadlessToolkit(const WindowForm& mainForm, const WindowForm& helpForm = {});
  // Joins every thread that is still known.
  ~HeadlessToolkit() override;
  HeadlessToolkit(const HeadlessToolkit&) = delete;
  HeadlessToolkit& operator=(const HeadlessToolkit&) = delete;

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
  Bounds GetBounds(Control control) override;
  void SetBounds(Control control, const Bounds& bounds) override;
  Bounds GetWindowBounds(Window window) override;
  // A new size of the main window raises its resized event, as a real window does.
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
  void LoadWindow(Window window, Window owner, bool modal) override;
  void LockRedraw() override;
  void UnlockRedraw() override;
  void SetTransparency(Window window, int alpha) override;
  // Once the program has ended, these three throw ProgramEnded on the window thread, so that a handler
  // waiting for a worker that ended it unwinds to the driver.
  void ProcessEvents() override;
  void PumpIfInput() override;
  void WaitPumping(int milliseconds) override;
  void SetClipboardText(std::string_view text) override;
  void SetErrorHandler(std::function<void(int code, std::string_view message)> handler) override;
  ThreadHandle StartThread(ThreadRoutine routine) override;
  void JoinThread(ThreadHandle thread) override;
  void CloseThreadHandle(ThreadHandle thread) override;
  void SetEventHandler(EventHandler handler) override;
  [[noreturn]] void EndProgram(int exitCode) override;

  // The user, from any thread. Input to a disabled control is refused, as a real window refuses it: the
  // helpers that take it return false and change nothing.
  void Post(const Event& event);
  // A check box toggles its check first.
  bool Click(Control control);
  // Selects the combo box item, then posts itemSelected; an index outside the items is refused.
  bool SelectItem(Control control, int index);
  // Replaces the text, posting nothing; typing into a combo box clears its selection. A read-only field
  // refuses it.
  bool TypeText(Control control, std::string_view text);
  // The report list's current row; a row outside the list leaves none.
  bool SelectRow(int row);
  bool DoubleClick();
  bool RightClick();
  bool ClickHeader(int column);
  bool DropDown(Control control);
  // The main window's close button; refused while a modal window is open.
  bool RequestClose();
  // The help window's close button: the window and its controls go.
  void CloseHelpWindow();
  // The left mouse button released over an edit field.
  bool MouseUp(Control control);
  // Sets the main window's bounds and posts resized.
  void Resize(const Bounds& bounds);
  // One wheel event per notch; positive notches turn away from the user.
  void Wheel(int notches);

  // Called with every text or caption set, on the thread that set it and outside the model lock.
  void AddTextObserver(std::function<void(Control, const std::string&)> observer);

  // The driver, on the window thread; each call returns at once once the program has ended.
  // Makes the calling thread the window thread and runs the created event.
  void Open();
  // Runs events and waits until done() holds, the program ends or the timeout passes; says whether
  // done() held.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Runs the pending events.
  void RunPending();
  std::optional<int> exitCode() const;

  // What a user sees beyond the interface.
  bool IsDisabled(Control control) const;
  std::vector<std::string> ComboItems(Control control) const;
  // The form's report list.
  std::vector<std::vector<std::string>> ListRows() const;
  std::vector<ListColumn> ListColumns() const;
  std::string ClipboardText() const;
  bool IsWindowLoaded(Window window) const;
  int Transparency(Window window = Window::MainWindow) const;
  int RedrawLockDepth() const;

 private:
  struct ControlState {
    Window window = Window::MainWindow;
    ControlKind kind = ControlKind::label;
    bool readOnly = false;
    Bounds bounds;
    std::string text;
    bool disabled = false;
    bool checked = false;
    int selected = -1;
    std::vector<std::string> items;
    std::vector<ListColumn> columns;
    std::vector<std::vector<std::string>> rows;
    int currentRow = -1;
  };
  struct WindowState {
    Bounds bounds;
    bool loaded = false;
    int alpha = 255;
  };
  // With the lock held: adds the form's controls to the model.
  void AddControls(Window window, const WindowForm& form);
  // With the lock held: whether input to the window is refused because another window is modal.
  bool Blocked(Window window) const;
  struct Worker;  // a started thread
  using Observers = std::vector<std::function<void(Control, const std::string&)>>;
  using Lock = std::unique_lock<std::mutex>;

  // Changes the control under the lock; says whether the form has it.
  template <class Change>
  bool Modify(Control control, Change&& change);
  // Reads the control under the lock, or gives fallback when the form lacks it.
  template <class Read, class Result>
  Result Inspect(Control control, Read&& read, Result fallback) const;
  // User input: change says whether the control takes it; an accepted input posts event when given.
  template <class Change>
  bool Input(Control control, Change&& change, std::optional<Event> event = std::nullopt);
  // These four run with the lock held. NoteChange counts a change made by a thread other than the window's.
  void NoteChange();
  bool OnWindowThread() const;
  // On the window thread, runs posted events until the queue is empty, the lock released around each.
  void RunQueued(Lock& lock);
  void ThrowIfEnded() const;

  void PlaceWindow(Window window, const Bounds& bounds, bool alwaysResized);
  void Notify(const std::shared_ptr<const Observers>& observers, Control control, std::string_view text);
  // Runs fn unless the program has ended, turning its end into a return; says whether fn returned.
  template <class Fn>
  bool Drive(Fn&& fn);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<Control, ControlState> controls_;
  Control reportList_ = Control::列表框;
  WindowState windows_[2];
  WindowForm helpForm_;
  std::optional<Window> modalWindow_;
  bool alwaysOnTop_ = false;
  int redrawDepth_ = 0;
  std::string clipboard_;
  std::deque<Event> events_;
  EventHandler handler_;
  std::function<void(int, std::string_view)> errorHandler_;
  std::shared_ptr<const Observers> observers_ = std::make_shared<Observers>();
  std::thread::id windowThread_ = std::this_thread::get_id();
  // Changes by threads other than the window's; the count when the last WaitPumping returned.
  uint64_t foreignChanges_ = 0;
  uint64_t changesAtLastWait_ = 0;
  std::optional<int> exitCode_;
  std::map<ThreadHandle, std::shared_ptr<Worker>> workers_;
  ThreadHandle lastHandle_ = 0;
};

}  // namespace korvane
