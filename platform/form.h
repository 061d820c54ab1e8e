// A window's form as plain data: its controls with kind, place, initial text and items, from which every
// toolkit builds its window. Texts are GBK.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/window_toolkit.h"

namespace korvane {

// A multi-line field is a read-only text of several lines with a vertical scroll bar.
enum class ControlKind { reportList, frame, editField, multiLineField, label, comboBox, checkBox, button };

struct ListColumn {
  std::string title;
  int width = 0;
  friend bool operator==(const ListColumn&, const ListColumn&) = default;
};

struct ControlForm {
  Control name = Control::列表框;
  ControlKind kind = ControlKind::label;
  // Relative to the frame that holds the control, else to the window's client area.
  Bounds bounds;
  // An edit field's content, a label's, button's or check box's caption.
  std::string text;
  // A combo box's initial items.
  std::vector<std::string> items;
  // A report list's columns.
  std::vector<ListColumn> columns;
  std::optional<Control> frame;
  // An edit field that shows the program's texts: the user can select and copy them, not type.
  bool readOnly = false;
};

struct WindowForm {
  std::string title;
  Bounds bounds;
  std::vector<ControlForm> controls;
};

}  // namespace korvane
