// What the crash guard asks of the operating system: one implementation per platform (crash_guard_win32.cpp, crash_guard_posix.cpp).
//
// Everything here may run while a thread is going down after a fault, the heap perhaps broken. The Linux
// side, inside a signal handler, keeps off the heap; the Windows side shows a message box, which takes
// the heap anyway, and so uses it for texts too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "support/crash_guard.h"
#include "support/crash_guard_text.h"

namespace korvane::guard {

// Zero-filled memory outside the heap.
void* AllocatePages(size_t bytes);
void FreePages(void* pages, size_t bytes);

uint32_t ProcessId();
// The variable's value into value (NUL-terminated); false when it is unset, empty or too long.
bool ReadEnvironment(const char* name, std::span<char> value);
// Called only when the process registry is created.
void WriteEnvironment(const char* name, const char* value);

// A thread-local slot, allocated once per process.
bool AllocateThreadSlot(uintptr_t& slot);
void* ThreadSlotValue(uintptr_t slot);
void SetThreadSlotValue(uintptr_t slot, void* value);

// Copies bytes from the process's own memory; false when any of them cannot be read.
bool ReadMemory(uintptr_t address, void* into, size_t bytes);
// The loaded module that holds the address.
bool FindModule(uintptr_t address, ModuleInfo& module);
uintptr_t MainModuleBase();
// The exported function of the module with the largest address not above address.
bool NearestExport(const ModuleInfo& module, uintptr_t address, ExportInfo& function);

// One frame of a stack walk: the frame's address and the address it returns to.
struct StackFrame {
  uintptr_t frame = 0;
  uintptr_t returnAddress = 0;
};
// The frames outward from the faulting frame, innermost first; gives how many were filled.
size_t WalkFromContext(const ProcessorContext& context, std::span<StackFrame> frames);
// The frames outward from the caller's frame.
size_t WalkFromHere(std::span<StackFrame> frames);

// Catches the faults of every thread and hands them to CrashGuard::onException; a fault while a report
// is being built goes to CrashGuard::onSevereError.
void InstallCatcher();
// Shows the report under the caption and waits until the user has seen it.
void ShowReport(std::string_view report, const GuardOptions& options);
void ShowSevereError();
bool IsMainThread();
[[noreturn]] void EndProcess(int exitCode);
[[noreturn]] void EndThread(int exitCode);

}  // namespace korvane::guard
