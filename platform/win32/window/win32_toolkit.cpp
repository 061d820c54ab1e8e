// The window toolkit on Win32: the main window, its controls, the calls from other threads and the waits.
//
// Index:
//   Text            GBK (GB18030 where the system has it) to UTF-16 and back, only at the API edge
//   Fonts           a face with Chinese glyphs; the layered-window call looked up at run time
//   The record      all Win32 state of one toolkit, and the one way onto the window's thread
//   Building        the windows and their controls from the forms
//   Messages        the window procedure: events, calls from other threads, the virtual list's texts
//   Operations      the WindowToolkit interface
//   Threads         start, join while serving the window, release
#include "platform/win32/window/win32_toolkit.h"

#include "platform/win32/services/wide_text.h"
#include "support/crash_guard.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <process.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace korvane {
namespace {


// A closure from another thread (lParam points at a std::function<void()>), and the list's batched update.
constexpr UINT kCallMessage = WM_APP + 1;
constexpr UINT kListChangedMessage = WM_APP + 2;
// A drop-down list's window reaches below its edit part; the form gives only the edit part's height.
constexpr int kComboListHeight = 240;
constexpr wchar_t kWindowClass[] = L"KorvaneMainWindow";
constexpr wchar_t kHelpWindowClass[] = L"KorvaneHelpWindow";

constexpr int kFirstControlId = 1000;

Control ControlOfId(int id) { return static_cast<Control>(id - kFirstControlId); }

bool InRange(int index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

// ---- Text ---------------------------------------------------------------------------------------------

using win32::FromWide;
using win32::ToWide;

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
  wide.resize(static_cast<size_t>(GetWindowTextW(window, wide.data(), length + 1)));
  return FromWide(wide);
}

// Copies text into a buffer of capacity characters, cut to fit and terminated.
void CopyInto(const std::wstring& text, wchar_t* buffer, int capacity) {
  if (!buffer || capacity <= 0) return;
  const size_t count = std::min(text.size(), static_cast<size_t>(capacity - 1));
  std::copy_n(text.data(), count, buffer);
  buffer[count] = L'\0';
}

// ---- Fonts and run-time look-ups ----------------------------------------------------------------------

int CALLBACK NoteFontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontExists(HDC dc, const wchar_t* face) {
  LOGFONTW probe{};
  probe.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(probe.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExW(dc, &probe, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// A 9-point face with Chinese glyphs: the form's sizes assume characters 12 pixels wide.
HFONT CreateInterfaceFont() {
  HDC screen = GetDC(nullptr);
  HFONT font = nullptr;
  for (const wchar_t* face : {L"Microsoft YaHei", L"SimSun", L"WenQuanYi Micro Hei"}) {
    if (!FontExists(screen, face)) continue;
    font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
    if (font) break;
  }
  ReleaseDC(nullptr, screen);
  return font;
}

using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

// Windows 2000 and later; looked up so that nothing newer than the oldest target is imported.
SetLayeredWindowAttributesFn LayeredAttributes() {
  static const auto function = reinterpret_cast<SetLayeredWindowAttributesFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetLayeredWindowAttributes")));
  return function;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK EditFieldProcedure(HWND field, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace

int Win32ControlId(Control control) { return kFirstControlId + static_cast<int>(control); }

// ---- The record ---------------------------------------------------------------------------------------

struct Win32ToolkitData {
  struct ControlRecord {
    Window window = Window::MainWindow;
    ControlKind kind = ControlKind::label;
    // Relative to the frame, as in the form.
    Bounds bounds;
    std::optional<Control> frame;
    HWND handle = nullptr;
    // An edit field's own procedure, which ours passes every message on to.
    WNDPROC original = nullptr;
  };
  // The report list's rows, changed by any thread under listMutex.
  struct ListModel {
    std::vector<std::vector<std::string>> rows;
    size_t columns = 1;
    // Counts ListClear, so that the view drops its selection with the rows.
    uint64_t clears = 0;
  };
  struct Worker {
    HANDLE handle = nullptr;
    ~Worker() { CloseHandle(handle); }
  };

  HWND window = nullptr;
  // Present while the help window is open.
  HWND helpWindow = nullptr;
  WindowForm helpForm;
  DWORD windowThread = GetCurrentThreadId();
  HFONT font = nullptr;
  std::map<Control, ControlRecord> controls;
  std::optional<Control> reportList;
  bool open = false;
  EventHandler handler;
  std::function<void(int, std::string_view)> errorHandler;
  int redrawDepth = 0;
  int wheelRemainder = 0;

  std::mutex listMutex;
  ListModel list;
  uint64_t clearsShown = 0;
  std::atomic<bool> listChangePosted{false};

  // Changes by threads other than the window's; the count when the last WaitPumping returned.
  std::atomic<uint64_t> foreignChanges{0};
  uint64_t changesAtLastWait = 0;

  std::mutex threadMutex;
  std::map<ThreadHandle, std::shared_ptr<Worker>> workers;
  ThreadHandle lastThread = 0;

  bool OnWindowThread() const { return GetCurrentThreadId() == windowThread; }

  // Runs fn on the window's thread and gives its result; a change made for another thread is counted
  // there, before that thread goes on, so that a WaitPumping woken by it sees the count.
  template <class Fn>
  auto OnWindow(bool changes, Fn&& fn) -> decltype(fn()) {
    using Result = decltype(fn());
    if (OnWindowThread()) return fn();
    if constexpr (std::is_void_v<Result>) {
      std::function<void()> task = [&] {
        fn();
        if (changes) ++foreignChanges;
      };
      SendMessageW(window, kCallMessage, 0, reinterpret_cast<LPARAM>(&task));
    } else {
      Result result{};
      std::function<void()> task = [&] {
        result = fn();
        if (changes) ++foreignChanges;
      };
      SendMessageW(window, kCallMessage, 0, reinterpret_cast<LPARAM>(&task));
      return result;
    }
  }
  template <class Fn>
  auto Change(Fn&& fn) {
    return OnWindow(true, std::forward<Fn>(fn));
  }
  template <class Fn>
  auto Run(Fn&& fn) {
    return OnWindow(false, std::forward<Fn>(fn));
  }

  HWND Handle(Control control) const {
    const auto found = controls.find(control);
    return found == controls.end() ? nullptr : found->second.handle;
  }
  HWND HandleOf(Control control, ControlKind kind) const {
    const auto found = controls.find(control);
    return found == controls.end() || found->second.kind != kind ? nullptr : found->second.handle;
  }
  HWND ListHandle(Control control) const {
    return reportList == control ? Handle(control) : nullptr;
  }

  [[noreturn]] void Fail(int code, std::string_view message) {
    if (errorHandler) {
      errorHandler(code, message);
    } else {
      MessageBoxW(nullptr, ToWide(message).c_str(), ToWide("程序异常：").c_str(), MB_OK | MB_ICONERROR);
    }
    ExitProcess(static_cast<UINT>(-1));
  }

  // Runs fn; an exception that escapes it is a failed check. (It must not unwind through the system's
  // frames of the window procedure or of a thread's start.)
  template <typename Fn>
  void Contain(Fn&& fn, std::string_view unknown) {
    try {
      fn();
    } catch (const std::exception& error) {
      Fail(0, error.what());
    } catch (...) {
      Fail(0, unknown);
    }
  }

  void Raise(const Event& event) {
    if (!open) return;
    const EventHandler current = handler;  // a handler may replace itself
    if (!current) return;
    Contain([&] { current(event); }, "unknown exception in an event handler");
  }

  // ---- Building

  void Build(const WindowForm& form);
  // A top-level window of the class, owned by owner, with the form's title and bounds.
  HWND CreateTopWindow(const wchar_t* windowClass, DWORD style, const WindowForm& form, HWND owner);
  void CreateControls(Window window, const WindowForm& form);
  void CreateControl(Control name, const ControlForm& form);
  HWND WindowOf(Window window) const { return window == Window::HelpWindow ? helpWindow : this->window; }
  // Builds the help window; a modal one is served here until it closes.
  void OpenHelpWindow(bool modal);
  void CloseHelpWindow();
  // The control's place in the window's client area: its bounds moved by the frames that hold it.
  POINT Origin(const ControlRecord& record) const;
  bool HeldBy(const ControlRecord& record, Control frame) const;
  void Place(const ControlRecord& record) const;

  // ---- The list

  // Any thread, after the model changed: counts a foreign change and asks the window once for a refresh.
  void NoteListChange();
  // The window's thread: tells the list view the model's row count.
  void ShowListChanges();
  void FillCell(NMLVDISPINFOW& info);

  // ---- Messages

  void Dispatch(MSG& message) {
    // Tab and the arrow keys move between the controls of the window they were pressed in.
    const HWND top = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    const HWND dialog = top && top == helpWindow ? helpWindow : window;
    if (!IsDialogMessageW(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  void RunPending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) Dispatch(message);
  }
  LRESULT Receive(HWND to, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT ReceiveForHelp(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(WPARAM wParam);
  void OnEditFieldMouseUp(HWND field);
  // Read-only edit fields keep the white of the others; labels and frames the window's own colour.
  LRESULT ColorStatic(HWND parent, WPARAM wParam, LPARAM lParam) {
    const auto control = reinterpret_cast<HWND>(lParam);
    if (!OriginalProcedure(control) || !IsWindowEnabled(control)) {
      return DefWindowProcW(parent, WM_CTLCOLORSTATIC, wParam, lParam);
    }
    const auto dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  WNDPROC OriginalProcedure(HWND field) const {
    const auto found = controls.find(ControlOfId(GetDlgCtrlID(field)));
    return found == controls.end() || found->second.handle != field ? nullptr : found->second.original;
  }
  LRESULT OnNotify(NMHDR& header);
  void OnWheel(int delta);
};

namespace {

Win32ToolkitData* DataOf(HWND window) {
  return reinterpret_cast<Win32ToolkitData*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Both windows' procedure; each keeps the toolkit's record in its user data.
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* data = static_cast<Win32ToolkitData*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
  }
  Win32ToolkitData* data = DataOf(window);
  return data ? data->Receive(window, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

// Edit fields tell of the left button's release, after their own handling of it.
LRESULT CALLBACK EditFieldProcedure(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32ToolkitData* data = DataOf(GetParent(field));
  const WNDPROC original = data ? data->OriginalProcedure(field) : nullptr;
  if (!original) return DefWindowProcW(field, message, wParam, lParam);
  const LRESULT result = CallWindowProcW(original, field, message, wParam, lParam);
  if (message == WM_LBUTTONUP) data->OnEditFieldMouseUp(field);
  return result;
}

unsigned __stdcall RunThread(void* argument) {
  const std::unique_ptr<ThreadRoutine> routine(static_cast<ThreadRoutine*>(argument));
  (*routine)();
  return 0;
}

}  // namespace

// ---- Building -----------------------------------------------------------------------------------------

void Win32ToolkitData::Build(const WindowForm& form) {
  INITCOMMONCONTROLSEX common{sizeof(common), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&common);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const wchar_t* className : {kWindowClass, kHelpWindowClass}) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    // A second toolkit in one process (the tests) finds the class registered.
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      Fail(static_cast<int>(GetLastError()), "RegisterClassExW");
    }
  }
  window = CreateTopWindow(kWindowClass, WS_OVERLAPPEDWINDOW, form, nullptr);
  font = CreateInterfaceFont();
  CreateControls(Window::MainWindow, form);
}

HWND Win32ToolkitData::CreateTopWindow(const wchar_t* windowClass, DWORD style, const WindowForm& form,
                                       HWND owner) {
  const Bounds& place = form.bounds;
  const HWND created = CreateWindowExW(0, windowClass, ToWide(form.title).c_str(), style, place.left, place.top,
                                       place.width, place.height, owner, nullptr, GetModuleHandleW(nullptr), this);
  if (!created) Fail(static_cast<int>(GetLastError()), "CreateWindowExW");
  return created;
}

void Win32ToolkitData::CreateControls(Window owner, const WindowForm& form) {
  for (const ControlForm& control : form.controls) {
    ControlRecord& record = controls[control.name];
    record = ControlRecord{};
    record.window = owner;
    record.kind = control.kind;
    record.bounds = control.bounds;
    record.frame = control.frame;
    if (control.kind == ControlKind::reportList && !reportList) {
      reportList = control.name;
      list.columns = std::max<size_t>(control.columns.size(), 1);
    }
  }
  for (const ControlForm& control : form.controls) CreateControl(control.name, control);
  // Frames lie beneath the controls they hold, the outer beneath the inner, and keep out of their paint.
  for (auto control = form.controls.rbegin(); control != form.controls.rend(); ++control) {
    if (control->kind == ControlKind::frame) {
      SetWindowPos(Handle(control->name), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
}

void Win32ToolkitData::CreateControl(Control name, const ControlForm& form) {
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  DWORD extended = 0;
  const wchar_t* windowClass = WC_BUTTONW;
  switch (form.kind) {
    case ControlKind::reportList:
      windowClass = WC_LISTVIEWW;
      style |= WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
      extended = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::frame: style |= BS_GROUPBOX; break;
    case ControlKind::editField:
      windowClass = WC_EDITW;
      style |= WS_TABSTOP | ES_AUTOHSCROLL | (form.readOnly ? ES_READONLY : 0);
      extended = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::multiLineField:
      windowClass = WC_EDITW;
      style |= WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;
      extended = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::label:
      windowClass = WC_STATICW;
      style |= SS_LEFT | SS_NOPREFIX;
      break;
    case ControlKind::comboBox:
      windowClass = WC_COMBOBOXW;
      style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
      break;
    case ControlKind::checkBox: style |= WS_TABSTOP | BS_AUTOCHECKBOX; break;
    case ControlKind::button: style |= WS_TABSTOP | BS_PUSHBUTTON; break;
  }
  ControlRecord& record = controls[name];
  const std::wstring text = form.kind == ControlKind::comboBox || form.kind == ControlKind::reportList
                                ? std::wstring()
                                : ToWide(form.text);
  record.handle = CreateWindowExW(extended, windowClass, text.c_str(), style, 0, 0, 0, 0, WindowOf(record.window),
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(Win32ControlId(name))),
                                  GetModuleHandleW(nullptr), nullptr);
  if (!record.handle) Fail(static_cast<int>(GetLastError()), "CreateWindowExW (control)");
  SendMessageW(record.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  Place(record);
  if (form.kind == ControlKind::editField || form.kind == ControlKind::multiLineField) {
    record.original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(record.handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditFieldProcedure)));
  }
  for (const std::string& item : form.items) {
    SendMessageW(record.handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(item).c_str()));
  }
  if (form.kind == ControlKind::reportList) {
    SendMessageW(record.handle, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    for (size_t index = 0; index < form.columns.size(); ++index) {
      std::wstring title = ToWide(form.columns[index].title);
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
      column.fmt = LVCFMT_LEFT;
      column.cx = form.columns[index].width;
      column.pszText = title.data();
      column.iSubItem = static_cast<int>(index);
      SendMessageW(record.handle, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
    }
  }
}

POINT Win32ToolkitData::Origin(const ControlRecord& record) const {
  POINT origin{record.bounds.left, record.bounds.top};
  std::optional<Control> frame = record.frame;
  // Bounded by the number of controls, so that a form whose frames held each other could not hang us.
  for (size_t depth = 0; frame && depth < controls.size(); ++depth) {
    const auto found = controls.find(*frame);
    if (found == controls.end()) break;
    origin.x += found->second.bounds.left;
    origin.y += found->second.bounds.top;
    frame = found->second.frame;
  }
  return origin;
}

bool Win32ToolkitData::HeldBy(const ControlRecord& record, Control frame) const {
  std::optional<Control> holder = record.frame;
  for (size_t depth = 0; holder && depth < controls.size(); ++depth) {
    if (*holder == frame) return true;
    const auto found = controls.find(*holder);
    if (found == controls.end()) return false;
    holder = found->second.frame;
  }
  return false;
}

void Win32ToolkitData::Place(const ControlRecord& record) const {
  const POINT origin = Origin(record);
  const int height = record.bounds.height + (record.kind == ControlKind::comboBox ? kComboListHeight : 0);
  MoveWindow(record.handle, origin.x, origin.y, record.bounds.width, height, TRUE);
}

// ---- Messages -----------------------------------------------------------------------------------------

LRESULT Win32ToolkitData::Receive(HWND to, UINT message, WPARAM wParam, LPARAM lParam) {
  if (to != window) {
    // Messages of the help window, or of the main window while CreateWindowExW has not yet returned it.
    if (to == helpWindow) return ReceiveForHelp(message, wParam, lParam);
    return DefWindowProcW(to, message, wParam, lParam);
  }
  switch (message) {
    case kCallMessage: (*reinterpret_cast<std::function<void()>*>(lParam))(); return 0;
    case kListChangedMessage: ShowListChanges(); return 0;
    case WM_COMMAND:
      if (lParam) OnCommand(wParam);
      return 0;
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_CTLCOLORSTATIC: return ColorStatic(window, wParam, lParam);
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) Raise(Event{EventKind::resized});
      return 0;
    case WM_MOUSEWHEEL: OnWheel(GET_WHEEL_DELTA_WPARAM(wParam)); return 0;
    // The controller decides: it ends the program itself, or keeps the window.
    case WM_CLOSE: Raise(Event{EventKind::closeRequested}); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

// The help window closes itself: the controller is not asked.
LRESULT Win32ToolkitData::ReceiveForHelp(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND help = helpWindow;
  switch (message) {
    case WM_COMMAND:
      if (lParam) OnCommand(wParam);
      return 0;
    case WM_CTLCOLORSTATIC: return ColorStatic(help, wParam, lParam);
    case WM_CLOSE: CloseHelpWindow(); return 0;
    case WM_NCDESTROY:
      // Its controls are gone by now, and with them every use of their records.
      std::erase_if(controls, [](const auto& control) { return control.second.window == Window::HelpWindow; });
      helpWindow = nullptr;
      return DefWindowProcW(help, message, wParam, lParam);
    default: return DefWindowProcW(help, message, wParam, lParam);
  }
}

void Win32ToolkitData::OnCommand(WPARAM wParam) {
  const auto name = ControlOfId(LOWORD(wParam));
  const auto found = controls.find(name);
  if (found == controls.end()) return;
  const ControlKind kind = found->second.kind;
  switch (HIWORD(wParam)) {
    case BN_CLICKED:
      if (kind == ControlKind::button || kind == ControlKind::checkBox) {
        Raise(Event{EventKind::clicked, name, 0, found->second.window});
      }
      return;
    case CBN_SELCHANGE:
      if (kind == ControlKind::comboBox) {
        const int index = static_cast<int>(SendMessageW(found->second.handle, CB_GETCURSEL, 0, 0));
        Raise(Event{EventKind::itemSelected, name, index});
      }
      return;
    case CBN_DROPDOWN:
      if (kind == ControlKind::comboBox) Raise(Event{EventKind::dropDown, name});
      return;
    default: return;
  }
}

LRESULT Win32ToolkitData::OnNotify(NMHDR& header) {
  if (!reportList || header.hwndFrom != Handle(*reportList)) return 0;
  const Control list = *reportList;
  switch (header.code) {
    case LVN_GETDISPINFOW: FillCell(reinterpret_cast<NMLVDISPINFOW&>(header)); return 0;
    case NM_DBLCLK: Raise(Event{EventKind::doubleClicked, list}); return 0;
    case NM_RCLICK: Raise(Event{EventKind::rightClicked, list}); return 0;
    case LVN_COLUMNCLICK:
      Raise(Event{EventKind::headerClicked, list, reinterpret_cast<NMLISTVIEW&>(header).iSubItem});
      return 0;
    default: return 0;
  }
}

void Win32ToolkitData::OnEditFieldMouseUp(HWND field) {
  const auto found = controls.find(ControlOfId(GetDlgCtrlID(field)));
  if (found != controls.end()) Raise(Event{EventKind::mouseUp, found->first, 0, found->second.window});
}

// A fine-grained wheel sends parts of a notch; whole notches make events.
void Win32ToolkitData::OnWheel(int delta) {
  wheelRemainder += delta;
  for (; wheelRemainder >= WHEEL_DELTA; wheelRemainder -= WHEEL_DELTA) Raise(Event{EventKind::wheel, {}, 1});
  for (; wheelRemainder <= -WHEEL_DELTA; wheelRemainder += WHEEL_DELTA) Raise(Event{EventKind::wheel, {}, -1});
}

void Win32ToolkitData::NoteListChange() {
  if (!OnWindowThread()) ++foreignChanges;
  if (!listChangePosted.exchange(true)) PostMessageW(window, kListChangedMessage, 0, 0);
}

void Win32ToolkitData::ShowListChanges() {
  // Cleared first, so that a change made while we read posts another refresh.
  listChangePosted = false;
  size_t rows = 0;
  uint64_t clears = 0;
  {
    std::lock_guard lock(listMutex);
    rows = list.rows.size();
    clears = list.clears;
  }
  const HWND view = Handle(*reportList);
  if (clears != clearsShown) {
    SendMessageW(view, LVM_SETITEMCOUNT, 0, 0);
    clearsShown = clears;
  }
  SendMessageW(view, LVM_SETITEMCOUNT, rows, LVSICF_NOSCROLL);
}

void Win32ToolkitData::FillCell(NMLVDISPINFOW& info) {
  if (!(info.item.mask & LVIF_TEXT)) return;
  std::string cell;
  {
    std::lock_guard lock(listMutex);
    const int row = info.item.iItem;
    const int column = info.item.iSubItem;
    if (InRange(row, list.rows.size()) && InRange(column, list.rows[row].size())) cell = list.rows[row][column];
  }
  CopyInto(ToWide(cell), info.item.pszText, info.item.cchTextMax);
}

// ---- Operations ---------------------------------------------------------------------------------------

Win32Toolkit::Win32Toolkit(const WindowForm& mainForm, const WindowForm& helpForm)
    : data_(std::make_unique<Win32ToolkitData>()) {
  data_->helpForm = helpForm;
  data_->Build(mainForm);
}

Win32Toolkit::~Win32Toolkit() {
  // A thread may start another one while we wait, hence one at a time until none is left.
  for (;;) {
    ThreadHandle next = 0;
    {
      std::lock_guard lock(data_->threadMutex);
      if (data_->workers.empty()) break;
      next = data_->workers.begin()->first;
    }
    CloseThreadHandle(next);
  }
  DestroyWindow(data_->window);
  if (data_->font) DeleteObject(data_->font);
}

void Win32Toolkit::SetText(Control control, std::string_view text) {
  data_->Change([&] {
    if (const HWND handle = data_->Handle(control)) SetWindowTextW(handle, ToWide(text).c_str());
  });
}

std::string Win32Toolkit::GetText(Control control) {
  // A drop-down list's window text is the chosen item's.
  return data_->Run([&] {
    const HWND handle = data_->Handle(control);
    return handle ? WindowText(handle) : std::string();
  });
}

void Win32Toolkit::SetCaption(Control control, std::string_view caption) { SetText(control, caption); }

std::string Win32Toolkit::GetCaption(Control control) { return GetText(control); }

void Win32Toolkit::SetDisabled(Control control, bool disabled) {
  data_->Change([&] {
    if (const HWND handle = data_->Handle(control)) EnableWindow(handle, !disabled);
  });
}

void Win32Toolkit::SetChecked(Control control, bool checked) {
  data_->Change([&] {
    if (const HWND box = data_->HandleOf(control, ControlKind::checkBox)) {
      SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  });
}

bool Win32Toolkit::GetChecked(Control control) {
  return data_->Run([&] {
    const HWND box = data_->HandleOf(control, ControlKind::checkBox);
    return box && SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
  });
}

void Win32Toolkit::SetSelectedIndex(Control control, int index) {
  data_->Change([&] {
    const HWND box = data_->HandleOf(control, ControlKind::comboBox);
    if (!box) return;
    const auto count = static_cast<size_t>(SendMessageW(box, CB_GETCOUNT, 0, 0));
    SendMessageW(box, CB_SETCURSEL, InRange(index, count) ? index : -1, 0);
  });
}

int Win32Toolkit::GetSelectedIndex(Control control) {
  return data_->Run([&] {
    const HWND box = data_->HandleOf(control, ControlKind::comboBox);
    return box ? static_cast<int>(SendMessageW(box, CB_GETCURSEL, 0, 0)) : -1;
  });
}

int Win32Toolkit::GetCurrentRow(Control control) {
  return data_->Run([&] {
    const HWND view = data_->ListHandle(control);
    if (!view) return -1;
    data_->ShowListChanges();
    return static_cast<int>(SendMessageW(view, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  });
}

Bounds Win32Toolkit::GetBounds(Control control) {
  return data_->Run([&] {
    const auto found = data_->controls.find(control);
    return found == data_->controls.end() ? Bounds{} : found->second.bounds;
  });
}

void Win32Toolkit::SetBounds(Control control, const Bounds& bounds) {
  data_->Change([&] {
    const auto found = data_->controls.find(control);
    if (found == data_->controls.end()) return;
    found->second.bounds = bounds;
    data_->Place(found->second);
    // The controls inside a frame move with it.
    for (const auto& [name, record] : data_->controls) {
      if (data_->HeldBy(record, control)) data_->Place(record);
    }
  });
}

Bounds Win32Toolkit::GetWindowBounds(Window window) {
  return data_->Run([&] {
    RECT rect{};
    if (window != Window::MainWindow || !GetWindowRect(data_->window, &rect)) return Bounds{};
    return Bounds{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
  });
}

void Win32Toolkit::SetWindowBounds(Window window, const Bounds& bounds) {
  if (window != Window::MainWindow) return;
  // A new size sends WM_SIZE, which raises resized on the window's thread.
  data_->Change([&] {
    SetWindowPos(data_->window, nullptr, bounds.left, bounds.top, bounds.width, bounds.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  });
}

void Win32Toolkit::SetAlwaysOnTop(bool onTop) {
  data_->Change([&] {
    SetWindowPos(data_->window, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  });
}

bool Win32Toolkit::GetAlwaysOnTop() {
  return data_->Run([&] { return (GetWindowLongPtrW(data_->window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; });
}

void Win32Toolkit::ComboInsert(Control control, int index, std::string_view text) {
  data_->Change([&] {
    const HWND box = data_->HandleOf(control, ControlKind::comboBox);
    if (!box) return;
    // An index past the end appends.
    const auto count = static_cast<size_t>(SendMessageW(box, CB_GETCOUNT, 0, 0));
    SendMessageW(box, CB_INSERTSTRING, InRange(index, count + 1) ? index : -1,
                 reinterpret_cast<LPARAM>(ToWide(text).c_str()));
  });
}

int Win32Toolkit::ComboCount(Control control) {
  return data_->Run([&] {
    const HWND box = data_->HandleOf(control, ControlKind::comboBox);
    return box ? static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0)) : 0;
  });
}

std::string Win32Toolkit::ComboItemText(Control control, int index) {
  return data_->Run([&] {
    const HWND box = data_->HandleOf(control, ControlKind::comboBox);
    if (!box || !InRange(index, static_cast<size_t>(SendMessageW(box, CB_GETCOUNT, 0, 0)))) return std::string();
    const auto length = SendMessageW(box, CB_GETLBTEXTLEN, index, 0);
    if (length <= 0) return std::string();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const auto copied = SendMessageW(box, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::max<LRESULT>(copied, 0)));
    return FromWide(text);
  });
}

void Win32Toolkit::ComboClear(Control control) {
  data_->Change([&] {
    if (const HWND box = data_->HandleOf(control, ControlKind::comboBox)) SendMessageW(box, CB_RESETCONTENT, 0, 0);
  });
}

// The rows live in the model; the view learns of them in batches (NoteListChange), from any thread.
int Win32Toolkit::ListAppendRow(Control control, std::string_view firstCell) {
  if (data_->reportList != control) return -1;
  int row = 0;
  {
    std::lock_guard lock(data_->listMutex);
    std::vector<std::string> cells(data_->list.columns);
    cells[0] = firstCell;
    data_->list.rows.push_back(std::move(cells));
    row = static_cast<int>(data_->list.rows.size()) - 1;
  }
  data_->NoteListChange();
  return row;
}

void Win32Toolkit::ListSetCell(Control control, int row, int column, std::string_view text) {
  if (data_->reportList != control) return;
  {
    std::lock_guard lock(data_->listMutex);
    auto& rows = data_->list.rows;
    if (!InRange(row, rows.size()) || !InRange(column, rows[row].size())) return;
    rows[row][column] = text;
  }
  data_->NoteListChange();
}

std::string Win32Toolkit::ListGetCell(Control control, int row, int column) {
  if (data_->reportList != control) return {};
  std::lock_guard lock(data_->listMutex);
  const auto& rows = data_->list.rows;
  if (!InRange(row, rows.size()) || !InRange(column, rows[row].size())) return {};
  return rows[row][column];
}

int Win32Toolkit::ListRowCount(Control control) {
  if (data_->reportList != control) return 0;
  std::lock_guard lock(data_->listMutex);
  return static_cast<int>(data_->list.rows.size());
}

void Win32Toolkit::ListClear(Control control) {
  if (data_->reportList != control) return;
  {
    std::lock_guard lock(data_->listMutex);
    data_->list.rows.clear();
    ++data_->list.clears;
  }
  data_->NoteListChange();
}

void Win32Toolkit::ListEnsureVisible(Control control, int row) {
  data_->Run([&] {
    const HWND view = data_->ListHandle(control);
    if (!view) return;
    // The row may be newer than the view's count.
    data_->ShowListChanges();
    SendMessageW(view, LVM_ENSUREVISIBLE, row, FALSE);
  });
}

void Win32Toolkit::ListSetColumnTitle(Control control, int column, std::string_view title) {
  data_->Change([&] {
    const HWND view = data_->ListHandle(control);
    if (!view) return;
    std::wstring text = ToWide(title);
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT;
    header.pszText = text.data();
    SendMessageW(view, LVM_SETCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
  });
}

void Win32Toolkit::ListSetColumnWidth(Control control, int column, int width) {
  data_->Change([&] {
    if (const HWND view = data_->ListHandle(control)) SendMessageW(view, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
  });
}

int Win32Toolkit::ListGetColumnWidth(Control control, int column) {
  return data_->Run([&] {
    const HWND view = data_->ListHandle(control);
    return view ? static_cast<int>(SendMessageW(view, LVM_GETCOLUMNWIDTH, column, 0)) : 0;
  });
}

void Win32Toolkit::LoadWindow(Window window, Window, bool modal) {
  if (window == Window::HelpWindow) data_->Run([&] { data_->OpenHelpWindow(modal); });
}

void Win32ToolkitData::OpenHelpWindow(bool modal) {
  if (helpWindow) {
    SetForegroundWindow(helpWindow);
    return;
  }
  helpWindow = CreateTopWindow(kHelpWindowClass, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, helpForm, window);
  CreateControls(Window::HelpWindow, helpForm);
  Raise(Event{EventKind::created, {}, 0, Window::HelpWindow});
  ShowWindow(helpWindow, SW_SHOWNORMAL);
  UpdateWindow(helpWindow);
  if (!modal) return;
  EnableWindow(window, FALSE);
  MSG message{};
  while (helpWindow) {
    if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
      // The program is ending: the outer loop must see the quit message too.
      PostQuitMessage(static_cast<int>(message.wParam));
      CloseHelpWindow();
      break;
    }
    Dispatch(message);
  }
}

void Win32ToolkitData::CloseHelpWindow() {
  if (!helpWindow) return;
  // Enabled before the help window goes, so that the main window, not another program's, becomes active.
  EnableWindow(window, TRUE);
  DestroyWindow(helpWindow);
}

// The window stops painting itself and its controls until the outermost unlock, then paints once.
void Win32Toolkit::LockRedraw() {
  data_->Run([&] {
    if (data_->redrawDepth++ == 0) SendMessageW(data_->window, WM_SETREDRAW, FALSE, 0);
  });
}

void Win32Toolkit::UnlockRedraw() {
  data_->Run([&] {
    if (data_->redrawDepth == 0 || --data_->redrawDepth > 0) return;
    SendMessageW(data_->window, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(data_->window, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
  });
}

void Win32Toolkit::SetTransparency(Window window, int alpha) {
  if (window != Window::MainWindow) return;
  const int opacity = alpha >= 0 && alpha <= 255 ? alpha : 255;
  data_->Run([&] {
    const HWND main = data_->window;
    const LONG_PTR style = GetWindowLongPtrW(main, GWL_EXSTYLE);
    const auto setAttributes = LayeredAttributes();
    // Fully opaque is drawn the ordinary way.
    if (opacity == 255 || !setAttributes) {
      if (style & WS_EX_LAYERED) SetWindowLongPtrW(main, GWL_EXSTYLE, style & ~WS_EX_LAYERED);
      return;
    }
    if (!(style & WS_EX_LAYERED)) SetWindowLongPtrW(main, GWL_EXSTYLE, style | WS_EX_LAYERED);
    setAttributes(main, 0, static_cast<BYTE>(opacity), LWA_ALPHA);
  });
}

void Win32Toolkit::ProcessEvents() {
  if (data_->OnWindowThread()) data_->RunPending();
}

void Win32Toolkit::PumpIfInput() {
  if (data_->OnWindowThread() && GetInputState()) data_->RunPending();
}

void Win32Toolkit::WaitPumping(int milliseconds) {
  using Clock = std::chrono::steady_clock;
  const int span = std::max(milliseconds, 0);
  if (!data_->OnWindowThread()) {
    Sleep(static_cast<DWORD>(span));
    return;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(span);
  // Counting from the last wait's return, a change that came between a caller's test and this call still
  // ends the wait at once; a nested wait that saw the change first does not hide it from this one.
  const uint64_t baseline = data_->changesAtLastWait;
  for (;;) {
    data_->RunPending();
    const auto now = Clock::now();
    if (data_->foreignChanges != baseline || now >= deadline) break;
    // Calls from workers arrive as sent messages, list changes as a posted one: both wake this wait.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  data_->changesAtLastWait = data_->foreignChanges;
}

void Win32Toolkit::SetClipboardText(std::string_view text) {
  data_->Run([&] {
    const std::wstring wide = ToWide(text);
    if (!OpenClipboard(data_->window)) return;
    EmptyClipboard();
    // Unicode text: the system offers it as 8-bit text in the reader's code page as well.
    const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
      if (void* target = GlobalLock(memory)) {
        std::copy_n(wide.c_str(), wide.size() + 1, static_cast<wchar_t*>(target));
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
      } else {
        GlobalFree(memory);
      }
    }
    CloseClipboard();
  });
}

void Win32Toolkit::SetErrorHandler(std::function<void(int code, std::string_view message)> handler) {
  data_->Run([&] { data_->errorHandler = std::move(handler); });
}

void Win32Toolkit::SetEventHandler(EventHandler handler) {
  data_->Run([&] { data_->handler = std::move(handler); });
}

void Win32Toolkit::EndProgram(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

void Win32Toolkit::Open() {
  data_->open = true;
  data_->Raise(Event{EventKind::created});
  ShowWindow(data_->window, SW_SHOWNORMAL);
  UpdateWindow(data_->window);
}

int Win32Toolkit::RunMessageLoop() {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) data_->Dispatch(message);
  return static_cast<int>(message.wParam);
}

void* Win32Toolkit::NativeWindow(Window window) const { return data_->WindowOf(window); }

void* Win32Toolkit::NativeControl(Control control) const { return data_->Handle(control); }


// ---- Threads ------------------------------------------------------------------------------------------

ThreadHandle Win32Toolkit::StartThread(ThreadRoutine routine) {
  if (!routine) return 0;
  // The crash guard follows every thread the program starts.
  auto owned = std::make_unique<ThreadRoutine>([data = data_.get(), routine = std::move(routine)] {
    CrashGuard::guardThread([&] { data->Contain(routine, "unknown exception in a thread"); });
  });
  const uintptr_t started = _beginthreadex(nullptr, 0, RunThread, owned.get(), 0, nullptr);
  if (!started) return 0;
  owned.release();  // the thread owns its routine now
  auto worker = std::make_shared<Win32ToolkitData::Worker>();
  worker->handle = reinterpret_cast<HANDLE>(started);
  std::lock_guard lock(data_->threadMutex);
  data_->workers.emplace(++data_->lastThread, std::move(worker));
  return data_->lastThread;
}

void Win32Toolkit::JoinThread(ThreadHandle thread) {
  std::shared_ptr<Win32ToolkitData::Worker> worker;
  {
    std::lock_guard lock(data_->threadMutex);
    const auto found = data_->workers.find(thread);
    if (found == data_->workers.end()) return;
    worker = found->second;
  }
  if (!data_->OnWindowThread()) {
    WaitForSingleObject(worker->handle, INFINITE);
    return;
  }
  // The thread may be calling into the window, which only this thread can serve.
  for (;;) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(1, &worker->handle, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    if (woken != WAIT_OBJECT_0 + 1) return;
  }
}

void Win32Toolkit::CloseThreadHandle(ThreadHandle thread) {
  // A thread must not outlive the toolkit it calls, so a handle closed while its thread runs waits for it.
  JoinThread(thread);
  std::lock_guard lock(data_->threadMutex);
  data_->workers.erase(thread);
}

}  // namespace korvane
