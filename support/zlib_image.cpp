// The carried zlib image, and the program's zlib: a fresh mapping of it for every pack and unpack.
#include "support/zlib_image.h"

#include <cstdint>

#include "snapshot/gz_container.h"
#include "support/in_memory_library_win32.h"

// Embedded as data/catalog_blocks.cpp embeds the catalog: .incbin under fixed asm labels, in .rdata.
asm(".section .rdata,\"dr\"\n"
    ".globl korvane_zlib_image\n"
    ".globl korvane_zlib_image_end\n"
    "korvane_zlib_image:\n"
    ".incbin \"" KORVANE_ZLIB_IMAGE "\"\n"
    "korvane_zlib_image_end:\n"
    ".text\n");
extern "C" const char korvane_zlib_image[] asm("korvane_zlib_image");
extern "C" const char korvane_zlib_image_end[] asm("korvane_zlib_image_end");

namespace korvane {
namespace {

class MappedZlib final : public ZlibLibrary {
 public:
  InMemoryLibrary library{SystemLibraryHost()};

  ZlibRoutine findExport(std::string_view name) override {
    const uintptr_t address = library.findExport(name);
    if (address == 0) return nullptr;
    return [address](unsigned char* destination, unsigned long* destinationLength, const unsigned char* source,
                     unsigned long sourceLength) {
      const uintptr_t result =
          CallAddress(address, {reinterpret_cast<uintptr_t>(destination), reinterpret_cast<uintptr_t>(destinationLength),
                                reinterpret_cast<uintptr_t>(source), sourceLength});
      return static_cast<int>(static_cast<uint32_t>(result));
    };
  }
};

class CarriedZlib final : public ZlibSource {
 public:
  std::unique_ptr<ZlibLibrary> load() const override {
    auto zlib = std::make_unique<MappedZlib>();
    if (!zlib->library.load(ZlibImage())) return nullptr;
    return zlib;
  }
};

}  // namespace

std::string_view ZlibImage() {
  return {korvane_zlib_image, static_cast<size_t>(korvane_zlib_image_end - korvane_zlib_image)};
}

const ZlibSource& ProgramZlib() {
  static const CarriedZlib source;
  return source;
}

}  // namespace korvane
