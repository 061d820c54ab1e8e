// Reading and mapping PE32 and PE32+ library images held in memory: portable, for every OS and the fuzzer.
//
// Every read is bounded by the bytes it reads from (the image, or the mapped block) and by the sizes of
// the data directories, so a damaged or hostile image is refused instead of being read or written past
// its end. Nothing here runs code of the image or asks the OS for anything: the OS parts (the memory,
// the other modules, the entry point) are the caller's, see in_memory_library.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace korvane::pe {

using ByteView = std::span<const unsigned char>;
using ByteBlock = std::span<unsigned char>;

enum class Format { Pe32, Pe32Plus };

inline constexpr uint16_t kExecutableImage = 0x0002;
inline constexpr uint16_t kDll = 0x2000;

struct DataDirectory {
  uint32_t address = 0;  // relative to the image base
  uint32_t size = 0;
};

struct Section {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;     // SizeOfRawData
  uint32_t rawPointer = 0;  // PointerToRawData
};

// What mapping and calling an image needs from its headers, all of it found within the bytes read.
struct Headers {
  Format format = Format::Pe32;
  uint16_t characteristics = 0;  // the file header's
  uint64_t imageBase = 0;
  uint32_t entryPoint = 0;  // AddressOfEntryPoint
  uint32_t sizeOfImage = 0;
  uint32_t sectionAlignment = 0;
  size_t headersSize = 0;  // DOS header to the end of the section table
  DataDirectory exports, imports, relocations;
  std::vector<Section> sections;
};

// The headers of an image (or of a mapped block, whose headers are a copy of the image's): nothing when
// it has fewer than 64 bytes, no "MZ", NT headers or section table past its end, no "PE\0\0", no
// executable-image flag or an optional header of another kind than PE32 or PE32+.
std::optional<Headers> ReadHeaders(ByteView bytes);

// The size of the block an image is mapped into: the largest of SizeOfImage and every section's end
// (VirtualAddress plus the larger of SizeOfRawData and the low 16 bits of VirtualSize) rounded up to
// SectionAlignment. Nothing when the alignment is 0 or the size does not fit this process's addresses.
std::optional<size_t> MappedSize(const Headers& headers);

// Copies the headers and every section with raw data and a virtual address into block (of MappedSize
// bytes, zero-filled). False when a section's raw data lies past the image's end or would not fit.
bool CopyImage(ByteView image, const Headers& headers, ByteBlock block);

// Applies the base relocations for a block mapped at base: 32-bit (type 3) and 64-bit (type 10) absolute
// entries move by base - ImageBase; other types are skipped. False when a relocation block lies past the
// directory's end, declares a size below its own 8-byte header, or points past the block.
bool Relocate(const Headers& headers, ByteBlock block, uint64_t base);

// One function that an image imports: by ordinal when byOrdinal, else by the NUL-terminated name.
struct ImportedFunction {
  const char* name = nullptr;
  uint16_t ordinal = 0;
  bool byOrdinal = false;
};

// The address of a function of another module (NUL-terminated name); 0 when either cannot be found.
using ImportResolver = std::function<uint64_t(const char* module, const ImportedFunction& function)>;

// Fills the import address tables (the FirstThunk arrays, which are read and overwritten) with the
// resolver's addresses. False when a function cannot be resolved, its address does not fit the entry
// (PE32), or a descriptor, thunk array or name lies past the block.
bool BindImports(const Headers& headers, ByteBlock block, const ImportResolver& resolve);

// The address, relative to the base, of the export named exactly name (case-sensitive) in a mapped
// block; 0 when the block has no valid headers, no export directory or no such export, and for an
// export that forwards to another module.
uint32_t ExportAddress(ByteView block, std::string_view name);

}  // namespace korvane::pe
