// The crash guard's report texts: error texts of faults and runtime errors, call-stack lines, the analysis address, options.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/crash_guard_text.h"

namespace korvane {
namespace {

// "FFFFFFFB" with as many F as the platform's parameters have digits.
std::string AllOnesBut(std::string_view tail) {
  return std::string(2 * sizeof(uintptr_t) - tail.size(), 'F') + std::string(tail);
}

constexpr uintptr_t Minus(uintptr_t value) { return 0 - value; }

ModuleInfo Module(std::string_view name, uintptr_t base, uintptr_t size) {
  ModuleInfo module;
  module.base = base;
  module.size = size;
  module.setName(name);
  return module;
}

ExportInfo Export(std::string_view name, uintptr_t address) {
  ExportInfo function;
  function.address = address;
  function.setName(name);
  return function;
}

FrameFacts Frame(uintptr_t returnAddress, const ModuleInfo* module = nullptr, const ExportInfo* nearest = nullptr,
                 const CallStackEntry* entry = nullptr) {
  FrameFacts frame;
  frame.returnAddress = returnAddress;
  frame.module = module;
  frame.nearestExport = nearest;
  frame.entry = entry;
  return frame;
}

template <typename Build>
std::string Text(Build&& build) {
  std::array<char, 8192> storage;
  GuardText text(storage);
  build(text);
  return std::string(text.view());
}

const ModuleInfo kProgram = Module("korvane.exe", 0x00400000, 0x100000);

struct ErrorCase {
  const char* name;
  uint32_t code;
  std::vector<uintptr_t> parameters;
  bool inProgram;
  std::optional<uintptr_t> analysis;
  std::string_view description;
  std::string expectedAfterHeader;  // the lines after "警告:程序发生错误"
};

TEST(CrashGuardText, ErrorTextOfEachCode) {
  const std::string at = "发生位置:0x00401234\r\n";
  const std::string relative = "相对地址:[korvane.exe].0x00001234\r\n";
  const std::vector<ErrorCase> cases = {
      {"read at 0: target of eight zeros, no parameter lines", 0xC0000005, {0, 0}, true, 0x00401500, {},
       "错误信息:访问无效内存\r\n         尝试的操作：读取\r\n         目标地址:0x00000000\r\n" + at + relative +
           "分析位置:0x00401500\r\n"},
      {"write", 0xC0000005, {1, 0x10}, false, std::nullopt, {},
       "错误信息:访问无效内存\r\n         尝试的操作：写入\r\n         目标地址:0x00000010\r\n" + at},
      {"integer divide by zero", 0xC0000094, {}, true, std::nullopt, {}, "错误信息:非法除0异常\r\n" + at + relative},
      {"float divide by zero, with its parameter", 0xC000008E, {0}, false, std::nullopt, {},
       "错误信息:非法除0异常\r\n" + at + "错误参数1:0(0x00000000)\r\n"},
      {"stack overflow", 0xC00000FD, {1, 0x1000}, false, std::nullopt, {},
       "错误信息:线程堆栈溢出异常\r\n" + at + "错误参数1:1(0x00000001)\r\n错误参数2:4096(0x00001000)\r\n"},
      {"illegal instruction", 0xC000001D, {}, false, std::nullopt, {}, "错误信息:非法CPU指令\r\n" + at},
      {"int3", 0x80000003, {}, false, 0x00401234, {}, "错误信息:int3调试中断\r\n" + at + "分析位置:0x00401234\r\n"},
      {"ring 0 instruction", 0xC0000096, {}, false, std::nullopt, {}, "错误信息:无法执行Ring0指令\r\n" + at},
      {"compiler-raised throw", 0xE06D7363, {0x19930520}, false, std::nullopt, {},
       "错误信息:执行Virtual C++ throw()指令\r\n" + at + "错误参数1:429065504(0x19930520)\r\n"},
      {"unknown code above 0x7FFFFFFF: negative decimal", 0xC0000409, {}, false, std::nullopt, {},
       "错误代码:-1073740791(0xC0000409)\r\n" + at},
      {"unknown small code", 0x123, {}, false, std::nullopt, {}, "错误代码:291(0x00000123)\r\n" + at},
      {"Veltra throw with a number", 0x01DF5E76, {Minus(1), 42}, false, std::nullopt, {},
       "错误信息:Veltra 异常辅助模块 throw\r\n         错误描述:(int)42(0x0000002A)\r\n" + at},
      {"Veltra throw with a negative number", 0x01DF5E76, {Minus(1), Minus(5)}, false, std::nullopt, {},
       "错误信息:Veltra 异常辅助模块 throw\r\n         错误描述:(int)-5(0x" + AllOnesBut("B") + ")\r\n" + at},
      {"Veltra throw with a text", 0x01DF5E76, {Minus(2), 0x00402000}, false, std::nullopt, "磁盘已满",
       "错误信息:Veltra 异常辅助模块 throw\r\n         错误描述:(text)磁盘已满\r\n" + at},
      {"Veltra throw with one parameter: no description", 0x01DF5E76, {Minus(1)}, false, std::nullopt, {},
       "错误信息:Veltra 异常辅助模块 throw\r\n" + at + "错误参数1:-1(0x" + AllOnesBut("F") + ")\r\n"},
      {"Veltra throw of another kind", 0x01DF5E76, {7, 8}, false, std::nullopt, {},
       "错误信息:Veltra 异常辅助模块 throw\r\n" + at + "错误参数1:7(0x00000007)\r\n错误参数2:8(0x00000008)\r\n"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExceptionFacts facts;
    facts.code = c.code;
    facts.address = 0x00401234;
    facts.parameters = c.parameters;
    if (c.inProgram) facts.module = &kProgram;
    facts.analysisAddress = c.analysis;
    facts.description = c.description;
    EXPECT_EQ(Text([&](GuardText& out) { ExceptionErrorText(facts, out); }),
              "警告:程序发生错误\r\n" + c.expectedAfterHeader);
  }
}

TEST(CrashGuardText, RuntimeErrorText) {
  EXPECT_EQ(Text([](GuardText& out) { RuntimeErrorText(42, "窗口创建失败", out); }),
            "运行时出错!\r\n\r\n错误代码：42\r\n\r\n错误信息：窗口创建失败\r\n");
  EXPECT_EQ(Text([](GuardText& out) { RuntimeErrorText(-1, "", out); }),
            "运行时出错!\r\n\r\n错误代码：-1\r\n\r\n错误信息：\r\n");
}

TEST(CrashGuardText, NumberForms) {
  const std::vector<std::pair<uintptr_t, std::string>> shortForms = {
      {0, "00"}, {0xFF, "FF"}, {0x100, "0100"}, {0xFFFF, "FFFF"}, {0x10000, "00010000"}, {0x123456, "00123456"}};
  for (const auto& [value, expected] : shortForms) EXPECT_EQ(std::string_view(ShortHex(value)), expected) << value;
  EXPECT_EQ(std::string_view(Hex(0xABC)), "00000ABC");
  EXPECT_EQ(std::string_view(Hex(UINTPTR_MAX)), std::string(2 * sizeof(uintptr_t), 'F'));
  EXPECT_EQ(std::string_view(Decimal(INTMAX_MIN)), "-9223372036854775808");
  EXPECT_EQ(std::string_view(Decimal(0)), "0");
}

// Each frame alone: the name its one line carries.
TEST(CrashGuardText, FrameNames) {
  const ModuleInfo user32 = Module("user32.dll", 0x77D10000, 0x90000);
  const ExportInfo messageBox = Export("MessageBoxA", 0x77D507EA);
  const ExportInfo byOrdinal = Export("", 0x77D50000);
  CallStackEntry start;
  start.returnAddress = 0x00401500;
  start.frame = 0x0012FFB0;
  start.name = kStartRoutineName;
  struct Case {
    FrameFacts frame;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {Frame(0x00401234, &kProgram), "[korvane.exe]+0x1234=00401234"},
      {Frame(0x00400010, &kProgram), "[korvane.exe]+0x10=00400010"},
      {Frame(0x004A0000, &kProgram), "[korvane.exe]+0x000A0000=004A0000"},
      {Frame(0x77D5080A, &user32, &messageBox), "[user32.dll].MessageBoxA+0x20"},
      {Frame(0x77D507EA, &user32, &messageBox), "[user32.dll].MessageBoxA"},
      {Frame(0x77D507EA + 4096, &user32, &messageBox), "[user32.dll].MessageBoxA+0x1000"},
      {Frame(0x77D507EA + 4097, &user32, &messageBox), "0x77D517EB"},
      {Frame(0x77D50300, &user32, &byOrdinal), "[user32.dll].77D50000+0x0300"},
      {Frame(0x12345678), "0x12345678"},
      {Frame(0x00401500, &kProgram, nullptr, &start), "[00401500]Veltra-SEH._启动子程序"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text([&](GuardText& out) { CallStackText(std::span(&c.frame, 1), GuardOptions{}, out); }),
              " " + c.expected + "\r\n");
  }
}

TEST(CrashGuardText, CallStackDropsOnlyLeadingSystemFramesAndOrdersLines) {
  const ModuleInfo ntdll = Module("ntdll.dll", 0x7C900000, 0xB0000);
  const ModuleInfo kernel32 = Module("KERNEL32.DLL", 0x7C800000, 0xF6000);
  const ModuleInfo kernelBase = Module("KernelBase.dll", 0x75000000, 0x4A000);
  const std::vector<FrameFacts> frames = {
      Frame(0x7C901000, &ntdll), Frame(0x7C801000, &kernel32), Frame(0x75000010, &kernelBase),
      Frame(0x00401234, &kProgram), Frame(0x7C902000, &ntdll)};
  GuardOptions options;
  EXPECT_EQ(Text([&](GuardText& out) { CallStackText(frames, options, out); }),
            " [korvane.exe]+0x1234=00401234\r\n  [ntdll.dll]+0x2000=7C902000\r\n");
  options.framesOutermostFirst = 1;
  EXPECT_EQ(Text([&](GuardText& out) { CallStackText(frames, options, out); }),
            " [ntdll.dll]+0x2000=7C902000\r\n  [korvane.exe]+0x1234=00401234\r\n");
  options = GuardOptions{};
  options.skipSystemFrames = 0;
  EXPECT_EQ(Text([&](GuardText& out) { CallStackText(std::span(frames).first(2), options, out); }),
            " [ntdll.dll]+0x1000=7C901000\r\n  [KERNEL32.DLL]+0x1000=7C801000\r\n");
}

TEST(CrashGuardText, AnalysisAddress) {
  const ModuleInfo user32 = Module("user32.dll", 0x77D10000, 0x90000);
  const uintptr_t main = kProgram.base;
  const FrameFacts inUser32 = Frame(0x77D20000, &user32);
  const FrameFacts inProgram = Frame(0x00401234, &kProgram);
  const FrameFacts nowhere = Frame(0x12345678);
  EXPECT_EQ(AnalysisAddress(0x5000, nullptr, std::vector{inProgram}, main), 0x5000u) << "fault in no module";
  EXPECT_EQ(AnalysisAddress(0x77D20010, &user32, std::vector{inUser32, inProgram}, main), 0x00401234u);
  EXPECT_EQ(AnalysisAddress(0x00401000, &kProgram, std::vector{inProgram}, main), 0x00401234u);
  EXPECT_EQ(AnalysisAddress(0x77D20010, &user32, std::vector{inUser32, nowhere, inProgram}, main), std::nullopt);
  EXPECT_EQ(AnalysisAddress(0x77D20010, &user32, std::vector{inUser32}, main), std::nullopt);
}

TEST(CrashGuardText, ReportTextAppendsTheCallStackWhenWanted) {
  const auto report = [](std::string_view stack, bool include) {
    return Text([&](GuardText& out) { ReportText("警告:程序发生错误\r\n", stack, include, out); });
  };
  EXPECT_EQ(report(" 0x00401234\r\n", true), "警告:程序发生错误\r\nCallStack:\r\n 0x00401234\r\n");
  EXPECT_EQ(report(" 0x00401234\r\n", false), "警告:程序发生错误\r\n");
  EXPECT_EQ(report("", true), "警告:程序发生错误\r\n");
}

TEST(CrashGuardText, TextIsCutAtItsCapacity) {
  std::array<char, 4> storage;
  GuardText text(storage);
  text << "abc" << "def";
  EXPECT_EQ(text.view(), "abcd");
}

TEST(CrashGuardOptions, ConfigureKeepsWhatIsLeftOutAndArms) {
  const GuardOptions defaults;
  EXPECT_EQ(defaults.armed, 0);
  EXPECT_STREQ(defaults.ownerWindowClass, "Afx:10000000:b:10011:1900015:0");

  // What the main window passes.
  const GuardOptions window = ApplySettings(defaults, {.showMessageBox = 1, .endFaultingThreadOnly = 0,
                                                       .registerRuntimeErrorHandler = true, .ownerWindowClass = "",
                                                       .includeCallStack = 1, .maxSymbolDistance = 0});
  EXPECT_EQ(window.armed, 1);
  EXPECT_EQ(window.maxSymbolDistance, 4096);
  EXPECT_STREQ(window.ownerWindowClass, defaults.ownerWindowClass);
  EXPECT_EQ(window.passThrowCode, 1);
  EXPECT_EQ(window.skipSystemFrames, 1);

  const GuardOptions changed = ApplySettings(window, {.showMessageBox = 0, .ownerWindowClass = "KorvaneMainWindow",
                                                      .skipSystemFrames = 0, .maxSymbolDistance = 100,
                                                      .framesOutermostFirst = 1});
  EXPECT_EQ(changed.showMessageBox, 0);
  EXPECT_STREQ(changed.ownerWindowClass, "KorvaneMainWindow");
  EXPECT_EQ(changed.skipSystemFrames, 0);
  EXPECT_EQ(changed.maxSymbolDistance, 100);
  EXPECT_EQ(changed.framesOutermostFirst, 1);
  EXPECT_EQ(changed.includeCallStack, 1);
}

}  // namespace
}  // namespace korvane
