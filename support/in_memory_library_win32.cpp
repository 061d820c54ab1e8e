// Windows memory, modules and calls for the in-memory loader.
#include "support/in_memory_library_win32.h"

#include <windows.h>

namespace korvane {
namespace {

class SystemHost final : public LibraryHost {
 public:
  bool accepts(pe::Format format) const override {
#if defined(_WIN64)
    return format == pe::Format::Pe32Plus;
#else
    return format == pe::Format::Pe32;
#endif
  }

  unsigned char* allocate(uint64_t preferredAddress, size_t size) override {
    void* block = nullptr;
    if (preferredAddress <= UINTPTR_MAX) {
      block = VirtualAlloc(reinterpret_cast<void*>(static_cast<uintptr_t>(preferredAddress)), size,
                           MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    }
    if (!block) block = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    return static_cast<unsigned char*>(block);
  }

  bool release(unsigned char* block, size_t) override { return VirtualFree(block, 0, MEM_RELEASE) != 0; }

  uint64_t importAddress(const char* module, const pe::ImportedFunction& function) override {
    HMODULE handle = GetModuleHandleA(module);
    if (!handle) handle = LoadLibraryA(module);
    if (!handle) return 0;
    const FARPROC address = GetProcAddress(handle, function.byOrdinal ? MAKEINTRESOURCEA(function.ordinal) : function.name);
    return reinterpret_cast<uintptr_t>(address);
  }

  bool enterDll(uintptr_t entryPoint, uint32_t reason) override {
    return static_cast<uint32_t>(CallAddress(entryPoint, {0, reason, 0})) != 0;  // BOOL
  }
};

}  // namespace

uintptr_t CallAddress(uintptr_t address, const CallArguments& arguments) {
#if defined(__x86_64__)
  // One calling convention: the callee never touches the caller's stack pointer, and arguments it does
  // not take are ignored.
  using Routine = uintptr_t (*)(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t,
                                uintptr_t, uintptr_t, uintptr_t);
  const auto routine = reinterpret_cast<Routine>(address);
  return routine(arguments[0], arguments[1], arguments[2], arguments[3], arguments[4], arguments[5], arguments[6],
                 arguments[7], arguments[8], arguments[9]);
#elif defined(__i386__)
  // esi is kept by stdcall and cdecl callees alike, so the stack pointer saved there before the pushes
  // is the one to return to, however many arguments the callee removed.
  uintptr_t result;
  asm volatile(
      "movl %%esp, %%esi\n\t"
      "pushl 36(%1)\n\t"
      "pushl 32(%1)\n\t"
      "pushl 28(%1)\n\t"
      "pushl 24(%1)\n\t"
      "pushl 20(%1)\n\t"
      "pushl 16(%1)\n\t"
      "pushl 12(%1)\n\t"
      "pushl 8(%1)\n\t"
      "pushl 4(%1)\n\t"
      "pushl (%1)\n\t"
      "call *%2\n\t"
      "movl %%esi, %%esp"
      : "=a"(result)
      : "r"(arguments.data()), "r"(address)
      : "ecx", "edx", "esi", "memory", "cc");
  return result;
#else
#error "CallAddress knows the calls of x86_64 and i686 only"
#endif
}

LibraryHost& SystemLibraryHost() {
  static SystemHost host;
  return host;
}

}  // namespace korvane
