// Starting the program: the drive list and the disk information line, one running copy, closing.
#include <gtest/gtest.h>

#include "tests/app/program_fixture.h"

namespace korvane {
namespace {

constexpr std::string_view kFullWidthPercent = "％";

TEST(DriveList, ListsEveryDriveAndShowsTheFirst) {
  Program program;
  program.files.AddDrive('C', {int64_t{500} << 30, int64_t{250} << 30});
  program.files.AddDrive('D', {1'000, 667}, "FAT32");
  program.files.AddDrive('E', {0, 0});  // a card reader without a card
  program.files.SetVersion({10, 0, 19044 | 0xF0000000u});
  program.toolkit.Open();

  EXPECT_EQ(program.toolkit.ComboItems(Control::盘符框), (std::vector<std::string>{"C", "D", "E"}));
  EXPECT_EQ(program.toolkit.GetSelectedIndex(Control::盘符框), 0);
  EXPECT_EQ(program.state.selectedDrive, "C");
  EXPECT_EQ(program.state.systemVersionTag, "_[10.0.19044]");
  EXPECT_EQ(program.toolkit.GetText(Control::过程框),
            " 磁盘：C  文件系统：NTFS  容量：500GB  已占用：50" + std::string(kFullWidthPercent) + "  系统版本：10.0.19044");

  program.toolkit.SelectItem(Control::盘符框, 1);
  program.toolkit.RunPending();
  EXPECT_EQ(program.state.selectedDrive, "D");
  EXPECT_EQ(program.state.systemVersionTag, "");
  EXPECT_EQ(program.toolkit.GetText(Control::过程框),
            " 磁盘：D  文件系统：FAT32  容量：1000B  已占用：33.3" + std::string(kFullWidthPercent));

  program.toolkit.SelectItem(Control::盘符框, 2);
  program.toolkit.RunPending();
  EXPECT_EQ(program.toolkit.GetText(Control::过程框),
            " 磁盘：E  文件系统：NTFS  容量：0B  已占用：0" + std::string(kFullWidthPercent));
}

TEST(DriveList, ChoosingTheSameDriveAgainChangesNothing) {
  Program program;
  program.files.AddDrive('C', {1'000, 500});
  program.files.AddDrive('D', {1'000, 500});
  program.toolkit.Open();
  program.toolkit.SetText(Control::过程框, "untouched");
  program.toolkit.SelectItem(Control::盘符框, 0);
  program.toolkit.RunPending();
  EXPECT_EQ(program.toolkit.GetText(Control::过程框), "untouched");
}

TEST(DriveList, AVolumeWithoutAFileSystemNameShowsTheBlankBuffer) {
  Program program;
  program.files.SetSystemDirectory("D:\\Windows\\system32");
  program.files.AddDrive('C', {2'048, 1'024});
  program.toolkit.Open();
  // The name query fails for a drive the machine does not know; its sizes stay 0.
  program.toolkit.ComboInsert(Control::盘符框, 1, "Z");
  program.toolkit.SelectItem(Control::盘符框, 1);
  program.toolkit.RunPending();
  EXPECT_EQ(program.toolkit.GetText(Control::过程框),
            " 磁盘：Z  文件系统：" + std::string(255, ' ') + "  容量：0B  已占用：0" + std::string(kFullWidthPercent));
}

TEST(DriveList, NoDrivesLeaveTheListEmpty) {
  Program program;
  program.toolkit.Open();
  EXPECT_EQ(program.toolkit.ComboCount(Control::盘符框), 0);
  EXPECT_EQ(program.toolkit.GetText(Control::过程框), "");
  EXPECT_EQ(program.state.selectedDrive, "");
}

TEST(SingleInstance, ASecondCopyEndsAndLeavesTheFirstAlone) {
  const auto machine = std::make_shared<MemoryMachine>();
  Program first(machine);
  first.files.AddDrive('C', {1'000, 500});
  first.toolkit.Open();
  ASSERT_FALSE(first.toolkit.exitCode());

  Program second(machine);
  second.files.AddDrive('C', {1'000, 500});
  second.toolkit.Open();
  EXPECT_EQ(second.toolkit.exitCode(), 0);
  EXPECT_EQ(second.toolkit.ComboCount(Control::盘符框), 0);  // ended before the drive list

  EXPECT_FALSE(first.toolkit.exitCode());
  EXPECT_EQ(first.toolkit.ComboCount(Control::盘符框), 1);
}

TEST(SingleInstance, ACopyUnderAnotherNameIsEndedByTheMutex) {
  const auto machine = std::make_shared<MemoryMachine>();
  Program first(machine);
  first.toolkit.Open();
  Program renamed(machine);
  renamed.files.SetExecutableName("copy.exe");
  renamed.toolkit.Open();
  EXPECT_EQ(renamed.toolkit.exitCode(), 0);
}

TEST(SingleInstance, AnyProcessOfTheSameNameCounts) {
  const auto machine = std::make_shared<MemoryMachine>();
  machine->processNames.push_back("KORVANE.EXE");  // an unrelated program, letter case aside
  Program program(machine);
  program.toolkit.Open();
  EXPECT_EQ(program.toolkit.exitCode(), 0);
  // Ended by the name guard: the mutex was never taken.
  EXPECT_TRUE(machine->heldMutexes.empty());
}

TEST(SingleInstance, ANewCopyStartsOnceTheFirstHasEnded) {
  const auto machine = std::make_shared<MemoryMachine>();
  {
    Program first(machine);
    first.toolkit.Open();
  }
  Program next(machine);
  next.toolkit.Open();
  EXPECT_FALSE(next.toolkit.exitCode());
}

TEST(Closing, EndsTheProgramWithExitCodeZero) {
  Program program;
  program.files.AddDrive('C', {1'000, 500});
  program.toolkit.Open();
  program.toolkit.RequestClose();
  program.toolkit.RunPending();
  EXPECT_EQ(program.toolkit.exitCode(), 0);
}

TEST(Closing, DuringASaveEndsOnceTheWorkersHaveEnded) {
  Program program;
  program.files.AddDrive('C', {1'000, 500});
  for (int i = 0; i < 200; ++i) program.files.AddFile("C:\\D" + std::to_string(i) + "\\f", i);
  program.toolkit.Open();
  program.toolkit.Click(Control::快照按钮);
  program.toolkit.RequestClose();
  program.toolkit.RunPending();
  EXPECT_EQ(program.toolkit.exitCode(), 0);
  EXPECT_EQ(program.state.scanWorker, 0);
  EXPECT_EQ(program.state.outputWorker, 0);
}

TEST(StatusFields, TakeNoTypingSoThatNoUserEndsAWaitEarly) {
  Program program;
  program.files.AddDrive('C', {1'000, 500});
  program.toolkit.Open();
  for (const Control field : {Control::编辑框1, Control::过程框, Control::编辑框3, Control::状态框}) {
    const std::string shown = program.toolkit.GetText(field);
    EXPECT_FALSE(program.toolkit.TypeText(field, " 空闲中"));
    EXPECT_EQ(program.toolkit.GetText(field), shown);
  }
  EXPECT_TRUE(program.toolkit.TypeText(Control::限制框, "5"));
}

}  // namespace
}  // namespace korvane
