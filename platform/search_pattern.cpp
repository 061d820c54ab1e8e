// Matching names against search patterns the way the Windows listing functions do.
#include <cctype>

#include "platform/file_system.h"

namespace korvane {
namespace {

// Length of the character at the start of text: 2 for a GBK double-byte character, else 1.
size_t CharacterLength(std::string_view text) {
  return text.size() >= 2 && IsGbkLeadByte(static_cast<unsigned char>(text[0])) ? 2 : 1;
}

bool SameCharacter(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() == 1) return std::tolower(static_cast<unsigned char>(a[0])) == std::tolower(static_cast<unsigned char>(b[0]));
  return a == b;
}

bool Matches(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] == '*') {
    const std::string_view rest = pattern.substr(1);
    for (size_t at = 0;; at += CharacterLength(name.substr(at))) {
      if (Matches(rest, name.substr(at))) return true;
      if (at >= name.size()) return false;
    }
  }
  if (name.empty()) return false;
  const size_t patternLength = CharacterLength(pattern);
  const size_t nameLength = CharacterLength(name);
  if (pattern[0] != '?' && !SameCharacter(pattern.substr(0, patternLength), name.substr(0, nameLength))) return false;
  return Matches(pattern.substr(pattern[0] == '?' ? 1 : patternLength), name.substr(nameLength));
}

}  // namespace

bool MatchesSearchPattern(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*" || pattern == "*") return true;
  return Matches(pattern, name);
}

}  // namespace korvane
