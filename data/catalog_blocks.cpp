// The eleven data/catalog/NN.gz blocks, taken into the program's read-only data by the assembler.
#include "data/catalog_blocks.h"

#include <array>

// The assembler's .incbin works with every compiler we use (native g++, clang for the fuzz build, the
// MinGW cross compilers). Symbol names are fixed with asm labels, so the i686 Windows convention of a
// leading underscore does not apply; PE files keep read-only data in .rdata.
#if defined(_WIN32)
#define KORVANE_READ_ONLY ".section .rdata,\"dr\"\n"
#else
#define KORVANE_READ_ONLY ".section .rodata\n"
#endif

#define KORVANE_BLOCK(n)                                                  \
  ".globl korvane_catalog_" #n "\n"                                       \
  ".globl korvane_catalog_" #n "_end\n"                                   \
  "korvane_catalog_" #n ":\n"                                             \
  ".incbin \"" KORVANE_CATALOG_DIR "/" #n ".gz\"\n"                       \
  "korvane_catalog_" #n "_end:\n"

asm(KORVANE_READ_ONLY
    KORVANE_BLOCK(00) KORVANE_BLOCK(01) KORVANE_BLOCK(02) KORVANE_BLOCK(03) KORVANE_BLOCK(04)
    KORVANE_BLOCK(05) KORVANE_BLOCK(06) KORVANE_BLOCK(07) KORVANE_BLOCK(08) KORVANE_BLOCK(09)
    KORVANE_BLOCK(10)
    ".text\n");

#define KORVANE_DECLARE(n)                                      \
  extern "C" const char korvane_catalog_##n[] asm("korvane_catalog_" #n); \
  extern "C" const char korvane_catalog_##n##_end[] asm("korvane_catalog_" #n "_end");

KORVANE_DECLARE(00)
KORVANE_DECLARE(01)
KORVANE_DECLARE(02)
KORVANE_DECLARE(03)
KORVANE_DECLARE(04)
KORVANE_DECLARE(05)
KORVANE_DECLARE(06)
KORVANE_DECLARE(07)
KORVANE_DECLARE(08)
KORVANE_DECLARE(09)
KORVANE_DECLARE(10)

namespace korvane {

std::string_view CatalogBlock(int index) {
#define KORVANE_VIEW(n) std::string_view(korvane_catalog_##n, static_cast<size_t>(korvane_catalog_##n##_end - korvane_catalog_##n))
  static const std::array<std::string_view, kCatalogBlockCount> blocks = {
      KORVANE_VIEW(00), KORVANE_VIEW(01), KORVANE_VIEW(02), KORVANE_VIEW(03), KORVANE_VIEW(04), KORVANE_VIEW(05),
      KORVANE_VIEW(06), KORVANE_VIEW(07), KORVANE_VIEW(08), KORVANE_VIEW(09), KORVANE_VIEW(10),
  };
#undef KORVANE_VIEW
  return index >= 0 && index < kCatalogBlockCount ? blocks[static_cast<size_t>(index)] : std::string_view();
}

}  // namespace korvane
