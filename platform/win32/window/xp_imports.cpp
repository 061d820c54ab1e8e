// Windows XP lacks GetTickCount64, which the thread runtime imports; the program fills that import itself.
#include <windows.h>

namespace {

// The real function where kernel32 has it (Vista and later); on XP the 32-bit count, which wraps after
// 49.7 days, as every XP program's does.
ULONGLONG WINAPI TickCount64() {
  using Function = ULONGLONG(WINAPI*)();
  static const auto real = reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
  return real ? real() : GetTickCount();
}

}  // namespace

// The import-table entry that the linker would otherwise take from kernel32's import library: with ours
// defined, kernel32 is never asked for the function by name.
extern "C" ULONGLONG(WINAPI* korvaneGetTickCount64)() __asm__("__imp__GetTickCount64@0");
ULONGLONG(WINAPI* korvaneGetTickCount64)() = TickCount64;
