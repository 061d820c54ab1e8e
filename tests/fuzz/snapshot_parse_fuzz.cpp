// Parsing any bytes as snapshot text: an accepted text serialises back to the same bytes; the GBK
// rules that read such texts take any bytes.
#include <cstdint>
#include <cstdlib>

#include "snapshot/gbk_text.h"
#include "snapshot/scan_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korvane;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (const auto table = ParseSnapshotText(input); table && SnapshotText(*table) != input) std::abort();
  size_t joined = 0;
  for (const std::string& field : SplitAtBar(input)) joined += field.size() + 1;
  if (joined > size + 1) std::abort();
  if (AsciiLower(input).size() != size) std::abort();
  TextToInteger(input);
  PathDepth(input);
  return 0;
}
