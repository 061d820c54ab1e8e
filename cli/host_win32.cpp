// The command line on Windows: the Win32 services with the program directory beside the .exe, UTF-16
// arguments, a console written in UTF-16, and the console's control handler for Ctrl-C.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <streambuf>

#include "cli/host.h"
#include "platform/text_encoding.h"
#include "platform/win32/services/wide_text.h"
#include "platform/win32/services/win32_file_system.h"

namespace korvane {

const char* const kHomeHelp =
    "the program directory, where snapshots and statistics files are written (default: the directory of this "
    "program)";
const char* const kDrivesHelp = "List the drives with their information";

struct HostFiles::Services {
  Win32FileSystem files;
};

namespace {

Win32FileSystemOptions FileSystemOptions(const HostOptions& host) {
  Win32FileSystemOptions options;
  if (host.home) options.home = win32::FromWide(win32::Utf8ToWide(*host.home));
  return options;
}

}  // namespace

HostFiles::HostFiles(const HostOptions& options) : services_(new Services{Win32FileSystem(FileSystemOptions(options))}) {}

HostFiles::~HostFiles() = default;

FileSystemServices& HostFiles::services() { return services_->files; }

// A core path is a Windows path already.
std::optional<std::string> HostFiles::UserPath(std::string_view corePath) const { return Gb18030ToUtf8(corePath).text; }

// The 8-bit argv holds the arguments in the ANSI code page, which loses every character it lacks.
std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(win32::WideToUtf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

namespace {

constexpr std::string_view kEraseLine = "\x1b[K";

// Writes the command line's UTF-8 text to a console as UTF-16, so that the console shows every character
// whatever its code page. "\x1b[K" erases the rest of the line, as on a terminal, also on the consoles
// before Windows 10, which take no escape sequences.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      const char character = traits_type::to_char_type(c);
      Add(std::string_view(&character, 1));
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    Add(std::string_view(text, static_cast<size_t>(count)));
    return count;
  }
  int sync() override {
    Flush();
    return 0;
  }

 private:
  void Add(std::string_view text) {
    pending_.append(text);
    if (pending_.size() >= 65536) Flush();
  }

  // Writes what is pending but for a character or an escape sequence whose last bytes are yet to come.
  void Flush() {
    size_t complete = pending_.size();
    for (size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
      const auto byte = static_cast<unsigned char>(pending_[pending_.size() - back]);
      if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
      const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      if (length > back) complete -= back;
      break;
    }
    for (size_t start = 1; start < kEraseLine.size() && start <= complete; ++start) {
      if (std::string_view(pending_).substr(complete - start, start) == kEraseLine.substr(0, start)) {
        complete -= start;
        break;
      }
    }
    std::string_view text(pending_.data(), complete);
    for (size_t at; (at = text.find(kEraseLine)) != std::string_view::npos; text.remove_prefix(at + kEraseLine.size())) {
      Write(text.substr(0, at));
      EraseLine();
    }
    Write(text);
    pending_.erase(0, complete);
  }

  void Write(std::string_view utf8) {
    const std::wstring wide = win32::Utf8ToWide(utf8);
    // Older consoles refuse long writes; a surrogate pair stays in one piece.
    for (size_t at = 0; at < wide.size();) {
      size_t piece = std::min<size_t>(wide.size() - at, 8192);
      if (piece < wide.size() - at && IS_HIGH_SURROGATE(wide[at + piece - 1])) --piece;
      DWORD written = 0;
      if (!WriteConsoleW(console_, wide.data() + at, static_cast<DWORD>(piece), &written, nullptr)) return;
      at += piece;
    }
  }

  void EraseLine() {
    CONSOLE_SCREEN_BUFFER_INFO screen{};
    if (!GetConsoleScreenBufferInfo(console_, &screen)) return;
    DWORD erased = 0;
    FillConsoleOutputCharacterW(console_, L' ', static_cast<DWORD>(screen.dwSize.X - screen.dwCursorPosition.X),
                                screen.dwCursorPosition, &erased);
  }

  HANDLE console_;
  std::string pending_;
};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

std::atomic<bool> gInterrupted{false};

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The first one is taken; a second goes on to the system's handler, which ends the process.
  return !gInterrupted.exchange(true);
}

}  // namespace

// A file or a pipe takes the UTF-8 bytes as they are, without the C runtime's CR before each LF, so that
// redirected output is the same as on Linux.
void SetUpConsole() {
  struct Stream {
    std::FILE* file;
    DWORD handle;
    std::ostream& stream;
  };
  for (const Stream& stream : {Stream{stdout, STD_OUTPUT_HANDLE, std::cout}, Stream{stderr, STD_ERROR_HANDLE, std::cerr}}) {
    _setmode(_fileno(stream.file), _O_BINARY);
    const HANDLE handle = GetStdHandle(stream.handle);
    // Never freed: the runtime flushes the streams after every static object is gone.
    if (IsConsole(handle)) stream.stream.rdbuf(new ConsoleBuffer(handle));
  }
}

bool ProgressOnTerminal() { return IsConsole(GetStdHandle(STD_ERROR_HANDLE)); }

void CatchInterrupt() { SetConsoleCtrlHandler(OnControl, TRUE); }

void ReleaseInterrupt() { SetConsoleCtrlHandler(OnControl, FALSE); }

bool Interrupted() { return gInterrupted; }

}  // namespace korvane
