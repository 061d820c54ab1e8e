// The reference a comparison measures growth against: a private snapshot file, a built-in snapshot, or
// the marker that chooses the statistics run; and the sizes it holds, looked up by directory path.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "snapshot/gbk_text.h"

namespace korvane {

struct ProgramContext;

class ReferenceSnapshot {
 public:
  // Loads what the window chooses: the private snapshot of 外部参照 when it has a selection, else the
  // built-in entry of 内部参照. With neither, nothing is loaded, so a run never reuses a reference
  // the window no longer shows.
  void load(ProgramContext& context);

  // Puts bytes in place of the buffer (absent: nothing loaded).
  void assign(std::optional<Bytes> buffer);

  // The single byte 0x00 that chooses the statistics run.
  bool isStatisticsMarker() const { return buffer_ && *buffer_ == std::string_view("\0", 1); }
  // Nothing loaded, or a load that gave no bytes.
  bool isEmpty() const { return !buffer_ || buffer_->empty(); }
  const std::optional<Bytes>& buffer() const { return buffer_; }

  // The size on the first line that holds "<path>|", read up to the line's CR LF by the text-to-integer
  // rule; 0 when no line holds it. Answered from an index built once per load.
  int64_t lookup(std::string_view path) const;

 private:
  void BuildIndex();

  std::optional<Bytes> buffer_;
  // Every "<path>|" the buffer holds, by the text before the "|", with the size after it.
  std::unordered_map<std::string_view, int64_t> index_;
};

}  // namespace korvane
