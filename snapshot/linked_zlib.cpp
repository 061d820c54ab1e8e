// The zlib linked into the program, offered through the same seam as the in-memory image.
#include <zlib.h>

#include "snapshot/gz_container.h"

namespace korvane {
namespace {

class LinkedZlibLibrary final : public ZlibLibrary {
 public:
  ZlibRoutine findExport(std::string_view name) override {
    if (name == "compress") return &::compress;
    if (name == "uncompress") return &::uncompress;
    return nullptr;
  }
};

class LinkedZlibSource final : public ZlibSource {
 public:
  std::unique_ptr<ZlibLibrary> load() const override { return std::make_unique<LinkedZlibLibrary>(); }
};

}  // namespace

const ZlibSource& LinkedZlib() {
  static const LinkedZlibSource source;
  return source;
}

#if !defined(_WIN32)
// Windows builds take the program's zlib from the image in their data instead (support/zlib_image.cpp).
const ZlibSource& ProgramZlib() { return LinkedZlib(); }
#endif

}  // namespace korvane
