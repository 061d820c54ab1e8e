// The Linux services on real files: drives and paths, listings, whole files, processes, the named mutex,
// the shell and the clock.
#include "platform/posix/posix_file_system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <clocale>
#include <fstream>
#include <sstream>

#include "platform/posix/posix_paths.h"
#include "platform/text_encoding.h"
#include "snapshot/value_format.h"
#include "tests/posix/temp_tree.h"

extern char** environ;

namespace korvane {
namespace {

using posix::DriveTable;
using testing::Names;
using testing::ReaddirOrder;
using testing::TempTree;
using testing::Utf8;
using Strings = std::vector<std::string>;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

// ---- Drives and paths

TEST(DriveMap, ParsesLettersAndDirectories) {
  struct Case {
    const char* text;
    DriveTable drives;
  };
  const Case cases[] = {
      {"C=/;D=/srv/data", {{'C', "/"}, {'D', "/srv/data"}}},
      {"d=/srv/data/;c=/", {{'C', "/"}, {'D', "/srv/data"}}},
      {"E=relative/dir", {{'E', "/work/relative/dir"}}},
      {"C=/a;C=/b", {{'C', "/b"}}},
      {"bad;=x;Q=;1=/x;CD=/y;;F=/f", {{'F', "/f"}}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(posix::ParseDriveMap(c.text, "/work/"), c.drives) << c.text;
}

TEST(DriveMap, GivesRootsInLetterOrderAndTheSystemDriveOfSlash) {
  PosixFileSystemOptions options;
  options.driveMap = "E=/srv;D=/;F=/mnt";
  PosixFileSystem services(options);
  EXPECT_EQ(services.LogicalDriveRoots(), (Strings{"D:\\", "E:\\", "F:\\"}));
  EXPECT_EQ(services.SystemDirectory().front(), 'D');
}

TEST(MountTable, ParsesFieldsAndUndoesEscapes) {
  const auto mounts = posix::ParseMountInfo(
      "28 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
      "40 28 8:17 /sub /mnt/my\\040disk rw master:2 unbindable - vfat /dev/sdb1 rw\n"
      "garbage line\n");
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[0].device, "254:0");
  EXPECT_EQ(mounts[0].type, "ext4");
  EXPECT_EQ(mounts[1].root, "/sub");
  EXPECT_EQ(mounts[1].mountPoint, "/mnt/my disk");
  EXPECT_EQ(mounts[1].type, "vfat");
  EXPECT_EQ(mounts[1].source, "/dev/sdb1");
}

TEST(MountTable, DefaultDrivesAreBlockDevicesInMountOrderEachOnce) {
  TempTree tree;
  for (const char* name : {"data", "backup", "again", "pseudo"}) tree.Directory(name);
  tree.File("hosts", 10);
  std::string text = "1 0 254:0 / / rw - ext4 /dev/vda rw\n";
  text += "2 1 254:0 /etc/x " + (tree / "again") + " rw - ext4 /dev/vda rw\n";    // the root's device again
  text += "3 1 8:1 / " + (tree / "data") + " rw - ext4 /dev/sda1 rw\n";
  text += "4 1 0:40 / " + (tree / "pseudo") + " rw - tmpfs tmpfs rw\n";           // no block device
  text += "5 1 8:1 /sub " + (tree / "backup") + " rw - ext4 /dev/sda1 rw\n";     // sda1 again
  text += "6 1 8:2 / " + (tree / "hosts") + " rw - ext4 /dev/sda2 rw\n";         // a file, as containers bind
  text += "7 1 8:3 / " + (tree / "backup") + " rw - xfs /dev/sdc rw\n";
  const DriveTable expected{{'C', "/"}, {'D', tree / "data"}, {'E', tree / "backup"}};
  EXPECT_EQ(posix::DefaultDrives(posix::ParseMountInfo(text)), expected);
}

TEST(MountTable, TheHoldingMountIsTheLongestLatestMountPoint) {
  const auto mounts = posix::ParseMountInfo(
      "1 0 1:1 / / rw - ext4 /dev/a rw\n"
      "2 1 1:2 / /mnt/a rw - vfat /dev/b rw\n"
      "3 1 1:3 / /mnt/a rw - xfs /dev/c rw\n");
  EXPECT_EQ(posix::MountHolding(mounts, "/mnt/a/x")->type, "xfs");
  EXPECT_EQ(posix::MountHolding(mounts, "/mnt/a")->type, "xfs");
  EXPECT_EQ(posix::MountHolding(mounts, "/mnt/ab")->type, "ext4");
  EXPECT_EQ(posix::MountHolding(mounts, "/")->type, "ext4");
}

// "乗" is 0x81 0x5C and "亅" 0x81 0x7C in GBK: trail bytes that look like "\" and "|".
TEST(Paths, CorePathsBecomeNativeUtf8Paths) {
  PosixFileSystemOptions options;
  options.driveMap = "C=/;D=/srv/data";
  PosixFileSystem services(options);
  struct Case {
    const char* core;
    std::optional<std::string> native;
  };
  const Case cases[] = {
      {"C:\\usr\\lib", "/usr/lib"},
      {"C:\\", "/"},
      {"C:", "/"},
      {"d:\\x\\", "/srv/data/x/"},
      {"D:", "/srv/data/"},
      {"D:\\乗\\亅\\中文", Utf8(u8"/srv/data/乗/亅/中文")},
      {"\\home\\u\\乗", Utf8(u8"/home/u/乗")},
      {"name.ini", "name.ini"},
      {"Q:\\x", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(services.NativePath(c.core), c.native) << c.core;
}

TEST(Paths, NativeNamesHaveACoreFormOnlyWhenTheCoreCanNameThemAgain) {
  EXPECT_EQ(posix::CoreName(Utf8(u8"乗亅中文.txt")), "乗亅中文.txt");
  EXPECT_EQ(posix::CoreName(Utf8(u8"😀")), "\x94\x39\xFC\x36");  // beyond GBK, GB18030 keeps it
  EXPECT_EQ(posix::CoreName("bad\xFF"), std::nullopt);
  EXPECT_EQ(posix::CoreName("a\\b"), std::nullopt);
  EXPECT_EQ(posix::DrivelessCorePath(Utf8(u8"/home/u/乗/")), "\\home\\u\\乗");
  EXPECT_EQ(posix::DrivelessCorePath("/"), "");
}

// ---- Directory walk

class Listing : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char8_t* name : {u8"中文", u8"乗", u8"亅", u8"plain", u8".hidden"}) tree_.Directory(Utf8(name));
    tree_.File("readme.TXT", 5);
    tree_.File(Utf8(u8"数据.txt"), 7);
    tree_.File("other.dat", 3);
    std::filesystem::create_directory_symlink(tree_ / "plain", tree_ / "dirlink");
    std::filesystem::create_symlink(tree_ / "other.dat", tree_ / "filelink");
    mkfifo((tree_ / "pipe").c_str(), 0600);
    // Names that the core could not name again are not listed.
    tree_.Directory("bad\xFF");
    tree_.File("back\\slash", 1);
  }

  // The names readdir gives, those of the kind kept, converted as the core sees them, in the order Windows
  // lists them: by UTF-16 units, ASCII letters as capitals.
  Strings Expected(bool directories) {
    std::vector<std::string> kept;
    for (const std::string& name : ReaddirOrder(tree_.root())) {
      if (posix::CoreName(name) &&
          std::filesystem::is_directory(std::filesystem::symlink_status(tree_ / name)) == directories) {
        kept.push_back(name);
      }
    }
    const auto key = [](const std::string& name) {
      std::u16string units = std::filesystem::path(name).u16string();
      for (char16_t& unit : units) unit = unit >= u'a' && unit <= u'z' ? unit - u'a' + u'A' : unit;
      return units;
    };
    std::sort(kept.begin(), kept.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
    Strings names;
    if (directories) names = {".", ".."};
    for (const std::string& name : kept) names.push_back(*posix::CoreName(name));
    return names;
  }

  TempTree tree_;
  std::unique_ptr<PosixFileSystem> services_ = tree_.Services();
};

TEST_F(Listing, GivesDotsFirstThenDirectoriesInWindowsOrderWithoutLinks) {
  const Strings names = Names(*services_, "T:\\*.*", EntryKind::directories);
  EXPECT_EQ(names, Expected(true));
  for (const char* name : {"中文", "乗", "亅", "plain", ".hidden"}) EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  EXPECT_EQ(std::find(names.begin(), names.end(), "dirlink"), names.end());
}

TEST_F(Listing, GivesFilesLinksAndOtherEntriesInWindowsOrder) {
  const Strings names = Names(*services_, "T:\\*.*", EntryKind::files);
  EXPECT_EQ(names, Expected(false));
  for (const char* name : {"readme.TXT", "数据.txt", "dirlink", "filelink", "pipe"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
}

TEST_F(Listing, MatchesThePatternAndEntersNamesWithTrailBytes) {
  Strings textFiles = Names(*services_, "T:\\*.txt", EntryKind::files);
  std::sort(textFiles.begin(), textFiles.end());
  EXPECT_EQ(textFiles, (Strings{"readme.TXT", "数据.txt"}));
  EXPECT_EQ(Names(*services_, "T:\\ple*", EntryKind::directories), Strings{});

  tree_.File(Utf8(u8"乗/亅/inner.bin"), 11);
  EXPECT_EQ(Names(*services_, "T:\\乗\\*.*", EntryKind::directories), (Strings{".", "..", "亅"}));
  EXPECT_EQ(Names(*services_, "T:\\乗\\亅\\*.*", EntryKind::files), Strings{"inner.bin"});
  EXPECT_EQ(services_->FileSize("T:\\乗\\亅\\inner.bin"), 11);
}

TEST_F(Listing, ADirectoryThatCannotBeOpenedGivesNoNames) {
  EXPECT_EQ(Names(*services_, "T:\\missing\\*.*", EntryKind::directories), Strings{});
  EXPECT_EQ(Names(*services_, "T:\\readme.TXT\\*.*", EntryKind::directories), Strings{});
  EXPECT_EQ(Names(*services_, "Q:\\*.*", EntryKind::files), Strings{});
}

TEST_F(Listing, FileSizeIsTheLogicalSizeOfRegularFilesOnly) {
  const int fd = open((tree_ / "sparse").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(ftruncate(fd, int64_t{5} << 30), 0);
  close(fd);
  struct Case {
    const char* path;
    int64_t size;
  };
  const Case cases[] = {
      {"T:\\readme.TXT", 5}, {"T:\\数据.txt", 7}, {"T:\\sparse", int64_t{5} << 30}, {"T:\\filelink", 0},
      {"T:\\pipe", 0},       {"T:\\plain", 0},    {"T:\\missing", 0},                 {"Q:\\x", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(services_->FileSize(c.path), c.size) << c.path;
}

// ---- Files

TEST(Files, ALastNameIsFoundWithoutRegardToAsciiCase) {
  TempTree tree;
  tree.File("name.c", 1);
  tree.File(Utf8(u8"数据.ini"), 2);
  tree.File(Utf8(u8"sub/乤.dat"), 3);  // GBK 0x81 0x61: its trail byte is a lower-case "a"
  auto services = tree.Services();
  struct Case {
    const char* path;
    int64_t size;  // -1: not found
  };
  const Case cases[] = {
      {"T:\\name.c", 1},        {"T:\\NAME.C", 1},         {"T:\\Name.c", 1},  {"T:\\数据.INI", 2},
      {"T:\\sub\\乤.DAT", 3},   {"T:\\sub\\丄.dat", -1},  // 0x81 0x41 is another character, not "乤" in capitals
      {"T:\\SUB\\乤.dat", -1},  // only the last name is matched so
      {"T:\\missing.c", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(services->FileExists(c.path), c.size >= 0) << c.path;
    EXPECT_EQ(services->ReadWholeFile(c.path), std::string(std::max<int64_t>(c.size, 0), 'x')) << c.path;
  }
}

TEST(Files, WritingReplacesTheWholeFileOrLeavesTheOldOne) {
  TempTree tree;
  auto services = tree.Services();
  ASSERT_TRUE(services->WriteWholeFile("T:\\设置.ini", "first"));
  ASSERT_TRUE(services->WriteWholeFile("T:\\设置.ini", "second"));
  EXPECT_EQ(Slurp(tree / Utf8(u8"设置.ini")), "second");
  EXPECT_FALSE(services->WriteWholeFile("T:\\missing\\x.ini", "x"));
  EXPECT_FALSE(services->WriteWholeFile("Q:\\x.ini", "x"));

  // A file size limit makes the write fail halfway, as a full disk would.
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1000;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool written = services->WriteWholeFile("T:\\设置.ini", std::string(5000, 'y'));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(Slurp(tree / Utf8(u8"设置.ini")), "second");
  EXPECT_EQ(ReaddirOrder(tree.root()), Strings{Utf8(u8"设置.ini")});  // no temporary left beside it
}

TEST(Files, TheProgramDirectoryIsTheHomeOrTheExecutablesOwn) {
  TempTree tree;
  tree.Directory(Utf8(u8"程序"));
  PosixFileSystemOptions options;
  options.home = tree / Utf8(u8"程序/");
  EXPECT_EQ(PosixFileSystem(options).ProgramDirectory(), posix::DrivelessCorePath(tree.root()).value() + "\\程序");

  PosixFileSystem services;
  const std::string executable = std::filesystem::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(services.ExecutableName(), "korvane_posix_tests");
  EXPECT_EQ(services.ProgramDirectory() + "\\" + services.ExecutableName(), posix::DrivelessCorePath(executable));
  EXPECT_TRUE(services.FileExists(services.ProgramDirectory() + "\\" + services.ExecutableName()));
}

// ---- Shell and processes

TEST(Processes, NamesIncludeThisProgramAndDeletedExecutables) {
  TempTree tree;
  std::string copy = tree / Utf8(u8"已删除-sleep");
  std::filesystem::copy_file("/bin/sleep", copy);
  char seconds[] = "30";
  char* arguments[] = {copy.data(), seconds, nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, copy.c_str(), nullptr, nullptr, arguments, environ), 0);
  std::filesystem::remove(copy);

  const Strings names = PosixFileSystem().ProcessNames();
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_NE(std::find(names.begin(), names.end(), "korvane_posix_tests"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "已删除-sleep"), names.end());
}

TEST(NamedMutex, TheFirstHolderMakesOthersSeeIt) {
  TempTree runtime;
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = old ? old : "";
  setenv("XDG_RUNTIME_DIR", runtime.root().c_str(), 1);
  {
    PosixFileSystem first;
    EXPECT_FALSE(first.NamedMutexExists("口令甲"));
    EXPECT_TRUE(PosixFileSystem().NamedMutexExists("口令甲"));
    EXPECT_FALSE(PosixFileSystem().NamedMutexExists("口令乙"));
    EXPECT_EQ(ReaddirOrder(runtime.root()).size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(runtime / "korvane-bfdac1eebcd7.lock"));  // the GBK bytes of "口令甲"
  }
  EXPECT_FALSE(PosixFileSystem().NamedMutexExists("口令甲"));  // released with its holder
  old ? setenv("XDG_RUNTIME_DIR", saved.c_str(), 1) : unsetenv("XDG_RUNTIME_DIR");
}

// A stand-in xdg-open records its argument and then waits on a pipe that the test opens only after the
// call has returned: a call that waited for the opener would never return.
TEST(Shell, HandsNativePathsAndAddressesToTheOpenerWithoutWaiting) {
  TempTree tree;
  tree.Directory(Utf8(u8"文件夹"));
  tree.Directory("bin");
  const std::string release = tree / "release";
  ASSERT_EQ(mkfifo(release.c_str(), 0600), 0);
  {
    std::ofstream script(tree / "bin/xdg-open");
    script << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << (tree / "opened.tmp") << "\"\nmv \"" << (tree / "opened.tmp")
           << "\" \"" << (tree / "opened") << "\"\nread line < \"" << release << "\"\n";
  }
  std::filesystem::permissions(tree / "bin/xdg-open", std::filesystem::perms::owner_all);
  const char* oldPath = std::getenv("PATH");
  const std::string savedPath = oldPath ? oldPath : "";
  setenv("PATH", ((tree / "bin") + ":" + savedPath).c_str(), 1);
  auto services = tree.Services();

  const auto openedWith = [&](auto call) {
    call();
    for (int tries = 0; tries < 500 && !std::filesystem::exists(tree / "opened"); ++tries) usleep(10000);
    std::ofstream(release) << "\n";
    const std::string argument = Slurp(tree / "opened");
    std::filesystem::remove(tree / "opened");
    return argument;
  };
  EXPECT_EQ(openedWith([&] { services->ShellExplore("T:\\文件夹"); }), tree / Utf8(u8"文件夹"));
  EXPECT_EQ(openedWith([&] { services->ShellOpen("https://example.org/帮助"); }), Utf8(u8"https://example.org/帮助"));

  setenv("PATH", (tree / "missing").c_str(), 1);
  services->ShellOpen("https://example.org/");  // no opener: nothing happens
  setenv("PATH", savedPath.c_str(), 1);
}

// ---- Clock and locale

TEST(Clock, LocalNowIsTheLocalTimeAsAnAutomationDate) {
  const auto now = [] {
    const std::time_t seconds = std::time(nullptr);
    std::tm local {};
    localtime_r(&seconds, &local);
    return AutomationDate({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec});
  };
  const double before = now();
  const double reported = PosixFileSystem().LocalNow();
  EXPECT_GE(reported, before);
  EXPECT_LE(reported, now());
}

TEST(Clock, TheLocaleTellsTheHourClock) {
  struct Case {
    const char* locale;
    bool twentyFour;
  };
  for (const Case c : {Case{"C", true}, Case{"de_DE.UTF-8", true}, Case{"en_US.UTF-8", false}}) {
    const std::string old = std::setlocale(LC_TIME, nullptr);
    if (!std::setlocale(LC_TIME, c.locale)) continue;  // not installed here
    EXPECT_EQ(PosixFileSystem().Uses24HourClock(), c.twentyFour) << c.locale;
    std::setlocale(LC_TIME, old.c_str());
  }
}

}  // namespace
}  // namespace korvane
