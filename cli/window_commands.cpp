// The commands that drive the program's window as a user would.
#include "cli/window_commands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <thread>

#include "cli/program_session.h"
#include "cli/stored_file.h"
#include "platform/file_io.h"
#include "platform/text_encoding.h"

namespace korvane {
namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;
constexpr int kInterrupted = 130;
constexpr int kStatisticsEntry = 11;

std::string Utf8(std::string_view gbk) { return Gb18030ToUtf8(gbk).text; }
std::string Gbk(std::string_view utf8) { return Utf8ToGb18030(utf8).text; }

// While it lives, the first Ctrl-C runs the action once (from a thread of its own, not from the system's
// handler); a second one ends the process as usual.
class InterruptWatch {
 public:
  explicit InterruptWatch(std::function<void()> action) {
    CatchInterrupt();
    watcher_ = std::thread([this, action = std::move(action)] {
      while (!done_) {
        if (Interrupted()) {
          action();
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
  }
  ~InterruptWatch() {
    done_ = true;
    watcher_.join();
    ReleaseInterrupt();
  }
  bool interrupted() const { return Interrupted(); }

 private:
  std::atomic<bool> done_{false};
  std::thread watcher_;
};

// Progress on stderr: rewritten in place on a terminal, one line each elsewhere.
class ProgressPrinter {
 public:
  explicit ProgressPrinter(ProgramSession& session) : terminal_(ProgressOnTerminal()) {
    // One write a line: stderr is unbuffered, and a scan writes a line per directory.
    session.WatchMessages([terminal = terminal_](const std::string& text) {
      std::string line = terminal ? "\r" : "";
      line += Utf8(text);
      line += terminal ? "\x1b[K" : "\n";
      std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
    });
  }
  ~ProgressPrinter() {
    if (terminal_) std::cerr << "\n";
  }

 private:
  bool terminal_;
};

// Opens the window and chooses the drive; false (with a message) when there is no such drive.
bool OpenOnDrive(ProgramSession& session, const std::optional<std::string>& drive) {
  session.Open();
  if (!drive || session.SelectDrive(*drive)) return true;
  std::cerr << "korvane: there is no drive " << *drive << " (korvane drives lists them)\n";
  return false;
}

// The list as tab-separated lines: ID, 层级, 路径, then 目录容量 and 比对增量 in bytes or as texts with units.
void PrintRows(ProgramSession& session, bool units) {
  std::cout << Utf8("ID\t层级\t路径\t目录容量\t比对增量") << "\n";
  for (const auto& cells : session.window().ListRows()) {
    std::cout << cells[0] << "\t" << cells[1] << "\t" << Utf8(cells[2]) << "\t" << cells[units ? 4 : 3] << "\t"
              << cells[units ? 6 : 5] << "\n";
  }
}

// The same rows in the statistics file's form: GBK, every field quoted, CR LF between lines.
bool WriteCsv(ProgramSession& session, bool units, const std::string& path) {
  auto line = [](std::initializer_list<std::string_view> fields) {
    std::string text;
    for (const std::string_view field : fields) text += (text.empty() ? "\"" : ",\"") + std::string(field) + "\"";
    return text;
  };
  std::string csv = line({"ID", "层级", "路径", "目录容量", "比对增量"});
  for (const auto& cells : session.window().ListRows()) {
    csv += "\r\n" + line({cells[0], cells[1], cells[2], cells[units ? 4 : 3], cells[units ? 6 : 5]});
  }
  const FileResult written = WriteWholeFileReplacing(path, csv);
  if (!written.ok) std::cerr << "korvane: " << written.problem << "\n";
  return written.ok;
}

// Why the reference of a run that ended without a scan holds nothing, in the user's words.
std::string EmptyReferenceReason(ProgramSession& session, const ComparisonRequest& request) {
  if (request.builtIn) {
    return "built-in snapshot " + std::to_string(*request.builtIn) + " holds no snapshot data in this program";
  }
  // As the program names it; the file system finds it whatever the letter case.
  const std::string name = session.window().GetText(Control::外部参照) + "." + session.state().selectedDrive;
  const std::string path = session.ProgramFilePath(name);
  const Bytes contents = session.ReadProgramFile(name);
  if (contents.empty()) return path + " is missing, empty or cannot be read";
  return path + " " + DecodeStoredFile(contents).problem;
}

// Chooses the reference the request names; false with a message when there is none such.
bool ChooseReference(ProgramSession& session, const ComparisonRequest& request) {
  if (request.builtIn) {
    if (*request.builtIn < 0 || *request.builtIn > kStatisticsEntry) {
      std::cerr << "korvane: built-in snapshots are numbered 0 to 10\n";
      return false;
    }
    session.Choose(Control::内部参照, *request.builtIn);
    return true;
  }
  const std::vector<std::string> entries = session.PrivateSnapshots();
  const std::string drive = AsciiLower(session.state().selectedDrive);
  std::string wanted = AsciiLower(Gbk(*request.privateSnapshot));
  if (wanted.ends_with("." + drive)) wanted.resize(wanted.size() - 2);
  const auto found = wanted == "latest" ? entries.begin() : std::find(entries.begin(), entries.end(), wanted);
  if (found == entries.end()) {
    std::cerr << "korvane: drive " << session.state().selectedDrive << " has no private snapshot "
              << *request.privateSnapshot << " (korvane snapshots lists them)\n";
    return false;
  }
  session.Choose(Control::外部参照, static_cast<int>(found - entries.begin()));
  return true;
}

// Types the limit, chooses the unit and the size display, runs the comparison (or statistics run)
// with Ctrl-C as the stop click, and sorts as asked. Returns the exit status of the run itself.
int RunAndReport(ProgramSession& session, const ComparisonRequest& request) {
  HeadlessToolkit& window = session.window();
  window.TypeText(Control::限制框, Gbk(request.minimum));
  if (request.unit) {
    static const std::vector<std::string> kUnits{"b", "kb", "mb", "gb", "tb"};
    const auto unit = std::find(kUnits.begin(), kUnits.end(), AsciiLower(*request.unit));
    if (unit == kUnits.end()) {
      std::cerr << "korvane: the unit is one of B, KB, MB, GB and TB\n";
      return kUsage;
    }
    session.Choose(Control::单位框, static_cast<int>(unit - kUnits.begin()));
  }
  if (request.units) {
    window.Click(Control::表单位框);
    window.RunPending();
  }
  bool interrupted = false;
  {
    ProgressPrinter progress(session);
    InterruptWatch watch([&window] { window.Click(Control::比对按钮); });
    session.Run(Control::比对按钮);
    interrupted = watch.interrupted();
  }
  for (const int column : request.sortColumns) {
    window.ClickHeader(column);
    window.RunPending();
  }
  PrintRows(session, request.units);
  if (request.csvPath && !WriteCsv(session, request.units, *request.csvPath)) return kFailure;
  if (interrupted) return kInterrupted;
  if (session.state().reference.isEmpty()) {
    std::cerr << "korvane: the reference could not be loaded: " << EmptyReferenceReason(session, request) << "\n";
    return kFailure;
  }
  return 0;
}

}  // namespace

int Drives(const HostOptions& options) {
  ProgramSession session(options);
  session.Open();
  for (const std::string& drive : session.Drives()) {
    session.SelectDrive(drive);
    std::cout << drive << "\t" << session.NativeRoot(drive) << "\t" << Utf8(session.Message()) << "\n";
  }
  return 0;
}

int Snapshot(const HostOptions& options, const std::optional<std::string>& drive) {
  ProgramSession session(options);
  if (!OpenOnDrive(session, drive)) return kUsage;
  bool interrupted = false;
  {
    ProgressPrinter progress(session);
    // No stop click stops a save: Ctrl-C stops the walk as closing the window does.
    InterruptWatch watch([&session] { session.state().stopRequested = true; });
    session.Run(Control::快照按钮);
    interrupted = watch.interrupted();
  }
  if (interrupted) {
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

int Snapshots(const HostOptions& options, const std::optional<std::string>& drive) {
  ProgramSession session(options);
  if (!OpenOnDrive(session, drive)) return kUsage;
  for (const std::string& entry : session.PrivateSnapshots()) std::cout << Utf8(entry) << "\n";
  return 0;
}

int Compare(const HostOptions& options, const ComparisonRequest& request) {
  ProgramSession session(options);
  if (!OpenOnDrive(session, request.drive)) return kUsage;
  if (!ChooseReference(session, request)) return kFailure;
  return RunAndReport(session, request);
}

int Statistics(const HostOptions& options, const ComparisonRequest& request) {
  ProgramSession session(options);
  if (!OpenOnDrive(session, request.drive)) return kUsage;
  session.Choose(Control::内部参照, kStatisticsEntry);
  const int status = RunAndReport(session, request);
  if (!session.state().statisticsFileName.empty()) {
    std::cerr << "korvane: wrote " << session.ProgramFilePath(session.state().statisticsFileName) << "\n";
  }
  return status;
}

}  // namespace korvane
