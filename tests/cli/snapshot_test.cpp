// korvane drives and korvane snapshot on real directory trees: the records and their order, the names
// whose GBK bytes look like separators, links and other filesystems, a stop by Ctrl-C; and the window's
// single-instance guards on the real services.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "app/main_controller.h"
#include "app/main_form.h"
#include "platform/headless/headless_toolkit.h"
#include "platform/posix/posix_file_system.h"
#include "platform/text_encoding.h"
#include "snapshot/chunk_cipher.h"
#include "tests/cli/cli_fixture.h"

extern char** environ;

namespace korvane {
namespace {

// The snapshot lines below the root that a walk of root gives, as UTF-8: each directory's children
// (dot names and links passed over) as one block, then each child's own blocks, in listing order.
std::string ExpectedLines(const fs::path& root) {
  std::function<int64_t(const fs::path&)> sizeBelow = [&](const fs::path& directory) {
    int64_t total = 0;
    for (const auto& entry : fs::directory_iterator(directory)) {
      if (entry.is_symlink()) continue;
      if (entry.is_directory()) {
        total += sizeBelow(entry.path());
      } else if (entry.is_regular_file()) {
        total += static_cast<int64_t>(entry.file_size());
      }
    }
    return total;
  };
  // Listed as Windows lists them: by UTF-16 units, ASCII letters as capitals.
  auto subdirectories = [](const fs::path& directory) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(directory)) {
      if (entry.is_directory() && !entry.is_symlink()) found.push_back(entry.path());
    }
    const auto key = [](const fs::path& path) {
      std::u16string name = path.filename().u16string();
      for (char16_t& unit : name) unit = unit >= u'a' && unit <= u'z' ? unit - u'a' + u'A' : unit;
      return name;
    };
    std::sort(found.begin(), found.end(), [&](const fs::path& a, const fs::path& b) { return key(a) < key(b); });
    return found;
  };
  std::string lines;
  std::function<void(const fs::path&, const std::string&)> emit = [&](const fs::path& directory,
                                                                      const std::string& path) {
    std::vector<std::pair<fs::path, std::string>> block;
    for (const fs::path& child : subdirectories(directory)) {
      const std::string name = child.filename().string();
      if (name[0] == '.') continue;
      block.emplace_back(child, path + name + "\\");
      lines += path + name + "\\|" + std::to_string(sizeBelow(child)) + "\r\n";
    }
    for (const auto& [child, childPath] : block) {
      if (!subdirectories(child).empty()) emit(child, childPath);
    }
  };
  emit(root, "T:\\");
  return lines;
}

using Snapshot = TreeTest;

TEST_F(Snapshot, RecordsARealTreeInWalkOrder) {
  // In GBK, 乗 and 亅 end in the bytes "\" and "|".
  MakeFile(tree_ / U("中文") / U("乗") / U("亅") / "data.bin", 10'000'000);
  MakeFile(tree_ / U("中文") / "readme.txt", 12);
  MakeFile(tree_ / "a b" / ".git" / "objects" / "pack", 4096);
  MakeFile(tree_ / "a b" / "c" / "d", 1);
  fs::create_directories(tree_ / "empty" / "also empty");
  fs::path deep = tree_ / "deep";
  for (int level = 0; level < 40; ++level) deep /= "level" + std::to_string(level);
  MakeFile(deep / "bottom", 77);
  fs::create_directory_symlink(tree_ / U("中文"), tree_ / "link to dir");
  fs::create_symlink(tree_ / U("中文") / "readme.txt", tree_ / "a b" / "link to file");
  MakeFile(tree_ / "top.txt", 5);
  // Listed as capitals: "ALPHA" < "BETA" < "_X", though in bytes "Beta" < "_x" < "alpha".
  for (const char* name : {"alpha", "Beta", "_x"}) fs::create_directory(tree_ / name);

  const Outcome saved = SaveSnapshot();
  ASSERT_EQ(saved.status, 0) << saved.err;
  const auto files = Snapshots();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(saved.out, files[0].string() + "\n");
  EXPECT_TRUE(files[0].string().ends_with(".t"));
  EXPECT_NE(saved.err.find(U("快照文件(")), std::string::npos);

  const Outcome decoded = Run("decode '" + files[0].string() + "'");
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  const std::string expected = ExpectedLines(tree_);
  EXPECT_TRUE(decoded.out.starts_with("T:\\|")) << decoded.out.substr(0, 40);
  EXPECT_EQ(decoded.out.substr(decoded.out.find("\r\n") + 2), expected);
  // The record count in the name equals the number of lines.
  const auto lines = std::count(decoded.out.begin(), decoded.out.end(), '\n');
  EXPECT_NE(files[0].filename().string().find("_" + std::to_string(lines) + "_"), std::string::npos);
  EXPECT_NE(expected.find(U("T:\\中文\\乗\\亅\\|10000000\r\n")), std::string::npos) << expected;
  EXPECT_NE(expected.find("T:\\empty\\also empty\\|0\r\n"), std::string::npos);
  EXPECT_EQ(expected.find("link"), std::string::npos);
  EXPECT_EQ(expected.find(".git"), std::string::npos);
}

TEST_F(Snapshot, DoesNotCrossIntoAnotherFilesystem) {
  MakeFile(tree_ / "local" / "f", 3);
  fs::create_directories(tree_ / "mounted");
  if (mount("korvane-test", (tree_ / "mounted").c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here";
  }
  MakeFile(tree_ / "mounted" / "inside" / "f", 1000);
  const Outcome saved = SaveSnapshot();
  umount((tree_ / "mounted").c_str());
  ASSERT_EQ(saved.status, 0) << saved.err;
  const std::string text = Run("decode '" + Snapshots().at(0).string() + "'").out;
  EXPECT_NE(text.find("T:\\local\\|3\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("mounted"), std::string::npos) << text;
}

TEST_F(Snapshot, ListsTheDrivesWithTheirInformationLine) {
  const Outcome listed = Run("drives", Environment());
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_TRUE(listed.out.starts_with("T\t" + tree_.string())) << listed.out;
  EXPECT_NE(listed.out.find(U("\t 磁盘：T  文件系统：")), std::string::npos) << listed.out;
}

TEST_F(Snapshot, ReportsAFailedWrite) {
  MakeFile(tree_ / "a" / "f", 1);
  const Outcome saved = Run("--home " + (dir_ / "missing").string() + " snapshot --drive T", Environment());
  EXPECT_EQ(saved.status, 1);
  EXPECT_EQ(saved.out, "");
  EXPECT_NE(saved.err.find(U(" 输出失败，请勿将程序置于系统盘")), std::string::npos) << saved.err;
}

TEST_F(Snapshot, RefusesADriveThatIsNotThere) {
  const Outcome saved = Run("--home " + home_.string() + " snapshot --drive Q", Environment());
  EXPECT_EQ(saved.status, 2);
  EXPECT_NE(saved.err.find("no drive Q"), std::string::npos);
  EXPECT_TRUE(Snapshots().empty());
}

TEST_F(Snapshot, CtrlCStopsTheWalkAndWritesNothing) {
  for (int i = 0; i < 5000; ++i) fs::create_directories(tree_ / ("d" + std::to_string(i)) / "x");
  const Outcome interrupted = RunInterrupted({"snapshot"});
  EXPECT_EQ(interrupted.status, 130);
  EXPECT_NE(interrupted.err.find("interrupted; no snapshot written"), std::string::npos);
  EXPECT_TRUE(Snapshots().empty());
}

TEST_F(Snapshot, CommandsRunSideBySide) {
  // The command line takes no single-instance guard: a running copy of the program does not stop it.
  setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  PosixFileSystem running;
  ASSERT_FALSE(running.NamedMutexExists(kPassPhrase));
  const Outcome listed = Run("drives", Environment());
  EXPECT_EQ(listed.status, 0);
  EXPECT_NE(listed.out, "");
}

// The window on the real Linux services: the process names of /proc and the lock file.
struct LinuxWindow {
  PosixFileSystem files;
  HeadlessToolkit toolkit{MainWindowForm()};
  ProgramState state;
  MainController controller{{toolkit, files, state}};
  LinuxWindow() {
    toolkit.SetEventHandler([this](const Event& event) { controller.HandleEvent(event); });
    toolkit.Open();
  }
};

TEST_F(Snapshot, TheWindowEndsASecondCopyOnLinux) {
  setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  const std::string self = fs::read_symlink("/proc/self/exe").filename().string();
  const auto names = PosixFileSystem().ProcessNames();
  if (std::count(names.begin(), names.end(), self) > 1) GTEST_SKIP() << "another " << self << " runs: it would end every window";
  {
    LinuxWindow first;
    ASSERT_FALSE(first.toolkit.exitCode());
    LinuxWindow second;
    EXPECT_EQ(second.toolkit.exitCode(), 0);
    EXPECT_EQ(second.toolkit.ComboCount(Control::盘符框), 0);
    EXPECT_FALSE(first.toolkit.exitCode());
  }
  // The lock went with the first window; a process of this program's file name ends a new one.
  const fs::path namesake = dir_ / fs::read_symlink("/proc/self/exe").filename();
  fs::copy_file("/bin/sleep", namesake);
  pid_t sleeper = 0;
  std::vector<char*> argv{const_cast<char*>(namesake.c_str()), const_cast<char*>("30"), nullptr};
  ASSERT_EQ(posix_spawn(&sleeper, namesake.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  usleep(100'000);
  LinuxWindow blocked;
  kill(sleeper, SIGKILL);
  waitpid(sleeper, nullptr, 0);
  EXPECT_EQ(blocked.toolkit.exitCode(), 0);
  LinuxWindow alone;
  EXPECT_FALSE(alone.toolkit.exitCode());
}

}  // namespace
}  // namespace korvane
