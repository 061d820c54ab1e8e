// Sorting the result list by a clicked column header.
#include "compare/column_sorter.h"

#include <cstdint>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "app/program_state.h"
#include "snapshot/gbk_text.h"

namespace korvane {
namespace {

constexpr int kColumns = 7;

// The column groups, in the order of SortState's flags.
enum Group { kId, kLevel, kPath, kSize, kIncrement };

constexpr std::array<Group, kColumns> kGroupOfColumn{kId, kLevel, kPath, kSize, kSize, kIncrement, kIncrement};
constexpr std::array<std::string_view, 5> kGroupTitle{"ID", "层级", "路径", "目录容量", "比对增量"};
// The pairs take their key from their byte-count column, whichever of the two was clicked.
constexpr std::array<int, 5> kKeyColumn{0, 1, 2, 3, 5};

// The seven cells of one row while a sort runs.
using SortRecord = std::array<std::string, kColumns>;

// Shell sort with the gaps 1, 4, 13, 40, … over a list of record indices, so that records move by index.
// outOfOrder(j, t) says that record j must not stay before record t. The test is strict, so within one
// insertion a record never passes one with an equal key; the order of equal keys is exactly the one
// these steps give. Positions count from 0 here: position p is the steps' record p + 1.
template <class OutOfOrder>
void ShellSort(std::vector<int>& order, OutOfOrder outOfOrder) {
  const int n = static_cast<int>(order.size());
  int h = 0;
  while (h <= n) h = 3 * h + 1;
  while (h > 0) {
    for (int i = h - 1; i < n; ++i) {
      const int t = order[i];
      int j = i - h;
      while (j >= 0 && outOfOrder(order[j], t)) {
        order[j + h] = order[j];
        j -= h;
      }
      order[j + h] = t;
    }
    h = (h - 1) / 3;
  }
}

// Ascending: out of order when key(j) > key(t); descending: when key(j) < key(t).
template <class Less>
void SortBy(std::vector<int>& order, bool ascending, Less less) {
  if (ascending) {
    ShellSort(order, [&](int j, int t) { return less(t, j); });
  } else {
    ShellSort(order, [&](int j, int t) { return less(j, t); });
  }
}

}  // namespace

void ColumnSorter(ProgramContext& context, SortState& sort, int column) {
  using enum Control;
  WindowToolkit& toolkit = context.toolkit;
  if (column < 0 || column >= kColumns) return;
  if (toolkit.ListGetCell(列表框, 0, 0).empty() || toolkit.GetText(状态框) == kStatusWorking) return;
  toolkit.SetDisabled(列表框, true);

  const Group group = kGroupOfColumn[column];
  const int rows = toolkit.ListRowCount(列表框);
  std::vector<SortRecord> records(static_cast<size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    for (int cell = 0; cell < kColumns; ++cell) records[row][cell] = toolkit.ListGetCell(列表框, row, cell);
  }

  bool& ascending = sort.ascending[group];
  for (int cell = 0; cell < kColumns; ++cell) {
    const Group titled = kGroupOfColumn[cell];
    std::string title(kGroupTitle[titled]);
    if (titled == group) title += ascending ? " ▲" : " ▼";
    toolkit.ListSetColumnTitle(列表框, cell, title);
  }

  std::vector<int> order(records.size());
  std::iota(order.begin(), order.end(), 0);
  // The keys sit in an array of their own: the comparisons then touch it, not the records' cells.
  const int keyColumn = kKeyColumn[group];
  if (group == kPath) {
    // Text views compare their bytes as unsigned values, so GBK characters sort after every ASCII one.
    std::vector<std::string_view> keys(records.size());
    for (size_t i = 0; i < records.size(); ++i) keys[i] = records[i][keyColumn];
    SortBy(order, ascending, [&](int a, int b) { return keys[a] < keys[b]; });
  } else {
    std::vector<int64_t> keys(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      const int64_t number = TextToInteger(records[i][keyColumn]);  // an empty cell gives 0
      // ID and 层级 keys are 32-bit: the low 32 bits of the number, as a signed integer.
      keys[i] = group == kId || group == kLevel ? static_cast<int32_t>(number) : number;
    }
    SortBy(order, ascending, [&](int a, int b) { return keys[a] < keys[b]; });
  }
  ascending = !ascending;

  toolkit.LockRedraw();
  for (int row = 0; row < rows; ++row) {
    const SortRecord& record = records[order[row]];
    for (int cell = 0; cell < kColumns; ++cell) toolkit.ListSetCell(列表框, row, cell, record[cell]);
  }
  toolkit.SetDisabled(列表框, false);
  toolkit.UnlockRedraw();
  toolkit.ListEnsureVisible(列表框, 0);
}

}  // namespace korvane
