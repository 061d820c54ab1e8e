// Folder sizes on real trees: the sum of the files below, the memory of a scan and its end, several
// walkers, and directory links that are entered and that loop.
#include <gtest/gtest.h>

#include "platform/win32/services/win32_file_system.h"
#include "tests/win32/services/temp_tree.h"

namespace korvane {
namespace {

using testing::TempTree;
using Strings = std::vector<std::string>;

Strings Names(FileSystemServices& files, const std::string& pattern) {
  Strings names;
  const std::unique_ptr<DirectoryListing> listing = files.FindEntries(pattern, EntryKind::directories);
  for (std::string name = listing->next(); !name.empty(); name = listing->next()) names.push_back(std::move(name));
  return names;
}

// root: 1 + 乗 (2 + 亅 (4 + .git (8) + deep\er (16)) + 空 (nothing)) + 5 GiB below "big".
constexpr int64_t kBig = int64_t{5} << 30;
void Build(const TempTree& tree) {
  tree.File(L"a", 1);
  tree.File(L"乗\\b", 2);
  tree.File(L"乗\\亅\\c", 4);
  tree.File(L"乗\\亅\\.git\\d", 8);
  tree.File(L"乗\\亅\\deep\\er\\e", 16);
  tree.Directory(L"乗\\空");
  tree.File(L"big\\large.bin", kBig);
}

TEST(FolderSize, IsTheSumOfTheFilesBelowWithAnyNumberOfWalkers) {
  TempTree tree;
  Build(tree);
  tree.File(L"only", 3);
  for (const unsigned threads : {1u, 4u}) {
    Win32FileSystem files({threads});
    EXPECT_EQ(files.FolderSize(tree.core()), 1 + 2 + 4 + 8 + 16 + kBig + 3) << threads;
    EXPECT_EQ(files.FolderSize(tree.core("乗")), 2 + 4 + 8 + 16);
    EXPECT_EQ(files.FolderSize(tree.core("乗\\")), 2 + 4 + 8 + 16);
    EXPECT_EQ(files.FolderSize(tree.core("乗\\亅")), 4 + 8 + 16);
    EXPECT_EQ(files.FolderSize(tree.core("乗\\空")), 0);
    EXPECT_EQ(files.FolderSize(tree.core("missing")), 0);
    EXPECT_EQ(files.FolderSize(tree.core("only")), 0);  // a file is no folder
  }
}

TEST(FolderSize, AScanAnswersFromWhatItMeasuredUntilItEnds) {
  TempTree tree;
  Build(tree);
  Win32FileSystem files;
  const Strings before = Names(files, tree.core("乗\\*.*"));
  ASSERT_EQ(before.size(), 4u);  // ".", "..", "亅", "空" in the system's order

  files.BeginScan();
  EXPECT_EQ(files.FolderSize(tree.core()), 1 + 2 + 4 + 8 + 16 + kBig);
  TempTree::Remove(tree / L"乗\\亅");
  TempTree::Remove(tree / L"乗\\空");
  // Everything below the measured folder is answered from memory: listings in the order they had,
  // patterns applied to them, and sizes.
  EXPECT_EQ(Names(files, tree.core("乗\\*.*")), before);
  EXPECT_EQ(Names(files, tree.core("乗\\亅*")), Strings{"亅"});
  EXPECT_EQ(Names(files, tree.core("乗\\亅\\*.*")), (Strings{".", "..", ".git", "deep"}));
  EXPECT_EQ(Names(files, tree.core("乗\\亅\\deep\\er\\*.*")), (Strings{".", ".."}));
  EXPECT_EQ(files.FolderSize(tree.core("乗\\亅")), 4 + 8 + 16);
  EXPECT_EQ(files.FolderSize(tree.core("乗\\亅\\deep")), 16);
  // A folder made after the measurement is measured on its own, and then remembered as well.
  tree.File(L"乗\\new\\f", 32);
  EXPECT_EQ(files.FolderSize(tree.core("乗\\new")), 32);
  TempTree::Remove(tree / L"乗\\new");
  EXPECT_EQ(files.FolderSize(tree.core("乗\\new")), 32);
  EXPECT_EQ(Names(files, tree.core("乗\\new\\*.*")), (Strings{".", ".."}));
  files.EndScan();

  EXPECT_EQ(Names(files, tree.core("乗\\*.*")), (Strings{".", ".."}));
  EXPECT_TRUE(Names(files, tree.core("乗\\亅\\*.*")).empty());
  EXPECT_EQ(files.FolderSize(tree.core("乗\\亅")), 0);
  EXPECT_EQ(files.FolderSize(tree.core()), 1 + 2 + kBig);
}

TEST(FolderSize, OutsideAScanNothingIsRemembered) {
  TempTree tree;
  Build(tree);
  Win32FileSystem files;
  EXPECT_EQ(files.FolderSize(tree.core("乗")), 2 + 4 + 8 + 16);
  TempTree::Remove(tree / L"乗\\亅");
  EXPECT_EQ(files.FolderSize(tree.core("乗\\亅")), 0);
  EXPECT_EQ(Names(files, tree.core("乗\\*.*")), (Strings{".", "..", "空"}));
}

// A link to another folder counts that folder's files again; a link back to an ancestor is followed
// until the search pattern passes the path limit. (Relative targets and long names keep the levels
// below the host's limit of links in one path, where wine makes the links.)
TEST(FolderSize, DirectoryLinksAreListedMeasuredAndEntered) {
  TempTree tree;
  tree.File(L"data\\f", 100);
  tree.File(L"walk\\g", 1);
  if (!tree.DirectoryLink(L"walk\\to-data", L"..\\data") || !tree.DirectoryLink(L"walk\\loooooop", L".")) {
    GTEST_SKIP() << "this system makes no directory links";
  }
  Win32FileSystem files;
  const std::string walk = tree.core("walk");
  EXPECT_EQ(Names(files, walk + "\\*.*"), (Strings{".", "..", "loooooop", "to-data"}));
  EXPECT_EQ(files.FolderSize(tree.core("walk\\to-data")), 100);

  // "walk", "walk\loooooop", "walk\loooooop\loooooop", ... each hold g and to-data while their pattern
  // fits: the path and "\*.*" in 259 characters. Each level's to-data needs 8 more for its own.
  int64_t expected = 0;
  for (size_t length = walk.size(); length + 4 <= 259; length += 9) {
    expected += 1;
    if (length + 8 + 4 <= 259) expected += 100;
  }
  EXPECT_EQ(files.FolderSize(walk), expected);
  files.BeginScan();
  EXPECT_EQ(files.FolderSize(walk), expected);
  EXPECT_EQ(Names(files, walk + "\\loooooop\\loooooop\\*.*"), (Strings{".", "..", "loooooop", "to-data"}));
  files.EndScan();
}

}  // namespace
}  // namespace korvane
