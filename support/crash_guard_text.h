// The crash guard's report texts (GBK, CR LF), built from facts the platform gathered, without the heap.
//
// A report is built while the heap may be the very thing that failed, so every text here goes into
// storage the caller owns, and what does not fit is cut off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "support/crash_guard.h"

namespace korvane {

// A text in storage of fixed capacity.
class GuardText {
 public:
  explicit GuardText(std::span<char> storage) : storage_(storage) {}
  GuardText& operator<<(std::string_view text);
  std::string_view view() const { return {storage_.data(), size_}; }
  bool empty() const { return size_ == 0; }
  void clear() { size_ = 0; }

 private:
  std::span<char> storage_;
  size_t size_ = 0;
};

// A number's digits, kept by value.
struct Digits {
  char bytes[24];
  size_t size = 0;
  operator std::string_view() const { return {bytes, size}; }
};
// Upper-case hex with at least minimum digits (more when the value needs them).
Digits Hex(uintptr_t value, int minimum = 8);
// The short hex forms of call-stack lines: 2 digits below 256, 8 above 65535, else 4.
Digits ShortHex(uintptr_t value);
Digits Decimal(intmax_t value);

// A loaded module: its name (GBK) and the addresses it spans.
struct ModuleInfo {
  uintptr_t base = 0;
  uintptr_t size = 0;
  char nameBytes[260] = {};
  size_t nameSize = 0;
  std::string_view name() const { return {nameBytes, nameSize}; }
  void setName(std::string_view name);
  // base ≤ address ≤ base + size.
  bool contains(uintptr_t address) const { return base <= address && address - base <= size; }
};

// The exported function with the largest address not above some address; a function exported only by
// ordinal has an empty name.
struct ExportInfo {
  uintptr_t address = 0;
  char nameBytes[256] = {};
  size_t nameSize = 0;
  std::string_view name() const { return {nameBytes, nameSize}; }
  void setName(std::string_view name);
};

// The name of a thread's start routine in call stacks.
inline constexpr std::string_view kStartRoutineName = "Veltra-SEH._启动子程序";

// An entry of a thread's call stack: the start routine's frame, found by its return address.
struct CallStackEntry {
  uintptr_t returnAddress = 0;
  uintptr_t frame = 0;
  std::string_view name;
};

// One frame of a stack walk with what the platform found for its return address.
struct FrameFacts {
  uintptr_t returnAddress = 0;
  const ModuleInfo* module = nullptr;         // null: in no loaded module
  const ExportInfo* nearestExport = nullptr;  // null: no export table, or no export at or below
  const CallStackEntry* entry = nullptr;      // the thread's entry this frame returns through
};

// What the error text of a fault says.
struct ExceptionFacts {
  uint32_t code = 0;
  uintptr_t address = 0;
  std::span<const uintptr_t> parameters;
  const ModuleInfo* module = nullptr;  // the module holding the address
  std::optional<uintptr_t> analysisAddress;
  // The text at the address in parameter 2 of a Veltra throw with parameter 1 = -2.
  std::string_view description;
};

inline constexpr uint32_t kAccessViolation = 0xC0000005;
inline constexpr uint32_t kIntegerDivideByZero = 0xC0000094;
inline constexpr uint32_t kFloatDivideByZero = 0xC000008E;
inline constexpr uint32_t kStackOverflow = 0xC00000FD;
inline constexpr uint32_t kIllegalInstruction = 0xC000001D;
inline constexpr uint32_t kBreakpoint = 0x80000003;
inline constexpr uint32_t kPrivilegedInstruction = 0xC0000096;
inline constexpr uint32_t kCompilerThrow = 0xE06D7363;
inline constexpr uint32_t kVeltraThrow = 0x01DF5E76;

// Whether a Veltra throw carries a description text at parameter 2 (parameter 1 = -2).
bool HasDescriptionText(std::span<const uintptr_t> parameters);

void ExceptionErrorText(const ExceptionFacts& facts, GuardText& out);
void RuntimeErrorText(int code, std::string_view message, GuardText& out);

// The address the report points the reader to: the first return address in the main module when the
// fault lies in a module, the fault address when it lies in none; none when the walk leaves the modules
// or ends first.
std::optional<uintptr_t> AnalysisAddress(uintptr_t faultAddress, const ModuleInfo* faultModule,
                                         std::span<const FrameFacts> frames, uintptr_t mainModuleBase);

// One line per kept frame: n spaces, the frame's name, CR LF.
void CallStackText(std::span<const FrameFacts> frames, const GuardOptions& options, GuardText& out);

// The error text, then "CallStack:" and the call stack when wanted and not empty.
void ReportText(std::string_view errorText, std::string_view callStackText, bool includeCallStack, GuardText& out);

inline constexpr std::string_view kReportCaption = "程序异常：";
inline constexpr std::string_view kSevereErrorText = "程序发生严重错误，无法获取异常信息，程序准备关闭";

}  // namespace korvane
