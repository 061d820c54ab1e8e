// korvane: the command line. drives and snapshot drive the program's window as a user would; decode
// prints a stored snapshot or settings file as UTF-8 text; encode turns such a text back into it.
#include <CLI/CLI.hpp>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/program_session.h"
#include "cli/stored_file.h"
#include "platform/file_io.h"
#include "platform/text_encoding.h"
#include "snapshot/scan_table.h"

namespace {

using namespace korvane;

constexpr int kFailure = 1;
constexpr int kUsage = 2;
constexpr int kInterrupted = 130;

std::string Utf8(std::string_view gbk) { return Gb18030ToUtf8(gbk).text; }

int Drives(const PosixFileSystemOptions& options) {
  ProgramSession session(options);
  session.Open();
  for (const std::string& drive : session.Drives()) {
    session.SelectDrive(drive);
    std::cout << drive << "\t" << session.NativeRoot(drive) << "\t" << Utf8(session.Message()) << "\n";
  }
  return 0;
}

// Ctrl-C asks the walk to stop; a second one ends the process at once.
std::atomic<bool>* gStopFlag = nullptr;
volatile sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
  gInterrupted = 1;
  if (gStopFlag) gStopFlag->store(true);
}

int Snapshot(const PosixFileSystemOptions& options, const std::optional<std::string>& drive) {
  ProgramSession session(options);
  session.Open();
  if (drive && !session.SelectDrive(*drive)) {
    std::cerr << "korvane: there is no drive " << *drive << " (korvane drives lists them)\n";
    return kUsage;
  }
  // Progress goes to stderr: rewritten in place on a terminal, one line each elsewhere.
  const bool terminal = isatty(STDERR_FILENO);
  session.WatchMessages([terminal](const std::string& text) {
    std::cerr << (terminal ? "\r" : "") << Utf8(text) << (terminal ? "\x1b[K" : "\n") << std::flush;
  });
  gStopFlag = &session.StopFlag();
  struct sigaction interrupt {};
  interrupt.sa_handler = OnInterrupt;
  interrupt.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &interrupt, nullptr);
  session.SaveSnapshot();
  signal(SIGINT, SIG_DFL);
  gStopFlag = nullptr;
  if (terminal) std::cerr << "\n";

  if (gInterrupted) {
    std::cerr << "korvane: interrupted; no snapshot written\n";
    return kInterrupted;
  }
  const std::string message = session.Message();
  constexpr std::string_view kWritten = " 快照文件(";
  const size_t end = message.rfind(")输出完毕");
  // The failure message has been shown with the progress.
  if (!message.starts_with(kWritten) || end == std::string::npos) return kFailure;
  std::cout << session.ProgramFilePath(message.substr(kWritten.size(), end - kWritten.size())) << "\n";
  return 0;
}

int Decode(const std::string& path) {
  std::string problem;
  const auto contents = ReadWholeFile(path, &problem);
  if (!contents) {
    std::cerr << "korvane: " << problem << "\n";
    return kFailure;
  }
  const DecodedFile decoded = DecodeStoredFile(*contents);
  if (decoded.form == StoredFileForm::unreadable) {
    std::cerr << "korvane: " << path << " " << decoded.problem << "\n";
    return kFailure;
  }
  if (decoded.form == StoredFileForm::plainText) {
    std::cerr << "korvane: " << path << " is a plain snapshot text, not enciphered; printed as it is\n";
  }
  const Utf8Conversion utf8 = Gb18030ToUtf8(decoded.text);
  std::cout.write(utf8.text.data(), static_cast<std::streamsize>(utf8.text.size()));
  std::cout.flush();
  if (utf8.replaced > 0) {
    std::cerr << "korvane: " << utf8.replaced << " bytes of " << path
              << " are no GB18030 character and are shown as U+FFFD\n";
  }
  return std::cout ? 0 : kFailure;
}

// Lines ending in a bare LF (as an editor may save them) end in CR LF again; a UTF-8 byte-order mark
// goes, since it would become part of the first path.
std::string WithCrLf(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::string result;
  result.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result.push_back('\r');
    result.push_back(text[i]);
  }
  return result;
}

int Encode(const std::string& textPath, const std::string& outputPath) {
  std::string problem;
  const auto contents = ReadWholeFile(textPath, &problem);
  if (!contents) {
    std::cerr << "korvane: " << problem << "\n";
    return kFailure;
  }
  const std::string text = WithCrLf(*contents);
  const Gb18030Conversion gb18030 = Utf8ToGb18030(text);
  if (gb18030.invalidAt) {
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(*gb18030.invalidAt), '\n');
    std::cerr << "korvane: " << textPath << ", line " << line << ": not UTF-8 text\n";
    return kFailure;
  }
  if (gb18030.text.empty()) {
    std::cerr << "korvane: " << textPath << " is empty; there is nothing to encode\n";
    return kFailure;
  }
  if (!ParseSnapshotText(gb18030.text)) {
    std::cerr << "korvane: note: " << textPath << " is no well-formed snapshot text (\"C:\\path\\|size\" lines); "
              << "encoded as it is\n";
  }
  const FileResult written = WriteWholeFileReplacing(outputPath, EncodeStoredFile(gb18030.text));
  if (!written.ok) {
    std::cerr << "korvane: " << written.problem << "\n";
    return kFailure;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Korvane: where did the space on my disk go?"};
  app.require_subcommand(1);
  PosixFileSystemOptions options = OptionsFromEnvironment();
  std::string home;
  app.add_option("--home", home, "the program directory, where snapshots are written (default: KORVANE_HOME, "
                                 "else the directory of this program)");

  CLI::App* drives = app.add_subcommand(
      "drives", "List the drives (KORVANE_DRIVES=\"C=/;D=/srv\" maps letters to directories) with their information");
  std::optional<std::string> drive;
  CLI::App* snapshot = app.add_subcommand(
      "snapshot", "Scan a drive and save a snapshot of it in the program directory; prints the file's path");
  snapshot->add_option("--drive", drive, "the drive letter (default: the first drive)");

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

  CLI11_PARSE(app, argc, argv);
  if (!home.empty()) options.home = home;
  if (*drives) return Drives(options);
  if (*snapshot) return Snapshot(options, drive);
  if (*decode) return Decode(decodePath);
  return Encode(textPath, outputPath);
}
