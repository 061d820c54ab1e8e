// GB18030 and UTF-8 on Windows, through UTF-16: the system converts, and the byte patterns of both
// encodings tell where a character that does not convert begins and ends.
#include "platform/text_encoding.h"

#include <algorithm>

#include "platform/win32/services/wide_text.h"

namespace korvane {
namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool Within(unsigned char byte, unsigned char low, unsigned char high) { return byte >= low && byte <= high; }

// The length of the GB18030 character at the start of text by its byte pattern (1, 2 or 4); 0 where
// none starts.
size_t Gb18030Length(std::string_view text) {
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  if (byte(0) < 0x80) return 1;
  if (!Within(byte(0), 0x81, 0xFE) || text.size() < 2) return 0;
  if (Within(byte(1), 0x40, 0x7E) || Within(byte(1), 0x80, 0xFE)) return 2;
  if (Within(byte(1), 0x30, 0x39) && text.size() >= 4 && Within(byte(2), 0x81, 0xFE) && Within(byte(3), 0x30, 0x39)) {
    return 4;
  }
  return 0;
}

// The length of the longest start of text that is well-formed UTF-8 (no overlong form, no surrogate).
size_t ValidUtf8Length(std::string_view text) {
  size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 1;
    char32_t code = lead;
    char32_t smallest = 0;
    if (lead >= 0x80) {
      if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, smallest = 0x80;
      } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, smallest = 0x800;
      } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, smallest = 0x10000;
      } else {
        return at;
      }
    }
    if (text.size() - at < length) return at;
    for (size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0) != 0x80) return at;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return at;
    at += length;
  }
  return at;
}

}  // namespace

Utf8Conversion Gb18030ToUtf8(std::string_view gb18030) {
  if (IsAscii(gb18030)) return {std::string(gb18030), 0};
  std::wstring wide;
  size_t replaced = 0;
  // Stretches of well-formed characters go to the system whole; only a stretch that holds a character
  // the system does not know goes one character at a time. A byte that starts no character is U+FFFD.
  while (!gb18030.empty()) {
    size_t stretch = 0;
    while (stretch < gb18030.size()) {
      const size_t length = Gb18030Length(gb18030.substr(stretch));
      if (length == 0) break;
      stretch += length;
    }
    std::string_view characters = gb18030.substr(0, stretch);
    gb18030.remove_prefix(std::max<size_t>(stretch, 1));
    if (stretch == 0) {
      wide += L'\xFFFD';
      ++replaced;
      continue;
    }
    if (const auto converted = win32::ToWideStrictly(characters)) {
      wide += *converted;
      continue;
    }
    while (!characters.empty()) {
      const size_t length = Gb18030Length(characters);
      const auto converted = length > 0 ? win32::ToWideStrictly(characters.substr(0, length)) : std::nullopt;
      if (converted) {
        wide += *converted;
        characters.remove_prefix(length);
      } else {
        wide += L'\xFFFD';
        ++replaced;
        characters.remove_prefix(1);
      }
    }
  }
  return {win32::WideToUtf8(wide), replaced};
}

Gb18030Conversion Utf8ToGb18030(std::string_view utf8) {
  if (IsAscii(utf8)) return {std::string(utf8), std::nullopt};
  const size_t valid = ValidUtf8Length(utf8);
  Gb18030Conversion result{win32::FromWide(win32::Utf8ToWide(utf8.substr(0, valid))), std::nullopt};
  if (valid < utf8.size()) result.invalidAt = valid;
  return result;
}

}  // namespace korvane
