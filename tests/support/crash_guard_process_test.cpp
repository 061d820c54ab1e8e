// The crash guard in child processes: each fault's report and the process's end, natively and under wine64.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/text_encoding.h"
#endif

namespace korvane {
namespace {

struct Outcome {
  bool exited = false;
  uint32_t exitCode = 0;  // when exited
  int signal = 0;         // Linux: the signal that ended it otherwise
  std::string report;     // stderr, in GBK; on Linux without the caption line
  bool captioned = false;
};

#ifdef _WIN32

constexpr uint32_t kRuntimeErrorExit = 0xFFFFFFFF;
constexpr std::string_view kProgramName = "[korvane_guard_child.exe]";

// The child program lies beside this test program.
std::wstring ChildPath() {
  wchar_t path[MAX_PATH];
  std::wstring own(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return own.substr(0, own.find_last_of(L"\\/") + 1) + L"korvane_guard_child.exe";
}

Outcome RunChild(const std::string& scenario) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return {};
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdError = writeEnd;
  startup.hStdOutput = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  const std::wstring path = ChildPath();
  std::wstring command = L"\"" + path + L"\" " + std::wstring(scenario.begin(), scenario.end());
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  Outcome outcome;
  if (started) {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) outcome.report.append(buffer, read);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    outcome.exited = true;
    outcome.exitCode = code;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  return outcome;
}

#else

constexpr uint32_t kRuntimeErrorExit = 255;
constexpr std::string_view kProgramName = "[korvane_guard_child]";

Outcome RunChild(const std::string& scenario) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  std::string program = KORVANE_GUARD_CHILD;
  std::vector<char*> argv = {program.data(), const_cast<char*>(scenario.c_str()), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  std::string utf8;
  char buffer[4096];
  for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) utf8.append(buffer, static_cast<size_t>(got));
  close(pipeEnds[0]);
  Outcome outcome;
  int status = 0;
  if (spawned != 0 || waitpid(child, &status, 0) != child) return outcome;
  outcome.exited = WIFEXITED(status);
  outcome.exitCode = outcome.exited ? static_cast<uint32_t>(WEXITSTATUS(status)) : 0;
  outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  outcome.report = Utf8ToGb18030(utf8).text;
  // The guard's own stderr report opens with the message box's caption.
  const std::string caption = "程序异常：\r\n";
  if (outcome.report.starts_with(caption)) {
    outcome.captioned = true;
    outcome.report.erase(0, caption.size());
  }
  return outcome;
}

#endif

bool Contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

void ExpectEndedWith(const Outcome& outcome, uint32_t exitCode) {
  EXPECT_TRUE(outcome.exited) << "signal " << outcome.signal << "; stderr: " << outcome.report;
  EXPECT_EQ(outcome.exitCode, exitCode) << outcome.report;
}

// The call stack names the frames in the child program by its module.
void ExpectCallStackThroughTheProgram(const std::string& report) {
  const size_t stack = report.find("CallStack:\r\n");
  ASSERT_NE(stack, std::string::npos) << report;
  EXPECT_TRUE(report.compare(stack + 12, 2, " [") == 0 || report.compare(stack + 12, 3, " 0x") == 0) << report;
  EXPECT_TRUE(Contains(report.substr(stack), kProgramName)) << report;
}

TEST(CrashGuardProcess, ReadingAddressZeroReportsAndEndsWithZero) {
  const Outcome outcome = RunChild("read-null");
  ExpectEndedWith(outcome, 0);
  const std::string& report = outcome.report;
  EXPECT_TRUE(report.starts_with("警告:程序发生错误\r\n错误信息:访问无效内存\r\n         尝试的操作：读取\r\n"
                                 "         目标地址:0x00000000\r\n发生位置:0x"))
      << report;
  EXPECT_TRUE(Contains(report, "\r\n相对地址:" + std::string(kProgramName) + ".0x")) << report;
  EXPECT_TRUE(Contains(report, "\r\n分析位置:0x")) << report;
  EXPECT_FALSE(Contains(report, "错误参数")) << report;
  ExpectCallStackThroughTheProgram(report);
}

TEST(CrashGuardProcess, EachFaultHasItsReport) {
  struct Case {
    const char* scenario;
    std::string lines;
  };
  const std::vector<Case> cases = {
      {"write", "错误信息:访问无效内存\r\n         尝试的操作：写入\r\n         目标地址:0x00000010\r\n"},
      {"divide", "错误信息:非法除0异常\r\n"},
      {"int3", "错误信息:int3调试中断\r\n"},
      {"illegal", "错误信息:非法CPU指令\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    const Outcome outcome = RunChild(c.scenario);
    ExpectEndedWith(outcome, 0);
    EXPECT_TRUE(outcome.report.starts_with("警告:程序发生错误\r\n" + c.lines + "发生位置:0x")) << outcome.report;
    ExpectCallStackThroughTheProgram(outcome.report);
  }
}

TEST(CrashGuardProcess, ARuntimeErrorReportsAndEndsWithMinusOne) {
  const Outcome outcome = RunChild("runtime-error");
  ExpectEndedWith(outcome, kRuntimeErrorExit);
  EXPECT_TRUE(outcome.report.starts_with("运行时出错!\r\n\r\n错误代码："));
#ifdef _WIN32
  EXPECT_TRUE(outcome.report.starts_with("运行时出错!\r\n\r\n错误代码：0\r\n\r\n错误信息：测试：事件处理失败\r\n"))
      << outcome.report;
#else
  EXPECT_TRUE(outcome.report.starts_with("运行时出错!\r\n\r\n错误代码：42\r\n\r\n错误信息：测试：事件处理失败\r\n"))
      << outcome.report;
  EXPECT_TRUE(outcome.captioned);
#endif
  ExpectCallStackThroughTheProgram(outcome.report);
}

// Before the main window arms the guard, a fault goes on to the handler that was there before it (here
// the C runtime's, which calls the program's SIGSEGV handler).
TEST(CrashGuardProcess, AFaultBeforeArmingIsPassedOn) {
  const Outcome outcome = RunChild("passed-on");
  ExpectEndedWith(outcome, 3);
  EXPECT_FALSE(Contains(outcome.report, "警告")) << outcome.report;
}

#ifndef _WIN32
// Otherwise the process dies as it would without the guard: of the signal, or by the address
// sanitizer's report where that was there first. (Under wine the default would start a debugger.)
TEST(CrashGuardProcess, AFaultBeforeArmingEndsTheOrdinaryWay) {
  const Outcome outcome = RunChild("unarmed");
#ifdef __SANITIZE_ADDRESS__
  ExpectEndedWith(outcome, 1);
  EXPECT_TRUE(Contains(outcome.report, "AddressSanitizer: SEGV")) << outcome.report;
#else
  EXPECT_FALSE(outcome.exited);
  EXPECT_EQ(outcome.signal, SIGSEGV);
#endif
  EXPECT_FALSE(Contains(outcome.report, "警告")) << outcome.report;
}
#endif

TEST(CrashGuardProcess, AFaultWhileReportingIsTheSevereError) {
  const Outcome outcome = RunChild("severe");
  ExpectEndedWith(outcome, 0);
#ifndef _WIN32
  EXPECT_EQ(outcome.report, "程序发生严重错误，无法获取异常信息，程序准备关闭\r\n");
#endif
}

TEST(CrashGuardProcess, AWorkerFaultCanEndOnlyTheWorker) {
  const Outcome outcome = RunChild("worker");
  ExpectEndedWith(outcome, 7);
  EXPECT_TRUE(outcome.report.starts_with("警告:程序发生错误\r\n错误信息:访问无效内存\r\n")) << outcome.report;
  EXPECT_TRUE(Contains(outcome.report, "]Veltra-SEH._启动子程序\r\n")) << outcome.report;
  EXPECT_TRUE(Contains(outcome.report, "main thread went on\n")) << outcome.report;
}

}  // namespace
}  // namespace korvane
