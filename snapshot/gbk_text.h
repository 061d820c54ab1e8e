// Byte-level rules for GBK text: the "\" and "|" that may be trail bytes, ASCII-only case, text to integer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The core's texts are GBK byte strings; file contents are plain byte sequences. Both are std::string.
using Bytes = std::string;

// A byte from 0x81 to 0xFE opens a double-byte character; the byte after it is that character's trail
// byte, which may be any of 0x40 to 0xFE, "\" (0x5C), "|" (0x7C) and the ASCII letters included.
constexpr bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// The number of "\" characters in a directory path minus one: "C:\" is 0, "C:\Windows\" is 1.
int PathDepth(std::string_view path);

// The offset of the last "\" character in a path (not a trail byte), or npos.
size_t LastPathSeparator(std::string_view path);

// Lower-cases A to Z and leaves every double-byte character, trail byte included, as it is.
std::string AsciiLower(std::string_view text);

// Splits at every "|" character; a 0x7C trail byte stays inside its field. "" gives one empty field.
std::vector<std::string> SplitAtBar(std::string_view text);

// Reads a number the way every text of the program becomes one: full-width forms count as their ASCII
// forms, leading white space is skipped, an optional sign is read, then decimal digits up to the first
// other character. No digits gives 0; a run beyond the 64-bit range saturates at its limit.
int64_t TextToInteger(std::string_view text);

}  // namespace korvane
