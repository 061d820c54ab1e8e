// The main window without its controller: the headless form, wired to the layout handlers as the
// controller wires them, and the sort state, for the result list's and the layout's tests.
#pragma once

#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/program_state.h"
#include "app/window_layout.h"
#include "compare/column_sorter.h"
#include "platform/headless/headless_toolkit.h"
#include "platform/memory/memory_file_system.h"

namespace korvane {

struct ListWindow {
  ListWindow() {
    toolkit.SetEventHandler([this](const Event& event) {
      switch (event.kind) {
        case EventKind::resized: return OnWindowResized(context, layout);
        case EventKind::wheel: return OnMouseWheel(context, layout, event.argument);
        case EventKind::clicked:
          if (event.control == Control::表单位框) ApplyUnitDisplay(context);
          return;
        default: return;
      }
    });
    RememberWindowSize(context, layout);
  }

  void AddRow(const std::vector<std::string>& cells) {
    const int row = toolkit.ListAppendRow(Control::列表框, cells.at(0));
    for (int column = 1; column < static_cast<int>(cells.size()); ++column) {
      toolkit.ListSetCell(Control::列表框, row, column, cells[column]);
    }
  }

  void Sort(int column) { ColumnSorter(context, sort, column); }

  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const ListColumn& column : toolkit.ListColumns()) titles.push_back(column.title);
    return titles;
  }

  std::vector<int> Widths() const {
    std::vector<int> widths;
    for (const ListColumn& column : toolkit.ListColumns()) widths.push_back(column.width);
    return widths;
  }

  MemoryFileSystem files;
  HeadlessToolkit toolkit{MainWindowForm()};
  ProgramState state;
  ProgramContext context{toolkit, files, state};
  SortState sort;
  LayoutState layout;
};

}  // namespace korvane
