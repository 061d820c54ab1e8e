// Conversion between the core's GB18030 texts (GBK for every GBK character) and the UTF-16 of the W
// functions: code page 54936 both ways, so no name becomes "?"; GBK (936) on a system without it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane::win32 {

std::wstring ToWide(std::string_view gb18030);
std::string FromWide(std::wstring_view wide);

// As ToWide, but nothing when a byte sequence is no character of the code page.
std::optional<std::wstring> ToWideStrictly(std::string_view gb18030);

// UTF-8, the command line's text, and UTF-16. A byte that is no UTF-8 becomes U+FFFD (XP drops it).
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

}  // namespace korvane::win32
