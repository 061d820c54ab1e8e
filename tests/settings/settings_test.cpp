// The choices of the main window across a restart: what CF.ini holds, and what a start applies from it.
#include <gtest/gtest.h>

#include "snapshot/chunk_cipher.h"
#include "snapshot/gz_container.h"
#include "tests/settings/window_run.h"

namespace korvane {
namespace {

const std::string kSettingsPath = std::string(kProgramDirectory) + "\\CF.ini";

Bytes Stored(std::string_view line) {
  return ChunkCipher::encipher(GzContainer::pack(line), kPassPhrase, ChunkCipher::kRc4);
}

std::string StoredLine(MemoryFileSystem& files) {
  return GzContainer::unpack(ChunkCipher::decipher(files.ReadWholeFile(kSettingsPath), kPassPhrase, ChunkCipher::kRc4));
}

// The choices a user sees after start-up.
struct Choices {
  int privateSnapshot = -1;
  int builtIn = 0;
  std::string drive = "C";
  std::string limit;
  int unit = 2;
  bool unitsShown = false;
  friend bool operator==(const Choices&, const Choices&) = default;
};

void PrintTo(const Choices& c, std::ostream* out) {
  *out << "{" << c.privateSnapshot << ", " << c.builtIn << ", " << c.drive << ", \"" << c.limit << "\", " << c.unit
       << ", " << c.unitsShown << "}";
}

Choices Shown(WindowRun& run) {
  WindowToolkit& toolkit = run.toolkit;
  const int drive = toolkit.GetSelectedIndex(Control::盘符框);
  // The drive shown, the drive the program works on and the one the information line names must agree.
  EXPECT_EQ(run.state.selectedDrive, toolkit.ComboItemText(Control::盘符框, drive));
  EXPECT_TRUE(toolkit.GetText(Control::过程框).starts_with(" 磁盘：" + run.state.selectedDrive + " "));
  return {toolkit.GetSelectedIndex(Control::外部参照), toolkit.GetSelectedIndex(Control::内部参照),
          toolkit.ComboItemText(Control::盘符框, drive), toolkit.GetText(Control::限制框),
          toolkit.GetSelectedIndex(Control::单位框), toolkit.GetChecked(Control::表单位框)};
}

class Settings : public ::testing::Test {
 protected:
  void SetUp() override { AddThreeDrives(files); }

  // Starts the program over whatever CF.ini holds now.
  Choices StartAndShow() {
    WindowRun run(files);
    run.StartUp();
    return Shown(run);
  }

  MemoryFileSystem files;
};

TEST_F(Settings, AClosedWindowsChoicesComeBackOnTheNextStart) {
  files.PutFile("C:\\Korvane\\20211125153012_9_1.00MB.d", "snapshot");
  {
    WindowRun first(files);
    first.StartUp();
    first.ChooseDrive(1);
    first.toolkit.SetSelectedIndex(Control::内部参照, 3);
    first.toolkit.SetText(Control::限制框, "250");
    first.toolkit.SetSelectedIndex(Control::单位框, 3);
    first.toolkit.SetChecked(Control::表单位框, true);
    SaveSettings(first.context);
  }
  EXPECT_EQ(StoredLine(files), "-1|3|1|250|3|1");

  WindowRun second(files);
  second.StartUp();
  EXPECT_EQ(Shown(second), (Choices{-1, 3, "D", "250", 3, true}));
  // The restored drive's handling ran in full: its private snapshots are listed.
  EXPECT_EQ(second.toolkit.ComboItems(Control::外部参照), std::vector<std::string>{"20211125153012_9_1.00mb"});
}

TEST_F(Settings, APrivateSnapshotChoiceIsNotRestoredAndTheFirstBuiltInOneIsShown) {
  files.PutFile("C:\\Korvane\\20211125153012_9_1.00MB.c", "snapshot");
  {
    WindowRun first(files);
    first.StartUp();
    first.toolkit.SetSelectedIndex(Control::外部参照, 0);
    first.toolkit.SetSelectedIndex(Control::内部参照, -1);
    SaveSettings(first.context);
  }
  EXPECT_EQ(StoredLine(files), "0|-1|0||2|0");
  EXPECT_EQ(StartAndShow(), Choices{});
}

TEST_F(Settings, AFirstStartShowsTheInitialChoices) {
  EXPECT_EQ(StartAndShow(), Choices{});
}

struct LineCase {
  std::string line;
  Choices shown;
};

class StoredLines : public Settings, public ::testing::WithParamInterface<LineCase> {};

TEST_P(StoredLines, StartWithTheChoicesTheyName) {
  files.PutFile(kSettingsPath, Stored(GetParam().line));
  EXPECT_EQ(StartAndShow(), GetParam().shown) << GetParam().line;
}

// Initial choices: no private snapshot, built-in 0, drive C, no limit, MB, units hidden.
INSTANTIATE_TEST_SUITE_P(
    Fields, StoredLines,
    ::testing::Values(
        LineCase{"-1|0|0|100|2|0", {-1, 0, "C", "100", 2, false}},
        LineCase{"4|11|2|7|4|1", {-1, 11, "E", "7", 4, true}},
        // The limit: a zero or empty one stays empty, any other comes back as stored.
        LineCase{"-1|0|0|0|2|0", {}}, LineCase{"-1|0|0||2|0", {}}, LineCase{"-1|0|0|abc|2|0", {}},
        LineCase{"-1|0|0|12abc|2|0", {-1, 0, "C", "12abc", 2, false}},
        LineCase{"-1|0|0|１２|2|0", {-1, 0, "C", "１２", 2, false}},
        LineCase{"-1|0|0|-5|2|0", {-1, 0, "C", "-5", 2, false}},
        // A built-in index the catalog lacks falls back to its first entry.
        LineCase{"-1|12|0|1|2|0", {-1, 0, "C", "1", 2, false}},
        LineCase{"-1|99999999999999999999|0|1|2|0", {-1, 0, "C", "1", 2, false}},
        // A drive index beyond the drive list keeps the first drive.
        LineCase{"-1|5|3|1|2|0", {-1, 5, "C", "1", 2, false}},
        LineCase{"-1|5|-1|1|2|0", {-1, 5, "C", "1", 2, false}},
        // A unit the box lacks leaves it without a selection.
        LineCase{"-1|0|0|1|5|0", {-1, 0, "C", "1", -1, false}},
        // Only "1" checks the box.
        LineCase{"-1|0|0|1|2|1x", {-1, 0, "C", "1", 2, false}},
        // Fewer fields apply as far as they go; an empty piece between separators counts, one after a
        // final "|" does not.
        LineCase{"-1|5|1", {-1, 5, "D", "", 2, false}}, LineCase{"-1|5|1|", {-1, 5, "D", "", 2, false}},
        LineCase{"|5", {-1, 5, "C", "", 2, false}}, LineCase{"-1|5|1|3|1|1|", {-1, 5, "D", "3", 1, true}},
        // More than six pieces: a "|" was typed into the limit, and nothing is applied.
        LineCase{"-1|5|1|3|1|1|0", {}}, LineCase{"-1|5|1|3|1|1||", {}},
        // In GBK "亅" ends in the byte "|": it stays inside the limit's field.
        LineCase{"-1|5|1|3亅|1|1", {-1, 5, "D", "3亅", 1, true}}));

TEST_F(Settings, TheSizeColumnsFollowARestoredCheck) {
  files.PutFile(kSettingsPath, Stored("-1|0|0||2|1"));
  WindowRun run(files);
  run.StartUp();
  std::vector<int> widths;
  for (int column = 3; column <= 6; ++column) widths.push_back(run.toolkit.ListGetColumnWidth(Control::列表框, column));
  EXPECT_EQ(widths, (std::vector<int>{0, 100, 0, 100}));
}

TEST_F(Settings, AnUnusableFileLeavesTheInitialChoices) {
  const std::vector<Bytes> unusable{
      "",
      "-1|5|1|3|1|1",                                                         // the plain line
      GzContainer::pack("-1|5|1|3|1|1"),                                      // packed, not enciphered
      ChunkCipher::encipher("-1|5|1|3|1|1", kPassPhrase, ChunkCipher::kRc4),  // enciphered, not packed
      Stored("-1|5|1|3|1|1").substr(1),
      Stored(""),
  };
  for (const Bytes& contents : unusable) {
    files.PutFile(kSettingsPath, contents);
    EXPECT_EQ(StartAndShow(), Choices{}) << ::testing::PrintToString(contents);
  }
}

TEST_F(Settings, AFailedWriteKeepsTheEarlierFile) {
  files.PutFile(kSettingsPath, Stored("-1|5|1|3|1|1"));
  files.FailWrites(true);
  WindowRun run(files);
  run.StartUp();
  run.toolkit.SetSelectedIndex(Control::内部参照, 7);
  SaveSettings(run.context);
  EXPECT_EQ(StoredLine(files), "-1|5|1|3|1|1");
}

}  // namespace
}  // namespace korvane
