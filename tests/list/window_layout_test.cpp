// The main window's layout: controls following the window's size and its minimum, transparency by the
// wheel, and the unit check box's column widths.
#include "app/window_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/list/list_window.h"

namespace korvane {
namespace {

constexpr int kPathColumn = 2;

Bounds FormBounds(Control control) {
  for (const ControlForm& form : MainWindowForm().controls) {
    if (form.name == control) return form.bounds;
  }
  ADD_FAILURE() << "no such control in the form";
  return {};
}

// Resizes the main window as a user drags it and lets the resized events run.
void ResizeTo(ListWindow& window, int width, int height) {
  window.toolkit.Resize({50, 50, width, height});
  window.toolkit.RunPending();
}

TEST(WindowLayout, ControlsFollowALargerWindow) {
  ListWindow window;
  ResizeTo(window, 936, 587);
  HeadlessToolkit& toolkit = window.toolkit;
  EXPECT_EQ(toolkit.GetBounds(Control::列表框), (Bounds{12, 11, 896, 430}));
  EXPECT_EQ(toolkit.ListGetColumnWidth(Control::列表框, kPathColumn), 564);
  EXPECT_EQ(toolkit.GetBounds(Control::外形框1), (Bounds{0, 445, 920, 105}));
  EXPECT_EQ(toolkit.GetBounds(Control::外形框2), (Bounds{604, 7, 312, 64}));
  EXPECT_EQ(toolkit.GetBounds(Control::外部参照), (Bounds{76, 11, 520, 20}));
  EXPECT_EQ(toolkit.GetBounds(Control::内部参照), (Bounds{76, 43, 520, 20}));
  EXPECT_EQ(toolkit.GetBounds(Control::过程框), (Bounds{51, 78, 742, 24}));
  EXPECT_EQ(toolkit.GetBounds(Control::编辑框3), (Bounds{793, 78, 50, 24}));
  EXPECT_EQ(toolkit.GetBounds(Control::状态框), (Bounds{843, 78, 76, 24}));
  // Controls inside the right-hand frame move with it.
  EXPECT_EQ(toolkit.GetBounds(Control::盘符框), FormBounds(Control::盘符框));
  EXPECT_EQ(toolkit.RedrawLockDepth(), 0);
}

// A change of one dimension leaves the other's places and sizes as the form has them.
TEST(WindowLayout, WidthAndHeightFollowSeparately) {
  for (const bool wider : {true, false}) {
    SCOPED_TRACE(wider ? "wider" : "higher");
    ListWindow window;
    ResizeTo(window, wider ? 1000 : 836, wider ? 487 : 700);
    for (const ControlForm& form : MainWindowForm().controls) {
      const Bounds now = window.toolkit.GetBounds(form.name);
      if (wider) {
        EXPECT_EQ(now.top, form.bounds.top);
        EXPECT_EQ(now.height, form.bounds.height);
      } else {
        EXPECT_EQ(now.left, form.bounds.left);
        EXPECT_EQ(now.width, form.bounds.width);
      }
    }
    EXPECT_EQ(window.toolkit.ListGetColumnWidth(Control::列表框, kPathColumn), wider ? 628 : 464);
  }
}

TEST(WindowLayout, ATooSmallWindowSnapsToTheMinimumAndBackToTheForm) {
  struct Case {
    int width;
    int height;
  };
  for (const Case size : {Case{500, 200}, Case{599, 294}, Case{600, 295}, Case{500, 487}}) {
    SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
    ListWindow window;
    ResizeTo(window, size.width, size.height);
    const Bounds snapped = window.toolkit.GetWindowBounds(Window::MainWindow);
    EXPECT_EQ(snapped.width, 600);
    EXPECT_EQ(snapped.height, std::max(size.height, 295));
    // Where the controls sit at that size: 236 narrower, and as much lower as the window is.
    const int dh = snapped.height - 487;
    EXPECT_EQ(window.toolkit.GetBounds(Control::列表框), (Bounds{12, 11, 560, 330 + dh}));
    EXPECT_EQ(window.toolkit.ListGetColumnWidth(Control::列表框, kPathColumn), 228);
    EXPECT_EQ(window.toolkit.GetBounds(Control::外形框1), (Bounds{0, 345 + dh, 584, 105}));
    EXPECT_EQ(window.toolkit.GetBounds(Control::状态框), (Bounds{507, 78, 76, 24}));
    EXPECT_EQ(window.toolkit.RedrawLockDepth(), 0);

    ResizeTo(window, 836, 487);
    for (const ControlForm& form : MainWindowForm().controls) {
      EXPECT_EQ(window.toolkit.GetBounds(form.name), form.bounds) << static_cast<int>(form.name);
    }
    EXPECT_EQ(window.toolkit.ListGetColumnWidth(Control::列表框, kPathColumn), 464);
  }
}

TEST(WindowLayout, TheWheelStepsTheOpacityByTenths) {
  ListWindow window;
  struct Step {
    int notches;
    int opacity;
  };
  const Step steps[] = {
      {+1, 255},  // already opaque
      {-1, 229}, {-1, 204}, {-1, 178}, {-1, 153}, {-1, 127}, {-1, 102}, {-1, 76}, {-1, 50}, {-1, 25},
      {-3, 25},  // no further than level -9
      {+1, 50},  {+8, 255}, {-3, 178}, {-20, 25}, {+20, 255},
  };
  for (const Step& step : steps) {
    window.toolkit.Wheel(step.notches);
    window.toolkit.RunPending();
    EXPECT_EQ(window.toolkit.Transparency(), step.opacity) << "after " << step.notches;
  }
}

TEST(WindowLayout, TheUnitBoxSwapsTheSizeColumns) {
  ListWindow window;
  window.toolkit.Click(Control::表单位框);
  window.toolkit.RunPending();
  EXPECT_EQ(window.Widths(), (std::vector<int>{50, 60, 464, 0, 100, 0, 100}));

  // A width set by hand gives way to the next toggle.
  window.toolkit.ListSetColumnWidth(Control::列表框, 4, 170);
  window.toolkit.Click(Control::表单位框);
  window.toolkit.RunPending();
  EXPECT_EQ(window.Widths(), (std::vector<int>{50, 60, 464, 100, 0, 100, 0}));
  EXPECT_EQ(window.toolkit.RedrawLockDepth(), 0);
}

}  // namespace
}  // namespace korvane
