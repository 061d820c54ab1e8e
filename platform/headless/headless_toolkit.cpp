// The window toolkit without a window: the in-memory form, the event queue and the driver calls.
#include "platform/headless/headless_toolkit.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;

// RunUntil re-tests its condition at least this often, for conditions that no toolkit call changes.
constexpr auto kPollSlice = std::chrono::milliseconds(10);

bool InRange(int index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

}  // namespace

struct HeadlessToolkit::Worker {
  std::mutex joining;  // one join at a time, whichever thread asks
  std::thread thread;
};

HeadlessToolkit::HeadlessToolkit(const WindowForm& mainForm, const WindowForm& helpForm) : helpForm_(helpForm) {
  AddControls(Window::MainWindow, mainForm);
  for (const ControlForm& form : mainForm.controls) {
    if (form.kind == ControlKind::reportList) {
      reportList_ = form.name;
      break;
    }
  }
  WindowState& main = windows_[static_cast<size_t>(Window::MainWindow)];
  main.bounds = mainForm.bounds;
  main.loaded = true;
}

void HeadlessToolkit::AddControls(Window window, const WindowForm& form) {
  for (const ControlForm& control : form.controls) {
    ControlState& state = controls_[control.name];
    state = ControlState{};
    state.window = window;
    state.kind = control.kind;
    state.readOnly = control.readOnly || control.kind == ControlKind::multiLineField;
    state.bounds = control.bounds;
    state.text = control.text;
    state.items = control.items;
    state.columns = control.columns;
  }
}

bool HeadlessToolkit::Blocked(Window window) const { return modalWindow_ && *modalWindow_ != window; }

HeadlessToolkit::~HeadlessToolkit() {
  // A thread may start another one while we join, hence the loop.
  for (;;) {
    std::map<ThreadHandle, std::shared_ptr<Worker>> left;
    {
      Lock lock(mutex_);
      left.swap(workers_);
    }
    if (left.empty()) break;
    for (auto& [handle, worker] : left) {
      std::lock_guard joining(worker->joining);
      if (worker->thread.joinable()) worker->thread.join();
    }
  }
}

// ---- The model's plumbing -----------------------------------------------------------------------------

void HeadlessToolkit::NoteChange() {
  if (!OnWindowThread()) ++foreignChanges_;
}

bool HeadlessToolkit::OnWindowThread() const { return std::this_thread::get_id() == windowThread_; }

void HeadlessToolkit::ThrowIfEnded() const {
  if (exitCode_) throw ProgramEnded{*exitCode_};
}

template <class Change>
bool HeadlessToolkit::Modify(Control control, Change&& change) {
  {
    Lock lock(mutex_);
    const auto found = controls_.find(control);
    if (found == controls_.end()) return false;
    change(found->second);
    NoteChange();
  }
  changed_.notify_all();
  return true;
}

template <class Read, class Result>
Result HeadlessToolkit::Inspect(Control control, Read&& read, Result fallback) const {
  Lock lock(mutex_);
  const auto found = controls_.find(control);
  return found == controls_.end() ? fallback : read(found->second);
}

template <class Change>
bool HeadlessToolkit::Input(Control control, Change&& change, std::optional<Event> event) {
  {
    Lock lock(mutex_);
    const auto found = controls_.find(control);
    if (found == controls_.end() || found->second.disabled || Blocked(found->second.window) ||
        !change(found->second)) {
      return false;
    }
    NoteChange();
    if (event) {
      event->window = found->second.window;
      events_.push_back(*event);
    }
  }
  changed_.notify_all();
  return true;
}

void HeadlessToolkit::Notify(const std::shared_ptr<const Observers>& observers, Control control,
                             std::string_view text) {
  if (observers->empty()) return;
  const std::string copy(text);
  for (const auto& observer : *observers) observer(control, copy);
}

// ---- Properties ---------------------------------------------------------------------------------------

void HeadlessToolkit::SetText(Control control, std::string_view text) {
  std::shared_ptr<const Observers> observers;
  if (Modify(control, [&](ControlState& state) {
        state.text = text;
        observers = observers_;
      })) {
    Notify(observers, control, text);
  }
}

std::string HeadlessToolkit::GetText(Control control) {
  return Inspect(
      control,
      [](const ControlState& state) {
        // A combo box shows its selected item, else what was written into it.
        if (state.kind == ControlKind::comboBox && state.selected >= 0) return state.items[state.selected];
        return state.text;
      },
      std::string());
}

// Headless, a caption is a control's text.
void HeadlessToolkit::SetCaption(Control control, std::string_view caption) { SetText(control, caption); }

std::string HeadlessToolkit::GetCaption(Control control) {
  return Inspect(control, [](const ControlState& state) { return state.text; }, std::string());
}

void HeadlessToolkit::SetDisabled(Control control, bool disabled) {
  Modify(control, [&](ControlState& state) { state.disabled = disabled; });
}

void HeadlessToolkit::SetChecked(Control control, bool checked) {
  Modify(control, [&](ControlState& state) { state.checked = checked; });
}

bool HeadlessToolkit::GetChecked(Control control) {
  return Inspect(control, [](const ControlState& state) { return state.checked; }, false);
}

void HeadlessToolkit::SetSelectedIndex(Control control, int index) {
  Modify(control,
         [&](ControlState& state) { state.selected = InRange(index, state.items.size()) ? index : -1; });
}

int HeadlessToolkit::GetSelectedIndex(Control control) {
  return Inspect(control, [](const ControlState& state) { return state.selected; }, -1);
}

int HeadlessToolkit::GetCurrentRow(Control control) {
  return Inspect(control, [](const ControlState& state) { return state.currentRow; }, -1);
}

Bounds HeadlessToolkit::GetBounds(Control control) {
  return Inspect(control, [](const ControlState& state) { return state.bounds; }, Bounds{});
}

void HeadlessToolkit::SetBounds(Control control, const Bounds& bounds) {
  Modify(control, [&](ControlState& state) { state.bounds = bounds; });
}

Bounds HeadlessToolkit::GetWindowBounds(Window window) {
  Lock lock(mutex_);
  return windows_[static_cast<size_t>(window)].bounds;
}

void HeadlessToolkit::SetWindowBounds(Window window, const Bounds& bounds) { PlaceWindow(window, bounds, false); }

void HeadlessToolkit::PlaceWindow(Window window, const Bounds& bounds, bool alwaysResized) {
  {
    Lock lock(mutex_);
    Bounds& current = windows_[static_cast<size_t>(window)].bounds;
    const bool resized = window == Window::MainWindow &&
                         (alwaysResized || current.width != bounds.width || current.height != bounds.height);
    current = bounds;
    NoteChange();
    if (resized) events_.push_back(Event{EventKind::resized});
  }
  changed_.notify_all();
}

void HeadlessToolkit::SetAlwaysOnTop(bool onTop) {
  Lock lock(mutex_);
  alwaysOnTop_ = onTop;
}

bool HeadlessToolkit::GetAlwaysOnTop() {
  Lock lock(mutex_);
  return alwaysOnTop_;
}

// ---- Combo boxes --------------------------------------------------------------------------------------

void HeadlessToolkit::ComboInsert(Control control, int index, std::string_view text) {
  Modify(control, [&](ControlState& state) {
    // An index past the end appends; the selection stays on its item.
    const int at = InRange(index, state.items.size() + 1) ? index : static_cast<int>(state.items.size());
    state.items.insert(state.items.begin() + at, std::string(text));
    if (state.selected >= at) ++state.selected;
  });
}

int HeadlessToolkit::ComboCount(Control control) {
  return Inspect(control, [](const ControlState& state) { return static_cast<int>(state.items.size()); }, 0);
}

std::string HeadlessToolkit::ComboItemText(Control control, int index) {
  return Inspect(
      control,
      [&](const ControlState& state) {
        return InRange(index, state.items.size()) ? state.items[index] : std::string();
      },
      std::string());
}

void HeadlessToolkit::ComboClear(Control control) {
  // Emptying a combo box empties what it shows as well.
  Modify(control, [](ControlState& state) {
    state.items.clear();
    state.selected = -1;
    state.text.clear();
  });
}

// ---- The report list ----------------------------------------------------------------------------------

int HeadlessToolkit::ListAppendRow(Control control, std::string_view firstCell) {
  int row = -1;
  Modify(control, [&](ControlState& state) {
    std::vector<std::string> cells(std::max<size_t>(state.columns.size(), 1));
    cells[0] = firstCell;
    state.rows.push_back(std::move(cells));
    row = static_cast<int>(state.rows.size()) - 1;
  });
  return row;
}

void HeadlessToolkit::ListSetCell(Control control, int row, int column, std::string_view text) {
  Modify(control, [&](ControlState& state) {
    if (InRange(row, state.rows.size()) && InRange(column, state.rows[row].size())) state.rows[row][column] = text;
  });
}

std::string HeadlessToolkit::ListGetCell(Control control, int row, int column) {
  return Inspect(
      control,
      [&](const ControlState& state) {
        if (!InRange(row, state.rows.size()) || !InRange(column, state.rows[row].size())) return std::string();
        return state.rows[row][column];
      },
      std::string());
}

int HeadlessToolkit::ListRowCount(Control control) {
  return Inspect(control, [](const ControlState& state) { return static_cast<int>(state.rows.size()); }, 0);
}

void HeadlessToolkit::ListClear(Control control) {
  Modify(control, [](ControlState& state) {
    state.rows.clear();
    state.currentRow = -1;
  });
}

// Nothing scrolls without a window.
void HeadlessToolkit::ListEnsureVisible(Control, int) {}

void HeadlessToolkit::ListSetColumnTitle(Control control, int column, std::string_view title) {
  Modify(control, [&](ControlState& state) {
    if (InRange(column, state.columns.size())) state.columns[column].title = title;
  });
}

void HeadlessToolkit::ListSetColumnWidth(Control control, int column, int width) {
  Modify(control, [&](ControlState& state) {
    if (InRange(column, state.columns.size())) state.columns[column].width = width;
  });
}

int HeadlessToolkit::ListGetColumnWidth(Control control, int column) {
  return Inspect(
      control,
      [&](const ControlState& state) { return InRange(column, state.columns.size()) ? state.columns[column].width : 0; },
      0);
}

// ---- Windows ------------------------------------------------------------------------------------------

// The main window is open from the start; only the help window comes and goes.
void HeadlessToolkit::LoadWindow(Window window, Window, bool modal) {
  if (window != Window::HelpWindow) return;
  {
    Lock lock(mutex_);
    WindowState& help = windows_[static_cast<size_t>(window)];
    if (help.loaded) return;
    help = WindowState{helpForm_.bounds, true};
    AddControls(window, helpForm_);
    if (modal) modalWindow_ = window;
    NoteChange();
    events_.push_back(Event{EventKind::created, {}, 0, window});
  }
  changed_.notify_all();
}

void HeadlessToolkit::LockRedraw() {
  Lock lock(mutex_);
  ++redrawDepth_;
}

void HeadlessToolkit::UnlockRedraw() {
  Lock lock(mutex_);
  if (redrawDepth_ > 0) --redrawDepth_;
}

void HeadlessToolkit::SetTransparency(Window window, int alpha) {
  Lock lock(mutex_);
  windows_[static_cast<size_t>(window)].alpha = alpha >= 0 && alpha <= 255 ? alpha : 255;
}

void HeadlessToolkit::SetClipboardText(std::string_view text) {
  Lock lock(mutex_);
  clipboard_ = text;
}

// No check of this toolkit can fail; the routine is kept for the interface's sake.
void HeadlessToolkit::SetErrorHandler(std::function<void(int code, std::string_view message)> handler) {
  Lock lock(mutex_);
  errorHandler_ = std::move(handler);
}

// ---- Events and waiting -------------------------------------------------------------------------------

void HeadlessToolkit::RunQueued(Lock& lock) {
  if (!OnWindowThread()) return;
  for (;;) {
    ThrowIfEnded();
    if (events_.empty()) return;
    const Event event = events_.front();
    events_.pop_front();
    const EventHandler handler = handler_;
    // Unlocked, so that the handler may call the toolkit and wait in turn.
    lock.unlock();
    if (handler) handler(event);
    lock.lock();
  }
}

void HeadlessToolkit::ProcessEvents() {
  Lock lock(mutex_);
  RunQueued(lock);
}

// Pending input is exactly a non-empty queue here, which ProcessEvents tests anyway.
void HeadlessToolkit::PumpIfInput() { ProcessEvents(); }

void HeadlessToolkit::WaitPumping(int milliseconds) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
  Lock lock(mutex_);
  if (!OnWindowThread()) {
    lock.unlock();
    // Some runtimes wake a sleeper a little early; the wait lasts its full time all the same.
    while (Clock::now() < deadline) std::this_thread::sleep_until(deadline);
    return;
  }
  // Counting from the last wait's return, a change that came between a caller's test and this call
  // still ends the wait at once; a nested wait that saw the change first does not hide it from this one.
  const uint64_t baseline = changesAtLastWait_;
  for (;;) {
    RunQueued(lock);
    if (foreignChanges_ != baseline || Clock::now() >= deadline) break;
    changed_.wait_until(lock, deadline);
  }
  changesAtLastWait_ = foreignChanges_;
}

void HeadlessToolkit::SetEventHandler(EventHandler handler) {
  Lock lock(mutex_);
  handler_ = std::move(handler);
}

void HeadlessToolkit::EndProgram(int exitCode) {
  {
    Lock lock(mutex_);
    if (!exitCode_) exitCode_ = exitCode;
  }
  changed_.notify_all();
  throw ProgramEnded{exitCode};
}

// ---- Threads ------------------------------------------------------------------------------------------

ThreadHandle HeadlessToolkit::StartThread(ThreadRoutine routine) {
  if (!routine) return 0;
  auto worker = std::make_shared<Worker>();
  try {
    worker->thread = std::thread([routine = std::move(routine)] {
      try {
        routine();
      } catch (const ProgramEnded&) {
        // EndProgram has recorded the exit code; the window thread unwinds at its next wait.
      }
    });
  } catch (const std::system_error&) {
    return 0;
  }
  Lock lock(mutex_);
  workers_.emplace(++lastHandle_, std::move(worker));
  return lastHandle_;
}

void HeadlessToolkit::JoinThread(ThreadHandle thread) {
  std::shared_ptr<Worker> worker;
  {
    Lock lock(mutex_);
    const auto found = workers_.find(thread);
    if (found == workers_.end()) return;
    worker = found->second;
  }
  // Outside the model lock: the worker may still be calling the toolkit.
  std::lock_guard joining(worker->joining);
  if (worker->thread.joinable()) worker->thread.join();
}

void HeadlessToolkit::CloseThreadHandle(ThreadHandle thread) {
  // A thread must not outlive the toolkit it calls, so a handle closed while its thread runs waits for it.
  JoinThread(thread);
  Lock lock(mutex_);
  workers_.erase(thread);
}

// ---- The user -----------------------------------------------------------------------------------------

void HeadlessToolkit::Post(const Event& event) {
  {
    Lock lock(mutex_);
    events_.push_back(event);
  }
  changed_.notify_all();
}

bool HeadlessToolkit::Click(Control control) {
  return Input(
      control,
      [](ControlState& state) {
        if (state.kind == ControlKind::checkBox) state.checked = !state.checked;
        return true;
      },
      Event{EventKind::clicked, control});
}

bool HeadlessToolkit::SelectItem(Control control, int index) {
  return Input(
      control,
      [&](ControlState& state) {
        if (!InRange(index, state.items.size())) return false;
        state.selected = index;
        return true;
      },
      Event{EventKind::itemSelected, control, index});
}

bool HeadlessToolkit::TypeText(Control control, std::string_view text) {
  std::shared_ptr<const Observers> observers;
  const bool typed = Input(control, [&](ControlState& state) {
    if (state.readOnly) return false;
    // What the user types replaces the chosen item as the combo box's shown text.
    if (state.kind == ControlKind::comboBox) state.selected = -1;
    state.text = text;
    observers = observers_;
    return true;
  });
  if (typed) Notify(observers, control, text);
  return typed;
}

bool HeadlessToolkit::SelectRow(int row) {
  return Input(reportList_, [&](ControlState& state) {
    state.currentRow = InRange(row, state.rows.size()) ? row : -1;
    return true;
  });
}

bool HeadlessToolkit::DoubleClick() {
  return Input(reportList_, [](ControlState&) { return true; }, Event{EventKind::doubleClicked, reportList_});
}

bool HeadlessToolkit::RightClick() {
  return Input(reportList_, [](ControlState&) { return true; }, Event{EventKind::rightClicked, reportList_});
}

bool HeadlessToolkit::ClickHeader(int column) {
  return Input(reportList_, [](ControlState&) { return true; },
               Event{EventKind::headerClicked, reportList_, column});
}

bool HeadlessToolkit::DropDown(Control control) {
  return Input(control, [](ControlState&) { return true; }, Event{EventKind::dropDown, control});
}

bool HeadlessToolkit::RequestClose() {
  {
    Lock lock(mutex_);
    if (Blocked(Window::MainWindow)) return false;
    events_.push_back(Event{EventKind::closeRequested});
  }
  changed_.notify_all();
  return true;
}

void HeadlessToolkit::CloseHelpWindow() {
  {
    Lock lock(mutex_);
    windows_[static_cast<size_t>(Window::HelpWindow)].loaded = false;
    std::erase_if(controls_, [](const auto& control) { return control.second.window == Window::HelpWindow; });
    if (modalWindow_ == Window::HelpWindow) modalWindow_.reset();
    NoteChange();
  }
  changed_.notify_all();
}

bool HeadlessToolkit::MouseUp(Control control) {
  return Input(
      control,
      [](ControlState& state) {
        return state.kind == ControlKind::editField || state.kind == ControlKind::multiLineField;
      },
      Event{EventKind::mouseUp, control});
}

void HeadlessToolkit::Resize(const Bounds& bounds) { PlaceWindow(Window::MainWindow, bounds, true); }

void HeadlessToolkit::Wheel(int notches) {
  {
    Lock lock(mutex_);
    if (Blocked(Window::MainWindow)) return;
    for (int notch = 0; notch < std::abs(notches); ++notch) {
      events_.push_back(Event{EventKind::wheel, Control::列表框, notches > 0 ? 1 : -1});
    }
  }
  changed_.notify_all();
}

void HeadlessToolkit::AddTextObserver(std::function<void(Control, const std::string&)> observer) {
  Lock lock(mutex_);
  // Copy on write: a text being set meanwhile keeps calling the list it took.
  auto observers = std::make_shared<Observers>(*observers_);
  observers->push_back(std::move(observer));
  observers_ = std::move(observers);
}

// ---- The driver ---------------------------------------------------------------------------------------

template <class Fn>
bool HeadlessToolkit::Drive(Fn&& fn) {
  if (exitCode()) return false;
  try {
    fn();
    return true;
  } catch (const ProgramEnded&) {
    return false;  // EndProgram has recorded the exit code
  }
}

void HeadlessToolkit::Open() {
  Drive([&] {
    EventHandler handler;
    {
      Lock lock(mutex_);
      windowThread_ = std::this_thread::get_id();
      handler = handler_;
    }
    if (handler) handler(Event{EventKind::created});
  });
}

bool HeadlessToolkit::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  bool held = false;
  const bool returned = Drive([&] {
    for (;;) {
      uint64_t baseline = 0;
      {
        Lock lock(mutex_);
        RunQueued(lock);
        baseline = foreignChanges_;
      }
      held = done();
      const auto now = Clock::now();
      if (held || now >= deadline) return;
      Lock lock(mutex_);
      changed_.wait_until(lock, std::min(deadline, now + kPollSlice),
                          [&] { return !events_.empty() || foreignChanges_ != baseline || exitCode_; });
    }
  });
  return returned ? held : done();
}

void HeadlessToolkit::RunPending() {
  Drive([&] { ProcessEvents(); });
}

std::optional<int> HeadlessToolkit::exitCode() const {
  Lock lock(mutex_);
  return exitCode_;
}

// ---- Read access --------------------------------------------------------------------------------------

bool HeadlessToolkit::IsDisabled(Control control) const {
  return Inspect(control, [](const ControlState& state) { return state.disabled; }, false);
}

std::vector<std::string> HeadlessToolkit::ComboItems(Control control) const {
  return Inspect(control, [](const ControlState& state) { return state.items; }, std::vector<std::string>());
}

std::vector<std::vector<std::string>> HeadlessToolkit::ListRows() const {
  return Inspect(reportList_, [](const ControlState& state) { return state.rows; },
                 std::vector<std::vector<std::string>>());
}

std::vector<ListColumn> HeadlessToolkit::ListColumns() const {
  return Inspect(reportList_, [](const ControlState& state) { return state.columns; }, std::vector<ListColumn>());
}

std::string HeadlessToolkit::ClipboardText() const {
  Lock lock(mutex_);
  return clipboard_;
}

bool HeadlessToolkit::IsWindowLoaded(Window window) const {
  Lock lock(mutex_);
  return windows_[static_cast<size_t>(window)].loaded;
}

int HeadlessToolkit::Transparency(Window window) const {
  Lock lock(mutex_);
  return windows_[static_cast<size_t>(window)].alpha;
}

int HeadlessToolkit::RedrawLockDepth() const {
  Lock lock(mutex_);
  return redrawDepth_;
}

}  // namespace korvane
