// What the command line takes from the system it runs on: the file-system services set up from its
// options, the paths it shows, its arguments, its console and Ctrl-C. One source file per system
// implements it (host_posix.cpp, host_win32.cpp); everything else of the command line is the same on both.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace korvane {

// The command line's text is UTF-8 on every system: its arguments, its output and the paths it shows.
struct HostOptions {
  // --home: the program directory, where snapshots and statistics files go.
  std::optional<std::string> home;
};

// The help texts that tell this system's defaults.
extern const char* const kHomeHelp;
extern const char* const kDrivesHelp;

// The system's file-system services as the options and the system's own settings choose them.
class HostFiles {
 public:
  explicit HostFiles(const HostOptions& options);
  ~HostFiles();
  HostFiles(const HostFiles&) = delete;
  HostFiles& operator=(const HostFiles&) = delete;

  FileSystemServices& services();
  // The path that names a core path on this system, as a user types it; nothing for a drive that is not
  // there.
  std::optional<std::string> UserPath(std::string_view corePath) const;

 private:
  struct Services;
  std::unique_ptr<Services> services_;
};

// The arguments of main as UTF-8, the program's name first.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Makes std::cout and std::cerr carry the command line's UTF-8 text to the user: before any output.
void SetUpConsole();

// Whether progress goes to a terminal, where "\r" and "\x1b[K" rewrite the line in place.
bool ProgressOnTerminal();

// From CatchInterrupt until ReleaseInterrupt, the first Ctrl-C only marks the process interrupted (which
// Interrupted() then tells, from any thread); a second one ends the process as usual.
void CatchInterrupt();
void ReleaseInterrupt();
bool Interrupted();

}  // namespace korvane
