// korvane-cli.exe on a directory tree that wine's mount manager maps as a drive: the drive list, a
// snapshot and its records, a comparison after the tree grew, decode and encode on Chinese paths, Ctrl-C,
// and Chinese on the console.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/services/wide_text.h"
#include "snapshot/chunk_cipher.h"
#include "snapshot/gz_container.h"
#include "tests/win32/services/temp_tree.h"

namespace korvane {
namespace {

using testing::TempTree;
using win32::WideToUtf8;

std::string U(const std::wstring& text) { return WideToUtf8(text); }

void* WineExport(const char* name) { return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)); }

// The program's Windows path: the build names it by its host path.
std::wstring ProgramPath() {
  using DosName = wchar_t*(CDECL*)(const char*);
  const auto dosName = reinterpret_cast<DosName>(WineExport("wine_get_dos_file_name"));
  wchar_t* name = dosName ? dosName(KORVANE_CLI) : nullptr;
  if (!name) return win32::Utf8ToWide(KORVANE_CLI);
  std::wstring path = name;
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

// A drive letter for a directory, defined through wine's mount manager as winecfg does, and gone again
// with this object. Its request is wine's own (ddk/mountmgr.h with WINE_MOUNTMGR_EXTENSIONS).
class WineDrive {
 public:
  explicit WineDrive(const std::wstring& directory) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(WineExport("wine_get_unix_file_name"));
    char* host = unixName ? unixName(directory.c_str()) : nullptr;
    if (!host) return;
    const DWORD taken = GetLogicalDrives();
    for (wchar_t letter = L'T'; letter <= L'Y' && !letter_; ++letter) {
      if (!(taken & (1u << (letter - L'A'))) && Define(letter, host)) letter_ = letter;
    }
    HeapFree(GetProcessHeap(), 0, host);
  }
  ~WineDrive() {
    if (letter_) Define(letter_, nullptr);
  }
  WineDrive(const WineDrive&) = delete;
  WineDrive& operator=(const WineDrive&) = delete;

  wchar_t letter() const { return letter_; }  // 0 when none could be defined

 private:
  struct UnixDrive {
    ULONG size;
    ULONG type;
    ULONG fileSystem;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
  };

  // Maps the letter to the host directory; without one, removes it.
  static bool Define(wchar_t letter, const char* hostDirectory) {
    const HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return false;
    std::string request(sizeof(UnixDrive), '\0');
    UnixDrive drive{};
    drive.letter = static_cast<WCHAR>(towlower(letter));
    drive.type = hostDirectory ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
    if (hostDirectory) {
      drive.mountPointOffset = sizeof(UnixDrive);
      request.append(hostDirectory).push_back('\0');
    }
    drive.size = static_cast<ULONG>(request.size());
    request.replace(0, sizeof drive, reinterpret_cast<const char*>(&drive), sizeof drive);
    DWORD returned = 0;
    const BOOL done = DeviceIoControl(manager, CTL_CODE(0x6D /* 'm' */, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS),
                                      request.data(), drive.size, nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return done;
  }

  wchar_t letter_ = 0;
};

struct Outcome {
  DWORD status = 0;
  std::string out, err;
};

void Write(const std::wstring& path, const std::string& bytes) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadAll(HANDLE file) {
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

// A scratch tree: drive\ is the mapped drive, home\ the program directory.
class CliExe : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.Directory(L"drive");
    tree_.Directory(L"home");
    if (!drive_.letter()) GTEST_SKIP() << "no drive letter can be defined (not under wine?)";
    letter_ = std::wstring(1, drive_.letter());
  }

  std::wstring Home() const { return tree_ / L"home"; }

  // Runs the program with the arguments; stdout and stderr go to files, as when redirected.
  Outcome Run(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    auto open = [&](const wchar_t* name) {
      return CreateFileW((tree_ / name).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    };
    const HANDLE out = open(L"stdout");
    const HANDLE err = open(L"stderr");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    Outcome outcome{static_cast<DWORD>(-1), {}, {}};
    if (Start(arguments, startup, 0)) {
      WaitForSingleObject(process_, INFINITE);
      GetExitCodeProcess(process_, &outcome.status);
      CloseHandle(process_);
    }
    for (auto [file, text] : {std::pair{out, &outcome.out}, std::pair{err, &outcome.err}}) {
      SetFilePointer(file, 0, nullptr, FILE_BEGIN);
      *text = ReadAll(file);
      CloseHandle(file);
    }
    return outcome;
  }

  // Runs the program on a new console of this process and gives the console's screen; nothing where the
  // console has no screen (wine without a display).
  std::optional<std::wstring> RunOnConsole(const std::wstring& arguments) {
    FreeConsole();
    AllocConsole();
    // A Chinese Windows' console, on which UTF-8 bytes would show as other characters.
    SetConsoleOutputCP(936);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::optional<std::wstring> screen;
    if (Start(arguments, startup, 0)) {
      WaitForSingleObject(process_, INFINITE);
      CloseHandle(process_);
      const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
      CONSOLE_SCREEN_BUFFER_INFO info{};
      if (GetConsoleScreenBufferInfo(console, &info)) {
        screen.emplace(static_cast<size_t>(info.dwSize.X) * (info.dwCursorPosition.Y + 1), L' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(console, screen->data(), static_cast<DWORD>(screen->size()), COORD{0, 0}, &read);
        screen->resize(read);
      }
    }
    FreeConsole();
    AttachConsole(ATTACH_PARENT_PROCESS);
    return screen;
  }

  // Starts the program on a console of its own and presses Ctrl-C there once its progress has begun. The
  // pipe that takes its stderr is left unread until then, which holds it back until the key is in.
  Outcome RunInterrupted(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    CreatePipe(&reader, &writer, &inherited, 0);
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer;
    startup.hStdError = writer;
    Outcome outcome{static_cast<DWORD>(-1), {}, {}};
    const bool started = Start(arguments, startup, CREATE_NEW_CONSOLE);
    CloseHandle(writer);
    char first = 0;
    DWORD got = 0;
    if (started && ReadFile(reader, &first, 1, &got, nullptr) && got == 1) {
      // Ctrl-C reaches every process of a console, so this one joins the program's and ignores it there.
      FreeConsole();
      if (AttachConsole(GetProcessId(process_))) {
        SetConsoleCtrlHandler(nullptr, TRUE);
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        FreeConsole();
        SetConsoleCtrlHandler(nullptr, FALSE);
      }
      AttachConsole(ATTACH_PARENT_PROCESS);
      outcome.err = first + ReadAll(reader);
    }
    CloseHandle(reader);
    if (started) {
      WaitForSingleObject(process_, INFINITE);
      GetExitCodeProcess(process_, &outcome.status);
      CloseHandle(process_);
    }
    return outcome;
  }

  // The files in the program directory.
  std::vector<std::wstring> HomeFiles() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((Home() + L"\\*").c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &entry)) {
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return names;
  }

  TempTree tree_;
  WineDrive drive_{tree_ / L"drive"};
  std::wstring letter_;
  HANDLE process_ = nullptr;

 private:
  bool Start(const std::wstring& arguments, STARTUPINFOW& startup, DWORD flags) {
    std::wstring command = L"\"" + ProgramPath() + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &process)) {
      ADD_FAILURE() << "cannot start " << U(command) << ": error " << GetLastError();
      return false;
    }
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    return true;
  }
};

TEST_F(CliExe, ListsWinesDrivesWithTheMappedOne) {
  const Outcome listed = Run(L"drives");
  ASSERT_EQ(listed.status, 0u) << listed.err;
  EXPECT_NE(listed.out.find("C\tC:\\\t"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(U(letter_ + L"\t" + letter_ + L":\\\t 磁盘：" + letter_ + L"  文件系统：")), std::string::npos)
      << listed.out;
}

TEST_F(CliExe, SnapshotRecordsTheTreeAndCompareListsWhatGrew) {
  // In GBK, 乗 and 亅 end in the bytes "\" and "|".
  tree_.File(L"drive\\中文\\乗\\亅\\data.bin", 10'000'000);
  tree_.File(L"drive\\中文\\readme.txt", 12);
  tree_.File(L"drive\\a b\\c\\d", 1);
  tree_.Directory(L"drive\\empty\\also empty");
  const std::wstring options = L"--home \"" + Home() + L"\" ";
  const Outcome saved = Run(options + L"snapshot --drive " + letter_);
  ASSERT_EQ(saved.status, 0u) << saved.err;
  const std::vector<std::wstring> files = HomeFiles();
  ASSERT_EQ(files.size(), 1u);
  const std::wstring file = Home() + L"\\" + files[0];
  EXPECT_EQ(saved.out, U(file) + "\n");
  EXPECT_NE(saved.err.find(U(L"快照文件(")), std::string::npos) << saved.err;

  const Outcome decoded = Run(L"decode \"" + file + L"\"");
  ASSERT_EQ(decoded.status, 0u) << decoded.err;
  const std::string root = U(letter_ + L":\\");
  EXPECT_TRUE(decoded.out.starts_with(root + "|")) << decoded.out;
  for (const wchar_t* record : {L"中文\\|10000012", L"中文\\乗\\|10000000", L"中文\\乗\\亅\\|10000000",
                                     L"a b\\|1", L"a b\\c\\|1", L"empty\\|0", L"empty\\also empty\\|0"}) {
    EXPECT_NE(decoded.out.find("\r\n" + root + U(record) + "\r\n"), std::string::npos) << U(record) << "\n" << decoded.out;
  }
  // The record count in the name equals the number of lines.
  const auto lines = std::count(decoded.out.begin(), decoded.out.end(), '\n');
  EXPECT_NE(files[0].find(L"_" + std::to_wstring(lines) + L"_"), std::wstring::npos) << U(files[0]);

  tree_.File(L"drive\\中文\\new", 3'000'000);
  tree_.File(L"drive\\fresh\\inner\\f", 500'000);
  const Outcome compared = Run(options + L"compare --drive " + letter_ + L" --private latest --min 0");
  ASSERT_EQ(compared.status, 0u) << compared.err;
  EXPECT_TRUE(compared.out.starts_with(U(L"ID\t层级\t路径\t目录容量\t比对增量\n"))) << compared.out;
  for (const std::wstring row : {L"\t1\t中文\\\t13000012\t3000000\n", L"\t1\tfresh\\\t500000\t500000\n",
                                  L"\t2\tfresh\\inner\\\t500000\t500000\n"}) {
    const std::wstring::size_type path = row.find(L'\t', 1) + 1;
    const std::string expected = U(row.substr(0, path)) + root + U(row.substr(path));
    EXPECT_NE(compared.out.find(expected), std::string::npos) << expected << "\n" << compared.out;
  }
  // Nothing else grew; the root's row (the whole volume's growth) may come or not.
  const auto rows = std::count(compared.out.begin(), compared.out.end(), '\n') - 1;
  EXPECT_EQ(rows - (compared.out.find("\t" + root + "\t") != std::string::npos), 3) << compared.out;
}

TEST_F(CliExe, EncodesAndDecodesOnChinesePathsAndSaysWhyNot) {
  const std::wstring directory = tree_ / L"目录";
  tree_.Directory(L"目录");
  tree_.Directory(L"目录\\taken");
  Write(directory + L"\\文本.txt", U(L"C:\\|5\nC:\\中文\\|2\n"));
  Write(directory + L"\\latin1.txt", "C:\\|1\r\nC:\\a\\|2\r\nC:\\caf\xE9\\|3\r\n");
  Write(directory + L"\\odd.c", ChunkCipher::encipher(GzContainer::pack("C:\\\xFF\\|1\r\n"), kPassPhrase, ChunkCipher::kRc4));

  struct Case {
    std::wstring arguments;
    DWORD status;
    std::string out;
    const char* err;  // a part of stderr
  };
  const std::wstring in = L"\"" + directory + L"\\文本.txt\" ";
  const std::wstring stored = L"\"" + directory + L"\\快照.c\"";
  const Case cases[] = {
      {L"encode " + in + stored, 0, "", ""},
      {L"decode " + stored, 0, U(L"C:\\|5\r\nC:\\中文\\|2\r\n"), ""},
      {L"decode \"" + directory + L"\\没有.c\"", 1, "", "cannot open"},
      {L"encode " + in + L"\"" + directory + L"\\taken\"", 1, "", "cannot replace"},
      {L"encode \"" + directory + L"\\latin1.txt\" " + stored, 1, "", "line 3: not UTF-8"},
      {L"decode \"" + directory + L"\\odd.c\"", 0, "C:\\\xEF\xBF\xBD\\|1\r\n", "U+FFFD"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Run(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << U(c.arguments) << ": " << outcome.err;
    EXPECT_EQ(outcome.out, c.out) << U(c.arguments);
    EXPECT_NE(outcome.err.find(c.err), std::string::npos) << U(c.arguments) << ": " << outcome.err;
  }
  // The failed write left no temporary file beside its target.
  WIN32_FIND_DATAW entry{};
  const HANDLE search = FindFirstFileW((directory + L"\\*.tmp").c_str(), &entry);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << U(entry.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST_F(CliExe, CtrlCStopsTheSnapshotAndWritesNothing) {
  for (int i = 0; i < 1000; ++i) tree_.Directory(L"drive\\d" + std::to_wstring(i) + L"\\x");
  const Outcome interrupted = RunInterrupted(L"--home \"" + Home() + L"\" snapshot --drive " + letter_);
  EXPECT_EQ(interrupted.status, 130u);
  EXPECT_NE(interrupted.err.find("interrupted; no snapshot written"), std::string::npos)
      << interrupted.err.substr(interrupted.err.size() > 200 ? interrupted.err.size() - 200 : 0);
  EXPECT_TRUE(HomeFiles().empty());
}

TEST_F(CliExe, TheConsoleShowsChineseAndProgressInPlace) {
  tree_.File(L"drive\\中文\\a\\f", 5);
  const auto screen = RunOnConsole(L"--home \"" + Home() + L"\" snapshot --drive " + letter_);
  if (!screen) GTEST_SKIP() << "the console has no screen here (no X display)";
  EXPECT_NE(screen->find(L" 快照文件("), std::wstring::npos) << U(*screen);
  // The progress line was rewritten in place: the earlier messages are gone, and no escape is shown.
  EXPECT_EQ(screen->find(L"尚未完成"), std::wstring::npos) << U(*screen);
  EXPECT_EQ(screen->find(L"[K"), std::wstring::npos) << U(*screen);
  EXPECT_EQ(HomeFiles().size(), 1u);
}

}  // namespace
}  // namespace korvane
