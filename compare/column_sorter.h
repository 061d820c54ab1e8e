// Sorting the result list by a clicked column header: keys per column group, marked titles, Shell sort.
#pragma once

#include <array>

namespace korvane {

// Declared here, so that the program state can hold the state below.
struct ProgramContext;

// The direction flags of the five column groups ID, 层级, 路径, 目录容量 (columns 3 and 4) and 比对增量
// (columns 5 and 6): true when the group's next click sorts ascending. Nothing ever resets them.
struct SortState {
  std::array<bool, 5> ascending{};
};

// A click on the header of column 0 to 6 of 列表框: sorts the rows by the column's group, marks the
// group's title with "▲" or "▼" and flips its flag. Ignored on an empty list and while a worker runs.
void ColumnSorter(ProgramContext& context, SortState& sort, int column);

}  // namespace korvane
