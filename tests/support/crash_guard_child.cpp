// A small program that the crash guard's tests start: it installs the guard and fails in the way its argument names.
//
// On Linux the guard writes the report to stderr itself. On Windows it would show a message box, so the
// program turns that off and writes the report to stderr from the beforeReport routine instead.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "support/crash_guard.h"

#ifdef _WIN32
#include <windows.h>

#include "app/main_form.h"
#include "platform/win32/window/win32_toolkit.h"
#endif

using namespace korvane;

namespace {

void WriteError(std::string_view text) {
#ifdef _WIN32
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
#else
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
#endif
}

GuardSettings TestSettings() {
#ifdef _WIN32
  return {.beforeReport = [] { WriteError(CrashGuard::threadReport()); }, .showMessageBox = 0};
#else
  return {};
#endif
}

// Addresses that the compiler cannot see through, so that it emits the access instead of a trap.
volatile uintptr_t nullAddress = 0;
volatile uintptr_t lowAddress = 16;

[[gnu::noinline]] int ReadNull() { return *reinterpret_cast<volatile int*>(nullAddress); }

[[gnu::noinline]] void WriteLow() { *reinterpret_cast<volatile int*>(lowAddress) = 1; }

// A fault while the report is being shown: the severe error.
void FaultInReport() { WriteLow(); }

[[gnu::noinline]] int Divide(int dividend) {
  volatile int zero = 0;
  return dividend / zero;  // x86 raises on an integer division by zero
}

[[gnu::noinline]] void Breakpoint() { asm volatile("int3"); }

[[gnu::noinline]] void IllegalInstruction() { __builtin_trap(); }

// A runtime error through the toolkit's error path: on Windows a failed check of the real window (an
// event handler that throws); the headless toolkit has no check that can fail, so on Linux the program
// does what a runtime does: it calls the registered routine and ends with -1.
int RuntimeError() {
#ifdef _WIN32
  Win32Toolkit window(MainWindowForm());
  CrashGuard::configure(TestSettings(), &window);
  window.SetEventHandler([](const Event&) { throw std::runtime_error("测试：事件处理失败"); });
  window.Open();
  return 3;  // not reached: the error path ends the process
#else
  CrashGuard::configure(TestSettings());
  CrashGuard::onRuntimeError(42, "测试：事件处理失败");
  std::_Exit(-1);
#endif
}

// A worker faults while only the faulting thread is to end: the main thread goes on and ends with 7.
int WorkerFault() {
  GuardSettings settings = TestSettings();
  settings.endFaultingThreadOnly = 1;
  CrashGuard::configure(settings);
#ifdef _WIN32
  Win32Toolkit window(MainWindowForm());
  const ThreadHandle worker = window.StartThread([] { ReadNull(); });
  window.JoinThread(worker);
  window.CloseThreadHandle(worker);
#else
  std::thread([] { CrashGuard::guardThread([] { ReadNull(); }); }).join();
#endif
  WriteError("main thread went on\n");
  return 7;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // A fault that is passed on ends the process with its code, without the system's crash dialog.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#endif
  const std::string_view scenario = argc > 1 ? argv[1] : "";
  // A handler that was there before the guard: a fault that the guard passes on reaches it.
  if (scenario == "passed-on") std::signal(SIGSEGV, [](int) { std::_Exit(3); });
  CrashGuard::install();
  CrashGuard::install();  // changes nothing: a guard that passed faults on to itself would never end
  if (scenario == "unarmed" || scenario == "passed-on") return ReadNull();
  if (scenario == "runtime-error") return RuntimeError();
  if (scenario == "worker") return WorkerFault();
  if (scenario == "severe") {
    GuardSettings settings = TestSettings();
    settings.beforeReport = FaultInReport;
    CrashGuard::configure(settings);
    return ReadNull();
  }
  CrashGuard::configure(TestSettings());
  if (scenario == "read-null") return ReadNull();
  if (scenario == "write") WriteLow();
  if (scenario == "divide") return Divide(argc);
  if (scenario == "int3") Breakpoint();
  if (scenario == "illegal") IllegalInstruction();
  return 2;
}
