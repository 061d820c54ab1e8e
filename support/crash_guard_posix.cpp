// The crash guard on Linux: fatal signals on an alternate stack, the unwinder's walk, modules from the loader, the report on stderr.
//
// A signal handler may strictly do only async-signal-safe work. The process is going down, so the
// report path allows itself the loader's look-ups (dl_iterate_phdr, dladdr) and libgcc's unwinder, but no
// heap: memory comes from mmap, texts go into fixed buffers, and the two iconv descriptors (GB18030 to
// UTF-8 for stderr, UTF-8 to GB18030 for module names) are opened at install.
#include "support/crash_guard_platform.h"

#include <dlfcn.h>
#include <iconv.h>
#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include <algorithm>
#include <cerrno>
#include <array>
#include <cstdlib>
#include <cstring>

namespace korvane::guard {
namespace {

constexpr std::array kFatalSignals{SIGSEGV, SIGFPE, SIGILL, SIGBUS, SIGTRAP};
constexpr size_t kAlternateStackSize = 64 * 1024;

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);
iconv_t toUtf8 = kNoConversion;
iconv_t toGb18030 = kNoConversion;
// The main program's file name (GB18030); the loader reports it with an empty name.
char programName[256];
size_t programNameSize = 0;
struct sigaction previousActions[std::size(kFatalSignals)];

// Converts input through the descriptor, handing each full or final buffer to sink. Bytes that do not
// convert are skipped; a character cut off at the end is dropped.
template <typename Sink>
void Convert(iconv_t descriptor, std::string_view input, Sink&& sink) {
  if (descriptor == kNoConversion) return sink(input);
  iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  while (inLeft > 0) {
    char buffer[1024];
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(descriptor, &in, &inLeft, &out, &outLeft);
    const int error = errno;
    sink(std::string_view(buffer, static_cast<size_t>(out - buffer)));
    if (result != static_cast<size_t>(-1) || error == E2BIG) continue;
    if (error != EILSEQ) return;
    ++in;
    --inLeft;
  }
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void SetModuleName(ModuleInfo& module, std::string_view utf8) {
  if (const size_t slash = utf8.rfind('/'); slash != std::string_view::npos) utf8.remove_prefix(slash + 1);
  if (IsAscii(utf8)) return module.setName(utf8);
  char converted[sizeof module.nameBytes];
  size_t size = 0;
  Convert(toGb18030, utf8, [&](std::string_view part) {
    const size_t taken = std::min(part.size(), sizeof converted - size);
    std::copy_n(part.data(), taken, converted + size);
    size += taken;
  });
  module.setName({converted, size});
}

// Writes GB18030 text to stderr as UTF-8.
void WriteToStderr(std::string_view text) {
  Convert(toUtf8, text, [](std::string_view part) {
    while (!part.empty()) {
      const ssize_t written = write(STDERR_FILENO, part.data(), part.size());
      if (written <= 0) return;
      part.remove_prefix(static_cast<size_t>(written));
    }
  });
}

struct ModuleSearch {
  uintptr_t address = 0;
  bool mainOnly = false;
  ModuleInfo* module = nullptr;
  bool found = false;
};

int VisitModule(dl_phdr_info* info, size_t, void* data) {
  auto& search = *static_cast<ModuleSearch*>(data);
  uintptr_t low = UINTPTR_MAX;
  uintptr_t high = 0;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD) continue;
    low = std::min<uintptr_t>(low, info->dlpi_addr + header.p_vaddr);
    high = std::max<uintptr_t>(high, info->dlpi_addr + header.p_vaddr + header.p_memsz);
  }
  if (low > high) return 0;
  const bool isMain = info->dlpi_name == nullptr || info->dlpi_name[0] == '\0';
  if (search.mainOnly ? !isMain : search.address < low || search.address > high) return 0;
  search.module->base = low;
  search.module->size = high - low;
  if (isMain) {
    search.module->setName({programName, programNameSize});
  } else {
    SetModuleName(*search.module, info->dlpi_name);
  }
  search.found = true;
  return 1;
}

struct Walk {
  std::span<StackFrame> frames;
  size_t count = 0;
  // Frames before the start are the walker's own (and, after a fault, the handler's); the start is the
  // frame of the faulting instruction, or the walker's caller.
  bool started = false;
  bool fromFault = false;
  uintptr_t faultInstruction = 0;
  size_t skip = 0;
};

_Unwind_Reason_Code VisitFrame(_Unwind_Context* context, void* data) {
  auto& walk = *static_cast<Walk*>(data);
  int beforeInstruction = 0;
  const uintptr_t address = _Unwind_GetIPInfo(context, &beforeInstruction);
  if (!walk.started) {
    if (walk.fromFault) {
      walk.started = beforeInstruction != 0 && address == walk.faultInstruction;
    } else if (walk.skip-- == 0) {
      walk.started = true;
    } else {
      return _URC_NO_REASON;
    }
    if (walk.fromFault) return _URC_NO_REASON;
  }
  if (address == 0 || walk.count == walk.frames.size()) return _URC_END_OF_STACK;
  walk.frames[walk.count++] = StackFrame{_Unwind_GetCFA(context), address};
  return _URC_NO_REASON;
}

// The chain of saved frame pointers, for code the unwinder cannot step out of.
size_t WalkFramePointers(uintptr_t frame, std::span<StackFrame> frames) {
  size_t count = 0;
  ModuleInfo module;
  while (count < frames.size()) {
    uintptr_t saved[2];
    if (!ReadMemory(frame, saved, sizeof saved) || !FindModule(saved[1], module)) break;
    frames[count++] = StackFrame{frame, saved[1]};
    if (saved[0] <= frame) break;
    frame = saved[0];
  }
  return count;
}

ExceptionRecord RecordOf(int signal, const siginfo_t& info, const ucontext_t& context, ProcessorContext& processor,
                         uintptr_t (&parameters)[2]) {
#if defined(__x86_64__)
  const greg_t* registers = context.uc_mcontext.gregs;
  processor = {static_cast<uintptr_t>(registers[REG_RIP]), static_cast<uintptr_t>(registers[REG_RBP]),
               static_cast<uintptr_t>(registers[REG_RSP]), &context};
  const bool write = (registers[REG_ERR] & 2) != 0;  // the page-fault error code's write bit
#elif defined(__i386__)
  const greg_t* registers = context.uc_mcontext.gregs;
  processor = {static_cast<uintptr_t>(registers[REG_EIP]), static_cast<uintptr_t>(registers[REG_EBP]),
               static_cast<uintptr_t>(registers[REG_ESP]), &context};
  const bool write = (registers[REG_ERR] & 2) != 0;
#else
  processor = {reinterpret_cast<uintptr_t>(info.si_addr), 0, 0, &context};
  const bool write = false;
#endif
  ExceptionRecord record{0, processor.instruction, {}};
  switch (signal) {
    case SIGSEGV:
    case SIGBUS:
      parameters[0] = write ? 1 : 0;
      parameters[1] = reinterpret_cast<uintptr_t>(info.si_addr);
      record.code = kAccessViolation;
      record.parameters = parameters;
      break;
    case SIGFPE: record.code = kIntegerDivideByZero; break;
    case SIGILL: record.code = kIllegalInstruction; break;
    default:
      record.code = kBreakpoint;
      // The trap reports the instruction after int3; the fault lies at the int3 itself.
      if (info.si_code == SI_KERNEL && record.address != 0) --record.address;
      break;
  }
  return record;
}

// Hands the signal to whoever had it before: a handler is called, the default action is restored and
// the signal raised again unless the faulting instruction raises it again on return.
void PassOn(int signal, siginfo_t* info, void* context) {
  const auto slot = std::find(kFatalSignals.begin(), kFatalSignals.end(), signal) - kFatalSignals.begin();
  const struct sigaction& previous = previousActions[slot];
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction) return previous.sa_sigaction(signal, info, context);
  if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) return previous.sa_handler(signal);
  sigaction(signal, &previous, nullptr);
  if (info->si_code <= 0 || signal == SIGTRAP) raise(signal);
}

void OnFatalSignal(int signal, siginfo_t* info, void* native) {
  // SA_NODEFER lets a fault inside the report come back here.
  if (CrashGuard::reporting()) CrashGuard::onSevereError();
  ProcessorContext processor;
  uintptr_t parameters[2] = {};
  const ExceptionRecord record = RecordOf(signal, *info, *static_cast<const ucontext_t*>(native), processor, parameters);
  if (CrashGuard::onException(record, processor)) PassOn(signal, info, native);
}

}  // namespace

void* AllocatePages(size_t bytes) {
  void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

void FreePages(void* pages, size_t bytes) { munmap(pages, bytes); }

uint32_t ProcessId() { return static_cast<uint32_t>(getpid()); }

bool ReadEnvironment(const char* name, std::span<char> value) {
  const char* found = getenv(name);
  if (!found || found[0] == '\0') return false;
  const size_t size = strlen(found);
  if (size >= value.size()) return false;
  std::copy_n(found, size + 1, value.data());
  return true;
}

void WriteEnvironment(const char* name, const char* value) { setenv(name, value, 1); }

bool AllocateThreadSlot(uintptr_t& slot) {
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) != 0) return false;
  slot = key;
  return true;
}

void* ThreadSlotValue(uintptr_t slot) { return pthread_getspecific(static_cast<pthread_key_t>(slot)); }

void SetThreadSlotValue(uintptr_t slot, void* value) { pthread_setspecific(static_cast<pthread_key_t>(slot), value); }

bool ReadMemory(uintptr_t address, void* into, size_t bytes) {
  iovec local{into, bytes};
  iovec remote{reinterpret_cast<void*>(address), bytes};
  return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(bytes);
}

bool FindModule(uintptr_t address, ModuleInfo& module) {
  ModuleSearch search{address, false, &module};
  dl_iterate_phdr(VisitModule, &search);
  return search.found;
}

uintptr_t MainModuleBase() {
  ModuleInfo module;
  ModuleSearch search{0, true, &module};
  dl_iterate_phdr(VisitModule, &search);
  return search.found ? module.base : 0;
}

// The dynamic symbol table is the export table of an ELF object.
bool NearestExport(const ModuleInfo&, uintptr_t address, ExportInfo& function) {
  Dl_info info{};
  void* entry = nullptr;
  if (!dladdr1(reinterpret_cast<void*>(address), &info, &entry, RTLD_DL_SYMENT)) return false;
  const auto* symbol = static_cast<const ElfW(Sym)*>(entry);
  if (!info.dli_sname || !info.dli_saddr || !symbol) return false;
  const int type = ELF64_ST_TYPE(symbol->st_info);  // the same bits in 32-bit objects
  if (type != STT_FUNC && type != STT_GNU_IFUNC) return false;
  function.address = reinterpret_cast<uintptr_t>(info.dli_saddr);
  function.setName(info.dli_sname);
  return true;
}

size_t WalkFromContext(const ProcessorContext& context, std::span<StackFrame> frames) {
  Walk walk{frames};
  walk.fromFault = true;
  walk.faultInstruction = context.instruction;
  _Unwind_Backtrace(VisitFrame, &walk);
  if (walk.count == 0) return WalkFramePointers(context.frame, frames);
  return walk.count;
}

[[gnu::noinline]] size_t WalkFromHere(std::span<StackFrame> frames) {
  Walk walk{frames};
  walk.skip = 1;  // this function's own frame
  _Unwind_Backtrace(VisitFrame, &walk);
  return walk.count;
}

void InstallCatcher() {
  toUtf8 = iconv_open("UTF-8", "GB18030");
  toGb18030 = iconv_open("GB18030", "UTF-8");
  char path[1024];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length > 0) {
    ModuleInfo named;
    SetModuleName(named, {path, static_cast<size_t>(length)});
    programNameSize = std::min(named.nameSize, sizeof programName);
    std::copy_n(named.nameBytes, programNameSize, programName);
  }
  // A stack overflow leaves no stack to report on; the handler runs on a stack of its own.
  stack_t current{};
  if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) != 0) {
    if (void* pages = AllocatePages(kAlternateStackSize)) {
      stack_t alternate{};
      alternate.ss_sp = pages;
      alternate.ss_size = kAlternateStackSize;
      sigaltstack(&alternate, nullptr);
    }
  }
  struct sigaction action {};
  action.sa_sigaction = OnFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < kFatalSignals.size(); ++i) sigaction(kFatalSignals[i], &action, &previousActions[i]);
}

void ShowReport(std::string_view report, const GuardOptions&) {
  WriteToStderr(kReportCaption);
  WriteToStderr("\r\n");
  WriteToStderr(report);
}

void ShowSevereError() {
  WriteToStderr(kSevereErrorText);
  WriteToStderr("\r\n");
}

bool IsMainThread() { return syscall(SYS_gettid) == getpid(); }

void EndProcess(int exitCode) { _exit(exitCode); }

void EndThread(int exitCode) {
  // The kernel's exit of this thread alone; a joiner still sees it end.
  for (;;) syscall(SYS_exit, exitCode);
}

}  // namespace korvane::guard
