// Byte-level rules for GBK text.
#include "snapshot/gbk_text.h"

#include <limits>

namespace korvane {
namespace {

// Calls visit(offset, length) for each character: one byte for ASCII, two for a double-byte character.
// A lead byte at the very end stands alone.
template <typename Visit>
void ForEachCharacter(std::string_view text, Visit visit) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    visit(i, length);
    i += length;
  }
}

// The ASCII character a one- or two-byte character stands for in a number: itself, or the ASCII form of
// a full-width form (GBK 0xA3A1 to 0xA3FE are U+FF01 to U+FF5E, the ideographic space 0xA1A1 a blank).
// Any other double-byte character gives 0.
char AsciiForm(std::string_view character) {
  if (character.size() == 1) return character[0];
  const auto lead = static_cast<unsigned char>(character[0]);
  const auto trail = static_cast<unsigned char>(character[1]);
  if (lead == 0xA1 && trail == 0xA1) return ' ';
  if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE && trail != 0xA4) return static_cast<char>(trail - 0x80);
  return 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

int PathDepth(std::string_view path) {
  int separators = 0;
  ForEachCharacter(path, [&](size_t offset, size_t length) {
    if (length == 1 && path[offset] == '\\') ++separators;
  });
  return separators - 1;
}

size_t LastPathSeparator(std::string_view path) {
  size_t last = std::string_view::npos;
  ForEachCharacter(path, [&](size_t offset, size_t length) {
    if (length == 1 && path[offset] == '\\') last = offset;
  });
  return last;
}

std::string AsciiLower(std::string_view text) {
  std::string lowered(text);
  ForEachCharacter(text, [&](size_t offset, size_t length) {
    if (length == 1 && lowered[offset] >= 'A' && lowered[offset] <= 'Z') lowered[offset] += 'a' - 'A';
  });
  return lowered;
}

std::vector<std::string> SplitAtBar(std::string_view text) {
  std::vector<std::string> fields(1);
  ForEachCharacter(text, [&](size_t offset, size_t length) {
    if (length == 1 && text[offset] == '|') {
      fields.emplace_back();
    } else {
      fields.back().append(text.substr(offset, length));
    }
  });
  return fields;
}

int64_t TextToInteger(std::string_view text) {
  enum class Stage { blanks, digits, done } stage = Stage::blanks;
  bool negative = false;
  // The magnitude stops growing at 2^63, the largest that either sign needs.
  constexpr uint64_t kLimit = uint64_t{1} << 63;
  uint64_t magnitude = 0;
  ForEachCharacter(text, [&](size_t offset, size_t length) {
    if (stage == Stage::done) return;
    const char c = AsciiForm(text.substr(offset, length));
    if (stage == Stage::blanks) {
      if (IsBlank(c)) return;
      stage = Stage::digits;
      if (c == '+' || c == '-') {
        negative = c == '-';
        return;
      }
    }
    if (c < '0' || c > '9') {
      stage = Stage::done;
      return;
    }
    const auto digit = static_cast<uint64_t>(c - '0');
    magnitude = magnitude > (kLimit - digit) / 10 ? kLimit : magnitude * 10 + digit;
  });
  if (negative) return magnitude == kLimit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
  return magnitude >= kLimit ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(magnitude);
}

}  // namespace korvane
