// GB18030 to UTF-16 and back through the system's code page 54936.
#include "platform/win32/services/wide_text.h"

#include <windows.h>

#include <climits>

namespace korvane::win32 {
namespace {

// GB18030 where the system has it (every Windows from XP on); GBK where it lacks it (wine), which keeps
// every GBK name and writes the others with "?", and then without look-alike ("best fit") characters.
UINT CodePage() {
  static const UINT codePage = IsValidCodePage(54936) ? 54936 : 936;
  return codePage;
}

// Code page 54936 takes no flags but the error ones.
DWORD ToNarrowFlags() { return CodePage() == 936 ? WC_NO_BEST_FIT_CHARS : 0; }

}  // namespace

std::wstring ToWide(std::string_view gb18030) {
  if (gb18030.empty() || gb18030.size() > INT_MAX) return {};
  const int length = static_cast<int>(gb18030.size());
  const int needed = MultiByteToWideChar(CodePage(), 0, gb18030.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(CodePage(), 0, gb18030.data(), length, wide.data(), needed);
  wide.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return wide;
}

std::string FromWide(std::wstring_view wide) {
  if (wide.empty() || wide.size() > INT_MAX) return {};
  const int length = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(CodePage(), ToNarrowFlags(), wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string text(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(CodePage(), ToNarrowFlags(), wide.data(), length, text.data(), needed, nullptr, nullptr);
  text.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return text;
}

}  // namespace korvane::win32
