// The crash guard's registries: one per process, found through the environment, and one per thread, found through a thread-local slot.
//
// Every copy of the guard in a process (one per module that links it) finds the same registries, so the
// first copy installs and the others reuse. The registries live outside the heap and take no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/crash_guard.h"
#include "support/crash_guard_text.h"

namespace korvane {

// A list of (text key, value) pairs of fixed capacity.
class GuardRegistry {
 public:
  // The value of the first pair with exactly this key; 0 when there is none.
  uintptr_t read(std::string_view key) const;
  // Replaces the value of an existing key or appends a pair; false when the key is too long or the list
  // is full.
  bool write(std::string_view key, uintptr_t value);

 private:
  struct Entry {
    char key[64];
    size_t keySize;
    uintptr_t value;
  };
  Entry entries_[32];
  size_t count_ = 0;
};

// Keys of the process registry.
inline constexpr std::string_view kOptionsKey = "_SEH.AppGlobalOption";
inline constexpr std::string_view kInstalledKeyPrefix = "_SEH.EntryCatchInstall_";
inline constexpr std::string_view kThreadRegistrySlotKey = "__threadStrMap";
inline constexpr std::string_view kCallStackSlotKey = "_dbg.g_threadCallStack_tls";
// Keys of a thread registry.
inline constexpr std::string_view kThreadContextKey = "_SEH.m_threadContext";
inline constexpr std::string_view kExceptionCopyKey = "_SEH.m_tryList";
inline constexpr std::string_view kReportingKey = "_SEH.m_reporting";

// The environment variable that holds the process registry's address in decimal.
std::string ProcessRegistryVariable(uint32_t processId);

// The process's registry; whoever finds the variable empty creates it. Null only when no memory is left.
GuardRegistry* ProcessRegistry();
// The current thread's registry, created when create is set; null when there is none.
GuardRegistry* ThreadRegistry(bool create);

// The thread's last report: the error text and the call-stack text, set together, and the report text
// composed from them.
struct ThreadContext {
  char errorStorage[4096];
  char callStackStorage[16384];
  char reportStorage[20480];
  GuardText errorText{errorStorage};
  GuardText callStackText{callStackStorage};
  GuardText reportText{reportStorage};
};
// The current thread's context, created when create is set.
ThreadContext* CurrentThreadContext(bool create);

// The current thread's stack of start-routine entries.
struct ThreadCallStack {
  CallStackEntry entries[16];
  size_t count = 0;
};
ThreadCallStack* CurrentCallStack(bool create);

// A copy of the thread's last fault.
struct ExceptionCopy {
  uint32_t code;
  uintptr_t address;
  uintptr_t parameters[15];
  size_t parameterCount;
  uintptr_t instruction, frame, stack;
};
ExceptionCopy* CurrentExceptionCopy(bool create);

// Releases the current thread's context, fault copy, call stack and registry.
void DiscardThreadState();

// The process's options, copied whole between full fences; created with the defaults when missing.
GuardOptions LoadOptions();
void StoreOptions(const GuardOptions& options);

}  // namespace korvane
