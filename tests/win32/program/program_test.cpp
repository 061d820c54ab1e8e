// The Windows program as a user meets it: korvane64.exe started as its own process and driven through its
// window's messages from this one, on a test tree that the script mapped as drive K:.
//
// program_test.sh runs the suites in two phases, so that the Linux build can record the same tree between
// them: first the window and the scan (ScanPhase), then everything that changes the tree or the settings.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/window/win32_toolkit.h"

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A Linux path from the script, as Wine shows it: "/" is drive Z:.
std::wstring FromUnixPath(const char* variable) {
  const char* value = std::getenv(variable);
  std::wstring path = L"Z:";
  for (const char* c = value ? value : ""; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  return path;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 60s) {
  const auto deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// A process's window texts are asked for with messages, which Windows carries across processes.
std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10'000, &copied);
  return text;
}

std::vector<std::wstring> ComboItems(HWND box) {
  std::vector<std::wstring> items;
  const auto count = SendMessageW(box, CB_GETCOUNT, 0, 0);
  for (LRESULT index = 0; index < count; ++index) {
    std::wstring text(static_cast<size_t>(std::max<LRESULT>(SendMessageW(box, CB_GETLBTEXTLEN, index, 0), 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(std::max<LRESULT>(
        SendMessageW(box, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data())), 0)));
    items.push_back(text);
  }
  return items;
}

// A control's place in its window's client area.
RECT ClientRect(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

struct FoundWindow {
  DWORD process;
  HWND window;
};

BOOL CALLBACK NoteMainWindow(HWND window, LPARAM argument) {
  auto& found = *reinterpret_cast<FoundWindow*>(argument);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (process != found.process || std::wstring(name) != L"KorvaneMainWindow" || !IsWindowVisible(window)) return TRUE;
  found.window = window;
  return FALSE;
}

// One run of korvane64.exe from the program directory.
class RunningProgram {
 public:
  RunningProgram() {
    const std::wstring program = ProgramDirectory() + L"\\korvane64.exe";
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        ProgramDirectory().c_str(), &startup, &process_)) {
      ADD_FAILURE() << "CreateProcessW: " << GetLastError();
      return;
    }
    CloseHandle(process_.hThread);
  }
  ~RunningProgram() {
    if (!process_.hProcess) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
    CloseHandle(process_.hProcess);
  }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  static std::wstring ProgramDirectory() { return FromUnixPath("KORVANE_TEST_HOME"); }

  // Waits until the main window is shown; null when it never is.
  HWND Window() {
    if (!main_ && process_.hProcess) {
      WaitFor([&] {
        FoundWindow found{process_.dwProcessId, nullptr};
        EnumWindows(NoteMainWindow, reinterpret_cast<LPARAM>(&found));
        main_ = found.window;
        return main_ != nullptr || Ended();
      });
    }
    return main_;
  }
  HWND Of(Control control) { return GetDlgItem(Window(), Win32ControlId(control)); }

  bool Ended() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }
  // The exit code once the process has ended within the timeout, else -12345.
  long ExitCode(std::chrono::milliseconds timeout = 30s) const {
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return -12345;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
  }

  // The user's actions, as the controls report them to their window.
  void Click(Control control) { PostMessageW(Of(control), BM_CLICK, 0, 0); }
  void Choose(Control box, int index) {
    SendMessageW(Of(box), CB_SETCURSEL, index, 0);
    PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(Win32ControlId(box), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Of(box)));
  }
  void DropDown(Control box) {
    PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(Win32ControlId(box), CBN_DROPDOWN),
                 reinterpret_cast<LPARAM>(Of(box)));
  }
  void Type(Control field, const wchar_t* text) { SendMessageW(Of(field), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }
  void ClickHeader(int column) {
    const HWND list = Of(Control::列表框);
    const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    int left = 0;
    for (int before = 0; before < column; ++before) left += static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, before, 0));
    const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
    const LPARAM point = MAKELPARAM(left + width / 2, 8);
    PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(header, WM_LBUTTONUP, 0, point);
  }

  bool Idle() { return TextOf(Of(Control::状态框)) == L" 空闲中"; }
  // Clicks the button and waits until its run has ended: every run writes 过程框, and its status returns
  // to idle last of all. A marker in 过程框 tells a finished run from one that has not started yet.
  bool ClickAndWaitForTheRun(Control button, std::chrono::milliseconds timeout = 120s) {
    constexpr wchar_t kMarker[] = L"(before the run)";
    Type(Control::过程框, kMarker);
    Click(button);
    return WaitFor([&] {
      return TextOf(Of(Control::过程框)) != kMarker && Idle() && IsWindowEnabled(Of(Control::快照按钮));
    }, timeout);
  }

  // The list view's rows as it shows them: its texts are read into memory of the program's process.
  std::vector<std::vector<std::wstring>> Rows() {
    const HWND list = Of(Control::列表框);
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    constexpr int kCapacity = 512;
    void* remote = VirtualAllocEx(process_.hProcess, nullptr, sizeof(LVITEMW) + kCapacity * sizeof(wchar_t),
                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    std::vector<std::vector<std::wstring>> rows;
    for (int row = 0; remote && row < count; ++row) {
      std::vector<std::wstring> cells;
      for (int column = 0; column < 7; ++column) {
        LVITEMW item{};
        item.iSubItem = column;
        item.cchTextMax = kCapacity;
        item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
        WriteProcessMemory(process_.hProcess, remote, &item, sizeof(item), nullptr);
        SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
        wchar_t text[kCapacity] = {};
        ReadProcessMemory(process_.hProcess, item.pszText, text, sizeof(text) - sizeof(wchar_t), nullptr);
        cells.emplace_back(text);
      }
      rows.push_back(std::move(cells));
    }
    if (remote) VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
    return rows;
  }

  // What CF.ini keeps, as the controls show it.
  std::vector<std::wstring> Choices() {
    std::vector<std::wstring> choices;
    for (const Control box : {Control::外部参照, Control::内部参照, Control::盘符框, Control::单位框}) {
      choices.push_back(std::to_wstring(SendMessageW(Of(box), CB_GETCURSEL, 0, 0)));
    }
    choices.push_back(TextOf(Of(Control::限制框)));
    choices.push_back(std::to_wstring(SendMessageW(Of(Control::表单位框), BM_GETCHECK, 0, 0)));
    return choices;
  }

 private:
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
};

int IndexOf(const std::vector<std::wstring>& items, const std::wstring& item) {
  const auto found = std::find(items.begin(), items.end(), item);
  return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

// ---- Phase one: the window and a scan of K: ------------------------------------------------------------

TEST(ScanPhase, TheWindowShowsItsFormAndWineDrivesAndTheScanWritesTheSnapshot) {
  RunningProgram program;
  const HWND main = program.Window();
  ASSERT_NE(main, nullptr) << "the main window never showed";
  EXPECT_EQ(TextOf(main), L"Korvane   by Lumetsa");
  RECT outer{};
  GetWindowRect(main, &outer);
  EXPECT_EQ(outer.right - outer.left, 836);
  EXPECT_EQ(outer.bottom - outer.top, 487);
  EXPECT_EQ(TextOf(program.Of(Control::快照按钮)), L"保存快照");
  EXPECT_EQ(TextOf(program.Of(Control::比对按钮)), L"开始比对");
  EXPECT_EQ(TextOf(program.Of(Control::状态框)), L" 空闲中");
  EXPECT_EQ(ComboItems(program.Of(Control::单位框)), (std::vector<std::wstring>{L"B", L"KB", L"MB", L"GB", L"TB"}));
  // Eleven systems, then the statistics run.
  const std::vector<std::wstring> references = ComboItems(program.Of(Control::内部参照));
  ASSERT_EQ(references.size(), 12u);
  EXPECT_EQ(references.front(), L"Windows 11 Pro for Workstations 21H2 [10.0.22000.194] 22.47GB");
  EXPECT_EQ(references.back(), L"选择此项进行比对,可列出所选分区目录及体积,可限制大小,并输出文件");

  const std::vector<std::wstring> drives = ComboItems(program.Of(Control::盘符框));
  for (const wchar_t* drive : {L"C", L"K", L"Z"}) EXPECT_NE(IndexOf(drives, drive), -1) << drive;

  program.Choose(Control::盘符框, IndexOf(drives, L"K"));
  ASSERT_TRUE(program.ClickAndWaitForTheRun(Control::快照按钮));
  // The script compares the file with the Linux build's record of the same tree.
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((RunningProgram::ProgramDirectory() + L"\\*.k").c_str(), &found);
  EXPECT_NE(search, INVALID_HANDLE_VALUE) << "no snapshot of K: in the program directory";
  if (search != INVALID_HANDLE_VALUE) FindClose(search);

  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.ExitCode(), 0);
}

// ---- Phase two ------------------------------------------------------------------------------------------

// The script has grown K:\增长\ by 3 MiB and K:\文档\报告\ by 2 MiB since the scan, in sparse files, which
// leave the volume's used bytes as they were.
// Compares K: with its latest saved snapshot, listing what grew by 1 MB or more.
void CompareWithTheSavedSnapshot(RunningProgram& program) {
  ASSERT_NE(program.Window(), nullptr);
  program.Choose(Control::盘符框, IndexOf(ComboItems(program.Of(Control::盘符框)), L"K"));
  program.DropDown(Control::外部参照);
  ASSERT_TRUE(WaitFor([&] { return !ComboItems(program.Of(Control::外部参照)).empty(); }, 20s));
  program.Choose(Control::外部参照, 0);
  program.Type(Control::限制框, L"1");
  program.Choose(Control::单位框, 2);  // MB
  ASSERT_TRUE(program.ClickAndWaitForTheRun(Control::比对按钮));
}

TEST(ProgramPhase, AComparisonAgainstTheSavedSnapshotListsTheGrowthAndHeaderClicksSortIt) {
  RunningProgram program;
  CompareWithTheSavedSnapshot(program);
  if (testing::Test::HasFatalFailure()) return;
  EXPECT_EQ(TextOf(program.Of(Control::比对按钮)), L"开始比对");
  EXPECT_EQ(TextOf(program.Of(Control::过程框)).find(L" 在"), 0u) << "no summary line";

  // 文档\ grew by no more than its listed subdirectory holds; the root's used bytes may have moved with
  // whatever else the machine wrote meanwhile, so it is left out of the count.
  std::map<std::wstring, std::wstring> increments;
  for (const auto& row : program.Rows()) {
    EXPECT_GE(std::stoll(row[5]), 1'048'576) << row[2].size();
    if (row[2] != L"K:\\") increments[row[2]] = row[5];
  }
  EXPECT_EQ(increments, (std::map<std::wstring, std::wstring>{{L"K:\\增长\\", L"3145728"},
                                                               {L"K:\\文档\\报告\\", L"2097152"}}));

  // 目录容量 descending on the first click, ascending on the second.
  const auto sizes = [&] {
    std::vector<long long> column;
    for (const auto& row : program.Rows()) column.push_back(std::stoll(row[3]));
    return column;
  };
  program.ClickHeader(3);
  ASSERT_TRUE(WaitFor([&] {
    const auto column = sizes();
    return std::is_sorted(column.rbegin(), column.rend());
  }, 20s));
  program.ClickHeader(3);
  ASSERT_TRUE(WaitFor([&] {
    const auto column = sizes();
    return std::is_sorted(column.begin(), column.end());
  }, 20s));
  EXPECT_NE(sizes().front(), sizes().back());

  PostMessageW(program.Window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(program.ExitCode(), 0);
}

TEST(ProgramPhase, ResizingMovesTheControlsAndKeepsTheMinimumSize) {
  RunningProgram program;
  const HWND main = program.Window();
  ASSERT_NE(main, nullptr);
  const auto place = [&](Control control) { return ClientRect(program.Of(control)); };
  const RECT list = place(Control::列表框), lowerFrame = place(Control::外形框1), driveFrame = place(Control::外形框2),
             status = place(Control::状态框), progress = place(Control::过程框);

  SetWindowPos(main, nullptr, 0, 0, 836 + 120, 487 + 60, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_TRUE(WaitFor([&] { return place(Control::列表框).right == list.right + 120; }, 20s));
  EXPECT_EQ(place(Control::列表框).bottom, list.bottom + 60);
  EXPECT_EQ(place(Control::外形框1).top, lowerFrame.top + 60);
  EXPECT_EQ(place(Control::外形框1).right, lowerFrame.right + 120);
  EXPECT_EQ(place(Control::外形框2).left, driveFrame.left + 120);
  EXPECT_EQ(place(Control::状态框).left, status.left + 120);
  EXPECT_EQ(place(Control::过程框).right, progress.right + 120);
  EXPECT_EQ(SendMessageW(program.Of(Control::列表框), LVM_GETCOLUMNWIDTH, 2, 0), 464 + 120);

  // Narrower and lower than the least size: the window keeps 600 × 295.
  SetWindowPos(main, nullptr, 0, 0, 300, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT outer{};
  ASSERT_TRUE(WaitFor([&] {
    GetWindowRect(main, &outer);
    return outer.right - outer.left == 600 && outer.bottom - outer.top == 295;
  }, 20s));
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.ExitCode(), 0);
}

TEST(ProgramPhase, ClosingKeepsTheChoicesInCfIniAndTheNextStartRestoresThem) {
  const std::wstring settings = RunningProgram::ProgramDirectory() + L"\\CF.ini";
  DeleteFileW(settings.c_str());
  std::vector<std::wstring> chosen;
  {
    RunningProgram program;
    ASSERT_NE(program.Window(), nullptr);
    program.Choose(Control::盘符框, IndexOf(ComboItems(program.Of(Control::盘符框)), L"K"));
    program.Choose(Control::内部参照, 4);
    program.Choose(Control::单位框, 3);
    program.Type(Control::限制框, L"7");
    program.Click(Control::表单位框);
    ASSERT_TRUE(WaitFor([&] { return SendMessageW(program.Of(Control::表单位框), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    ASSERT_TRUE(WaitFor([&] { return SendMessageW(program.Of(Control::单位框), CB_GETCURSEL, 0, 0) == 3; }));
    chosen = program.Choices();
    PostMessageW(program.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.ExitCode(), 0);
  }
  EXPECT_NE(GetFileAttributesW(settings.c_str()), INVALID_FILE_ATTRIBUTES) << "no CF.ini";
  RunningProgram again;
  ASSERT_NE(again.Window(), nullptr);
  EXPECT_EQ(again.Choices(), chosen);
  EXPECT_EQ(chosen[1], L"4");
  EXPECT_EQ(chosen[4], L"7");
  PostMessageW(again.Window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(again.ExitCode(), 0);
}

TEST(ProgramPhase, ASecondCopyEndsWithExitCodeZeroAndLeavesTheFirstRunning) {
  RunningProgram first;
  ASSERT_NE(first.Window(), nullptr);
  RunningProgram second;
  EXPECT_EQ(second.ExitCode(), 0);
  EXPECT_FALSE(first.Ended());
  PostMessageW(first.Window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(first.ExitCode(), 0);
}

// For the README's picture (scripts/window_screenshot.sh): the window after a comparison, kept open for
// the seconds that KORVANE_SCREENSHOT_SECONDS gives.
TEST(Screenshot, TheWindowAfterAComparison) {
  const char* seconds = std::getenv("KORVANE_SCREENSHOT_SECONDS");
  if (!seconds) GTEST_SKIP() << "only for scripts/window_screenshot.sh";
  RunningProgram program;
  CompareWithTheSavedSnapshot(program);
  std::this_thread::sleep_for(std::chrono::seconds(std::atoi(seconds)));
  PostMessageW(program.Window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(program.ExitCode(), 0);
}

}  // namespace
}  // namespace korvane
