// korvane (korvane-cli.exe on Windows): the command line. drives, snapshot, snapshots, compare and stats
// drive the program's window as a user would; decode and encode turn stored snapshot and settings files
// into UTF-8 text and back.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "cli/catalog_command.h"
#include "cli/file_commands.h"
#include "cli/host.h"
#include "cli/window_commands.h"
#include "platform/text_encoding.h"
#include "support/crash_guard.h"

using namespace korvane;

int main(int argc, char** argv) {
  SetUpConsole();
  // A fault ends in the crash guard's report on stderr instead of a bare signal. On Windows the guard's
  // message box would stop a scripted run until someone closed it, so the report goes to stderr there too.
  CrashGuard::install();
#ifdef _WIN32
  CrashGuard::configure({.beforeReport = [] {
                           std::cerr << Gb18030ToUtf8("程序异常：\r\n").text
                                     << Gb18030ToUtf8(CrashGuard::threadReport()).text << std::flush;
                         },
                         .showMessageBox = 0});
#else
  CrashGuard::configure({});
#endif
  CLI::App app{"Korvane: where did the space on my disk go?"};
  app.require_subcommand(1);
  HostOptions options;
  std::string home;
  app.add_option("--home", home, kHomeHelp);

  CLI::App* drives = app.add_subcommand("drives", kDrivesHelp);

  std::optional<std::string> drive;
  CLI::App* snapshot = app.add_subcommand(
      "snapshot", "Scan a drive and save a snapshot of it in the program directory; prints the file's path");
  snapshot->add_option("--drive", drive, "the drive letter (default: the first drive)");

  CLI::App* snapshots = app.add_subcommand("snapshots", "List the saved snapshots of a drive, newest first");
  snapshots->add_option("--drive", drive, "the drive letter (default: the first drive)");

  ComparisonRequest request;
  auto addRunOptions = [&](CLI::App* command) {
    command->add_option("--drive", request.drive, "the drive letter (default: the first drive)");
    command->add_option("--min", request.minimum, "the minimum increment (or size), as typed into the window");
    command->add_option("--unit", request.unit, "the unit of --min: B, KB, MB (default), GB or TB");
    command->add_flag("--units", request.units, "show sizes with units instead of bytes");
    command->add_option("--sort", request.sortColumns, "click the header of this column (0 to 6) after the run; repeatable")
        ->check(CLI::Range(0, 6));
    command->add_option("--csv", request.csvPath, "also write the rows to this CSV file (GBK, as the statistics file)");
  };
  CLI::App* compare = app.add_subcommand(
      "compare", "Compare a drive against a reference and list the directories that grew (tab-separated, on stdout)");
  addRunOptions(compare);
  CLI::Option_group* reference = compare->add_option_group("reference", "what to compare against (one of them)");
  reference->add_option("--builtin", request.builtIn, "a built-in snapshot, 0 to 10");
  reference->add_option("--private", request.privateSnapshot, "a saved snapshot of the drive (korvane snapshots), or latest");
  reference->require_option(1);

  CLI::App* stats = app.add_subcommand(
      "stats", "List the drive's directories with their sizes and write the statistics file into the program directory");
  addRunOptions(stats);

  std::string decodePath;
  CLI::App* decode = app.add_subcommand(
      "decode", "Print a snapshot file or CF.ini as UTF-8 text (a plain snapshot text is printed as it is)");
  decode->add_option("FILE", decodePath, "the stored file")->required();

  std::string textPath;
  std::string outputPath;
  CLI::App* encode = app.add_subcommand(
      "encode", "Pack and encipher a UTF-8 text into a snapshot file or CF.ini (lines end in CR LF)");
  encode->add_option("TEXTFILE", textPath, "the UTF-8 text")->required();
  encode->add_option("OUTFILE", outputPath, "the file to write; an existing one is replaced whole")->required();

  std::optional<int> dump;
  CLI::App* catalog = app.add_subcommand("catalog", "List the built-in references with their index, as the window offers them");
  catalog->add_option("--dump", dump, "print the snapshot text of built-in reference N (0 to 10) as UTF-8");

  std::vector<std::string> arguments = CommandLineArguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  CLI11_PARSE(app, static_cast<int>(pointers.size()), pointers.data());
  if (!home.empty()) options.home = home;
  if (*drives) return Drives(options);
  if (*snapshot) return Snapshot(options, drive);
  if (*snapshots) return Snapshots(options, drive);
  if (*compare) return Compare(options, request);
  if (*stats) return Statistics(options, request);
  if (*decode) return Decode(decodePath);
  if (*catalog) return Catalog(dump);
  return Encode(textPath, outputPath);
}
