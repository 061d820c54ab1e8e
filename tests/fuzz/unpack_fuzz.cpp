// Unpacking any bytes: the output never exceeds the declared length, and packs and unpacks again.
#include <cstdint>
#include <cstdlib>

#include "snapshot/gz_container.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korvane;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const Bytes output = GzContainer::unpack(input);
  if (output.empty()) return 0;
  const uint32_t declared = data[3] | data[4] << 8 | data[5] << 16 | static_cast<uint32_t>(data[6]) << 24;
  if (output.size() > declared) std::abort();
  if (GzContainer::unpack(GzContainer::pack(output)) != output) std::abort();
  return 0;
}
