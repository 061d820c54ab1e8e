// Loading references and looking sizes up in them.
#include "compare/reference_snapshot.h"

#include "app/program_state.h"
#include "compare/builtin_catalog.h"
#include "snapshot/chunk_cipher.h"
#include "snapshot/gz_container.h"

namespace korvane {
namespace {

// The size text after a "|" at value: up to the first CR LF, cut at a 0x00 byte; nothing without CR LF.
int64_t SizeAt(std::string_view buffer, size_t value) {
  const size_t lineEnd = buffer.find("\r\n", value);
  if (lineEnd == std::string_view::npos) return 0;
  std::string_view text = buffer.substr(value, lineEnd - value);
  text = text.substr(0, text.find('\0'));
  return TextToInteger(text);
}

}  // namespace

void ReferenceSnapshot::load(ProgramContext& context) {
  WindowToolkit& toolkit = context.toolkit;
  if (toolkit.GetSelectedIndex(Control::外部参照) != -1) {
    const std::string path = context.files.ProgramDirectory() + "\\" + toolkit.GetText(Control::外部参照) + "." +
                             context.state.selectedDrive;
    return assign(GzContainer::unpack(
        ChunkCipher::decipher(context.files.ReadWholeFile(path), kPassPhrase, ChunkCipher::kRc4)));
  }
  const BuiltInCatalog& catalog = *context.catalog;
  const int builtIn = toolkit.GetSelectedIndex(Control::内部参照);
  if (builtIn < 0 || builtIn >= catalog.count()) return assign(std::nullopt);
  const CatalogEntry& entry = catalog.entry(builtIn);
  assign(entry.statisticsMarker ? Bytes(1, '\0') : GzContainer::unpack(entry.container));
}

void ReferenceSnapshot::assign(std::optional<Bytes> buffer) {
  index_.clear();
  buffer_ = std::move(buffer);
  if (buffer_) BuildIndex();
}

// A plain search finds "<path>|" wherever its bytes stand. The paths looked up begin with a letter, ":"
// and "\" and end in "\", so every place such a key can match begins at some "?:\" and ends at some
// "\|" of the same line; indexing every such pair, the earliest first, answers as the search does.
void ReferenceSnapshot::BuildIndex() {
  const std::string_view text = *buffer_;
  for (size_t lineStart = 0; lineStart < text.size();) {
    size_t lineEnd = text.find("\r\n", lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = text.size();
    const std::string_view line = text.substr(lineStart, lineEnd - lineStart);
    for (size_t start = 0; start + 3 < line.size(); ++start) {
      if (line[start + 1] != ':' || line[start + 2] != '\\') continue;
      for (size_t bar = line.find("\\|", start + 2); bar != std::string_view::npos; bar = line.find("\\|", bar + 1)) {
        index_.try_emplace(line.substr(start, bar + 1 - start), SizeAt(text, lineStart + bar + 2));
      }
    }
    lineStart = lineEnd + 2;
  }
}

int64_t ReferenceSnapshot::lookup(std::string_view path) const {
  const auto found = index_.find(path);
  return found == index_.end() ? 0 : found->second;
}

}  // namespace korvane
