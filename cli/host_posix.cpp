// The command line on Linux: the Linux services with KORVANE_DRIVES and KORVANE_HOME, a UTF-8 terminal,
// SIGINT.
#include <signal.h>
#include <unistd.h>

#include "cli/host.h"
#include "platform/posix/posix_file_system.h"

namespace korvane {

const char* const kHomeHelp =
    "the program directory, where snapshots and statistics files are written (default: KORVANE_HOME, else the "
    "directory of this program)";
const char* const kDrivesHelp =
    "List the drives (KORVANE_DRIVES=\"C=/;D=/srv\" maps letters to directories) with their information";

struct HostFiles::Services {
  PosixFileSystem files;
};

namespace {

PosixFileSystemOptions WithHome(PosixFileSystemOptions options, const HostOptions& host) {
  if (host.home) options.home = host.home;
  return options;
}

}  // namespace

HostFiles::HostFiles(const HostOptions& options)
    : services_(new Services{PosixFileSystem(WithHome(OptionsFromEnvironment(), options))}) {}

HostFiles::~HostFiles() = default;

FileSystemServices& HostFiles::services() { return services_->files; }

std::optional<std::string> HostFiles::UserPath(std::string_view corePath) const {
  return services_->files.NativePath(corePath);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

// The terminal takes UTF-8 as it is.
void SetUpConsole() {}

bool ProgressOnTerminal() { return isatty(STDERR_FILENO); }

namespace {

volatile sig_atomic_t gInterrupted = 0;
void OnInterrupt(int) { gInterrupted = 1; }

}  // namespace

void CatchInterrupt() {
  struct sigaction interrupt {};
  interrupt.sa_handler = OnInterrupt;
  interrupt.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &interrupt, nullptr);
}

void ReleaseInterrupt() { signal(SIGINT, SIG_DFL); }

bool Interrupted() { return gInterrupted != 0; }

}  // namespace korvane
