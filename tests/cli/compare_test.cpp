// korvane compare, stats and snapshots on a real tree: a snapshot, growth, and the rows that show it.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "tests/cli/cli_fixture.h"

namespace korvane {
namespace {

using CompareCommand = TreeTest;

struct Row {
  int id;
  std::string rest;  // depth, size and increment
};

// The rows below the header by path, without the root's (its growth is the whole volume's). Directories
// list in the order the file system gives them, so only the IDs of a directory and its parent compare.
std::map<std::string, Row> RowsBelowRoot(const std::string& out) {
  std::map<std::string, Row> rows;
  std::istringstream lines(out);
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    std::istringstream cells(line);
    std::string id, depth, path, size, increment;
    std::getline(cells, id, '\t');
    std::getline(cells, depth, '\t');
    std::getline(cells, path, '\t');
    std::getline(cells, size, '\t');
    std::getline(cells, increment, '\t');
    if (path != "T:\\") rows[path] = {std::stoi(id), depth + " " + size + " " + increment};
  }
  return rows;
}

TEST_F(CompareCommand, ListsWhatGrewSinceASnapshot) {
  MakeFile(tree_ / "stable" / "f", 1'000'000);
  MakeFile(tree_ / U("文档") / "old", 2'000'000);
  ASSERT_EQ(SaveSnapshot().status, 0);
  MakeFile(tree_ / U("文档") / "new", 3'000'000);
  MakeFile(tree_ / "fresh" / "inner" / "f", 500'000);

  const Outcome listed = RunOnTree("snapshots");
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 1);

  const Outcome compared = RunOnTree("compare --private latest --min 0");
  ASSERT_EQ(compared.status, 0) << compared.err;
  EXPECT_TRUE(compared.out.starts_with(U("ID\t层级\t路径\t目录容量\t比对增量\n")));
  // The new tree's directory and its parent, each with its whole size, the inner one first; 文档 with
  // what it gained.
  const auto rows = RowsBelowRoot(compared.out);
  ASSERT_EQ(rows.size(), 3u) << compared.out;
  EXPECT_EQ(rows.at("T:\\fresh\\inner\\").rest, "2 500000 500000");
  EXPECT_EQ(rows.at("T:\\fresh\\").rest, "1 500000 500000");
  EXPECT_LT(rows.at("T:\\fresh\\inner\\").id, rows.at("T:\\fresh\\").id);
  EXPECT_EQ(rows.at(U("T:\\文档\\")).rest, "1 5000000 3000000");
  EXPECT_NE(compared.err.find(U("共发现具有增量的目录")), std::string::npos) << compared.err;

  // A limit of 1 MB keeps only 文档; sorted by the path, descending, and with units.
  const Outcome limited = RunOnTree("compare --private latest --min 1 --unit MB --units --sort 2 --csv " + PathOf("rows.csv"));
  ASSERT_EQ(limited.status, 0) << limited.err;
  const auto limitedRows = RowsBelowRoot(limited.out);
  ASSERT_EQ(limitedRows.size(), 1u) << limited.out;
  EXPECT_EQ(limitedRows.at(U("T:\\文档\\")).rest, "1 4.77MB 2.86MB");
  const std::string csv = Read("rows.csv");
  EXPECT_TRUE(csv.starts_with("\"ID\",\"")) << csv;
  EXPECT_NE(csv.find("\"T:\\\xCE\xC4\xB5\xB5\\\",\"4.77MB\",\"2.86MB\""), std::string::npos) << csv;  // GBK
  EXPECT_FALSE(csv.ends_with("\r\n"));
}

TEST_F(CompareCommand, CtrlCStopsTheRunAsTheStopClickDoes) {
  for (int i = 0; i < 5000; ++i) MakeFile(tree_ / ("d" + std::to_string(i)) / "f", 1);
  const Outcome interrupted = RunInterrupted({"compare", "--builtin", "0"});
  EXPECT_EQ(interrupted.status, 130);
  EXPECT_NE(interrupted.err.find(U(" 本次操作已终止")), std::string::npos) << interrupted.err.substr(interrupted.err.size() > 200 ? interrupted.err.size() - 200 : 0);
  EXPECT_TRUE(interrupted.out.starts_with(U("ID\t层级\t路径\t目录容量\t比对增量\n")));
}

TEST_F(CompareCommand, SaysWhyAReferenceCannotBeLoaded) {
  MakeFile(tree_ / "a" / "f", 10);
  MakeFile(home_ / "20990101000000_1_1B.t", 100);  // a name the list takes, with no snapshot in it
  const Outcome compared = RunOnTree("compare --private latest");
  EXPECT_EQ(compared.status, 1);
  EXPECT_NE(compared.err.find("could not be loaded"), std::string::npos) << compared.err;
  EXPECT_NE(compared.err.find("20990101000000_1_1b"), std::string::npos) << compared.err;

  const Outcome unknown = RunOnTree("compare --private 20200101000000_1_1b");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("no private snapshot"), std::string::npos);
}

TEST_F(CompareCommand, StatisticsListTheTreeAndWriteTheFile) {
  MakeFile(tree_ / "a" / "b" / "f", 3000);
  MakeFile(tree_ / ".cache" / "f", 99'000);
  const Outcome stats = RunOnTree("stats");
  ASSERT_EQ(stats.status, 0) << stats.err;
  EXPECT_NE(stats.out.find("\n2\t1\tT:\\a\t3000\t\n"), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("\n3\t2\tT:\\a\\b\t3000\t\n"), std::string::npos) << stats.out;
  EXPECT_EQ(stats.out.find(".cache"), std::string::npos);
  EXPECT_NE(stats.err.find(U(" 本次操作共枚举目录：2个")), std::string::npos) << stats.err;
  std::vector<fs::path> csv;
  for (const auto& entry : fs::directory_iterator(home_)) csv.push_back(entry.path());
  ASSERT_EQ(csv.size(), 1u);
  EXPECT_TRUE(csv[0].filename().string().starts_with(U("T盘目录统计列表_"))) << csv[0];
  EXPECT_TRUE(csv[0].filename().string().ends_with("_3.csv"));
}

}  // namespace
}  // namespace korvane
