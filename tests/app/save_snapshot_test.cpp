// Saving a snapshot through the window, as a user does it: the walk's order and rules, the faults of
// a real disk, the status protocol and the file it writes.
#include <gtest/gtest.h>

#include "scan/directory_size.h"
#include "scan/directory_walk.h"
#include "snapshot/chunk_cipher.h"
#include "snapshot/gz_container.h"
#include "tests/app/program_fixture.h"

namespace korvane {
namespace {

constexpr DiskSpace kDriveC{100'000'000'000, 75'000'000'000};  // 25,000,000,000 used bytes: 23.28GB

std::string Decoded(const Bytes& stored) {
  return GzContainer::unpack(ChunkCipher::decipher(stored, kPassPhrase, ChunkCipher::kRc4));
}

// The only file in the program directory, by name and decoded contents.
std::pair<std::string, std::string> WrittenSnapshot(Program& program) {
  const auto stored = program.files.StoredFiles();
  EXPECT_EQ(stored.size(), 1u);
  if (stored.empty()) return {};
  const auto& [path, contents] = *stored.begin();
  return {path, Decoded(contents)};
}

class SaveSnapshot : public ::testing::Test {
 protected:
  void SetUp() override { program.files.AddDrive('C', kDriveC); }
  Program program;
};

TEST_F(SaveSnapshot, WritesEachDirectorysChildrenAsABlockBeforeTheirOwnBlocks) {
  MemoryFileSystem& files = program.files;
  files.AddFile("C:\\A\\x\\1\\deep.bin", 5);
  files.AddFile("C:\\A\\x\\top.bin", 10);
  files.AddDirectory("C:\\A\\y\\");
  files.AddFile("C:\\A\\a.txt", 100);
  files.AddFile("C:\\B\\z\\z.bin", 7);
  files.AddFile("C:\\root.sys", 1'000);
  program.toolkit.Open();
  program.SaveSnapshot();

  const auto [path, text] = WrittenSnapshot(program);
  EXPECT_EQ(text,
            "C:\\|25000000000\r\nC:\\A\\|115\r\nC:\\B\\|7\r\nC:\\A\\x\\|15\r\nC:\\A\\y\\|0\r\nC:\\A\\x\\1\\|5\r\n"
            "C:\\B\\z\\|7\r\n");
  // Moment, record count, system version, used size, drive.
  EXPECT_EQ(path, "C:\\Korvane\\20211125153112_7_[10.0.19044]_23.28GB.c");
  EXPECT_EQ(program.state.scanTable.enumerated, 6);
  EXPECT_EQ(program.toolkit.GetText(Control::过程框),
            " 快照文件(20211125153112_7_[10.0.19044]_23.28GB.c)输出完毕，保存在程序目录下，请勿移动。");
}

TEST_F(SaveSnapshot, KeepsNamesWhoseTrailBytesLookLikeSeparators) {
  // In GBK, 乗 ends in the byte "\" and 亅 in the byte "|".
  program.files.AddFile("C:\\中文\\乗\\亅\\f", 9);
  program.files.AddFile("C:\\中文\\乗\\g", 1);
  program.toolkit.Open();
  program.SaveSnapshot();
  EXPECT_EQ(WrittenSnapshot(program).second,
            "C:\\|25000000000\r\nC:\\中文\\|10\r\nC:\\中文\\乗\\|10\r\nC:\\中文\\乗\\亅\\|9\r\n");
}

TEST_F(SaveSnapshot, FollowsTheStatusProtocolAndRestoresEveryControl) {
  program.files.AddFile("C:\\A\\f", 1);
  program.toolkit.Open();
  program.SaveSnapshot();

  std::vector<std::pair<std::string, int>> status;
  for (const Shown& shown : program.TextsOf(Control::状态框)) status.emplace_back(shown.text, shown.disabledInputs);
  // Working while all eight inputs are disabled; idle after the scan; working again for the output;
  // idle only once the output worker has enabled them all.
  EXPECT_EQ(status, (std::vector<std::pair<std::string, int>>{
                        {" 工作中", 0}, {" 空闲中", 8}, {" 工作中", 8}, {" 空闲中", 0}}));
  const auto messages = program.TextsOf(Control::过程框);
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(messages[messages.size() - 2].text, " 正在输出快照数据，请勿进行其他操作，文件将保存在程序目录下");
  EXPECT_EQ(messages[messages.size() - 2].disabledInputs, 8);
  EXPECT_TRUE(program.Idle());
}

TEST_F(SaveSnapshot, ShowsProgressForEveryMeasuredDirectory) {
  for (const char* name : {"C:\\A\\f", "C:\\B\\f", "C:\\.git\\f", "C:\\B\\C\\f"}) program.files.AddFile(name, 3);
  program.toolkit.Open();
  program.SaveSnapshot();
  std::vector<std::string> progress;
  for (const Shown& shown : program.TextsOf(Control::过程框)) {
    if (shown.text.starts_with(" 当前已枚举")) progress.push_back(shown.text);
  }
  EXPECT_EQ(progress, (std::vector<std::string>{" 当前已枚举C盘目录1个，尚未完成，请勿操作",
                                                " 当前已枚举C盘目录2个，尚未完成，请勿操作",
                                                " 当前已枚举C盘目录3个，尚未完成，请勿操作"}));
}

TEST_F(SaveSnapshot, PassesOverDotNamesButCountsTheirFilesInTheParent) {
  MemoryFileSystem& files = program.files;
  files.AddFile("C:\\repo\\.git\\objects\\pack", 4'000);
  files.AddFile("C:\\repo\\main.cpp", 50);
  files.AddFile("C:\\onlydots\\.cache\\blob", 9);
  files.AddFile("C:\\.hidden\\x\\f", 1);
  program.toolkit.Open();
  program.SaveSnapshot();
  // A directory whose only subdirectories begin with a dot is entered and adds nothing.
  EXPECT_EQ(WrittenSnapshot(program).second, "C:\\|25000000000\r\nC:\\repo\\|4050\r\nC:\\onlydots\\|9\r\n");
  EXPECT_EQ(program.state.scanTable.enumerated, 2);
}

TEST_F(SaveSnapshot, KeepsUnreadableAndVanishedDirectoriesWithWhatCouldBeCounted) {
  MemoryFileSystem& files = program.files;
  files.AddFile("C:\\System Volume Information\\tracking.log", 20);
  files.MakeUnreadable("C:\\System Volume Information\\");
  files.AddFile("C:\\Temp\\gone\\f", 5);
  files.MakeVanishing("C:\\Temp\\gone\\");
  files.AddFile("C:\\Temp\\kept", 2);
  program.toolkit.Open();
  program.SaveSnapshot();
  EXPECT_EQ(WrittenSnapshot(program).second,
            "C:\\|25000000000\r\nC:\\System Volume Information\\|0\r\nC:\\Temp\\|2\r\nC:\\Temp\\gone\\|0\r\n");
}

TEST_F(SaveSnapshot, RecordsTheRootWhateverTheWalkFinds) {
  program.files.MakeUnreadable("C:\\");
  program.toolkit.Open();
  program.SaveSnapshot();
  const auto [path, text] = WrittenSnapshot(program);
  EXPECT_EQ(text, "C:\\|25000000000\r\n");
  EXPECT_EQ(path, "C:\\Korvane\\20211125153112_1_[10.0.19044]_23.28GB.c");
  EXPECT_EQ(program.state.scanTable.enumerated, 0);
}

TEST_F(SaveSnapshot, CountsFilesItselfWhenTheFolderCannotBeSized) {
  MemoryFileSystem& files = program.files;
  files.AddFile("C:\\Windows\\WinSxS\\a\\b.dll", 300);
  files.AddFile("C:\\Windows\\WinSxS\\.x\\c.dll", 30);
  files.AddFile("C:\\Windows\\WinSxS\\d.cat", 3);
  files.MakeUnsizable("C:\\Windows\\WinSxS\\");
  files.AddDirectory("C:\\Empty\\");
  files.AddDrive('D', {1'000, 0});
  files.AddFile("D:\\Data\\f", 8);
  files.MakeUnsizable("D:\\Data\\");
  program.toolkit.Open();
  program.SaveSnapshot();
  program.toolkit.SelectItem(Control::盘符框, 1);
  program.toolkit.RunPending();
  program.SaveSnapshot();

  // The count includes the files below a dot name, which the walk itself passes over.
  EXPECT_EQ(Decoded(program.files.StoredFiles().at("C:\\Korvane\\20211125153112_5_[10.0.19044]_23.28GB.c")),
            "C:\\|25000000000\r\nC:\\Windows\\|333\r\nC:\\Empty\\|0\r\nC:\\Windows\\WinSxS\\|333\r\n"
            "C:\\Windows\\WinSxS\\a\\|300\r\n");
  std::vector<std::string> counting;
  for (const Shown& shown : program.TextsOf(Control::过程框)) {
    if (shown.text.find("验证") != std::string::npos) counting.push_back(shown.text);
  }
  // The count before this directory; the system drive's wording, then another drive's.
  EXPECT_EQ(counting, (std::vector<std::string>{
                          " 当前已枚举C盘目录1个，正在验证大型系统目录：C:\\Empty ==> 时间较长，尚未完成，请勿操作",
                          " 当前已枚举C盘目录2个，正在验证大型系统目录：C:\\Windows\\WinSxS ==> 时间较长，尚未完成，请勿操作",
                          " 当前已枚举D盘目录0个，正在验证特定文件目录：D:\\Data ==> 时间较长，尚未完成，请勿操作"}));
}

TEST_F(SaveSnapshot, WritesPlainTextWhileTheMarkerFileExists) {
  program.files.AddFile("C:\\A\\f", 12);
  program.files.PutFile("C:\\Korvane\\0.0", "");
  program.toolkit.Open();
  program.SaveSnapshot();
  const auto stored = program.files.StoredFiles();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored.at("C:\\Korvane\\20211125153112_2_[10.0.19044]_23.28GB.c"), "C:\\|25000000000\r\nC:\\A\\|12\r\n");
}

TEST_F(SaveSnapshot, ReportsAFailedWriteAndEndsIdle) {
  program.files.AddFile("C:\\A\\f", 12);
  program.files.FailWrites(true);
  program.toolkit.Open();
  program.SaveSnapshot();
  EXPECT_TRUE(program.files.StoredFiles().empty());
  EXPECT_EQ(program.toolkit.GetText(Control::过程框),
            " 输出失败，请勿将程序置于系统盘，或执行程序时右键选择以管理员身份运行。");
  for (const Control control : kInputControls) EXPECT_FALSE(program.toolkit.IsDisabled(control));
  EXPECT_TRUE(program.Idle());
}

TEST_F(SaveSnapshot, StartsEverySaveFromAnEmptyTable) {
  program.files.AddDrive('D', {1'024'000, 0}, "FAT32");
  program.files.AddFile("C:\\A\\f", 1);
  program.files.AddFile("D:\\B\\f", 2);
  program.files.AddFile("D:\\C\\f", 3);
  program.toolkit.Open();
  program.SaveSnapshot();
  program.toolkit.SelectItem(Control::盘符框, 1);
  program.toolkit.RunPending();
  program.SaveSnapshot();
  const auto stored = program.files.StoredFiles();
  ASSERT_EQ(stored.size(), 2u);
  // No system version for D; its 1,024,000 used bytes are 0.98MB.
  EXPECT_EQ(Decoded(stored.at("C:\\Korvane\\20211125153112_3_0.98MB.d")), "D:\\|1024000\r\nD:\\B\\|2\r\nD:\\C\\|3\r\n");
  EXPECT_EQ(program.state.scanTable.enumerated, 2);
}

TEST_F(SaveSnapshot, AStopDuringTheScanWritesNoSnapshot) {
  for (int i = 0; i < 50; ++i) program.files.AddFile("C:\\D" + std::to_string(i) + "\\f", i);
  program.toolkit.Open();
  program.toolkit.AddTextObserver([this](Control control, const std::string& text) {
    if (control == Control::过程框 && text.starts_with(" 当前已枚举C盘目录3个")) program.state.stopRequested = true;
  });
  program.toolkit.Click(Control::快照按钮);
  program.toolkit.RunPending();
  EXPECT_TRUE(program.Idle());
  EXPECT_TRUE(program.files.StoredFiles().empty());
  EXPECT_EQ(program.state.scanTable.enumerated, 3);
  for (const Control control : kInputControls) EXPECT_FALSE(program.toolkit.IsDisabled(control));
}

// The walk itself, with a minimum size, as a comparison runs it.
TEST_F(SaveSnapshot, MinimumSizeRecordsAndEntersOnlyLargeEnoughDirectories) {
  MemoryFileSystem& files = program.files;
  files.AddFile("C:\\Big\\Small\\f", 10);
  files.AddFile("C:\\Big\\Large\\f", 600);
  files.AddFile("C:\\Big\\f", 500);
  files.AddFile("C:\\Tiny\\Inner\\f", 1);
  files.AddDirectory("C:\\Tiny\\Inner\\Deeper\\");
  program.toolkit.Open();
  ProgramContext context{program.toolkit, program.files, program.state};
  ScanDrive(context, "C", 500);
  EXPECT_EQ(SnapshotText(program.state.scanTable), "C:\\|25000000000\r\nC:\\Big\\|1110\r\nC:\\Big\\Large\\|600\r\n");
  // Measured: Big, Tiny, Small, Large; nothing inside Tiny.
  EXPECT_EQ(program.state.scanTable.enumerated, 4);
  EXPECT_EQ(program.files.FolderSizeQueries("C:\\Tiny\\Inner\\"), 0);
}

TEST_F(SaveSnapshot, AStopEndsTheCountingPhases) {
  program.files.AddFile("C:\\A\\B\\f", 5);
  program.files.AddFile("C:\\A\\g", 7);
  program.toolkit.Open();
  ProgramContext context{program.toolkit, program.files, program.state};
  EXPECT_EQ(ExhaustiveSize(context, "C:\\A\\"), 12);
  program.state.stopRequested = true;
  EXPECT_EQ(ExhaustiveSize(context, "C:\\A\\"), 0);  // the listing phase ends first
}

}  // namespace
}  // namespace korvane
