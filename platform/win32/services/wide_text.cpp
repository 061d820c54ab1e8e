// GB18030 to UTF-16 and back through the system's code page 54936; UTF-8 to UTF-16 and back.
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

// The UTF-16 of a multibyte text; nothing when the system refuses it (with the error flag: a byte
// sequence that is no character).
std::optional<std::wstring> Widen(UINT codePage, DWORD flags, std::string_view text) {
  if (text.empty()) return std::wstring();
  if (text.size() > INT_MAX) return std::nullopt;
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), needed);
  if (written <= 0) return std::nullopt;
  wide.resize(static_cast<size_t>(written));
  return wide;
}

std::string Narrow(UINT codePage, DWORD flags, std::wstring_view wide) {
  if (wide.empty() || wide.size() > INT_MAX) return {};
  const int length = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string text(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(codePage, flags, wide.data(), length, text.data(), needed, nullptr, nullptr);
  text.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return text;
}

}  // namespace

std::wstring ToWide(std::string_view gb18030) { return Widen(CodePage(), 0, gb18030).value_or(std::wstring()); }

std::string FromWide(std::wstring_view wide) { return Narrow(CodePage(), ToNarrowFlags(), wide); }

std::optional<std::wstring> ToWideStrictly(std::string_view gb18030) {
  return Widen(CodePage(), MB_ERR_INVALID_CHARS, gb18030);
}

std::wstring Utf8ToWide(std::string_view utf8) { return Widen(CP_UTF8, 0, utf8).value_or(std::wstring()); }

std::string WideToUtf8(std::wstring_view wide) { return Narrow(CP_UTF8, 0, wide); }

}  // namespace korvane::win32
