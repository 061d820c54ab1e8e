// The main window's look: controls that follow its size, transparency by the wheel, size columns in units.
#include "app/window_layout.h"

#include <algorithm>
#include <array>

#include "app/program_state.h"

namespace korvane {
namespace {

constexpr int kPathColumn = 2;
constexpr int kSizeColumnWidth = 100;
constexpr int kMostTransparent = -9;

// The opacity of each transparency level 0 to -9, (level / 10 + 1) × 255 in double truncated. Worked out
// while compiling, so that every build rounds each step to double: in 80-bit x87 arithmetic, which the
// i686 build may use at run time, the same expression gives 101 instead of 102 at level -6.
constexpr std::array<int, 1 - kMostTransparent> kOpacity = [] {
  std::array<int, 1 - kMostTransparent> opacity{};
  opacity[0] = 255;
  for (int level = -1; level >= kMostTransparent; --level) {
    opacity[-level] = static_cast<int>((level / 10.0 + 1) * 255);
  }
  return opacity;
}();

// Adds delta to each of the control's left, top, width and height.
void Adjust(WindowToolkit& toolkit, Control control, const Bounds& delta) {
  Bounds bounds = toolkit.GetBounds(control);
  bounds.left += delta.left;
  bounds.top += delta.top;
  bounds.width += delta.width;
  bounds.height += delta.height;
  toolkit.SetBounds(control, bounds);
}

void FollowWidth(WindowToolkit& toolkit, int dw) {
  using enum Control;
  Adjust(toolkit, 列表框, {.width = dw});
  toolkit.ListSetColumnWidth(列表框, kPathColumn, toolkit.ListGetColumnWidth(列表框, kPathColumn) + dw);
  Adjust(toolkit, 外形框1, {.width = dw});
  Adjust(toolkit, 外形框2, {.left = dw});
  Adjust(toolkit, 外部参照, {.width = dw});
  Adjust(toolkit, 内部参照, {.width = dw});
  Adjust(toolkit, 状态框, {.left = dw});
  Adjust(toolkit, 编辑框3, {.left = dw});
  Adjust(toolkit, 过程框, {.width = dw});
}

void FollowHeight(WindowToolkit& toolkit, int dh) {
  Adjust(toolkit, Control::列表框, {.height = dh});
  Adjust(toolkit, Control::外形框1, {.top = dh});
}

}  // namespace

void RememberWindowSize(ProgramContext& context, LayoutState& layout) {
  const Bounds window = context.toolkit.GetWindowBounds(Window::MainWindow);
  layout.previousWidth = window.width;
  layout.previousHeight = window.height;
}

void OnWindowResized(ProgramContext& context, LayoutState& layout) {
  WindowToolkit& toolkit = context.toolkit;
  toolkit.LockRedraw();
  Bounds window = toolkit.GetWindowBounds(Window::MainWindow);
  if (window.width < kMinimumWindowWidth) {
    // The controls follow when the new width raises this event again.
    window.width = kMinimumWindowWidth;
    toolkit.SetWindowBounds(Window::MainWindow, window);
  } else if (window.width != layout.previousWidth) {
    FollowWidth(toolkit, window.width - layout.previousWidth);
    layout.previousWidth = window.width;
  }
  if (window.height < kMinimumWindowHeight) {
    window.height = kMinimumWindowHeight;
    toolkit.SetWindowBounds(Window::MainWindow, window);
  } else if (window.height != layout.previousHeight) {
    FollowHeight(toolkit, window.height - layout.previousHeight);
    layout.previousHeight = window.height;
  }
  toolkit.UnlockRedraw();
}

void OnMouseWheel(ProgramContext& context, LayoutState& layout, int notches) {
  layout.transparencyLevel = std::clamp(layout.transparencyLevel + notches, kMostTransparent, 0);
  context.toolkit.SetTransparency(Window::MainWindow, kOpacity[-layout.transparencyLevel]);
}

void ApplyUnitDisplay(ProgramContext& context) {
  using enum Control;
  WindowToolkit& toolkit = context.toolkit;
  toolkit.LockRedraw();
  const bool units = toolkit.GetChecked(表单位框);
  const int bytesWidth = units ? 0 : kSizeColumnWidth;
  const int unitsWidth = units ? kSizeColumnWidth : 0;
  for (const int column : {3, 5}) toolkit.ListSetColumnWidth(列表框, column, bytesWidth);
  for (const int column : {4, 6}) toolkit.ListSetColumnWidth(列表框, column, unitsWidth);
  toolkit.UnlockRedraw();
}

}  // namespace korvane
