// The plain searches that the comparison's indexes stand for: the oracle the indexes are tested against.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "snapshot/gbk_text.h"

namespace korvane {

// The size on the first line that holds "<path>|": the bytes after the "|" up to the next CR LF (cut at
// a 0x00 byte), by the text-to-integer rule; 0 when the key or the CR LF is missing.
inline int64_t PlainLookup(std::string_view buffer, std::string_view path) {
  const size_t key = buffer.find(std::string(path) + "|");
  if (key == std::string_view::npos) return 0;
  const size_t value = key + path.size() + 1;
  const size_t lineEnd = buffer.find("\r\n", value);
  if (lineEnd == std::string_view::npos) return 0;
  std::string_view text = buffer.substr(value, lineEnd - value);
  return TextToInteger(text.substr(0, text.find('\0')));
}

// The size of the listed row ("path|size" lines) in which the path first occurs: that row's own size,
// after the last "|" of its line.
inline int64_t PlainListedSize(std::string_view listedRows, std::string_view path) {
  const size_t found = listedRows.find(path);
  if (found == std::string_view::npos) return 0;
  const size_t lineEnd = listedRows.find("\r\n", found);
  const std::string_view line = listedRows.substr(0, lineEnd);
  return TextToInteger(line.substr(line.rfind('|') + 1));
}

}  // namespace korvane
