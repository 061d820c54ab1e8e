// What the core asks of its window layer. Controls are addressed by their form names; texts are GBK and
// copied when handed over. Every operation may be called from any thread: the toolkit carries it to the
// window's thread. Events reach the controller on the window's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace korvane {

// The controls of the main window and of the help window, named as in their forms. The help window's label
// is 帮助标签1: its form calls it 标签1, which the main window's label already is.
enum class Control {
  列表框,
  外形框1,
  编辑框1,
  过程框,
  编辑框3,
  状态框,
  标签4,
  内部参照,
  标签3,
  外部参照,
  外形框2,
  标签1,
  盘符框,
  表单位框,
  比对按钮,
  快照按钮,
  帮助按钮,
  单位框,
  限制框,
  标签2,
  报告框,
  B站框,
  访问Bilibili,
  西瓜框,
  访问西瓜视频,
  帮助标签1,
};

enum class Window { MainWindow, HelpWindow };

struct Bounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Bounds&, const Bounds&) = default;
};

enum class EventKind {
  created,         // the window was created
  closeRequested,  // the main window can be closed
  resized,         // the main window's size changed
  wheel,           // a wheel notch over the main window; argument +1 away from the user, -1 towards
  clicked,         // a button or check box
  doubleClicked,   // the report list
  rightClicked,    // the report list
  itemSelected,    // a combo box item was chosen; argument its index
  dropDown,        // a combo box's list is about to drop down
  headerClicked,   // a report list column header; argument the column
  mouseUp,         // the left mouse button was released over an edit field
};

// One event: window events leave control at its first value.
struct Event {
  EventKind kind = EventKind::created;
  Control control = Control::列表框;
  int argument = 0;
  // The window whose control or which itself raised the event.
  Window window = Window::MainWindow;
};

using EventHandler = std::function<void(const Event&)>;
using ThreadRoutine = std::function<void()>;
// A started thread; 0 is no thread.
using ThreadHandle = int;

class WindowToolkit {
 public:
  virtual ~WindowToolkit() = default;

  // Properties.
  virtual void SetText(Control control, std::string_view text) = 0;
  // An edit box's content; a combo box's shown text.
  virtual std::string GetText(Control control) = 0;
  virtual void SetCaption(Control control, std::string_view caption) = 0;
  virtual std::string GetCaption(Control control) = 0;
  virtual void SetDisabled(Control control, bool disabled) = 0;
  virtual void SetChecked(Control control, bool checked) = 0;
  virtual bool GetChecked(Control control) = 0;
  // From 0; -1 is none, and setting -1 clears the selection.
  virtual void SetSelectedIndex(Control control, int index) = 0;
  virtual int GetSelectedIndex(Control control) = 0;
  // The report list's selected row, -1 when none.
  virtual int GetCurrentRow(Control control) = 0;
  virtual Bounds GetBounds(Control control) = 0;
  virtual void SetBounds(Control control, const Bounds& bounds) = 0;
  virtual Bounds GetWindowBounds(Window window) = 0;
  virtual void SetWindowBounds(Window window, const Bounds& bounds) = 0;
  virtual void SetAlwaysOnTop(bool onTop) = 0;
  virtual bool GetAlwaysOnTop() = 0;

  // Combo boxes.
  virtual void ComboInsert(Control control, int index, std::string_view text) = 0;
  virtual int ComboCount(Control control) = 0;
  virtual std::string ComboItemText(Control control, int index) = 0;
  virtual void ComboClear(Control control) = 0;

  // The report list, columns from 0.
  // Adds a row at the end with the text of column 0; returns its index.
  virtual int ListAppendRow(Control control, std::string_view firstCell) = 0;
  virtual void ListSetCell(Control control, int row, int column, std::string_view text) = 0;
  virtual std::string ListGetCell(Control control, int row, int column) = 0;
  virtual int ListRowCount(Control control) = 0;
  virtual void ListClear(Control control) = 0;
  virtual void ListEnsureVisible(Control control, int row) = 0;
  virtual void ListSetColumnTitle(Control control, int column, std::string_view title) = 0;
  // Width 0 hides a column.
  virtual void ListSetColumnWidth(Control control, int column, int width) = 0;
  virtual int ListGetColumnWidth(Control control, int column) = 0;

  // Windows.
  // Opens a window owned by owner and raises its created event; a modal one disables the program's other
  // windows while it is open. The user closes it; it keeps nothing once closed. A modal window on a real
  // display returns once it has closed; callers do nothing after opening that depends on when it returns.
  virtual void LoadWindow(Window window, Window owner, bool modal) = 0;
  virtual void LockRedraw() = 0;
  virtual void UnlockRedraw() = 0;
  // Alpha 0 to 255; a value outside becomes 255.
  virtual void SetTransparency(Window window, int alpha) = 0;

  // Messages and waiting. These run events only on the window's thread; elsewhere they only wait.
  // Runs every pending event and returns.
  virtual void ProcessEvents() = 0;
  // ProcessEvents, only when input is pending.
  virtual void PumpIfInput() = 0;
  // Waits up to milliseconds, running events as they come. Returns early once a worker has changed a
  // control, so that a polling loop tests its condition at once.
  virtual void WaitPumping(int milliseconds) = 0;

  virtual void SetClipboardText(std::string_view text) = 0;

  // The routine gets an error code and a message when a check of the toolkit fails; the process then
  // ends with exit code -1.
  virtual void SetErrorHandler(std::function<void(int code, std::string_view message)> handler) = 0;

  // Threads.
  virtual ThreadHandle StartThread(ThreadRoutine routine) = 0;
  // Waits until the thread has ended, serving the calls it makes into the window meanwhile.
  virtual void JoinThread(ThreadHandle thread) = 0;
  virtual void CloseThreadHandle(ThreadHandle thread) = 0;

  // The program's life. The handler receives every event on the window's thread.
  virtual void SetEventHandler(EventHandler handler) = 0;
  // Ends the program with the exit code, from the window's thread; does not return.
  [[noreturn]] virtual void EndProgram(int exitCode) = 0;
};

}  // namespace korvane
