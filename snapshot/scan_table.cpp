// The directory records of one scan and their text form.
#include "snapshot/scan_table.h"

#include <charconv>

namespace korvane {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsWellFormedPath(std::string_view path) {
  return path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && path.back() == '\\' &&
         path.find_first_of("\r\n") == std::string_view::npos;
}

// Only the canonical decimal form: no sign but "-", no leading zeros, no "-0", within 64 bits.
std::optional<int64_t> CanonicalSize(std::string_view digits) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  const std::string_view magnitude = digits.substr(digits.starts_with('-') ? 1 : 0);
  if (magnitude.size() > 1 && magnitude[0] == '0') return std::nullopt;
  if (digits == "-0") return std::nullopt;
  return value;
}

}  // namespace

void ScanTable::clear() {
  paths_.clear();
  sizes_.clear();
  enumerated = 0;
}

void ScanTable::append(std::string_view path, int64_t size) {
  paths_.emplace_back(path);
  sizes_.push_back(size);
}

Bytes SnapshotText(const ScanTable& table) {
  Bytes text;
  char digits[24];
  for (int record = 1; record <= table.count(); ++record) {
    const auto end = std::to_chars(digits, digits + sizeof digits, table.size(record)).ptr;
    text.append(table.path(record)).append(1, '|').append(digits, end).append(kLineEnd);
  }
  return text;
}

std::optional<ScanTable> ParseSnapshotText(std::string_view text) {
  ScanTable table;
  while (!text.empty()) {
    const size_t lineEnd = text.find(kLineEnd);
    if (lineEnd == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(0, lineEnd);
    text.remove_prefix(lineEnd + kLineEnd.size());
    const size_t bar = line.rfind('|');
    if (bar == std::string_view::npos || !IsWellFormedPath(line.substr(0, bar))) return std::nullopt;
    const auto size = CanonicalSize(line.substr(bar + 1));
    if (!size) return std::nullopt;
    table.append(line.substr(0, bar), *size);
  }
  return table;
}

}  // namespace korvane
