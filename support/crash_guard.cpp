// The crash guard: installing, arming, and the report of a runtime error or a fault, then the end.
#include "support/crash_guard.h"

#include <algorithm>
#include <iterator>

#include "platform/window_toolkit.h"
#include "support/crash_guard_platform.h"
#include "support/crash_guard_registry.h"
#include "support/crash_guard_text.h"

namespace korvane {
namespace {

constexpr size_t kMaxFrames = 100;
constexpr size_t kMaxDescription = 1024;

// What one report learns about the frames of a walk; too large for an alternate signal stack, so it
// lives in pages for the time of the report.
struct FrameScratch {
  guard::StackFrame frames[kMaxFrames];
  ModuleInfo modules[kMaxFrames];
  ExportInfo exports[kMaxFrames];
  FrameFacts facts[kMaxFrames];
  ModuleInfo faultModule;
  char description[kMaxDescription];
};

class Scratch {
 public:
  Scratch() : pages_(guard::AllocatePages(sizeof(FrameScratch))) {}
  ~Scratch() {
    if (pages_) guard::FreePages(pages_, sizeof(FrameScratch));
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  FrameScratch& operator*() const { return *static_cast<FrameScratch*>(pages_); }
  FrameScratch* operator->() const { return static_cast<FrameScratch*>(pages_); }
  explicit operator bool() const { return pages_ != nullptr; }

 private:
  void* pages_;
};

void SetReporting(bool reporting) {
  if (GuardRegistry* registry = ThreadRegistry(reporting)) registry->write(kReportingKey, reporting ? 1 : 0);
}

// Names the walked frames: their modules, nearest exports and the thread's start-routine entries.
std::span<const FrameFacts> Resolve(FrameScratch& scratch, size_t count) {
  const ThreadCallStack* stack = CurrentCallStack(false);
  for (size_t i = 0; i < count; ++i) {
    FrameFacts& facts = scratch.facts[i];
    facts = FrameFacts();
    facts.returnAddress = scratch.frames[i].returnAddress;
    for (size_t e = 0; stack && e < stack->count; ++e) {
      if (stack->entries[e].returnAddress == facts.returnAddress) facts.entry = &stack->entries[e];
    }
    if (!guard::FindModule(facts.returnAddress, scratch.modules[i])) continue;
    facts.module = &scratch.modules[i];
    if (guard::NearestExport(scratch.modules[i], facts.returnAddress, scratch.exports[i])) {
      facts.nearestExport = &scratch.exports[i];
    }
  }
  return {scratch.facts, count};
}

// The NUL-terminated text at address, as far as it can be read and fits.
std::string_view ReadText(uintptr_t address, std::span<char> storage) {
  size_t size = 0;
  char byte = 0;
  while (size < storage.size() && guard::ReadMemory(address + size, &byte, 1) && byte != '\0') storage[size++] = byte;
  return {storage.data(), size};
}

void KeepCopy(const ExceptionRecord& record, const ProcessorContext& context) {
  ExceptionCopy* copy = CurrentExceptionCopy(true);
  if (!copy) return;
  *copy = ExceptionCopy{};
  copy->code = record.code;
  copy->address = record.address;
  copy->parameterCount = std::min(record.parameters.size(), std::size(copy->parameters));
  std::copy_n(record.parameters.begin(), copy->parameterCount, copy->parameters);
  copy->instruction = context.instruction;
  copy->frame = context.frame;
  copy->stack = context.stack;
}

void ShowReport(const GuardOptions& options, ThreadContext& context) {
  context.reportText.clear();
  ReportText(context.errorText.view(), context.callStackText.view(), options.includeCallStack == 1, context.reportText);
  if (options.beforeReport) options.beforeReport();
  if (options.showMessageBox == 1) guard::ShowReport(context.reportText.view(), options);
}

[[noreturn]] void EndAfterFault(const GuardOptions& options) {
  if (options.endFaultingThreadOnly == 1 && !guard::IsMainThread()) {
    DiscardThreadState();
    guard::EndThread(0);
  }
  guard::EndProcess(0);
}

}  // namespace

void CrashGuard::install() {
  LoadOptions();
  ModuleInfo self;
  const uintptr_t base =
      guard::FindModule(reinterpret_cast<uintptr_t>(&CrashGuard::install), self) ? self.base : 0;
  char keyStorage[96];
  GuardText key(keyStorage);
  key << kInstalledKeyPrefix << Decimal(static_cast<intmax_t>(base));
  GuardRegistry* process = ProcessRegistry();
  if (!process || process->read(key.view()) == 1) return;
  // The thread slots are taken here, on the starting thread, so that no two threads race for them later.
  ThreadRegistry(true);
  CurrentCallStack(true);
  guard::InstallCatcher();
  process->write(key.view(), 1);
}

void CrashGuard::configure(const GuardSettings& settings, WindowToolkit* runtime) {
  StoreOptions(ApplySettings(LoadOptions(), settings));
  if (runtime && settings.registerRuntimeErrorHandler.value_or(true)) {
    runtime->SetErrorHandler([](int code, std::string_view message) { onRuntimeError(code, message); });
  }
}

int CrashGuard::onRuntimeError(int code, std::string_view message) {
  const GuardOptions options = LoadOptions();
  SetReporting(true);
  ThreadContext* context = CurrentThreadContext(true);
  if (!context) onSevereError();
  context->errorText.clear();
  RuntimeErrorText(code, message, context->errorText);
  context->callStackText.clear();
  if (Scratch scratch; scratch) {
    CallStackText(Resolve(*scratch, guard::WalkFromHere(scratch->frames)), options, context->callStackText);
  }
  ShowReport(options, *context);
  SetReporting(false);
  return 1;
}

bool CrashGuard::onException(const ExceptionRecord& record, const ProcessorContext& processor) {
  const GuardOptions options = LoadOptions();
  if (options.armed != 1 || (options.passThrowCode == 1 && record.code == kCompilerThrow)) return true;
  SetReporting(true);
  ThreadContext* context = CurrentThreadContext(true);
  Scratch scratch;
  if (!context || !scratch) onSevereError();
  KeepCopy(record, processor);

  const std::span<const FrameFacts> frames =
      Resolve(*scratch, guard::WalkFromContext(processor, scratch->frames));
  context->callStackText.clear();
  CallStackText(frames, options, context->callStackText);

  ExceptionFacts facts;
  facts.code = record.code;
  facts.address = record.address;
  facts.parameters = record.parameters;
  if (guard::FindModule(record.address, scratch->faultModule)) facts.module = &scratch->faultModule;
  facts.analysisAddress = AnalysisAddress(record.address, facts.module, frames, guard::MainModuleBase());
  if (record.code == kVeltraThrow && HasDescriptionText(record.parameters)) {
    facts.description = ReadText(record.parameters[1], scratch->description);
  }
  context->errorText.clear();
  ExceptionErrorText(facts, context->errorText);

  ShowReport(options, *context);
  EndAfterFault(options);
}

[[gnu::noinline]] void CrashGuard::guardThread(const std::function<void()>& routine) {
  // The frame that returns to the thread's start: call stacks name it by this return address.
  if (ThreadCallStack* stack = CurrentCallStack(true); stack && stack->count < std::size(stack->entries)) {
    stack->entries[stack->count++] = CallStackEntry{reinterpret_cast<uintptr_t>(__builtin_return_address(0)),
                                                    reinterpret_cast<uintptr_t>(__builtin_frame_address(0)),
                                                    kStartRoutineName};
  }
  routine();
  DiscardThreadState();
}

std::string_view CrashGuard::threadReport() {
  const ThreadContext* context = CurrentThreadContext(false);
  return context ? context->reportText.view() : std::string_view();
}

bool CrashGuard::reporting() {
  const GuardRegistry* registry = ThreadRegistry(false);
  return registry && registry->read(kReportingKey) == 1;
}

void CrashGuard::onSevereError() {
  const GuardOptions options = LoadOptions();
  if (options.showMessageBox == 1) guard::ShowSevereError();
  EndAfterFault(options);
}

}  // namespace korvane
