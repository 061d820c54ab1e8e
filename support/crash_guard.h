// The crash guard: turns a runtime error of the window layer or an unhandled processor fault into a report, then ends the program.
//
// It installs itself at program start and stays passive until the main window arms it with configure.
// Windows catches the faults of every thread with an unhandled-exception filter and shows the report in a
// message box; Linux catches the fatal signals on an alternate stack and writes the report to stderr.
// All state lives in the process and thread registries (crash_guard_registry.h), so that every copy of
// the guard in one process shares it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace korvane {

class WindowToolkit;

// Called before the report is shown; CrashGuard::threadReport gives the report text.
using BeforeReport = void (*)();

// One record per process; configure overwrites it whole.
struct GuardOptions {
  int showMessageBox = 1;
  BeforeReport beforeReport = nullptr;
  // 1: after a fault, end only the faulting thread unless it is the main thread.
  int endFaultingThreadOnly = 0;
  // The window class of the message box's owner, NUL-terminated.
  char ownerWindowClass[128] = "Afx:10000000:b:10011:1900015:0";
  // 1: faults with the code of a compiler-raised throw (0xE06D7363) are passed on untouched.
  int passThrowCode = 1;
  // 1: system frames (ntdll, kernel32, kernelBase) before the first kept call-stack line are dropped.
  int skipSystemFrames = 1;
  int includeCallStack = 1;
  int framesOutermostFirst = 0;
  // The largest distance from an exported name at which a frame is named after it.
  int maxSymbolDistance = 4096;
  // The fault handler acts only when 1.
  int armed = 0;
  int initialised = 1;
};

// What configure changes; a field left empty keeps the current value.
struct GuardSettings {
  std::optional<BeforeReport> beforeReport = std::nullopt;
  std::optional<int> showMessageBox = std::nullopt;
  std::optional<int> endFaultingThreadOnly = std::nullopt;
  // Left out, it counts as true.
  std::optional<bool> registerRuntimeErrorHandler = std::nullopt;
  // Counts only when not empty.
  std::string_view ownerWindowClass = {};
  std::optional<int> passThrowCode = std::nullopt;
  std::optional<int> includeCallStack = std::nullopt;
  std::optional<int> skipSystemFrames = std::nullopt;
  // Counts only when above 0.
  std::optional<int> maxSymbolDistance = std::nullopt;
  std::optional<int> framesOutermostFirst = std::nullopt;
};

// The given settings applied to the options, and the options armed.
GuardOptions ApplySettings(GuardOptions options, const GuardSettings& settings);

// A processor fault as the platform reports it.
struct ExceptionRecord {
  uint32_t code = 0;
  uintptr_t address = 0;
  std::span<const uintptr_t> parameters;
};

// Where the faulting thread stood: the instruction, frame and stack pointers, and the platform's own
// record (CONTEXT, ucontext_t) from which its stack walk starts.
struct ProcessorContext {
  uintptr_t instruction = 0;
  uintptr_t frame = 0;
  uintptr_t stack = 0;
  const void* native = nullptr;
};

class CrashGuard {
 public:
  // At program start, before the main window exists. A second call from the same module does nothing.
  static void install();
  // Applies the settings, arms the guard and, unless asked not to, registers onRuntimeError with the
  // runtime's error path.
  static void configure(const GuardSettings& settings, WindowToolkit* runtime = nullptr);
  // The runtime's error path: reports the error and returns 1; the runtime then ends the process with -1.
  static int onRuntimeError(int code, std::string_view message);
  // The fault handler: returns only when the fault is passed on (the guard is not armed, or the fault is
  // a compiler-raised throw to pass on); otherwise it reports and ends the thread or the process with 0.
  static bool onException(const ExceptionRecord& record, const ProcessorContext& context);

  // Runs a thread's start routine so that the guard follows the thread: its frame is named in call
  // stacks, and the thread's guard state is released when the routine returns.
  static void guardThread(const std::function<void()>& routine);

  // The current thread's last report text (error text, then the call stack); empty before any report.
  static std::string_view threadReport();
  // Whether the current thread is building or showing a report: a fault now is a severe error.
  static bool reporting();
  // A fault while reporting: the severe-error message, then the end as after a fault.
  [[noreturn]] static void onSevereError();
};

}  // namespace korvane
