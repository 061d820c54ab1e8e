// A scratch directory per test and a way to run the korvane command in it.
#pragma once

#include <gtest/gtest.h>

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
  std::vector<fs::path> Snapshots() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(home_)) files.push_back(entry.path());
    return files;
  }

  fs::path tree_, home_;
};

}  // namespace korvane
