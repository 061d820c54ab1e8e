// The main window's look: controls that follow its size, transparency by the wheel, size columns in units.
#pragma once

namespace korvane {

// Declared here, so that the program state can hold the state below.
struct ProgramContext;

// What the layout remembers while the window lives; nothing of it is saved in the settings.
struct LayoutState {
  // The window's outer size when the layout last followed it; RememberWindowSize sets it at creation.
  int previousWidth = 0;
  int previousHeight = 0;
  // From -9 to 0 (opaque); each step takes a tenth of the opacity away.
  int transparencyLevel = 0;
};

// The window's smallest size: narrower or lower windows snap back to it.
inline constexpr int kMinimumWindowWidth = 600;
inline constexpr int kMinimumWindowHeight = 295;

// On creation: the window's actual size becomes the size that later resizes are measured from.
void RememberWindowSize(ProgramContext& context, LayoutState& layout);

// The window's size changed: below the minimum it is set back to it (which raises this event again),
// otherwise the list, the combo boxes and 过程框 stretch by the change while the right-hand controls and
// the bottom frame move with the window's right and bottom edges.
void OnWindowResized(ProgramContext& context, LayoutState& layout);

// Wheel notches over the window, positive away from the user: towards the user makes it more transparent.
void OnMouseWheel(ProgramContext& context, LayoutState& layout, int notches);

// Shows the size columns of 列表框 as byte counts (columns 3 and 5) or, with 表单位框 checked, as texts
// with units (columns 4 and 6). Run when 表单位框 is clicked and after the settings restore it.
void ApplyUnitDisplay(ProgramContext& context);

}  // namespace korvane
