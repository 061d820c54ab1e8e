// The crash guard's process and thread registries and the per-thread state they lead to.
#include "support/crash_guard_registry.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <new>

#include "support/crash_guard_platform.h"

namespace korvane {
namespace {

// The variable's name for this process, NUL-terminated in storage.
std::string_view VariableName(uint32_t processId, std::span<char> storage) {
  GuardText name(storage.first(storage.size() - 1));
  name << "__processStrMap_" << Decimal(processId);
  storage[name.view().size()] = '\0';
  return name.view();
}

template <typename T>
T* CreateInPages() {
  void* pages = guard::AllocatePages(sizeof(T));
  return pages ? new (pages) T : nullptr;
}

template <typename T>
void FreeInPages(T* object) {
  if (!object) return;
  object->~T();
  guard::FreePages(object, sizeof(T));
}

// The slot stored under key, allocated on first use; 0 when there is none. Slots are kept plus one, as
// 0 is a valid slot and a missing key reads 0.
uintptr_t SlotOf(std::string_view key, bool create) {
  GuardRegistry* process = ProcessRegistry();
  if (!process) return 0;
  uintptr_t stored = process->read(key);
  if (stored == 0 && create) {
    uintptr_t slot = 0;
    if (!guard::AllocateThreadSlot(slot) || !process->write(key, slot + 1)) return 0;
    stored = slot + 1;
  }
  return stored;
}

// A per-thread object kept in the thread registry under key.
template <typename T>
T* ThreadObject(std::string_view key, bool create) {
  GuardRegistry* registry = ThreadRegistry(create);
  if (!registry) return nullptr;
  auto* object = reinterpret_cast<T*>(registry->read(key));
  if (!object && create) {
    object = CreateInPages<T>();
    if (object && !registry->write(key, reinterpret_cast<uintptr_t>(object))) {
      FreeInPages(object);
      object = nullptr;
    }
  }
  return object;
}

}  // namespace

uintptr_t GuardRegistry::read(std::string_view key) const {
  const auto found = std::find_if(entries_, entries_ + count_, [&](const Entry& entry) {
    return std::string_view(entry.key, entry.keySize) == key;
  });
  return found == entries_ + count_ ? 0 : found->value;
}

bool GuardRegistry::write(std::string_view key, uintptr_t value) {
  const auto found = std::find_if(entries_, entries_ + count_, [&](const Entry& entry) {
    return std::string_view(entry.key, entry.keySize) == key;
  });
  if (found != entries_ + count_) {
    found->value = value;
    return true;
  }
  if (key.size() > sizeof(Entry::key) || count_ == std::size(entries_)) return false;
  Entry& entry = entries_[count_];
  std::copy(key.begin(), key.end(), entry.key);
  entry.keySize = key.size();
  entry.value = value;
  ++count_;
  return true;
}

std::string ProcessRegistryVariable(uint32_t processId) {
  char storage[64];
  return std::string(VariableName(processId, storage));
}

GuardRegistry* ProcessRegistry() {
  char name[64];
  VariableName(guard::ProcessId(), name);
  char value[32];
  if (guard::ReadEnvironment(name, value)) {
    uintptr_t address = 0;
    const char* end = value + std::char_traits<char>::length(value);
    const auto parsed = std::from_chars(value, end, address);
    if (parsed.ec == std::errc() && parsed.ptr == end && address != 0) return reinterpret_cast<GuardRegistry*>(address);
  }
  GuardRegistry* registry = CreateInPages<GuardRegistry>();
  if (!registry) return nullptr;
  char address[32];
  GuardText text(std::span<char>(address, sizeof address - 1));
  text << Decimal(static_cast<intmax_t>(reinterpret_cast<uintptr_t>(registry)));
  address[text.view().size()] = '\0';
  guard::WriteEnvironment(name, address);
  return registry;
}

GuardRegistry* ThreadRegistry(bool create) {
  const uintptr_t slot = SlotOf(kThreadRegistrySlotKey, create);
  if (slot == 0) return nullptr;
  auto* registry = static_cast<GuardRegistry*>(guard::ThreadSlotValue(slot - 1));
  if (!registry && create) {
    registry = CreateInPages<GuardRegistry>();
    if (registry) guard::SetThreadSlotValue(slot - 1, registry);
  }
  return registry;
}

ThreadContext* CurrentThreadContext(bool create) { return ThreadObject<ThreadContext>(kThreadContextKey, create); }

ExceptionCopy* CurrentExceptionCopy(bool create) { return ThreadObject<ExceptionCopy>(kExceptionCopyKey, create); }

ThreadCallStack* CurrentCallStack(bool create) {
  const uintptr_t slot = SlotOf(kCallStackSlotKey, create);
  if (slot == 0) return nullptr;
  auto* stack = static_cast<ThreadCallStack*>(guard::ThreadSlotValue(slot - 1));
  if (!stack && create) {
    stack = CreateInPages<ThreadCallStack>();
    if (stack) guard::SetThreadSlotValue(slot - 1, stack);
  }
  return stack;
}

void DiscardThreadState() {
  if (GuardRegistry* registry = ThreadRegistry(false)) {
    FreeInPages(reinterpret_cast<ThreadContext*>(registry->read(kThreadContextKey)));
    FreeInPages(reinterpret_cast<ExceptionCopy*>(registry->read(kExceptionCopyKey)));
    FreeInPages(registry);
    guard::SetThreadSlotValue(SlotOf(kThreadRegistrySlotKey, false) - 1, nullptr);
  }
  if (ThreadCallStack* stack = CurrentCallStack(false)) {
    FreeInPages(stack);
    guard::SetThreadSlotValue(SlotOf(kCallStackSlotKey, false) - 1, nullptr);
  }
}

GuardOptions LoadOptions() {
  GuardOptions options;
  GuardRegistry* process = ProcessRegistry();
  if (!process) return options;
  auto* stored = reinterpret_cast<GuardOptions*>(process->read(kOptionsKey));
  if (!stored) {
    stored = CreateInPages<GuardOptions>();
    if (!stored || !process->write(kOptionsKey, reinterpret_cast<uintptr_t>(stored))) return options;
  }
  std::atomic_thread_fence(std::memory_order_seq_cst);
  options = *stored;
  std::atomic_thread_fence(std::memory_order_seq_cst);
  return options;
}

void StoreOptions(const GuardOptions& options) {
  LoadOptions();  // makes sure the record exists
  GuardRegistry* process = ProcessRegistry();
  auto* stored = process ? reinterpret_cast<GuardOptions*>(process->read(kOptionsKey)) : nullptr;
  if (!stored) return;
  std::atomic_thread_fence(std::memory_order_seq_cst);
  *stored = options;
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

}  // namespace korvane
