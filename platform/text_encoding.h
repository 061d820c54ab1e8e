// Conversion between the core's GB18030 bytes (GBK for every GBK character) and the UTF-8 of terminals.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

struct Utf8Conversion {
  std::string text;
  // Bytes that were no GB18030 character, each shown as U+FFFD.
  size_t replaced = 0;
};

Utf8Conversion Gb18030ToUtf8(std::string_view gb18030);

struct Gb18030Conversion {
  std::string text;
  // The offset of the first byte that is no UTF-8 character; the text is then incomplete.
  std::optional<size_t> invalidAt;
};

Gb18030Conversion Utf8ToGb18030(std::string_view utf8);

}  // namespace korvane
