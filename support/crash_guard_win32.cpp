// The crash guard on Windows: the unhandled-exception filter, stack walks, modules and their export tables, the report's message box.
//
// One unhandled-exception filter sees the faults of every thread that no handler took, whichever way the
// build unwinds (table-based on x86_64, frame-based and DWARF on i686). A vectored handler watches for a
// fault inside a report, which becomes the severe error. x86_64 walks the stack by the unwind tables
// (frames without frame pointers included); i686 follows the saved frame pointers. Every call here exists
// on Windows XP.
#include "support/crash_guard_platform.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/services/wide_text.h"

namespace korvane::guard {
namespace {

LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

// GCC's runtime raises C++ throws and unwinds as exceptions with 'GCC' in their code; the runtime's own
// filter continues them, so they are none of ours.
bool IsGccCode(DWORD code) { return (code & 0x20FFFFFF) == 0x20474343; }

bool IsSerious(DWORD code) { return (code & 0xC0000000) == 0xC0000000 || code == EXCEPTION_BREAKPOINT; }

ProcessorContext ContextOf(const CONTEXT& context) {
#if defined(_M_X64) || defined(__x86_64__)
  return {static_cast<uintptr_t>(context.Rip), static_cast<uintptr_t>(context.Rbp), static_cast<uintptr_t>(context.Rsp),
          &context};
#else
  return {static_cast<uintptr_t>(context.Eip), static_cast<uintptr_t>(context.Ebp), static_cast<uintptr_t>(context.Esp),
          &context};
#endif
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD& raw = *info->ExceptionRecord;
  if (!IsGccCode(raw.ExceptionCode)) {
    uintptr_t parameters[EXCEPTION_MAXIMUM_PARAMETERS];
    const size_t count = std::min<size_t>(raw.NumberParameters, EXCEPTION_MAXIMUM_PARAMETERS);
    std::copy_n(raw.ExceptionInformation, count, parameters);
    const ExceptionRecord record{raw.ExceptionCode, reinterpret_cast<uintptr_t>(raw.ExceptionAddress), {parameters, count}};
    CrashGuard::onException(record, ContextOf(*info->ContextRecord));  // returns only to pass the fault on
  }
  return previousFilter ? previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI OnAnyException(EXCEPTION_POINTERS* info) {
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  if (IsSerious(code) && !IsGccCode(code) && CrashGuard::reporting()) CrashGuard::onSevereError();
  return EXCEPTION_CONTINUE_SEARCH;
}

const IMAGE_NT_HEADERS* HeadersOf(uintptr_t base) {
  IMAGE_DOS_HEADER dos;
  if (!ReadMemory(base, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  const uintptr_t headers = base + static_cast<uintptr_t>(dos.e_lfanew);
  IMAGE_NT_HEADERS nt;
  if (!ReadMemory(headers, &nt, sizeof nt) || nt.Signature != IMAGE_NT_SIGNATURE) return nullptr;
  return reinterpret_cast<const IMAGE_NT_HEADERS*>(headers);
}

struct OwnerSearch {
  const char* windowClass;
  HWND found = nullptr;
};

BOOL CALLBACK VisitThreadWindow(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<OwnerSearch*>(data);
  char name[256];
  if (GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, search.windowClass) == 0) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

void* AllocatePages(size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE); }

void FreePages(void* pages, size_t) { VirtualFree(pages, 0, MEM_RELEASE); }

uint32_t ProcessId() { return GetCurrentProcessId(); }

bool ReadEnvironment(const char* name, std::span<char> value) {
  const DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
  return length > 0 && length < value.size();
}

void WriteEnvironment(const char* name, const char* value) { SetEnvironmentVariableA(name, value); }

bool AllocateThreadSlot(uintptr_t& slot) {
  const DWORD index = TlsAlloc();
  if (index == TLS_OUT_OF_INDEXES) return false;
  slot = index;
  return true;
}

void* ThreadSlotValue(uintptr_t slot) {
  const DWORD error = GetLastError();  // TlsGetValue clears it, and the faulting code may want it
  void* value = TlsGetValue(static_cast<DWORD>(slot));
  SetLastError(error);
  return value;
}

void SetThreadSlotValue(uintptr_t slot, void* value) { TlsSetValue(static_cast<DWORD>(slot), value); }

// Every page of the range committed and readable; the copy then cannot fault.
bool ReadMemory(uintptr_t address, void* into, size_t bytes) {
  for (uintptr_t at = address; at < address + bytes;) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) != sizeof region) return false;
    if (region.State != MEM_COMMIT || (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 || region.Protect == 0) {
      return false;
    }
    at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
  }
  std::memcpy(into, reinterpret_cast<const void*>(address), bytes);
  return true;
}

// The module is the image mapping that holds the address; the heap serves the name's conversion, as the
// message box that follows needs it anyway.
bool FindModule(uintptr_t address, ModuleInfo& module) {
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) != sizeof region) return false;
  if (region.State != MEM_COMMIT || region.Type != MEM_IMAGE) return false;
  const auto base = reinterpret_cast<uintptr_t>(region.AllocationBase);
  const IMAGE_NT_HEADERS* headers = HeadersOf(base);
  if (!headers) return false;
  module.base = base;
  module.size = headers->OptionalHeader.SizeOfImage;
  if (!module.contains(address)) return false;
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(reinterpret_cast<HMODULE>(base), path, MAX_PATH);
  std::wstring_view name(path, length < MAX_PATH ? length : 0);
  if (const size_t separator = name.find_last_of(L"\\/"); separator != std::wstring_view::npos) name.remove_prefix(separator + 1);
  module.setName(win32::FromWide(name));
  return true;
}

uintptr_t MainModuleBase() { return reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)); }

bool NearestExport(const ModuleInfo& module, uintptr_t address, ExportInfo& function) {
  const IMAGE_NT_HEADERS* headers = HeadersOf(module.base);
  if (!headers) return false;
  const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (directory.VirtualAddress == 0 || directory.Size == 0) return false;
  const uintptr_t base = module.base;
  const auto& exports = *reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  const auto* functions = reinterpret_cast<const DWORD*>(base + exports.AddressOfFunctions);
  bool found = false;
  DWORD best = 0;
  for (DWORD i = 0; i < exports.NumberOfFunctions; ++i) {
    const DWORD rva = functions[i];
    // An address inside the export directory forwards to another module's function.
    if (rva == 0 || (rva >= directory.VirtualAddress && rva - directory.VirtualAddress < directory.Size)) continue;
    const uintptr_t at = base + rva;
    if (at <= address && (!found || at > base + functions[best])) {
      best = i;
      found = true;
    }
  }
  if (!found) return false;
  function = ExportInfo{};
  function.address = base + functions[best];
  const auto* names = reinterpret_cast<const DWORD*>(base + exports.AddressOfNames);
  const auto* ordinals = reinterpret_cast<const WORD*>(base + exports.AddressOfNameOrdinals);
  for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
    if (ordinals[i] == best) {
      function.setName(reinterpret_cast<const char*>(base + names[i]));
      break;
    }
  }
  return true;
}

#if defined(_M_X64) || defined(__x86_64__)

namespace {

// Steps the context out to its caller's frame by the unwind tables; a function without an entry is a
// leaf whose return address is on top of the stack.
size_t Unwind(CONTEXT context, std::span<StackFrame> frames) {
  size_t count = 0;
  while (count < frames.size()) {
    const DWORD64 stack = context.Rsp;
    DWORD64 imageBase = 0;
    if (PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr)) {
      void* handlerData = nullptr;
      DWORD64 establisher = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, entry, &context, &handlerData, &establisher, nullptr);
    } else {
      DWORD64 returnAddress = 0;
      if (!ReadMemory(context.Rsp, &returnAddress, sizeof returnAddress)) break;
      context.Rip = returnAddress;
      context.Rsp += sizeof returnAddress;
    }
    if (context.Rip == 0 || context.Rsp <= stack) break;
    frames[count++] = StackFrame{static_cast<uintptr_t>(context.Rsp), static_cast<uintptr_t>(context.Rip)};
  }
  return count;
}

}  // namespace

size_t WalkFromContext(const ProcessorContext& processor, std::span<StackFrame> frames) {
  return Unwind(*static_cast<const CONTEXT*>(processor.native), frames);
}

[[gnu::noinline]] size_t WalkFromHere(std::span<StackFrame> frames) {
  CONTEXT context{};
  RtlCaptureContext(&context);
  return Unwind(context, frames);
}

#else

namespace {

bool IsCode(uintptr_t address) {
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) != sizeof region) return false;
  return region.State == MEM_COMMIT &&
         (region.Protect & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// The chain of saved frame pointers, as long as each frame can be read and lies further out.
size_t FollowFramePointers(uintptr_t frame, std::span<StackFrame> frames) {
  size_t count = 0;
  while (count < frames.size()) {
    uintptr_t saved[2];
    if (!ReadMemory(frame, saved, sizeof saved)) break;
    if (IsCode(saved[1])) frames[count++] = StackFrame{frame, saved[1]};
    if (saved[0] <= frame) break;
    frame = saved[0];
  }
  return count;
}

}  // namespace

size_t WalkFromContext(const ProcessorContext& processor, std::span<StackFrame> frames) {
  return FollowFramePointers(processor.frame, frames);
}

[[gnu::noinline]] size_t WalkFromHere(std::span<StackFrame> frames) {
  return FollowFramePointers(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)), frames);
}

#endif

void InstallCatcher() {
  previousFilter = SetUnhandledExceptionFilter(OnUnhandledException);
  AddVectoredExceptionHandler(1, OnAnyException);
}

void ShowReport(std::string_view report, const GuardOptions& options) {
  OwnerSearch search{options.ownerWindowClass};
  EnumThreadWindows(GetCurrentThreadId(), VisitThreadWindow, reinterpret_cast<LPARAM>(&search));
  MessageBoxW(search.found, win32::ToWide(report).c_str(), win32::ToWide(kReportCaption).c_str(), MB_OK | MB_ICONERROR);
}

void ShowSevereError() {
  MessageBoxW(nullptr, win32::ToWide(kSevereErrorText).c_str(), L"", MB_OK | MB_ICONERROR);
}

// The main thread is the one that started at the program's entry point.
bool IsMainThread() {
  using Query = LONG(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
  constexpr ULONG kThreadStartAddress = 9;  // ThreadQuerySetWin32StartAddress
  const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  void* start = nullptr;
  const IMAGE_NT_HEADERS* headers = HeadersOf(MainModuleBase());
  if (!query || !headers || query(GetCurrentThread(), kThreadStartAddress, &start, sizeof start, nullptr) != 0) {
    return true;  // unknown: ending the whole process is the safe side
  }
  return reinterpret_cast<uintptr_t>(start) == MainModuleBase() + headers->OptionalHeader.AddressOfEntryPoint;
}

void EndProcess(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

void EndThread(int exitCode) { ExitThread(static_cast<DWORD>(exitCode)); }

}  // namespace korvane::guard
