// The Win32 window toolkit read back through Win32: the form's window and texts, properties, calls from
// workers while the window waits, the virtual list under a long run of rows, and the user's events.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/help_form.h"
#include "app/main_form.h"
#include "platform/win32/window/win32_toolkit.h"

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;

// GBK to UTF-16 by code page 936, apart from the toolkit's own conversion.
std::wstring FromGbk(std::string_view text) {
  if (text.empty()) return {};
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()),
                                                      wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring ComboItem(HWND box, int index) {
  wchar_t text[512] = {};
  SendMessageW(box, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
  return text;
}

std::wstring ColumnTitle(HWND list, int column) {
  wchar_t text[128] = {};
  LVCOLUMNW header{};
  header.mask = LVCF_TEXT;
  header.pszText = text;
  header.cchTextMax = 128;
  SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
  return text;
}

// The text the list view shows, which it asks of its owner (LVN_GETDISPINFOW).
std::wstring ShownCell(HWND list, int row, int column) {
  wchar_t text[512] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 512;
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

// A control's place in its window's client area.
RECT ClientRect(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Under Wine the window needs an X display; elsewhere there always is one.
bool WithoutDisplay() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version");
  return wine && GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (WithoutDisplay()) GTEST_SKIP() << "no X display: run the Windows tests under xvfb-run";
    toolkit = std::make_unique<Win32Toolkit>(MainWindowForm(), HelpWindowForm());
    toolkit->SetEventHandler([this](const Event& event) { events.push_back(event); });
    toolkit->Open();
    toolkit->ProcessEvents();
  }

  HWND Main() const { return static_cast<HWND>(toolkit->NativeWindow()); }
  HWND Of(Control control) const { return static_cast<HWND>(toolkit->NativeControl(control)); }

  // Serves the window until done holds or the time is up; says whether done held.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
      if (Clock::now() >= deadline) return false;
      toolkit->WaitPumping(20);
    }
    return true;
  }

  // Waits as the controller does while a worker runs: until 状态框 no longer reads " 工作中".
  void WaitWhileWorking() {
    while (toolkit->GetText(Control::状态框) == " 工作中") toolkit->WaitPumping(500);
  }

  // The events since the last call.
  std::vector<Event> TakeEvents() {
    toolkit->ProcessEvents();
    return std::exchange(events, {});
  }

  std::unique_ptr<Win32Toolkit> toolkit;
  std::vector<Event> events;
};

// Events as text, "kind/control/argument/window" each, so that a failure shows what arrived.
std::string Describe(const std::vector<Event>& events) {
  std::string text;
  for (const Event& event : events) {
    text += std::to_string(static_cast<int>(event.kind)) + "/" + std::to_string(static_cast<int>(event.control)) +
            "/" + std::to_string(event.argument) + "/" + std::to_string(static_cast<int>(event.window)) + " ";
  }
  return text;
}

// ---- The form ---------------------------------------------------------------------------------------------

TEST_F(Win32WindowTest, BuildsTheFormsWindowWithEveryControlAndText) {
  const WindowForm& form = MainWindowForm();
  EXPECT_EQ(FindWindowW(nullptr, L"Korvane   by Lumetsa"), Main());
  EXPECT_TRUE(IsWindowVisible(Main()));
  RECT outer{};
  GetWindowRect(Main(), &outer);
  EXPECT_EQ(outer.right - outer.left, 836);
  EXPECT_EQ(outer.bottom - outer.top, 487);
  // Showing the window may add a resized event of the same size.
  const std::vector<Event> opening = TakeEvents();
  ASSERT_FALSE(opening.empty());
  EXPECT_EQ(Describe({opening[0]}), Describe({{EventKind::created}}));

  for (const ControlForm& control : form.controls) {
    SCOPED_TRACE(static_cast<int>(control.name));
    const HWND handle = Of(control.name);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GetParent(handle), Main());
    const LONG style = GetWindowLongW(handle, GWL_STYLE);
    switch (control.kind) {
      case ControlKind::reportList:
        EXPECT_EQ(ClassOf(handle), WC_LISTVIEWW);
        EXPECT_EQ(style & (LVS_TYPEMASK | LVS_OWNERDATA), LVS_REPORT | LVS_OWNERDATA);
        break;
      case ControlKind::frame: EXPECT_EQ(style & BS_TYPEMASK, BS_GROUPBOX); break;
      case ControlKind::editField:
        EXPECT_EQ(ClassOf(handle), L"Edit");
        EXPECT_EQ((style & ES_READONLY) != 0, control.readOnly);
        break;
      case ControlKind::multiLineField:
        EXPECT_EQ(ClassOf(handle), L"Edit");
        EXPECT_EQ(style & (ES_MULTILINE | ES_READONLY), ES_MULTILINE | ES_READONLY);
        break;
      case ControlKind::label: EXPECT_EQ(ClassOf(handle), L"Static"); break;
      case ControlKind::comboBox:
        EXPECT_EQ(ClassOf(handle), L"ComboBox");
        EXPECT_EQ(style & 3, CBS_DROPDOWNLIST);
        break;
      case ControlKind::checkBox: EXPECT_EQ(style & BS_TYPEMASK, BS_AUTOCHECKBOX); break;
      case ControlKind::button: EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON); break;
    }
    if (control.kind != ControlKind::comboBox && control.kind != ControlKind::reportList) {
      EXPECT_EQ(TextOf(handle), FromGbk(control.text));
    }
    if (control.kind == ControlKind::comboBox) {
      ASSERT_EQ(SendMessageW(handle, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(control.items.size()));
    }
    for (size_t item = 0; item < control.items.size(); ++item) {
      EXPECT_EQ(ComboItem(handle, static_cast<int>(item)), FromGbk(control.items[item]));
    }
    for (size_t column = 0; column < control.columns.size(); ++column) {
      EXPECT_EQ(ColumnTitle(handle, static_cast<int>(column)), FromGbk(control.columns[column].title));
      EXPECT_EQ(SendMessageW(handle, LVM_GETCOLUMNWIDTH, column, 0), control.columns[column].width);
    }
    // Placed at the form's bounds, moved by the frames that hold the control.
    int left = control.bounds.left;
    int top = control.bounds.top;
    for (auto frame = control.frame; frame;) {
      const auto& holder = *std::find_if(form.controls.begin(), form.controls.end(),
                                         [&](const ControlForm& other) { return other.name == *frame; });
      left += holder.bounds.left;
      top += holder.bounds.top;
      frame = holder.frame;
    }
    const RECT place = ClientRect(handle);
    EXPECT_EQ(place.left, left);
    EXPECT_EQ(place.top, top);
    EXPECT_EQ(place.right - place.left, control.bounds.width);
    if (control.kind != ControlKind::comboBox) {
      EXPECT_EQ(place.bottom - place.top, control.bounds.height);
    }
    EXPECT_EQ(toolkit->GetBounds(control.name), control.bounds);
  }
  // The Chinese texts arrive as the characters themselves, whatever the system's ANSI code page.
  EXPECT_EQ(TextOf(Of(Control::比对按钮)), L"开始比对");
  EXPECT_EQ(TextOf(Of(Control::标签2)), L"最小增量≥");
  EXPECT_EQ(ColumnTitle(Of(Control::列表框), 0), L"ID ▲");
}

// ---- Properties -----------------------------------------------------------------------------------------

TEST_F(Win32WindowTest, PropertiesReachTheControlsAndReadBack) {
  toolkit->SetText(Control::过程框, " 比对进度：50%");
  EXPECT_EQ(TextOf(Of(Control::过程框)), L" 比对进度：50%");
  EXPECT_EQ(toolkit->GetText(Control::过程框), " 比对进度：50%");

  toolkit->SetCaption(Control::比对按钮, "停止比对");
  EXPECT_EQ(TextOf(Of(Control::比对按钮)), L"停止比对");
  EXPECT_EQ(toolkit->GetCaption(Control::比对按钮), "停止比对");

  toolkit->SetDisabled(Control::快照按钮, true);
  EXPECT_FALSE(IsWindowEnabled(Of(Control::快照按钮)));
  toolkit->SetDisabled(Control::快照按钮, false);
  EXPECT_TRUE(IsWindowEnabled(Of(Control::快照按钮)));

  toolkit->SetChecked(Control::表单位框, true);
  EXPECT_EQ(SendMessageW(Of(Control::表单位框), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(toolkit->GetChecked(Control::表单位框));

  toolkit->ListSetColumnTitle(Control::列表框, 0, "ID ▼");
  toolkit->ListSetColumnWidth(Control::列表框, 3, 0);
  EXPECT_EQ(ColumnTitle(Of(Control::列表框), 0), L"ID ▼");
  EXPECT_EQ(toolkit->ListGetColumnWidth(Control::列表框, 3), 0);

  toolkit->SetAlwaysOnTop(true);
  EXPECT_TRUE(GetWindowLongW(Main(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(toolkit->GetAlwaysOnTop());
  toolkit->SetAlwaysOnTop(false);
  EXPECT_FALSE(toolkit->GetAlwaysOnTop());

  // Partly transparent is a layered window with that alpha; opaque and values outside 0..255 are not layered.
  toolkit->SetTransparency(Window::MainWindow, 127);
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetWindowLongW(Main(), GWL_EXSTYLE) & WS_EX_LAYERED);
  ASSERT_TRUE(GetLayeredWindowAttributes(Main(), nullptr, &alpha, &flags));
  EXPECT_EQ(alpha, 127);
  toolkit->SetTransparency(Window::MainWindow, 300);
  EXPECT_FALSE(GetWindowLongW(Main(), GWL_EXSTYLE) & WS_EX_LAYERED);

  toolkit->SetClipboardText("C:\\用户\\");
  ASSERT_TRUE(OpenClipboard(nullptr));
  const HANDLE clip = GetClipboardData(CF_UNICODETEXT);
  const std::wstring copied = clip ? static_cast<const wchar_t*>(GlobalLock(clip)) : L"";
  if (clip) GlobalUnlock(clip);
  CloseClipboard();
  EXPECT_EQ(copied, L"C:\\用户\\");

  // Nested locks: the window paints again only after the outermost unlock.
  toolkit->LockRedraw();
  toolkit->LockRedraw();
  toolkit->UnlockRedraw();
  EXPECT_FALSE(IsWindowVisible(Main()));
  toolkit->UnlockRedraw();
  EXPECT_TRUE(IsWindowVisible(Main()));
  toolkit->UnlockRedraw();  // one too many changes nothing
  EXPECT_TRUE(IsWindowVisible(Main()));
}

TEST_F(Win32WindowTest, ComboBoxesInsertSelectAndClearAsTheInterfaceSays) {
  const Control box = Control::盘符框;
  TakeEvents();
  toolkit->ComboInsert(box, 0, "C");
  toolkit->ComboInsert(box, 9, "E");  // past the end appends
  toolkit->ComboInsert(box, 1, "盘D");
  ASSERT_EQ(toolkit->ComboCount(box), 3);
  EXPECT_EQ(ComboItem(Of(box), 1), L"盘D");
  EXPECT_EQ(toolkit->ComboItemText(box, 2), "E");
  EXPECT_EQ(toolkit->ComboItemText(box, 3), "");

  toolkit->SetSelectedIndex(box, 1);
  EXPECT_EQ(toolkit->GetSelectedIndex(box), 1);
  EXPECT_EQ(toolkit->GetText(box), "盘D");  // the shown text is the chosen item's
  toolkit->SetSelectedIndex(box, 7);
  EXPECT_EQ(toolkit->GetSelectedIndex(box), -1);
  EXPECT_EQ(toolkit->GetText(box), "");

  toolkit->SetSelectedIndex(box, 0);
  toolkit->ComboClear(box);
  EXPECT_EQ(toolkit->ComboCount(box), 0);
  EXPECT_EQ(toolkit->GetSelectedIndex(box), -1);
  // Programmatic changes raise no events.
  EXPECT_EQ(Describe(TakeEvents()), "");
}

TEST_F(Win32WindowTest, BoundsStayInFormCoordinatesWhileFramesCarryTheirControls) {
  Bounds frame = toolkit->GetBounds(Control::外形框1);
  const RECT buttonBefore = ClientRect(Of(Control::比对按钮));
  frame.top += 100;
  frame.width += 40;
  toolkit->SetBounds(Control::外形框1, frame);
  EXPECT_EQ(toolkit->GetBounds(Control::外形框1), frame);
  const RECT buttonAfter = ClientRect(Of(Control::比对按钮));
  EXPECT_EQ(buttonAfter.top, buttonBefore.top + 100);
  EXPECT_EQ(buttonAfter.left, buttonBefore.left);
  EXPECT_EQ(toolkit->GetBounds(Control::比对按钮), (Bounds{224, 0, 80, 26}));

  // Moving the inner frame moves its controls, not those of the outer frame.
  const RECT messageBefore = ClientRect(Of(Control::过程框));
  Bounds inner = toolkit->GetBounds(Control::外形框2);
  inner.left += 30;
  toolkit->SetBounds(Control::外形框2, inner);
  EXPECT_EQ(ClientRect(Of(Control::比对按钮)).left, buttonAfter.left + 30);
  EXPECT_EQ(ClientRect(Of(Control::过程框)).left, messageBefore.left);

  TakeEvents();
  toolkit->SetWindowBounds(Window::MainWindow, {50, 50, 936, 587});
  EXPECT_EQ(toolkit->GetWindowBounds(Window::MainWindow), (Bounds{50, 50, 936, 587}));
  EXPECT_EQ(Describe(TakeEvents()), Describe({{EventKind::resized}}));
}

// ---- Workers --------------------------------------------------------------------------------------------

TEST_F(Win32WindowTest, WorkersCallIntoTheWindowWhileItWaitsAndWhileItJoins) {
  toolkit->SetText(Control::状态框, " 工作中");
  const ThreadHandle worker = toolkit->StartThread([this] {
    for (int i = 0; i < 200; ++i) toolkit->SetText(Control::过程框, " 当前已枚举" + std::to_string(i));
    toolkit->SetDisabled(Control::盘符框, true);
    toolkit->ComboInsert(Control::外部参照, 0, "快照");
    const std::string read = toolkit->GetText(Control::过程框);
    toolkit->SetText(Control::编辑框1, read);
    toolkit->SetText(Control::状态框, " 空闲中");
  });
  ASSERT_NE(worker, 0);
  WaitWhileWorking();
  EXPECT_EQ(TextOf(Of(Control::过程框)), L" 当前已枚举199");
  EXPECT_EQ(TextOf(Of(Control::编辑框1)), L" 当前已枚举199");
  EXPECT_FALSE(IsWindowEnabled(Of(Control::盘符框)));
  EXPECT_EQ(toolkit->ComboItemText(Control::外部参照, 0), "快照");
  toolkit->CloseThreadHandle(worker);

  // Joining a thread that keeps calling into the window serves those calls instead of deadlocking.
  const ThreadHandle chatty = toolkit->StartThread([this] {
    for (int i = 0; i < 200; ++i) toolkit->SetText(Control::过程框, std::to_string(i));
  });
  toolkit->JoinThread(chatty);
  EXPECT_EQ(TextOf(Of(Control::过程框)), L"199");
  toolkit->CloseThreadHandle(chatty);
  toolkit->JoinThread(chatty);  // a released handle is no thread
}

TEST_F(Win32WindowTest, WaitPumpingReturnsAsSoonAsAWorkerChangesAControl) {
  std::atomic<bool> started{false};
  const ThreadHandle worker = toolkit->StartThread([&] {
    started = true;
    Sleep(100);
    toolkit->SetText(Control::状态框, " 空闲中");
  });
  while (!started) Sleep(1);
  const auto begin = Clock::now();
  toolkit->WaitPumping(10000);
  const auto waited = Clock::now() - begin;
  EXPECT_LT(waited, std::chrono::seconds(5)) << "the wait ran to its end instead of returning on the change";
  EXPECT_EQ(toolkit->GetText(Control::状态框), " 空闲中");
  toolkit->CloseThreadHandle(worker);

  // Without a change the wait lasts its time.
  const auto quiet = Clock::now();
  toolkit->WaitPumping(200);
  EXPECT_GE(Clock::now() - quiet, std::chrono::milliseconds(190));
}

// ---- The report list ------------------------------------------------------------------------------------

TEST_F(Win32WindowTest, ThirtyThousandRowsFromAWorkerReachTheVirtualList) {
  constexpr int kRows = 30000;
  const HWND list = Of(Control::列表框);
  toolkit->SetText(Control::状态框, " 工作中");
  const auto begin = Clock::now();
  const ThreadHandle worker = toolkit->StartThread([this] {
    for (int row = 0; row < kRows; ++row) {
      const int index = toolkit->ListAppendRow(Control::列表框, std::to_string(row + 1));
      toolkit->ListSetCell(Control::列表框, index, 1, "3");
      toolkit->ListSetCell(Control::列表框, index, 2, "C:\\用户\\目录" + std::to_string(row) + "\\");
      for (int column = 3; column < 7; ++column) toolkit->ListSetCell(Control::列表框, index, column, "1024");
      toolkit->PumpIfInput();
    }
    toolkit->SetText(Control::状态框, " 空闲中");
  });
  WaitWhileWorking();
  toolkit->CloseThreadHandle(worker);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
  RecordProperty("rows_ms", std::to_string(elapsed.count()));
  std::printf("%d rows from a worker: %lld ms\n", kRows, static_cast<long long>(elapsed.count()));

  ASSERT_TRUE(PumpUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == kRows; }));
  EXPECT_EQ(toolkit->ListRowCount(Control::列表框), kRows);
  EXPECT_EQ(ShownCell(list, kRows - 1, 2), L"C:\\用户\\目录29999\\");
  EXPECT_EQ(ShownCell(list, 0, 0), L"1");
  EXPECT_EQ(toolkit->ListGetCell(Control::列表框, 5, 6), "1024");
  EXPECT_EQ(toolkit->ListGetCell(Control::列表框, kRows, 0), "");
  toolkit->ListEnsureVisible(Control::列表框, kRows - 1);
  EXPECT_GT(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 0);

  // The selected row is the current one; clearing the list leaves none.
  LVITEMW selected{};
  selected.stateMask = LVIS_SELECTED;
  selected.state = LVIS_SELECTED;
  SendMessageW(list, LVM_SETITEMSTATE, 5, reinterpret_cast<LPARAM>(&selected));
  EXPECT_EQ(toolkit->GetCurrentRow(Control::列表框), 5);
  toolkit->ListClear(Control::列表框);
  EXPECT_EQ(toolkit->GetCurrentRow(Control::列表框), -1);
  EXPECT_EQ(toolkit->ListRowCount(Control::列表框), 0);
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
  // After a clear, a new row starts again at index 0.
  EXPECT_EQ(toolkit->ListAppendRow(Control::列表框, "1"), 0);
  EXPECT_EQ(toolkit->ListAppendRow(Control::过程框, "1"), -1);  // only the report list has rows
}

// ---- Events ---------------------------------------------------------------------------------------------

TEST_F(Win32WindowTest, TheUsersActionsBecomeEvents) {
  const HWND list = Of(Control::列表框);
  toolkit->ComboInsert(Control::单位框, 5, "PB");
  toolkit->SetSelectedIndex(Control::单位框, 2);
  toolkit->ListAppendRow(Control::列表框, "1");
  toolkit->ProcessEvents();
  TakeEvents();
  RECT header{};
  SendMessageW(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)), HDM_GETITEMRECT, 2,
               reinterpret_cast<LPARAM>(&header));
  RECT firstRow{LVIR_BOUNDS, 0, 0, 0};
  SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&firstRow));
  const LPARAM onFirstRow = MAKELPARAM(firstRow.left + 80, (firstRow.top + firstRow.bottom) / 2);

  struct Case {
    const char* action;
    std::function<void()> act;
    std::vector<Event> expected;
  };
  const std::vector<Case> cases{
      {"button click", [&] { SendMessageW(Of(Control::比对按钮), BM_CLICK, 0, 0); },
       {{EventKind::clicked, Control::比对按钮}}},
      {"check box click", [&] { SendMessageW(Of(Control::表单位框), BM_CLICK, 0, 0); },
       {{EventKind::clicked, Control::表单位框}}},
      {"combo box choice by key", [&] { SendMessageW(Of(Control::单位框), WM_KEYDOWN, VK_DOWN, 0); },
       {{EventKind::itemSelected, Control::单位框, 3}}},
      {"combo box drop-down",
       [&] {
         SendMessageW(Of(Control::外部参照), CB_SHOWDROPDOWN, TRUE, 0);
         SendMessageW(Of(Control::外部参照), CB_SHOWDROPDOWN, FALSE, 0);
       },
       {{EventKind::dropDown, Control::外部参照}}},
      {"header click",
       [&] {
         const HWND headerControl = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
         const LPARAM point = MAKELPARAM((header.left + header.right) / 2, (header.top + header.bottom) / 2);
         SendMessageW(headerControl, WM_LBUTTONDOWN, MK_LBUTTON, point);
         SendMessageW(headerControl, WM_LBUTTONUP, 0, point);
       },
       {{EventKind::headerClicked, Control::列表框, 2}}},
      {"double click on the list", [&] { SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, onFirstRow); },
       {{EventKind::doubleClicked, Control::列表框}}},
      {"right click on the list",
       [&] {
         // The list follows the mouse until the button is up (a drag?), reading its queue: the release waits there.
         PostMessageW(list, WM_RBUTTONUP, 0, onFirstRow);
         SendMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, onFirstRow);
       },
       {{EventKind::rightClicked, Control::列表框}}},
      {"wheel: two notches towards the user, then two half notches away",
       [&] {
         SendMessageW(Main(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)), 0);
         SendMessageW(Main(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), 0);
         SendMessageW(Main(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), 0);
       },
       {{EventKind::wheel, {}, -1}, {EventKind::wheel, {}, -1}, {EventKind::wheel, {}, 1}}},
      {"close request", [&] { PostMessageW(Main(), WM_CLOSE, 0, 0); }, {{EventKind::closeRequested}}},
  };
  for (const Case& item : cases) {
    SCOPED_TRACE(item.action);
    item.act();
    EXPECT_EQ(Describe(TakeEvents()), Describe(item.expected));
  }
  EXPECT_TRUE(toolkit->GetChecked(Control::表单位框));  // the click checked it before the event
  EXPECT_EQ(toolkit->GetCurrentRow(Control::列表框), 0);  // the clicks chose the row
  EXPECT_TRUE(IsWindow(Main()));                          // the close request left the window to the handler
}

TEST_F(Win32WindowTest, TheHelpWindowIsModalOverTheMainWindowAndTellsOfClicksAndReleases) {
  struct Seen {
    std::wstring title, usage, label;
    RECT linkField{};
    bool mainEnabled = true;
    bool closedWhenLoadReturned = false;
  } seen;
  toolkit->SetEventHandler([&](const Event& event) {
    events.push_back(event);
    if (event.kind == EventKind::clicked && event.control == Control::帮助按钮) {
      toolkit->LoadWindow(Window::HelpWindow, Window::MainWindow, true);
      seen.closedWhenLoadReturned = !toolkit->NativeWindow(Window::HelpWindow) && !Of(Control::B站框);
    } else if (event.kind == EventKind::created && event.window == Window::HelpWindow) {
      const auto help = static_cast<HWND>(toolkit->NativeWindow(Window::HelpWindow));
      seen.title = TextOf(help);
      seen.usage = TextOf(Of(Control::报告框));
      seen.label = TextOf(Of(Control::帮助标签1));
      seen.linkField = ClientRect(Of(Control::B站框));
      // The user presses and releases the left button in a link field, clicks a button, then closes help.
      PostMessageW(Of(Control::B站框), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
      PostMessageW(Of(Control::B站框), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
      PostMessageW(Of(Control::访问西瓜视频), BM_CLICK, 0, 0);
      PostMessageW(help, WM_CLOSE, 0, 0);
    } else if (event.kind == EventKind::mouseUp) {
      seen.mainEnabled = IsWindowEnabled(Main());
    }
  });
  TakeEvents();
  // Returns once the help window has closed: its loop ran inside the click.
  SendMessageW(Of(Control::帮助按钮), BM_CLICK, 0, 0);

  EXPECT_EQ(Describe(TakeEvents()),
            Describe({{EventKind::clicked, Control::帮助按钮},
                      {EventKind::created, {}, 0, Window::HelpWindow},
                      {EventKind::mouseUp, Control::B站框, 0, Window::HelpWindow},
                      {EventKind::clicked, Control::访问西瓜视频, 0, Window::HelpWindow}}));
  EXPECT_EQ(seen.title, L"使用说明");
  EXPECT_EQ(seen.usage, FromGbk(HelpWindowForm().controls.front().text));
  EXPECT_EQ(seen.label.substr(0, 10), L"程序详细用法详见以上");
  EXPECT_EQ(seen.linkField.left, 11);
  EXPECT_EQ(seen.linkField.top, 213);
  EXPECT_EQ(seen.linkField.right - seen.linkField.left, 270);
  EXPECT_FALSE(seen.mainEnabled);
  EXPECT_TRUE(seen.closedWhenLoadReturned);
  EXPECT_TRUE(IsWindowEnabled(Main()));
}

}  // namespace
}  // namespace korvane
