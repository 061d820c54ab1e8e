// The headless window toolkit: its form model, user input, events on the window thread, waits that wake on
// a worker's change, text observers, the end of the program and worker threads.
#include "platform/headless/headless_toolkit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace korvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Rows = std::vector<std::vector<std::string>>;

WindowForm TestForm() {
  WindowForm form;
  form.bounds = {50, 50, 836, 487};
  const auto add = [&](Control name, ControlKind kind, std::string text = {}) -> ControlForm& {
    ControlForm& control = form.controls.emplace_back();
    control.name = name;
    control.kind = kind;
    control.text = std::move(text);
    return control;
  };
  add(Control::列表框, ControlKind::reportList).columns = {{"ID", 50}, {"路径", 464}, {"目录容量", 0}};
  add(Control::过程框, ControlKind::editField);
  add(Control::状态框, ControlKind::editField, " 空闲中");
  add(Control::盘符框, ControlKind::comboBox).items = {"C", "D"};
  add(Control::单位框, ControlKind::comboBox).items = {"B", "KB", "MB"};
  add(Control::表单位框, ControlKind::checkBox, "显示容量单位");
  add(Control::比对按钮, ControlKind::button, "开始比对");
  add(Control::快照按钮, ControlKind::button, "保存快照");
  return form;
}

using Seen = std::tuple<EventKind, Control, int>;

class HeadlessToolkitTest : public ::testing::Test {
 protected:
  // Records every event the handler runs.
  void RecordEvents() {
    toolkit.SetEventHandler([this](const Event& event) { seen.emplace_back(event.kind, event.control, event.argument); });
  }

  HeadlessToolkit toolkit{TestForm()};
  std::vector<Seen> seen;
};

std::chrono::milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TEST_F(HeadlessToolkitTest, TextsAndCaptionsAreOneValueAndUnknownControlsReadEmpty) {
  EXPECT_EQ(toolkit.GetText(Control::状态框), " 空闲中");
  toolkit.SetCaption(Control::比对按钮, "停止比对");
  EXPECT_EQ(toolkit.GetText(Control::比对按钮), "停止比对");
  toolkit.SetText(Control::过程框, " 比对进度：1");
  EXPECT_EQ(toolkit.GetCaption(Control::过程框), " 比对进度：1");

  // 标签4 is not in this form: what is set is dropped, and reads give the empty values.
  toolkit.SetText(Control::标签4, "x");
  toolkit.SetDisabled(Control::标签4, true);
  EXPECT_EQ(toolkit.GetText(Control::标签4), "");
  EXPECT_FALSE(toolkit.IsDisabled(Control::标签4));
  EXPECT_EQ(toolkit.GetSelectedIndex(Control::标签4), -1);
  EXPECT_EQ(toolkit.ListAppendRow(Control::标签4, "1"), -1);
  EXPECT_EQ(toolkit.GetCurrentRow(Control::标签4), -1);
}

TEST_F(HeadlessToolkitTest, ComboShowsItsSelectedItemElseItsOwnText) {
  toolkit.SetText(Control::盘符框, "Z");
  EXPECT_EQ(toolkit.GetText(Control::盘符框), "Z");
  toolkit.SetSelectedIndex(Control::盘符框, 1);
  EXPECT_EQ(toolkit.GetText(Control::盘符框), "D");

  // Inserting before the selection keeps it on its item; an index outside the items appends.
  toolkit.ComboInsert(Control::盘符框, 0, "A");
  toolkit.ComboInsert(Control::盘符框, 3, "E");
  toolkit.ComboInsert(Control::盘符框, 99, "F");
  toolkit.ComboInsert(Control::盘符框, -1, "G");
  EXPECT_EQ(toolkit.ComboItems(Control::盘符框), (std::vector<std::string>{"A", "C", "D", "E", "F", "G"}));
  EXPECT_EQ(toolkit.GetSelectedIndex(Control::盘符框), 2);
  EXPECT_EQ(toolkit.GetText(Control::盘符框), "D");
  EXPECT_EQ(toolkit.ComboCount(Control::盘符框), 6);
  EXPECT_EQ(toolkit.ComboItemText(Control::盘符框, 5), "G");
  EXPECT_EQ(toolkit.ComboItemText(Control::盘符框, 6), "");
  EXPECT_EQ(toolkit.ComboItemText(Control::盘符框, -1), "");

  toolkit.SetSelectedIndex(Control::盘符框, -1);
  EXPECT_EQ(toolkit.GetText(Control::盘符框), "Z");
  toolkit.SetSelectedIndex(Control::盘符框, 0);
  toolkit.ComboClear(Control::盘符框);
  EXPECT_EQ(toolkit.ComboCount(Control::盘符框), 0);
  EXPECT_EQ(toolkit.GetSelectedIndex(Control::盘符框), -1);
  EXPECT_EQ(toolkit.GetText(Control::盘符框), "");
}

TEST_F(HeadlessToolkitTest, SelectingOutsideTheItemsClearsTheSelection) {
  for (const int index : {-1, 3, 4, -2, INT_MAX, INT_MIN}) {
    toolkit.SetSelectedIndex(Control::单位框, 1);
    toolkit.SetSelectedIndex(Control::单位框, index);
    EXPECT_EQ(toolkit.GetSelectedIndex(Control::单位框), -1) << index;
  }
  toolkit.SetSelectedIndex(Control::单位框, 2);
  EXPECT_EQ(toolkit.GetText(Control::单位框), "MB");
}

TEST_F(HeadlessToolkitTest, ListRowsCellsAndColumns) {
  EXPECT_EQ(toolkit.ListAppendRow(Control::列表框, "1"), 0);
  EXPECT_EQ(toolkit.ListAppendRow(Control::列表框, "2"), 1);
  toolkit.ListSetCell(Control::列表框, 0, 1, "C:\\A\\");
  toolkit.ListSetCell(Control::列表框, 1, 2, "300");
  // A missing row or column is ignored.
  for (const auto& [row, column] : {std::pair{2, 0}, {-1, 0}, {0, 3}, {0, -1}}) {
    toolkit.ListSetCell(Control::列表框, row, column, "x");
    EXPECT_EQ(toolkit.ListGetCell(Control::列表框, row, column), "") << row << "," << column;
  }
  EXPECT_EQ(toolkit.ListRows(), (Rows{{"1", "C:\\A\\", ""}, {"2", "", "300"}}));
  EXPECT_EQ(toolkit.ListGetCell(Control::列表框, 1, 2), "300");
  EXPECT_EQ(toolkit.ListRowCount(Control::列表框), 2);

  EXPECT_EQ(toolkit.GetCurrentRow(Control::列表框), -1);
  EXPECT_TRUE(toolkit.SelectRow(1));
  EXPECT_EQ(toolkit.GetCurrentRow(Control::列表框), 1);
  toolkit.SelectRow(2);  // below the last row: nothing is current
  EXPECT_EQ(toolkit.GetCurrentRow(Control::列表框), -1);
  toolkit.SelectRow(0);
  toolkit.ListClear(Control::列表框);
  EXPECT_EQ(toolkit.ListRowCount(Control::列表框), 0);
  EXPECT_EQ(toolkit.GetCurrentRow(Control::列表框), -1);

  toolkit.ListSetColumnWidth(Control::列表框, 2, 100);
  toolkit.ListSetColumnTitle(Control::列表框, 0, "ID ▲");
  toolkit.ListSetColumnWidth(Control::列表框, 3, 100);
  toolkit.ListSetColumnTitle(Control::列表框, 3, "x");
  EXPECT_EQ(toolkit.ListColumns(), (std::vector<ListColumn>{{"ID ▲", 50}, {"路径", 464}, {"目录容量", 100}}));
  EXPECT_EQ(toolkit.ListGetColumnWidth(Control::列表框, 1), 464);
  EXPECT_EQ(toolkit.ListGetColumnWidth(Control::列表框, 3), 0);
}

TEST_F(HeadlessToolkitTest, WindowStateClampsTransparencyAndRedrawDepth) {
  for (const auto& [alpha, kept] : {std::pair{0, 0}, {128, 128}, {255, 255}, {-1, 255}, {256, 255}, {INT_MIN, 255}}) {
    toolkit.SetTransparency(Window::MainWindow, 7);
    toolkit.SetTransparency(Window::MainWindow, alpha);
    EXPECT_EQ(toolkit.Transparency(), kept) << alpha;
  }

  toolkit.LockRedraw();
  toolkit.LockRedraw();
  EXPECT_EQ(toolkit.RedrawLockDepth(), 2);
  for (int unlock = 0; unlock < 3; ++unlock) toolkit.UnlockRedraw();
  toolkit.LockRedraw();
  EXPECT_EQ(toolkit.RedrawLockDepth(), 1);

  EXPECT_TRUE(toolkit.IsWindowLoaded(Window::MainWindow));
  EXPECT_FALSE(toolkit.IsWindowLoaded(Window::HelpWindow));
  toolkit.LoadWindow(Window::HelpWindow, Window::MainWindow, true);
  EXPECT_TRUE(toolkit.IsWindowLoaded(Window::HelpWindow));

  toolkit.SetAlwaysOnTop(true);
  EXPECT_TRUE(toolkit.GetAlwaysOnTop());
  toolkit.SetClipboardText("C:\\Windows\\");
  EXPECT_EQ(toolkit.ClipboardText(), "C:\\Windows\\");
}

TEST_F(HeadlessToolkitTest, ANewMainWindowSizeRaisesResized) {
  RecordEvents();
  EXPECT_EQ(toolkit.GetWindowBounds(Window::MainWindow), (Bounds{50, 50, 836, 487}));
  toolkit.SetWindowBounds(Window::MainWindow, {60, 70, 836, 487});  // moved only
  toolkit.SetWindowBounds(Window::HelpWindow, {0, 0, 772, 305});
  toolkit.SetWindowBounds(Window::MainWindow, {60, 70, 600, 487});
  toolkit.Resize({60, 70, 600, 487});  // the user's drag raises it whatever the size
  toolkit.RunPending();
  EXPECT_EQ(seen, (std::vector<Seen>(2, {EventKind::resized, Control::列表框, 0})));
  EXPECT_EQ(toolkit.GetWindowBounds(Window::MainWindow), (Bounds{60, 70, 600, 487}));
  EXPECT_EQ(toolkit.GetWindowBounds(Window::HelpWindow), (Bounds{0, 0, 772, 305}));
}

TEST_F(HeadlessToolkitTest, UserInputChangesThenPostsAndDisabledControlsRefuseIt) {
  RecordEvents();
  EXPECT_TRUE(toolkit.Click(Control::表单位框));
  EXPECT_TRUE(toolkit.GetChecked(Control::表单位框));
  EXPECT_TRUE(toolkit.SelectItem(Control::单位框, 2));
  EXPECT_EQ(toolkit.GetSelectedIndex(Control::单位框), 2);
  EXPECT_FALSE(toolkit.SelectItem(Control::单位框, 3));
  EXPECT_EQ(toolkit.GetSelectedIndex(Control::单位框), 2);
  // Typing into a combo box replaces the chosen item as its shown text.
  EXPECT_TRUE(toolkit.TypeText(Control::单位框, "GB"));
  EXPECT_EQ(toolkit.GetSelectedIndex(Control::单位框), -1);
  EXPECT_EQ(toolkit.GetText(Control::单位框), "GB");

  toolkit.SetDisabled(Control::比对按钮, true);
  toolkit.SetDisabled(Control::表单位框, true);
  toolkit.SetDisabled(Control::过程框, true);
  EXPECT_TRUE(toolkit.IsDisabled(Control::比对按钮));
  EXPECT_FALSE(toolkit.Click(Control::比对按钮));
  EXPECT_FALSE(toolkit.Click(Control::表单位框));
  EXPECT_TRUE(toolkit.GetChecked(Control::表单位框));
  EXPECT_FALSE(toolkit.TypeText(Control::过程框, "x"));
  EXPECT_EQ(toolkit.GetText(Control::过程框), "");

  toolkit.Wheel(-2);
  toolkit.Wheel(1);
  toolkit.Wheel(0);
  EXPECT_TRUE(toolkit.ClickHeader(2));
  EXPECT_TRUE(toolkit.DoubleClick());
  EXPECT_TRUE(toolkit.RightClick());
  EXPECT_TRUE(toolkit.DropDown(Control::盘符框));
  toolkit.RequestClose();
  toolkit.Post(Event{EventKind::clicked, Control::快照按钮});
  EXPECT_TRUE(seen.empty());  // nothing runs until the window thread pumps
  toolkit.RunPending();
  EXPECT_EQ(seen, (std::vector<Seen>{
                      {EventKind::clicked, Control::表单位框, 0},
                      {EventKind::itemSelected, Control::单位框, 2},
                      {EventKind::wheel, Control::列表框, -1},
                      {EventKind::wheel, Control::列表框, -1},
                      {EventKind::wheel, Control::列表框, 1},
                      {EventKind::headerClicked, Control::列表框, 2},
                      {EventKind::doubleClicked, Control::列表框, 0},
                      {EventKind::rightClicked, Control::列表框, 0},
                      {EventKind::dropDown, Control::盘符框, 0},
                      {EventKind::closeRequested, Control::列表框, 0},
                      {EventKind::clicked, Control::快照按钮, 0},
                  }));
}

TEST_F(HeadlessToolkitTest, EventsRunOnlyOnTheWindowThread) {
  std::vector<std::thread::id> runners;
  toolkit.SetEventHandler([&](const Event& event) {
    seen.emplace_back(event.kind, event.control, event.argument);
    runners.push_back(std::this_thread::get_id());
  });
  toolkit.Click(Control::比对按钮);
  std::thread other([&] {
    toolkit.ProcessEvents();
    toolkit.PumpIfInput();
    const auto start = Clock::now();
    toolkit.WaitPumping(30);  // elsewhere only a sleep
    EXPECT_GE(Since(start), 30ms);
    toolkit.WaitPumping(0);
  });
  other.join();
  EXPECT_TRUE(seen.empty());

  // Events posted from another thread while the window thread waits run inside that wait.
  std::thread user([&] {
    std::this_thread::sleep_for(20ms);
    toolkit.Click(Control::快照按钮);
  });
  toolkit.WaitPumping(2000);
  user.join();
  toolkit.PumpIfInput();
  EXPECT_EQ(seen, (std::vector<Seen>{{EventKind::clicked, Control::比对按钮, 0},
                                     {EventKind::clicked, Control::快照按钮, 0}}));
  EXPECT_EQ(runners, std::vector<std::thread::id>(2, std::this_thread::get_id()));

  // Open makes its caller the window thread, and this one stops running events.
  std::thread opener([&] { toolkit.Open(); });
  opener.join();
  EXPECT_EQ(seen.back(), (Seen{EventKind::created, Control::列表框, 0}));
  EXPECT_NE(runners.back(), std::this_thread::get_id());
  toolkit.Click(Control::比对按钮);
  toolkit.ProcessEvents();
  EXPECT_EQ(seen.size(), 3u);
}

// The controller's shape: the start click waits for its worker while the stop click runs nested inside it.
TEST_F(HeadlessToolkitTest, AWaitingHandlerRunsTheNextEventsNestedAndWakesOnTheWorkersChange) {
  std::atomic<bool> stopRequested = false;
  std::vector<std::string> log;
  const auto busy = [&] { return toolkit.GetText(Control::状态框) == " 工作中"; };
  toolkit.SetEventHandler([&](const Event& event) {
    if (event.control == Control::比对按钮) {
      log.push_back("start");
      toolkit.SetText(Control::状态框, " 工作中");
      const ThreadHandle worker = toolkit.StartThread([&] {
        while (!stopRequested) std::this_thread::sleep_for(1ms);
        toolkit.SetText(Control::状态框, " 空闲中");
      });
      while (busy()) toolkit.WaitPumping(2000);
      log.push_back("start ends");
      toolkit.JoinThread(worker);
      toolkit.CloseThreadHandle(worker);
    } else {
      log.push_back("stop");
      stopRequested = true;
      while (busy()) toolkit.WaitPumping(2000);
      log.push_back("stop ends");
    }
  });
  toolkit.Click(Control::比对按钮);
  toolkit.Click(Control::快照按钮);
  const auto start = Clock::now();
  EXPECT_TRUE(toolkit.RunUntil([&] { return log.size() == 4; }, 10s));
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop", "stop ends", "start ends"}));
  // Both waits ended on the worker's change, neither at its deadline.
  EXPECT_LT(Since(start), 1500ms);
}

TEST_F(HeadlessToolkitTest, WaitPumpingEndsOnAWorkersChangeOnly) {
  const ThreadHandle worker = toolkit.StartThread([&] {
    std::this_thread::sleep_for(50ms);
    toolkit.SetText(Control::过程框, " 完成");
  });
  auto start = Clock::now();
  toolkit.WaitPumping(2000);
  EXPECT_LT(Since(start), 1500ms);
  EXPECT_EQ(toolkit.GetText(Control::过程框), " 完成");
  toolkit.CloseThreadHandle(worker);

  // A change between a caller's test and its wait ends the wait at once too.
  toolkit.JoinThread(toolkit.StartThread([&] { toolkit.ListAppendRow(Control::列表框, "1"); }));
  start = Clock::now();
  toolkit.WaitPumping(2000);
  EXPECT_LT(Since(start), 1500ms);

  // Neither the window thread's own changes nor a quiet worker end it.
  toolkit.SetText(Control::过程框, "自己");
  const ThreadHandle reader = toolkit.StartThread([&] { toolkit.GetText(Control::过程框); });
  start = Clock::now();
  toolkit.WaitPumping(100);
  EXPECT_GE(Since(start), 100ms);
  toolkit.CloseThreadHandle(reader);
}

TEST_F(HeadlessToolkitTest, ObserversSeeTextsSetFromAnyThreadOutsideTheLock) {
  std::mutex mutex;
  std::vector<std::pair<Control, std::string>> texts;
  toolkit.AddTextObserver([&](Control control, const std::string& text) {
    // Reading back through the toolkit would deadlock under the model lock.
    EXPECT_EQ(toolkit.GetCaption(control), text);
    std::lock_guard lock(mutex);
    texts.emplace_back(control, text);
  });
  toolkit.JoinThread(toolkit.StartThread([&] {
    toolkit.SetText(Control::过程框, " 当前已枚举1");
    toolkit.SetCaption(Control::比对按钮, "开始比对");
    toolkit.SetDisabled(Control::比对按钮, true);
    toolkit.SetText(Control::标签4, "not in the form");
  }));
  toolkit.TypeText(Control::过程框, "typed");
  EXPECT_EQ(texts, (std::vector<std::pair<Control, std::string>>{
                       {Control::过程框, " 当前已枚举1"}, {Control::比对按钮, "开始比对"}, {Control::过程框, "typed"}}));
}

TEST_F(HeadlessToolkitTest, EndProgramInANestedHandlerUnwindsToTheDriver) {
  bool startResumed = false;
  int laterEvents = 0;
  toolkit.SetEventHandler([&](const Event& event) {
    if (event.kind == EventKind::closeRequested) toolkit.EndProgram(3);
    if (event.control == Control::比对按钮) {
      while (toolkit.GetText(Control::状态框) == " 空闲中") toolkit.WaitPumping(50);
      startResumed = true;
    }
    if (event.control == Control::快照按钮) ++laterEvents;
  });
  toolkit.Click(Control::比对按钮);
  toolkit.RequestClose();
  toolkit.Click(Control::快照按钮);
  EXPECT_FALSE(toolkit.RunUntil([] { return false; }, 10s));
  EXPECT_EQ(toolkit.exitCode(), 3);
  EXPECT_FALSE(startResumed);

  // The program is over: the driver runs nothing more and its waits return at once.
  toolkit.Open();
  toolkit.RunPending();
  const auto start = Clock::now();
  EXPECT_FALSE(toolkit.RunUntil([] { return false; }, 10s));
  EXPECT_LT(Since(start), 1500ms);
  EXPECT_EQ(laterEvents, 0);
}

TEST(HeadlessToolkitEnd, EndsFromTheCreatedEventAndFromAWorker) {
  HeadlessToolkit opened{TestForm()};
  opened.SetEventHandler([&](const Event& event) {
    if (event.kind == EventKind::created) opened.EndProgram(0);
  });
  opened.Open();
  EXPECT_EQ(opened.exitCode(), 0);

  // A worker's end unwinds the window thread that waits for it.
  HeadlessToolkit toolkit{TestForm()};
  bool waiterResumed = false;
  toolkit.SetEventHandler([&](const Event&) {
    toolkit.StartThread([&] { toolkit.EndProgram(-1); });
    while (toolkit.GetText(Control::状态框) == " 空闲中") toolkit.WaitPumping(50);
    waiterResumed = true;
  });
  toolkit.Open();
  EXPECT_FALSE(toolkit.RunUntil([] { return false; }, 10s));
  EXPECT_EQ(toolkit.exitCode(), -1);
  EXPECT_FALSE(waiterResumed);
}

TEST_F(HeadlessToolkitTest, ThreadsStartJoinAndClose) {
  EXPECT_EQ(toolkit.StartThread(nullptr), 0);

  std::atomic<int> finished = 0;
  const ThreadHandle first = toolkit.StartThread([&] {
    std::this_thread::sleep_for(20ms);
    ++finished;
  });
  const ThreadHandle second = toolkit.StartThread([&] { ++finished; });
  EXPECT_GT(first, 0);
  EXPECT_GT(second, 0);
  EXPECT_NE(first, second);
  toolkit.JoinThread(first);
  toolkit.JoinThread(second);
  EXPECT_EQ(finished, 2);
  // Whichever of two handlers comes second finds the handle released.
  toolkit.CloseThreadHandle(first);
  toolkit.JoinThread(first);
  toolkit.CloseThreadHandle(first);
  toolkit.JoinThread(0);
  toolkit.CloseThreadHandle(12345);

  // Closing the handle of a running thread waits for the thread.
  std::atomic<bool> release = false;
  const ThreadHandle running = toolkit.StartThread([&] {
    while (!release) std::this_thread::sleep_for(1ms);
    ++finished;
  });
  std::thread releaser([&] {
    std::this_thread::sleep_for(20ms);
    release = true;
  });
  toolkit.CloseThreadHandle(running);
  EXPECT_EQ(finished, 3);
  releaser.join();
}

TEST(HeadlessToolkitThreads, DestructionJoinsThreadsLeftRunning) {
  std::atomic<bool> finished = false;
  {
    HeadlessToolkit toolkit{TestForm()};
    toolkit.StartThread([&] {
      std::this_thread::sleep_for(30ms);
      toolkit.SetText(Control::过程框, " 完成");  // the toolkit is still alive here
      finished = true;
    });
  }
  EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace korvane
