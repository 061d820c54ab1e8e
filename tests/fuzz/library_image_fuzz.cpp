// Mapping any bytes as a library image: reads stay within the image, writes within the mapping, and a
// refused image leaves nothing mapped.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "support/in_memory_library.h"
#include "support/in_memory_library_inert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korvane;
  InertLibraryHost host(size_t{4} << 20);
  {
    InMemoryLibrary library(host);
    if (library.load(std::string_view(reinterpret_cast<const char*>(data), size))) {
      if (library.base() == 0 || host.liveBlocks != 1) std::abort();
      // Sections may overwrite the mapped headers, which then name no entry point.
      library.entryPoint();
      const uintptr_t compress = library.findExport("compress");
      if (compress != 0 && compress <= library.base()) std::abort();
      library.findExport("uncompress");
    } else if (library.base() != 0 || host.liveBlocks != 0) {
      std::abort();
    }
  }
  if (host.liveBlocks != 0) std::abort();
  return 0;
}
