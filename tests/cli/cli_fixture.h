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

}  // namespace korvane
