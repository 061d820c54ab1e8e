// The crash guard's report texts, built without the heap.
#include "support/crash_guard_text.h"

#include <algorithm>
#include <array>

namespace korvane {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

bool IsSystemModule(std::string_view name) {
  return EqualsIgnoringAsciiCase(name, "ntdll.dll") || EqualsIgnoringAsciiCase(name, "kernel32.dll") ||
         EqualsIgnoringAsciiCase(name, "kernelbase.dll");
}

intptr_t Signed(uintptr_t value) { return static_cast<intptr_t>(value); }

uintptr_t Parameter(std::span<const uintptr_t> parameters, size_t number) {
  return parameters.size() >= number ? parameters[number - 1] : 0;
}

// "decimal(0xHEX)", as parameters and unknown codes are shown.
void AppendBoth(GuardText& out, intmax_t value, uintptr_t bits) {
  out << Decimal(value) << "(0x" << Hex(bits) << ")";
}

// The lines of the code's own kind; true when they say all there is, so the parameter lines are left out.
bool AppendCodeLines(const ExceptionFacts& facts, GuardText& out) {
  switch (facts.code) {
    case kAccessViolation:
      out << "错误信息:访问无效内存\r\n";
      out << (Parameter(facts.parameters, 1) != 0 ? "         尝试的操作：写入\r\n" : "         尝试的操作：读取\r\n");
      out << "         目标地址:0x" << Hex(Parameter(facts.parameters, 2)) << kLineEnd;
      return true;
    case kIntegerDivideByZero:
    case kFloatDivideByZero: out << "错误信息:非法除0异常\r\n"; return false;
    case kStackOverflow: out << "错误信息:线程堆栈溢出异常\r\n"; return false;
    case kIllegalInstruction: out << "错误信息:非法CPU指令\r\n"; return false;
    case kBreakpoint: out << "错误信息:int3调试中断\r\n"; return false;
    case kPrivilegedInstruction: out << "错误信息:无法执行Ring0指令\r\n"; return false;
    case kCompilerThrow: out << "错误信息:执行Virtual C++ throw()指令\r\n"; return false;
    case kVeltraThrow: {
      out << "错误信息:Veltra 异常辅助模块 throw\r\n";
      if (facts.parameters.size() < 2) return false;
      const uintptr_t value = Parameter(facts.parameters, 2);
      if (Signed(Parameter(facts.parameters, 1)) == -1) {
        out << "         错误描述:(int)";
        AppendBoth(out, Signed(value), value);
        out << kLineEnd;
        return true;
      }
      if (HasDescriptionText(facts.parameters)) {
        out << "         错误描述:(text)" << facts.description << kLineEnd;
        return true;
      }
      return false;
    }
    default:
      out << "错误代码:";
      AppendBoth(out, static_cast<int32_t>(facts.code), facts.code);
      out << kLineEnd;
      return false;
  }
}

// A frame's name as its call-stack line shows it; false for a system frame to drop.
bool AppendFrameName(const FrameFacts& frame, const GuardOptions& options, bool lineKept, GuardText& out) {
  if (frame.entry) {
    out << "[" << Hex(frame.entry->returnAddress) << "]" << frame.entry->name;
    return true;
  }
  const uintptr_t address = frame.returnAddress;
  const ModuleInfo* module = frame.module;
  if (!module) {
    out << "0x" << Hex(address);
    return true;
  }
  if (!lineKept && options.skipSystemFrames == 1 && IsSystemModule(module->name())) return false;
  const ExportInfo* function = frame.nearestExport;
  if (!function) {
    out << "[" << module->name() << "]+0x" << ShortHex(address - module->base) << "=" << Hex(address);
    return true;
  }
  const uintptr_t distance = address - function->address;
  if (options.maxSymbolDistance < 0 || distance > static_cast<uintptr_t>(options.maxSymbolDistance)) {
    out << "0x" << Hex(address);
    return true;
  }
  out << "[" << module->name() << "].";
  if (function->nameSize > 0) {
    out << function->name();
  } else {
    out << Hex(function->address);
  }
  if (distance != 0) out << "+0x" << ShortHex(distance);
  return true;
}

}  // namespace

GuardText& GuardText::operator<<(std::string_view text) {
  const size_t room = storage_.size() - size_;
  const size_t taken = std::min(room, text.size());
  std::copy_n(text.data(), taken, storage_.data() + size_);
  size_ += taken;
  return *this;
}

Digits Hex(uintptr_t value, int minimum) {
  Digits digits;
  std::array<char, 2 * sizeof(uintptr_t)> reversed{};
  size_t count = 0;
  do {
    reversed[count++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (int pad = minimum - static_cast<int>(count); pad > 0; --pad) digits.bytes[digits.size++] = '0';
  while (count > 0) digits.bytes[digits.size++] = reversed[--count];
  return digits;
}

Digits ShortHex(uintptr_t value) { return Hex(value, value < 256 ? 2 : value > 65535 ? 8 : 4); }

Digits Decimal(intmax_t value) {
  Digits digits;
  // Through the unsigned magnitude, so that the most negative value has one too.
  uintmax_t magnitude = value < 0 ? 0 - static_cast<uintmax_t>(value) : static_cast<uintmax_t>(value);
  std::array<char, 20> reversed{};
  size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits.bytes[digits.size++] = '-';
  while (count > 0) digits.bytes[digits.size++] = reversed[--count];
  return digits;
}

void ModuleInfo::setName(std::string_view name) {
  nameSize = std::min(name.size(), sizeof nameBytes);
  std::copy_n(name.data(), nameSize, nameBytes);
}

void ExportInfo::setName(std::string_view name) {
  nameSize = std::min(name.size(), sizeof nameBytes);
  std::copy_n(name.data(), nameSize, nameBytes);
}

bool HasDescriptionText(std::span<const uintptr_t> parameters) {
  return parameters.size() >= 2 && Signed(parameters[0]) == -2;
}

void ExceptionErrorText(const ExceptionFacts& facts, GuardText& out) {
  out << "警告:程序发生错误\r\n";
  const bool complete = AppendCodeLines(facts, out);
  out << "发生位置:0x" << Hex(facts.address) << kLineEnd;
  if (facts.module) {
    out << "相对地址:[" << facts.module->name() << "].0x" << Hex(facts.address - facts.module->base) << kLineEnd;
  }
  if (facts.analysisAddress) out << "分析位置:0x" << Hex(*facts.analysisAddress) << kLineEnd;
  if (complete) return;
  for (size_t i = 0; i < facts.parameters.size(); ++i) {
    out << "错误参数" << Decimal(static_cast<intmax_t>(i + 1)) << ":";
    AppendBoth(out, Signed(facts.parameters[i]), facts.parameters[i]);
    out << kLineEnd;
  }
}

void RuntimeErrorText(int code, std::string_view message, GuardText& out) {
  out << "运行时出错!\r\n\r\n"
      << "错误代码：" << Decimal(code) << "\r\n\r\n"
      << "错误信息：" << message << kLineEnd;
}

std::optional<uintptr_t> AnalysisAddress(uintptr_t faultAddress, const ModuleInfo* faultModule,
                                         std::span<const FrameFacts> frames, uintptr_t mainModuleBase) {
  if (!faultModule) return faultAddress;
  for (const FrameFacts& frame : frames) {
    if (!frame.module) return std::nullopt;
    if (frame.module->base == mainModuleBase) return frame.returnAddress;
  }
  return std::nullopt;
}

void CallStackText(std::span<const FrameFacts> frames, const GuardOptions& options, GuardText& out) {
  // Only the innermost system frames are dropped, whichever order the lines take.
  size_t first = 0;
  std::array<char, 600> scratch;
  while (first < frames.size()) {
    GuardText name(scratch);
    if (AppendFrameName(frames[first], options, false, name)) break;
    ++first;
  }
  const size_t count = frames.size() - first;
  for (size_t line = 1; line <= count; ++line) {
    const size_t index = options.framesOutermostFirst == 1 ? frames.size() - line : first + line - 1;
    GuardText name(scratch);
    AppendFrameName(frames[index], options, true, name);
    for (size_t space = 0; space < line; ++space) out << " ";
    out << name.view() << kLineEnd;
  }
}

void ReportText(std::string_view errorText, std::string_view callStackText, bool includeCallStack, GuardText& out) {
  out << errorText;
  if (includeCallStack && !callStackText.empty()) out << "CallStack:\r\n" << callStackText;
}

GuardOptions ApplySettings(GuardOptions options, const GuardSettings& settings) {
  if (settings.beforeReport) options.beforeReport = *settings.beforeReport;
  if (settings.showMessageBox) options.showMessageBox = *settings.showMessageBox;
  if (settings.endFaultingThreadOnly) options.endFaultingThreadOnly = *settings.endFaultingThreadOnly;
  if (!settings.ownerWindowClass.empty()) {
    const size_t size = std::min(settings.ownerWindowClass.size(), sizeof options.ownerWindowClass - 1);
    std::copy_n(settings.ownerWindowClass.data(), size, options.ownerWindowClass);
    options.ownerWindowClass[size] = '\0';
  }
  if (settings.passThrowCode) options.passThrowCode = *settings.passThrowCode;
  if (settings.includeCallStack) options.includeCallStack = *settings.includeCallStack;
  if (settings.skipSystemFrames) options.skipSystemFrames = *settings.skipSystemFrames;
  if (settings.maxSymbolDistance && *settings.maxSymbolDistance > 0) options.maxSymbolDistance = *settings.maxSymbolDistance;
  if (settings.framesOutermostFirst) options.framesOutermostFirst = *settings.framesOutermostFirst;
  options.armed = 1;
  return options;
}

}  // namespace korvane
