// Comparing through the window: the rows a comparison lists, its messages, stopping it, the statistics
// run and its file, and the list's clicks.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "compare/comparison_pass.h"
#include "snapshot/chunk_cipher.h"
#include "snapshot/gz_container.h"
#include "tests/app/plain_search.h"
#include "tests/app/program_fixture.h"

namespace korvane {
namespace {

constexpr int64_t kMB = 1 << 20;

// Twelve entries like the program's: the reference texts given first, the statistics entry last. The
// containers live beside the catalog, as the program's own live in its image.
struct TestCatalog {
  explicit TestCatalog(const std::vector<std::string>& texts) {
    containers.reserve(11);
    std::vector<CatalogEntry> entries;
    for (int i = 0; i < 11; ++i) {
      containers.push_back(i < static_cast<int>(texts.size()) ? GzContainer::pack(texts[i]) : Bytes());
      entries.push_back({"entry " + std::to_string(i), containers.back()});
    }
    entries.push_back({"statistics", {}, true});
    catalog = std::make_unique<BuiltInCatalog>(std::move(entries));
  }
  std::vector<Bytes> containers;
  std::unique_ptr<BuiltInCatalog> catalog;
};

// Holds a worker until the window has asked it to stop.
void WaitForStopRequest(Program& program) {
  for (int waited = 0; !program.state.stopRequested && waited < 5000; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class Compare : public ::testing::Test {
 protected:
  // A program whose built-in entry 0 is the reference text, on drive C with 10 GB used.
  Program& Start(const std::string& reference) {
    program_.reset();
    catalog_ = std::make_unique<TestCatalog>(std::vector<std::string>{reference});
    program_ = std::make_unique<Program>(std::make_shared<MemoryMachine>(), *catalog_->catalog);
    program_->files.AddDrive('C', {int64_t{20} << 30, int64_t{10} << 30});
    return *program_;
  }
  void Open() {
    program_->toolkit.Open();
    program_->toolkit.SetSelectedIndex(Control::单位框, 2);  // MB
  }
  // Types the limit, clicks 开始比对 and waits for the end of the run.
  void RunComparison(const std::string& limit) {
    Program& program = *program_;
    program.toolkit.TypeText(Control::限制框, limit);
    program.toolkit.Click(Control::比对按钮);
    program.toolkit.RunPending();
    program.RunUntil([&] { return program.Idle(); });
    if (program.state.compareWorker) program.toolkit.JoinThread(program.state.compareWorker);
  }
  // Each row as "path increment".
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (const auto& cells : program_->toolkit.ListRows()) rows.push_back(cells[2] + " " + cells[5]);
    return rows;
  }
  std::string Message() { return program_->toolkit.GetText(Control::过程框); }

  std::unique_ptr<TestCatalog> catalog_;
  std::unique_ptr<Program> program_;
};

TEST_F(Compare, ListsASubdirectoryWhoseGrowthExplainsItsParent) {
  Program& program = Start("C:\\|10737418240\r\nC:\\A\\|10485760\r\nC:\\A\\B\\|2097152\r\n");
  program.files.AddFile("C:\\A\\B\\f", 7 * kMB);
  program.files.AddFile("C:\\A\\g", 8 * kMB);
  Open();
  RunComparison("1");
  // A grew by 5 MB, no more than the 7 MB of B below it: only B is listed.
  EXPECT_EQ(Rows(), (std::vector<std::string>{"C:\\A\\B\\ 5242880"}));

  program.files.AddFile("C:\\A\\h", 5 * kMB);  // A at 20 MB: its 10 MB growth is more than B's 7 MB
  RunComparison("1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"C:\\A\\B\\ 5242880", "C:\\A\\ 10485760"}));
  EXPECT_EQ(program.toolkit.ListRows()[1][0], "2");
  EXPECT_EQ(program.toolkit.ListRows()[1][1], "1");
  EXPECT_EQ(program.toolkit.ListRows()[1][4], "20MB");
  EXPECT_EQ(program.toolkit.ListRows()[1][6], "10MB");
}

TEST_F(Compare, ReadsAListedSubdirectorysSizeWhateverItsNameHolds) {
  // 亅 ends in the byte "|": the size of the row below A is the one after its line's separator.
  Program& program = Start("C:\\|10737418240\r\nC:\\A\\|10485760\r\nC:\\A\\亅\\|2097152\r\n");
  program.files.AddFile("C:\\A\\亅\\f", 7 * kMB);
  program.files.AddFile("C:\\A\\g", 8 * kMB);
  Open();
  RunComparison("1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"C:\\A\\亅\\ 5242880"}));
}

TEST_F(Compare, ListsEveryDirectoryOfANewTreeAndTheRootLast) {
  Program& program = Start("C:\\|1073741824\r\nC:\\Old\\|1048576\r\n");
  program.files.AddFile("C:\\Old\\f", kMB);
  program.files.AddFile("C:\\N\\x\\f", 5 * kMB);
  Open();
  RunComparison("1");
  // The root's growth is that of the volume's used space: 10 GB now against 1 GB then.
  EXPECT_EQ(Rows(), (std::vector<std::string>{"C:\\N\\x\\ 5242880", "C:\\N\\ 5242880", "C:\\ 9663676416"}));
  EXPECT_EQ(program.toolkit.ListRows()[2][1], "0");
  EXPECT_EQ(Message(), " 在3个目录中，共发现增量超过1MB的目录3个，双击列表可查看目录内容");
}

TEST_F(Compare, FindsNothingOfAnotherDrivesReference) {
  Program& program = Start("D:\\|10737418240\r\nD:\\A\\|10485760\r\n");
  program.files.AddFile("C:\\A\\f", 2 * kMB);
  program.files.AddDirectory("C:\\Empty\\");
  Open();
  RunComparison("");
  // Whole sizes as increments; a directory of 0 bytes has not grown.
  EXPECT_EQ(Rows(), (std::vector<std::string>{"C:\\A\\ 2097152", "C:\\ 10737418240"}));
}

TEST_F(Compare, WritesEveryKindOfProgressAndSummaryLine) {
  const std::string unchanged = "C:\\|10737418240\r\nC:\\A\\|1048576\r\n";
  Program& program = Start(unchanged);
  program.files.AddFile("C:\\A\\f", kMB);
  Open();
  const auto progress = [&] {
    std::vector<std::string> lines;
    for (const Shown& shown : program.TextsOf(Control::过程框)) {
      if (shown.text.starts_with(" 比对进度：")) lines.push_back(shown.text);
    }
    const std::lock_guard lock(program.shownMutex);
    program.shown.clear();
    return lines;
  };
  RunComparison("");
  EXPECT_EQ(progress(), (std::vector<std::string>{" 比对进度：1/1", " 比对进度：2/1"}));
  EXPECT_EQ(Message(), " 在1个目录中，未发现增量目录");
  RunComparison("100");
  EXPECT_EQ(progress(), (std::vector<std::string>{" 比对进度：1/1，未发现增量目录"}));
  EXPECT_EQ(Message(), " 在1个目录中，未发现增量超过100MB的目录");

  program.files.AddFile("C:\\A\\g", kMB);
  RunComparison("");
  EXPECT_EQ(progress(), (std::vector<std::string>{" 比对进度：1/1，发现具有增量的目录1个", " 比对进度：2/1，发现具有增量的目录1个"}));
  EXPECT_EQ(Message(), " 在1个目录中，共发现具有增量的目录1个，双击列表可查看目录内容");
  RunComparison("1");
  EXPECT_EQ(progress(), (std::vector<std::string>{" 比对进度：1/1，发现增量超过1MB的目录1个", " 比对进度：2/1，发现增量超过1MB的目录1个"}));
}

TEST_F(Compare, NormalisesTheLimitBeforeItStarts) {
  Program& program = Start("C:\\|1\r\n");
  Open();
  for (const char* limit : {"0", "-5", "abc", ""}) {
    RunComparison(limit);
    EXPECT_EQ(program.toolkit.GetText(Control::限制框), "") << limit;
  }
  RunComparison("１２");
  EXPECT_EQ(program.toolkit.GetText(Control::限制框), "１２");
  // The root, new against the reference's 1 byte, is the one row.
  EXPECT_EQ(Message(), " 在0个目录中，共发现增量超过１２MB的目录1个，双击列表可查看目录内容");
}

TEST_F(Compare, EndsWithoutAScanWhenThereIsNoReference) {
  Program& program = Start("");  // entry 0 does not unpack
  program.files.AddFile("C:\\A\\f", kMB);
  Open();
  program.toolkit.ListAppendRow(Control::列表框, "old");
  program.toolkit.SetText(Control::过程框, "before");
  RunComparison("");
  EXPECT_TRUE(program.toolkit.ListRows().empty());
  EXPECT_EQ(Message(), "before");
  EXPECT_EQ(program.state.scanTable.count(), 0);
  for (const Control control : kInputControls) EXPECT_FALSE(program.toolkit.IsDisabled(control));
  EXPECT_EQ(program.toolkit.GetCaption(Control::比对按钮), "开始比对");

  // Nothing chosen in either box: no scan either, rather than the reference of an earlier run.
  program.toolkit.SetSelectedIndex(Control::内部参照, -1);
  RunComparison("");
  EXPECT_EQ(Message(), "before");
}

TEST_F(Compare, StopsWhileTheListFillsAndKeepsTheRows) {
  std::string reference = "C:\\|1\r\n";
  Program& program = Start(reference);
  for (int i = 0; i < 300; ++i) program.files.AddFile("C:\\D" + std::to_string(i) + "\\f", 10);
  Open();
  // The click goes to the window while the worker waits for the window to take it.
  program.toolkit.AddTextObserver([&](Control control, const std::string& text) {
    if (control == Control::过程框 && text.starts_with(" 比对进度：5/")) {
      program.toolkit.Click(Control::比对按钮);
      WaitForStopRequest(program);
    }
  });
  RunComparison("");
  const auto rows = program.toolkit.ListRows().size();
  EXPECT_GE(rows, 5u);
  EXPECT_LT(rows, 300u);
  EXPECT_EQ(Message(), " 本次操作已终止");
  EXPECT_EQ(program.toolkit.GetCaption(Control::比对按钮), "开始比对");
  EXPECT_FALSE(program.toolkit.IsDisabled(Control::比对按钮));
  EXPECT_FALSE(program.state.stopRequested);
}

TEST_F(Compare, ClosingDuringAComparisonStopsItAndKeepsTheWindow) {
  Program& program = Start("C:\\|1\r\n");
  for (int i = 0; i < 300; ++i) program.files.AddFile("C:\\D" + std::to_string(i) + "\\f", 10);
  Open();
  program.toolkit.AddTextObserver([&](Control control, const std::string& text) {
    if (control == Control::过程框 && text.starts_with(" 比对进度：5/")) {
      program.toolkit.RequestClose();
      WaitForStopRequest(program);
    }
  });
  RunComparison("");
  EXPECT_FALSE(program.toolkit.exitCode());
  EXPECT_EQ(Message(), " 本次操作已终止");
  program.toolkit.RequestClose();
  program.toolkit.RunPending();
  EXPECT_EQ(program.toolkit.exitCode(), 0);
}

TEST_F(Compare, ComparesAgainstAPrivateSnapshotOfTheDrive) {
  Program& program = Start("");
  program.files.AddFile("C:\\A\\f", kMB);
  Open();
  program.SaveSnapshot();
  program.files.AddFile("C:\\A\\g", 3 * kMB);
  program.toolkit.DropDown(Control::外部参照);
  program.toolkit.RunPending();
  ASSERT_EQ(program.toolkit.ComboCount(Control::外部参照), 1);
  program.toolkit.SelectItem(Control::外部参照, 0);
  program.toolkit.RunPending();
  EXPECT_EQ(program.toolkit.GetSelectedIndex(Control::内部参照), -1);
  RunComparison("2");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"C:\\A\\ 3145728"}));

  program.toolkit.SelectItem(Control::内部参照, 3);
  program.toolkit.RunPending();
  EXPECT_EQ(program.toolkit.GetSelectedIndex(Control::外部参照), -1);
}

TEST_F(Compare, OpensAndCopiesTheRowsPathOnlyWhenIdle) {
  Program& program = Start("C:\\|1\r\n");
  program.files.AddFile("C:\\A\\f", kMB);
  Open();
  RunComparison("");
  program.toolkit.DoubleClick();
  program.toolkit.RunPending();
  EXPECT_TRUE(program.toolkit.GetAlwaysOnTop());  // no row chosen
  program.toolkit.DoubleClick();
  program.toolkit.RunPending();
  EXPECT_FALSE(program.toolkit.GetAlwaysOnTop());
  program.toolkit.RightClick();
  program.toolkit.RunPending();
  EXPECT_EQ(program.toolkit.ClipboardText(), "");

  program.toolkit.SelectRow(0);
  program.toolkit.DoubleClick();
  program.toolkit.RightClick();
  program.toolkit.RunPending();
  EXPECT_EQ(program.files.shellRequests, (std::vector<std::string>{"explore C:\\A\\"}));
  EXPECT_EQ(program.toolkit.ClipboardText(), "C:\\A\\");

  program.toolkit.SetText(Control::状态框, " 工作中");
  program.toolkit.DoubleClick();
  program.toolkit.RunPending();
  EXPECT_EQ(program.files.shellRequests.size(), 1u);
}

// The rows the pass lists, computed with the plain searches.
std::vector<std::string> PlainPass(const ScanTable& table, const std::string& reference, int64_t minimum) {
  std::vector<std::string> rows;
  std::string listed;
  for (int record = table.count(); record >= 1; --record) {
    const std::string& path = table.path(record);
    const int64_t before = PlainLookup(reference, path);
    const double increment = static_cast<double>(table.size(record)) - static_cast<double>(before);
    if (increment - static_cast<double>(minimum) < -0.0000001) continue;
    const int64_t below = !listed.empty() && before != 0 ? PlainListedSize(listed, path) : 0;
    if (increment - static_cast<double>(below) <= 0.0000001) continue;
    rows.push_back(path + " " + std::to_string(static_cast<int64_t>(increment)));
    listed += path + "|" + std::to_string(table.size(record)) + "\r\n";
  }
  return rows;
}

TEST_F(Compare, TheIndexedPassListsWhatThePlainSearchesList) {
  std::mt19937 random(7);
  const std::vector<std::string> names = {"A", "B", "乗", "亅", "AB", "x"};
  for (int round = 0; round < 40; ++round) {
    Program& program = Start("");
    program.toolkit.Open();
    ProgramContext context{program.toolkit, program.files, program.state};
    ScanTable& table = program.state.scanTable;
    std::string reference;
    table.append("C:\\", 1000);
    reference += "C:\\|" + std::to_string(random() % 2000) + "\r\n";
    for (int i = 0; i < 60; ++i) {
      const std::string path = table.path(1 + static_cast<int>(random() % table.count())) + names[random() % names.size()] + "\\";
      table.append(path, static_cast<int64_t>(random() % 1000));
      if (random() % 3) reference += path + "|" + std::to_string(random() % 1000) + "\r\n";
    }
    program.state.reference.assign(reference);
    const int64_t minimum = static_cast<int64_t>(random() % 50);
    ComparisonPass(context, minimum);
    EXPECT_EQ(Rows(), PlainPass(table, reference, minimum)) << "round " << round;
  }
}

class Statistics : public Compare {
 protected:
  void SetUp() override {
    Program& program = Start("");
    program.files.AddFile("C:\\A\\B\\f", 3 * kMB);
    program.files.AddFile("C:\\A\\g", 2 * kMB);
    program.files.AddFile("C:\\.cache\\big", 50 * kMB);
    program.files.AddFile("C:\\Small\\f", 1);
    Open();
    program.toolkit.SelectItem(Control::内部参照, 11);
    program.toolkit.RunPending();
  }
  std::map<std::string, Bytes> CsvFiles() {
    std::map<std::string, Bytes> csv;
    for (const auto& [path, contents] : program_->files.StoredFiles()) {
      if (path.ends_with(".csv")) csv[path] = contents;
    }
    return csv;
  }
};

TEST_F(Statistics, ListsAndWritesEveryDirectory) {
  RunComparison("");
  const auto rows = program_->toolkit.ListRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "0", "C:", "10737418240", "10GB", "", ""}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "1", "C:\\A", "5242880", "5MB", "", ""}));
  EXPECT_EQ(rows[3], (std::vector<std::string>{"4", "2", "C:\\A\\B", "3145728", "3MB", "", ""}));
  EXPECT_EQ(Message(), " 本次操作共枚举目录：3个");
  const auto csv = CsvFiles();
  ASSERT_EQ(csv.size(), 1u);
  EXPECT_EQ(csv.begin()->first, "C:\\Korvane\\C盘目录统计列表_20211125153112_4.csv");
  EXPECT_EQ(csv.begin()->second,
            "\"ID\",\"层级\",\"路径\",\"容量\",\"容量(单位)\"\r\n"
            "\"1\",\"0\",\"C:\",\"10737418240\",\"10GB\"\r\n"
            "\"2\",\"1\",\"C:\\A\",\"5242880\",\"5MB\"\r\n"
            "\"3\",\"1\",\"C:\\Small\",\"1\",\"1B\"\r\n"
            "\"4\",\"2\",\"C:\\A\\B\",\"3145728\",\"3MB\"");
  EXPECT_EQ(program_->state.scanTable.count(), 0);
}

TEST_F(Statistics, UnderALimitListsTheDriveRowAlways) {
  RunComparison("1000");
  EXPECT_EQ(program_->toolkit.ListRows().size(), 1u);
  EXPECT_EQ(Message(), " 本次操作共枚举超过1000MB限制的目录：0个");
  EXPECT_TRUE(CsvFiles().begin()->first.ends_with("_1.csv"));
  EXPECT_EQ(CsvFiles().begin()->second,
            "\"ID\",\"层级\",\"路径\",\"容量\",\"容量(单位)\"\r\n\"1\",\"0\",\"C:\",\"10737418240\",\"10GB\"");
}

}  // namespace
}  // namespace korvane
