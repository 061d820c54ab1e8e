// Sorting the result list by its column headers: keys, directions per group, titles, the order of equal
// keys, and the clicks that are ignored.
#include "compare/column_sorter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "snapshot/value_format.h"
#include "tests/list/list_window.h"

namespace korvane {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

Texts ComparisonRow(int id, int level, const std::string& path, int64_t size, int64_t increment) {
  return {std::to_string(id),        std::to_string(level), path, std::to_string(size), SizeText(size),
          std::to_string(increment), SizeText(increment)};
}

Texts StatisticsRow(int id, int level, const std::string& path, int64_t size) {
  return {std::to_string(id), std::to_string(level), path, std::to_string(size), SizeText(size), "", ""};
}

Texts Column(const Rows& rows, int column) {
  Texts cells;
  for (const auto& row : rows) cells.push_back(row.at(column));
  return cells;
}

struct SortedList : ::testing::Test {
  void Fill(const Rows& rows) {
    for (const auto& row : rows) window.AddRow(row);
  }
  Texts Cells(int column) const { return Column(window.toolkit.ListRows(), column); }

  ListWindow window;
};

TEST_F(SortedList, FirstClickSortsDescendingTheNextAscendingAndRowsMoveWhole) {
  Rows rows;
  for (int id = 1; id <= 12; ++id) {
    rows.push_back(ComparisonRow(id, id % 3, "C:\\d" + std::to_string(id) + "\\", id * 1000, id));
  }
  Fill(rows);

  window.Sort(0);
  // By number: 12 before 9, which as text would come first.
  EXPECT_EQ(window.toolkit.ListRows(), Rows(rows.rbegin(), rows.rend()));
  EXPECT_EQ(window.Titles(), (Texts{"ID ▼", "层级", "路径", "目录容量", "目录容量", "比对增量", "比对增量"}));
  EXPECT_FALSE(window.toolkit.IsDisabled(Control::列表框));
  EXPECT_EQ(window.toolkit.RedrawLockDepth(), 0);

  window.Sort(0);
  EXPECT_EQ(window.toolkit.ListRows(), rows);
  EXPECT_EQ(window.Titles()[0], "ID ▲");
}

TEST_F(SortedList, EachGroupKeepsItsOwnDirection) {
  Fill({ComparisonRow(1, 1, "C:\\B\\", 10, 1), ComparisonRow(2, 1, "C:\\C\\", 20, 2),
        ComparisonRow(3, 1, "C:\\A\\", 30, 3)});

  window.Sort(0);
  EXPECT_EQ(Cells(0), (Texts{"3", "2", "1"}));
  window.Sort(2);
  EXPECT_EQ(Cells(2), (Texts{"C:\\C\\", "C:\\B\\", "C:\\A\\"}));
  EXPECT_EQ(window.Titles(), (Texts{"ID", "层级", "路径 ▼", "目录容量", "目录容量", "比对增量", "比对增量"}));
  window.Sort(0);
  EXPECT_EQ(Cells(0), (Texts{"1", "2", "3"}));
  EXPECT_EQ(window.Titles(), (Texts{"ID ▲", "层级", "路径", "目录容量", "目录容量", "比对增量", "比对增量"}));
}

// Each column's key on a first (descending) click; the other cells are all alike.
TEST(SortKeys, NumbersOfTheirWidthAndPathsAsUnsignedBytes) {
  struct Case {
    int column;
    Texts keys;
    Texts descending;
  };
  const Case cases[] = {
      {0, {"9", "10", "2"}, {"10", "9", "2"}},
      // 2^32 + 2 truncated to 32 bits is 2.
      {0, {"4294967298", "3", "1"}, {"3", "4294967298", "1"}},
      {1, {"2", "11", "0"}, {"11", "2", "0"}},
      {3, {"9", "4294967296", "10", "2"}, {"4294967296", "10", "9", "2"}},
      {5, {"", "5", "12"}, {"12", "5", ""}},
      // Bytes as unsigned values: a prefix first, upper case before "\" before lower case, GBK last.
      {2,
       {"C:\\Aa\\", "C:\\中文\\", "C:\\A\\x\\", "C:\\", "C:\\a\\", "C:\\AB\\", "C:\\A\\"},
       {"C:\\中文\\", "C:\\a\\", "C:\\Aa\\", "C:\\A\\x\\", "C:\\A\\", "C:\\AB\\", "C:\\"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.column);
    ListWindow list;
    for (size_t row = 0; row < test.keys.size(); ++row) {
      Texts cells{std::to_string(row + 1), "1", "C:\\", "1", "1B", "1", "1B"};
      cells[test.column] = test.keys[row];
      list.AddRow(cells);
    }
    list.Sort(test.column);
    EXPECT_EQ(Column(list.toolkit.ListRows(), test.column), test.descending);
  }
}

TEST_F(SortedList, EitherColumnOfAPairSortsByItsByteCountsAndMarksBoth) {
  // Sizes and increments whose unit texts sort otherwise: "100B" < "10B" < "2B" < "9B".
  Fill({ComparisonRow(1, 1, "C:\\a\\", 9, 100), ComparisonRow(2, 1, "C:\\b\\", 100, 2),
        ComparisonRow(3, 1, "C:\\c\\", 2, 9), ComparisonRow(4, 1, "C:\\d\\", 10, 10)});

  window.Sort(4);
  EXPECT_EQ(Cells(3), (Texts{"100", "10", "9", "2"}));
  EXPECT_EQ(window.Titles(), (Texts{"ID", "层级", "路径", "目录容量 ▼", "目录容量 ▼", "比对增量", "比对增量"}));
  window.Sort(3);
  EXPECT_EQ(Cells(3), (Texts{"2", "9", "10", "100"}));
  EXPECT_EQ(window.Titles()[3], "目录容量 ▲");
  EXPECT_EQ(window.Titles()[4], "目录容量 ▲");

  window.Sort(6);
  EXPECT_EQ(Cells(5), (Texts{"100", "10", "9", "2"}));
  EXPECT_EQ(window.Titles(), (Texts{"ID", "层级", "路径", "目录容量", "目录容量", "比对增量 ▼", "比对增量 ▼"}));
  window.Sort(5);
  EXPECT_EQ(Cells(5), (Texts{"2", "9", "10", "100"}));
  EXPECT_EQ(window.Titles()[6], "比对增量 ▲");
}

TEST_F(SortedList, AStatisticsListKeepsItsOrderUnderTheIncrement) {
  const Rows rows{StatisticsRow(1, 0, "C:", 500), StatisticsRow(2, 1, "C:\\b", 300), StatisticsRow(3, 1, "C:\\a", 200),
                  StatisticsRow(4, 2, "C:\\a\\x", 100), StatisticsRow(5, 1, "C:\\c", 100)};
  Fill(rows);
  window.Sort(5);
  EXPECT_EQ(window.toolkit.ListRows(), rows);
  EXPECT_EQ(window.Titles()[5], "比对增量 ▼");
  window.Sort(6);
  EXPECT_EQ(window.toolkit.ListRows(), rows);
  EXPECT_EQ(window.Titles()[6], "比对增量 ▲");
}

// The sort is not stable: with the gap 4, record 1 jumps over the equal records 3 and 4. A stable sort
// would give 5, 2, 1, 3, 4.
TEST_F(SortedList, EqualKeysEndInTheOrderOfTheGappedInsertions) {
  Fill({ComparisonRow(1, 1, "C:\\a\\", 1, 1), ComparisonRow(2, 2, "C:\\b\\", 1, 1),
        ComparisonRow(3, 1, "C:\\c\\", 1, 1), ComparisonRow(4, 1, "C:\\d\\", 1, 1),
        ComparisonRow(5, 3, "C:\\e\\", 1, 1)});
  window.Sort(1);
  EXPECT_EQ(Cells(0), (Texts{"5", "2", "3", "4", "1"}));
  window.Sort(1);
  EXPECT_EQ(Cells(0), (Texts{"1", "3", "4", "2", "5"}));

  // Every size equal: nothing moves in either direction.
  window.Sort(3);
  EXPECT_EQ(Cells(0), (Texts{"1", "3", "4", "2", "5"}));
  window.Sort(3);
  EXPECT_EQ(Cells(0), (Texts{"1", "3", "4", "2", "5"}));
}

TEST_F(SortedList, ASingleRowChangesOnlyTitlesAndFlags) {
  const Rows rows{ComparisonRow(1, 0, "C:\\", 100, 50)};
  Fill(rows);
  window.Sort(1);
  EXPECT_EQ(window.toolkit.ListRows(), rows);
  EXPECT_EQ(window.Titles()[1], "层级 ▼");
  window.Sort(1);
  EXPECT_EQ(window.toolkit.ListRows(), rows);
  EXPECT_EQ(window.Titles()[1], "层级 ▲");
}

// A click on an empty list, on one whose first ID cell is empty, or while a worker runs changes neither
// rows, titles nor flags: once the list can be sorted, the first click still sorts descending.
TEST(SortGuard, IgnoredOnAnEmptyListAndWhileWorking) {
  struct Case {
    const char* name;
    Rows rows;
    std::string_view status;
  };
  const Rows twoRows{ComparisonRow(1, 0, "C:\\", 9, 9), ComparisonRow(2, 1, "C:\\a\\", 5, 5)};
  const Case cases[] = {
      {"empty list", {}, kStatusIdle},
      {"empty first ID", {{"", "0", "C:\\", "9", "9B", "9", "9B"}, ComparisonRow(2, 1, "C:\\a\\", 5, 5)}, kStatusIdle},
      {"working", twoRows, kStatusWorking},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ListWindow list;
    for (const auto& row : test.rows) list.AddRow(row);
    list.toolkit.SetText(Control::状态框, test.status);
    const Texts titles = list.Titles();
    for (int column = 0; column < 7; ++column) list.Sort(column);
    EXPECT_EQ(list.toolkit.ListRows(), test.rows);
    EXPECT_EQ(list.Titles(), titles);
    EXPECT_FALSE(list.toolkit.IsDisabled(Control::列表框));

    list.toolkit.ListClear(Control::列表框);
    for (const auto& row : twoRows) list.AddRow(row);
    list.toolkit.SetText(Control::状态框, kStatusIdle);
    list.Sort(3);
    EXPECT_EQ(list.Titles()[3], "目录容量 ▼");
    EXPECT_EQ(Column(list.toolkit.ListRows(), 0), (Texts{"1", "2"}));
  }
}

TEST(SortTitles, MarksAreTheGbkTriangles) {
  ListWindow window;
  window.AddRow(ComparisonRow(1, 0, "C:\\", 1, 1));
  window.Sort(0);
  EXPECT_EQ(window.Titles()[0], "ID \xA8\x8B");
  window.Sort(0);
  EXPECT_EQ(window.Titles()[0], "ID \xA1\xF8");
}

}  // namespace
}  // namespace korvane
