// Folder sizes on real trees: the sum of the regular files below, the memory of a scan against the disk,
// the PATH_MAX bound, and mounts (other file systems, bind mounts, a bind mount looping back).
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>

#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_paths.h"
#include "tests/posix/temp_tree.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::Names;
using testing::TempTree;
using testing::Utf8;
using Strings = std::vector<std::string>;

// The oracle: the regular files below a native directory, links not followed.
int64_t RegularFileBytes(const fs::path& directory) {
  int64_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    if (entry.is_regular_file() && !entry.is_symlink()) total += static_cast<int64_t>(entry.file_size());
  }
  return total;
}

// A tree of some hundred directories with files of varied sizes, dot directories, links, a pipe, a
// sparse file and a directory whose name the core cannot write.
void BuildVariedTree(const TempTree& tree) {
  std::mt19937 random(7);
  const char8_t* names[] = {u8"lib", u8"乗", u8"亅", u8"中文", u8".cache", u8"x86_64", u8"数据"};
  std::vector<std::string> directories{"top"};
  for (int made = 0; made < 150; ++made) {
    const std::string parent = directories[random() % directories.size()];
    const std::string child = parent + "/" + Utf8(names[random() % 7]) + std::to_string(made);
    tree.Directory(child);
    directories.push_back(child);
    for (unsigned file = random() % 4; file > 0; --file) tree.File(child + "/f" + std::to_string(file), random() % 5000);
  }
  tree.Directory("top/empty");
  tree.File("top/bad\xFF/hidden.bin", 333);
  const int fd = open((tree / "top/sparse").c_str(), O_WRONLY | O_CREAT, 0644);
  EXPECT_EQ(ftruncate(fd, int64_t{3} << 30), 0);
  close(fd);
  fs::create_symlink(tree / "top/sparse", tree / "top/lib0-link");
  fs::create_directory_symlink(tree / "top", tree / "top/loop-link");
  mkfifo((tree / "top/pipe").c_str(), 0600);
}

// The core's path for a native directory below the tree, when it has one.
std::optional<std::string> CorePath(const TempTree& tree, const fs::path& native) {
  std::string core = "T:";
  for (const auto& part : fs::relative(native, tree.root())) {
    const auto name = posix::CoreName(part.string());
    if (!name) return std::nullopt;
    core += "\\" + *name;
  }
  return core;
}

class FolderSize : public ::testing::TestWithParam<unsigned> {
 protected:
  TempTree tree_;
};

TEST_P(FolderSize, IsTheSumOfTheRegularFilesBelowEveryDirectory) {
  BuildVariedTree(tree_);
  auto services = tree_.Services(GetParam());
  int checked = 0;
  for (const auto& entry : fs::recursive_directory_iterator(tree_ / "top")) {
    if (!entry.is_directory() || entry.is_symlink()) continue;
    const auto core = CorePath(tree_, entry.path());
    if (!core) continue;
    EXPECT_EQ(services->FolderSize(*core), RegularFileBytes(entry.path())) << *core;
    ++checked;
  }
  EXPECT_GT(checked, 150);
  EXPECT_EQ(services->FolderSize("T:\\top"), RegularFileBytes(tree_ / "top"));
  EXPECT_EQ(services->FolderSize("T:\\top\\"), RegularFileBytes(tree_ / "top"));
  for (const char* nothing : {"T:\\top\\empty", "T:\\top\\sparse", "T:\\top\\loop-link", "T:\\missing", "Q:\\top"}) {
    EXPECT_EQ(services->FolderSize(nothing), 0) << nothing;
  }
}

// The core's walk: list a directory's subdirectories, measure each, then go into each.
struct WalkRecord {
  std::map<std::string, int64_t> sizes;
  std::map<std::string, Strings> listings;
  bool operator==(const WalkRecord&) const = default;
};

WalkRecord CoreWalk(FileSystemServices& services, const std::string& start) {
  WalkRecord record;
  std::function<void(const std::string&)> walk = [&](const std::string& directory) {
    const Strings names = Names(services, directory + "\\*.*", EntryKind::directories);
    record.listings[directory] = names;
    record.listings[directory + "\\f*"] = Names(services, directory + "\\f*", EntryKind::directories);
    for (const std::string& name : names) {
      if (name != "." && name != "..") record.sizes[directory + "\\" + name] = services.FolderSize(directory + "\\" + name);
    }
    for (const std::string& name : names) {
      if (name != "." && name != "..") walk(directory + "\\" + name);
    }
  };
  walk(start);
  return record;
}

TEST_P(FolderSize, AScanAnswersFromMemoryAsTheDiskWould) {
  BuildVariedTree(tree_);
  auto services = tree_.Services(GetParam());
  const WalkRecord fromDisk = CoreWalk(*services, "T:");
  services->BeginScan();
  const WalkRecord fromMemory = CoreWalk(*services, "T:");
  services->EndScan();
  EXPECT_GT(fromDisk.sizes.size(), 150u);
  EXPECT_EQ(fromMemory, fromDisk);
}

TEST_P(FolderSize, AScanRemembersWhatItMeasuredUntilItEnds) {
  tree_.File("top/sub/a", 10);
  tree_.File("top/sub/b", 20);
  tree_.Directory("top/sub/deeper");
  auto services = tree_.Services(GetParam());
  services->BeginScan();
  EXPECT_EQ(services->FolderSize("T:\\top"), 30);
  // The disk changes; measured directories keep their remembered answers, the rest reads the disk.
  fs::remove(tree_ / "top/sub/a");
  tree_.Directory("top/sub/new");
  tree_.Directory("second");
  EXPECT_EQ(services->FolderSize("T:\\top\\sub"), 30);
  EXPECT_EQ(Names(*services, "T:\\top\\sub\\*.*", EntryKind::directories), (Strings{".", "..", "deeper"}));
  EXPECT_EQ(Names(*services, "T:\\top\\sub\\*.*", EntryKind::files), Strings{"b"});
  EXPECT_EQ(Names(*services, "T:\\*.*", EntryKind::directories).size(), 4u);
  services->EndScan();
  EXPECT_EQ(services->FolderSize("T:\\top\\sub"), 20);
  EXPECT_EQ(Names(*services, "T:\\top\\sub\\*.*", EntryKind::directories).size(), 4u);
}

// Directories nested until their paths pass PATH_MAX, each holding a one-byte file: those beyond the
// limit are listed in their parents but neither listed themselves nor measured, in a scan or not.
TEST_P(FolderSize, ADirectoryBeyondPathMaxIsNeitherListedNorMeasured) {
  const std::string name(200, 'd');
  int fd = open(tree_.root().c_str(), O_RDONLY | O_DIRECTORY);
  std::string native = tree_.root();
  std::string core = "T:";
  std::vector<std::string> cores;
  int64_t reachable = 0;
  for (int level = 0; level < 30; ++level) {
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    const int file = openat(fd, "f", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(file, "x", 1), 1);
    close(file);
    native += "/" + name;
    core += "\\" + name;
    cores.push_back(core);
    if (native.size() < PATH_MAX) ++reachable;
  }
  close(fd);
  ASSERT_LT(reachable, 30);
  auto services = tree_.Services(GetParam());
  for (const bool scan : {false, true}) {
    if (scan) services->BeginScan();
    EXPECT_EQ(services->FolderSize(cores[0]), reachable);
    EXPECT_EQ(Names(*services, cores[reachable - 1] + "\\*.*", EntryKind::directories), (Strings{".", "..", name}));
    EXPECT_EQ(Names(*services, cores[reachable] + "\\*.*", EntryKind::directories), Strings{});
    EXPECT_EQ(Names(*services, cores[reachable] + "\\*.*", EntryKind::files), Strings{});
    if (scan) services->EndScan();
  }
}

INSTANTIATE_TEST_SUITE_P(Threads, FolderSize, ::testing::Values(1u, 4u));

// A tmpfs of our own as drive T, with another file system mounted inside it, a bind mount "z" of the
// directory "a\inner", and a bind mount of the root at "c\loop". Skipped where this process may not mount.
class MountedTree : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    tree_.Directory("base");
    if (!tree_.Mount("korvane-test", "base", "tmpfs", 0, "size=4m")) GTEST_SKIP() << "mounting is not permitted here";
    ASSERT_EQ(mount(nullptr, (tree_ / "base").c_str(), nullptr, MS_PRIVATE, nullptr), 0);
    // Made before "a" so that a file system listing newest first lists "a" first: then a walk meets the
    // bind mount "z" before it meets its source, though the source comes first depth first.
    tree_.Directory("base/z");
    tree_.File("base/a/file", 100);
    tree_.File("base/a/inner/file", 10);
    tree_.File("base/c/own", 5);
    tree_.Directory("base/c/loop");
    tree_.Directory("base/other");
    ASSERT_TRUE(tree_.Mount("korvane-other", "base/other", "tmpfs", 0));
    tree_.File("base/other/file", 1000);
    PosixFileSystemOptions options;
    options.driveMap = "T=" + (tree_ / "base");
    options.measuringThreads = GetParam();
    services_ = std::make_unique<PosixFileSystem>(options);
    // Measured before the bind mounts exist: the services must notice the mounts that follow.
    EXPECT_EQ(services_->FolderSize("T:\\"), 115);
    ASSERT_TRUE(tree_.Mount(tree_ / "base/a/inner", "base/z", nullptr, MS_BIND));
    ASSERT_TRUE(tree_.Mount(tree_ / "base", "base/c/loop", nullptr, MS_BIND));
  }

  TempTree tree_;
  std::unique_ptr<PosixFileSystem> services_;
};

TEST_P(MountedTree, ListingsLeaveOutOtherFileSystemsButShowBindMounts) {
  Strings names = Names(*services_, "T:\\*.*", EntryKind::directories);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Strings{".", "..", "a", "c", "z"}));
  EXPECT_EQ(Names(*services_, "T:\\c\\*.*", EntryKind::directories), (Strings{".", "..", "loop"}));
  EXPECT_EQ(Names(*services_, "T:\\other\\*.*", EntryKind::files), Strings{});
}

TEST_P(MountedTree, AWalkEntersEachDirectoryOnceAndStaysOnItsFileSystem) {
  // One measurement of the root: "a\inner" once, the loop back to the root not at all, "other" not crossed.
  EXPECT_EQ(services_->FolderSize("T:\\"), 115);
  // From "c" the loop leads back to the root, which the way to "c" has passed: it is not entered.
  EXPECT_EQ(services_->FolderSize("T:\\c"), 5);
  EXPECT_EQ(services_->FolderSize("T:\\z"), 10);

  // Of "a\inner" and "z", the one reached first depth first in listing order ("a" before "z") is
  // entered; the other counts as empty.
  const std::map<std::string, int64_t> expected{{"a", 110}, {"z", 0}, {"c", 5}};
  const std::string repeat = "T:\\z";
  for (int run = 0; run < 5; ++run) {
    services_->BeginScan();
    EXPECT_EQ(services_->FolderSize("T:\\"), 115);
    for (const auto& [name, size] : expected) EXPECT_EQ(services_->FolderSize("T:\\" + name), size) << name;
    EXPECT_EQ(services_->FolderSize("T:\\c\\loop"), 0);
    EXPECT_EQ(Names(*services_, repeat + "\\*.*", EntryKind::directories), (Strings{".", ".."}));
    EXPECT_EQ(Names(*services_, "T:\\c\\loop\\*.*", EntryKind::directories), (Strings{".", ".."}));
    services_->EndScan();
  }

  // The core's own order: the root is not measured, its subdirectories one by one in listing order.
  services_->BeginScan();
  std::map<std::string, int64_t> sizes;
  for (const std::string& name : Names(*services_, "T:\\*.*", EntryKind::directories)) {
    if (name != "." && name != "..") sizes[name] = services_->FolderSize("T:\\" + name);
  }
  EXPECT_EQ(sizes, expected);
  EXPECT_EQ(Names(*services_, repeat + "\\*.*", EntryKind::directories), (Strings{".", ".."}));
  EXPECT_EQ(Names(*services_, "T:\\c\\loop\\*.*", EntryKind::directories), (Strings{".", ".."}));
  services_->EndScan();
}

TEST_P(MountedTree, VolumesReportTheirSpaceAndFileSystem) {
  const DiskSpace space = services_->DiskFreeSpace("T:\\");
  EXPECT_EQ(space.totalBytes, 4 << 20);
  EXPECT_GT(space.freeToCaller, 0);
  EXPECT_EQ(services_->DiskFreeSpace("T:").totalBytes, space.totalBytes);
  EXPECT_EQ(services_->FileSystemName("T:\\"), "tmpfs");
  EXPECT_EQ(services_->DiskFreeSpace("Q:\\").totalBytes, 0);
  EXPECT_EQ(services_->FileSystemName("Q:\\"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Threads, MountedTree, ::testing::Values(1u, 4u));

}  // namespace
}  // namespace korvane
