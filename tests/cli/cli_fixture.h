// A scratch directory per test and a way to run the korvane command in it.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/text_encoding.h"

namespace korvane {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("korvane-cli-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(PathOf(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream file(PathOf(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  // Runs korvane with the arguments, after environment assignments ("KORVANE_DRIVES=... ").
  Outcome Run(const std::string& arguments, const std::string& environment = "") const {
    const std::string command = environment + " " + std::string(KORVANE_BINARY) + " " + arguments + " >" +
                                PathOf("stdout") + " 2>" + PathOf("stderr");
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read("stdout"), Read("stderr")};
  }

  fs::path dir_;
};

// Literals here are GBK, as everywhere in the program; names on disk and the command's output are UTF-8.
inline std::string U(const std::string& gbk) { return Gb18030ToUtf8(gbk).text; }

inline void MakeFile(const fs::path& path, uintmax_t size) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).close();
  fs::resize_file(path, size);  // sparse: the logical size counts
}

// A directory tree that drive T stands for, and a program directory.
class TreeTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    tree_ = dir_ / "tree";
    home_ = dir_ / "home";
    fs::create_directories(tree_);
    fs::create_directories(home_);
  }
  std::string Environment() const { return "KORVANE_DRIVES='T=" + tree_.string() + "' XDG_RUNTIME_DIR=" + dir_.string(); }
  // Runs a command with --home and the drive map.
  Outcome RunOnTree(const std::string& arguments) const { return Run("--home " + home_.string() + " " + arguments, Environment()); }
  Outcome SaveSnapshot() const { return RunOnTree("snapshot --drive T"); }

  // Runs a command on the tree and presses Ctrl-C once its progress has begun. The pipe that takes its
  // stderr is left unread until then, which holds the command back until the signal is in.
  Outcome RunInterrupted(std::vector<std::string> arguments) const {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, PathOf("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    arguments.insert(arguments.begin(), {KORVANE_BINARY, "--home", home_.string()});
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::string drives = "KORVANE_DRIVES=T=" + tree_.string();
    std::string runtime = "XDG_RUNTIME_DIR=" + dir_.string();
    std::vector<char*> envp{drives.data(), runtime.data(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, KORVANE_BINARY, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    Outcome outcome;
    char first;
    if (spawned == 0 && read(pipeEnds[0], &first, 1) == 1) {
      kill(child, SIGINT);
      outcome.err.assign(1, first);
      char buffer[65536];
      for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) outcome.err.append(buffer, static_cast<size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    if (spawned == 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    outcome.out = Read("stdout");
    return outcome;
  }
  std::vector<fs::path> Snapshots() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(home_)) files.push_back(entry.path());
    return files;
  }

  fs::path tree_, home_;
};

}  // namespace korvane
