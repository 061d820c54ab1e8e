// The private snapshot list of 外部参照: which files of the program directory it offers, in which order
// and under which names.
#include <gtest/gtest.h>

#include "app/private_snapshots.h"
#include "tests/settings/window_run.h"

namespace korvane {
namespace {

using Names = std::vector<std::string>;

class PrivateSnapshots : public ::testing::Test {
 protected:
  void SetUp() override {
    AddThreeDrives(files);
    run.StartUp();
  }

  void PutInProgramDirectory(const Names& names) {
    for (const std::string& name : names) files.PutFile(std::string(kProgramDirectory) + "\\" + name, "snapshot");
  }

  Names Listed() { return run.toolkit.ComboItems(Control::外部参照); }

  MemoryFileSystem files;
  WindowRun run{files};
};

TEST_F(PrivateSnapshots, ListsTheChosenDrivesSnapshotsNewestFirstInLowerCase) {
  PutInProgramDirectory({"20211125153012_23833_[10.0.22000]_22.47GB.c", "20220101090000_30000_23.10GB.C", "notes.c",
                         "123.c", "CF.ini", "20230101000000_1_1.00GB.d", "00000000000000_7_1.00GB.c",
                         "000000000000001_8_1.00GB.c", "20240101000000_中文Ａ_1.00GB.c"});
  RebuildPrivateSnapshotList(run.context);
  // Descending by bytes, not by number: "123" comes after the time stamps. A name whose first fourteen
  // bytes read as no positive number is left out, even when a digit follows them; double-byte characters
  // keep their case.
  EXPECT_EQ(Listed(), (Names{"20240101000000_中文Ａ_1.00gb", "20220101090000_30000_23.10gb",
                             "20211125153012_23833_[10.0.22000]_22.47gb", "123"}));

  run.ChooseDrive(1);
  EXPECT_EQ(Listed(), Names{"20230101000000_1_1.00gb"});
  run.ChooseDrive(2);
  EXPECT_EQ(Listed(), Names{});
}

TEST_F(PrivateSnapshots, ARebuildShowsNewFilesAndDropsTheSelection) {
  PutInProgramDirectory({"20211125153012_9_1.00GB.c"});
  RebuildPrivateSnapshotList(run.context);
  run.toolkit.SetSelectedIndex(Control::外部参照, 0);

  PutInProgramDirectory({"20220101090000_9_1.00GB.c"});
  RebuildPrivateSnapshotList(run.context);
  EXPECT_EQ(Listed(), (Names{"20220101090000_9_1.00gb", "20211125153012_9_1.00gb"}));
  EXPECT_EQ(run.toolkit.GetSelectedIndex(Control::外部参照), -1);
}

TEST_F(PrivateSnapshots, AProgramDirectoryThatCannotBeListedEmptiesTheList) {
  PutInProgramDirectory({"20211125153012_9_1.00GB.c"});
  RebuildPrivateSnapshotList(run.context);
  files.MakeUnreadable(kProgramDirectory);
  RebuildPrivateSnapshotList(run.context);
  EXPECT_EQ(Listed(), Names{});
}

}  // namespace
}  // namespace korvane
