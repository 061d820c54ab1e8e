// Conversion between the core's GB18030 texts (GBK for every GBK character) and the UTF-16 of the W
// functions: code page 54936 both ways, so no name becomes "?"; GBK (936) on a system without it.
#pragma once

#include <string>
#include <string_view>

namespace korvane::win32 {

std::wstring ToWide(std::string_view gb18030);
std::string FromWide(std::wstring_view wide);

}  // namespace korvane::win32
