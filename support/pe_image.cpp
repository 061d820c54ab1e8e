// Reading and mapping PE32 and PE32+ images, every read and write bounded by the bytes it touches.
#include "support/pe_image.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace korvane::pe {
namespace {

constexpr size_t kDosHeaderSize = 64;
constexpr size_t kFileHeaderEnd = 24;  // signature and file header: the optional header starts here
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kImportDescriptorSize = 20;
constexpr size_t kExportDirectorySize = 40;
constexpr size_t kRelocationBlockHeaderSize = 8;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr int kRelocationAbsolute32 = 3;
constexpr int kRelocationAbsolute64 = 10;

// The layout facts in which the two optional headers differ.
struct OptionalLayout {
  size_t ntHeadersSize;  // signature, file header and the optional header with 16 data directories
  size_t imageBase;      // offsets within the optional header
  size_t imageBaseWidth;
  size_t directoryCount;
  size_t directories;
};
constexpr OptionalLayout kPe32Layout{248, 28, 4, 92, 96};
constexpr OptionalLayout kPe32PlusLayout{264, 24, 8, 108, 112};

bool Fits(size_t length, uint64_t offset, uint64_t size) { return offset <= length && size <= length - offset; }
bool Fits(ByteView bytes, uint64_t offset, uint64_t size) { return Fits(bytes.size(), offset, size); }

uint64_t Load(const unsigned char* at, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= uint64_t{at[i]} << (8 * i);
  return value;
}
uint16_t Load16(ByteView bytes, uint64_t offset) { return static_cast<uint16_t>(Load(bytes.data() + offset, 2)); }
uint32_t Load32(ByteView bytes, uint64_t offset) { return static_cast<uint32_t>(Load(bytes.data() + offset, 4)); }

void Store(unsigned char* at, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The NUL-terminated text at offset, or nothing when no NUL ends it within bytes.
std::optional<std::string_view> TextAt(ByteView bytes, uint64_t offset) {
  if (offset >= bytes.size()) return std::nullopt;
  const auto* begin = reinterpret_cast<const char*>(bytes.data() + offset);
  const void* end = std::memchr(begin, '\0', bytes.size() - offset);
  if (!end) return std::nullopt;
  return std::string_view(begin, static_cast<size_t>(static_cast<const char*>(end) - begin));
}

// The width of an import address table entry and its by-ordinal flag.
size_t ThunkWidth(Format format) { return format == Format::Pe32 ? 4 : 8; }
uint64_t OrdinalFlag(Format format) { return format == Format::Pe32 ? uint64_t{1} << 31 : uint64_t{1} << 63; }

}  // namespace

std::optional<Headers> ReadHeaders(ByteView bytes) {
  if (bytes.size() < kDosHeaderSize || Load16(bytes, 0) != 0x5A4D) return std::nullopt;
  const uint64_t nt = Load32(bytes, 60);
  if (!Fits(bytes, nt, kPe32Layout.ntHeadersSize) || Load32(bytes, nt) != 0x4550) return std::nullopt;
  Headers headers;
  headers.characteristics = Load16(bytes, nt + 22);
  if (!(headers.characteristics & kExecutableImage)) return std::nullopt;
  const uint64_t optional = nt + kFileHeaderEnd;
  const uint16_t magic = Load16(bytes, optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return std::nullopt;
  headers.format = magic == kPe32Magic ? Format::Pe32 : Format::Pe32Plus;
  const OptionalLayout& layout = headers.format == Format::Pe32 ? kPe32Layout : kPe32PlusLayout;
  if (!Fits(bytes, nt, layout.ntHeadersSize)) return std::nullopt;

  const uint16_t sectionCount = Load16(bytes, nt + 6);
  const uint64_t sectionTable = optional + Load16(bytes, nt + 20);  // past SizeOfOptionalHeader
  if (!Fits(bytes, sectionTable, uint64_t{sectionCount} * kSectionHeaderSize)) return std::nullopt;
  headers.headersSize = static_cast<size_t>(sectionTable + sectionCount * kSectionHeaderSize);

  headers.entryPoint = Load32(bytes, optional + 16);
  headers.imageBase = Load(bytes.data() + optional + layout.imageBase, layout.imageBaseWidth);
  headers.sectionAlignment = Load32(bytes, optional + 32);
  headers.sizeOfImage = Load32(bytes, optional + 56);
  // Directories past NumberOfRvaAndSizes do not exist, whatever bytes follow.
  const uint32_t directoryCount = std::min<uint32_t>(Load32(bytes, optional + layout.directoryCount), 16);
  const auto directory = [&](uint32_t index) {
    if (index >= directoryCount) return DataDirectory{};
    const uint64_t at = optional + layout.directories + 8 * index;
    return DataDirectory{Load32(bytes, at), Load32(bytes, at + 4)};
  };
  headers.exports = directory(0);
  headers.imports = directory(1);
  headers.relocations = directory(5);

  headers.sections.reserve(sectionCount);
  for (uint64_t at = sectionTable; at < headers.headersSize; at += kSectionHeaderSize) {
    headers.sections.push_back(
        Section{Load32(bytes, at + 12), Load32(bytes, at + 8), Load32(bytes, at + 16), Load32(bytes, at + 20)});
  }
  return headers;
}

std::optional<size_t> MappedSize(const Headers& headers) {
  const uint64_t alignment = headers.sectionAlignment;
  if (alignment == 0) return std::nullopt;
  uint64_t size = headers.sizeOfImage;
  for (const Section& section : headers.sections) {
    // Only the low 16 bits of VirtualSize count here; SizeOfImage covers the rest of a well-formed image.
    const uint64_t end = uint64_t{section.virtualAddress} + std::max<uint32_t>(section.rawSize, section.virtualSize & 0xFFFF);
    size = std::max(size, (end + alignment - 1) / alignment * alignment);
  }
  if (size < headers.headersSize || size > std::numeric_limits<size_t>::max()) return std::nullopt;
  return static_cast<size_t>(size);
}

bool CopyImage(ByteView image, const Headers& headers, ByteBlock block) {
  if (!Fits(image, 0, headers.headersSize) || !Fits(block.size(), 0, headers.headersSize)) return false;
  std::memcpy(block.data(), image.data(), headers.headersSize);
  for (const Section& section : headers.sections) {
    if (section.rawSize == 0 || section.virtualAddress == 0) continue;
    if (!Fits(image, section.rawPointer, section.rawSize) ||
        !Fits(block.size(), section.virtualAddress, section.rawSize)) {
      return false;
    }
    std::memcpy(block.data() + section.virtualAddress, image.data() + section.rawPointer, section.rawSize);
  }
  return true;
}

bool Relocate(const Headers& headers, ByteBlock block, uint64_t base) {
  const DataDirectory& directory = headers.relocations;
  if (directory.size == 0) return true;
  if (!Fits(block.size(), directory.address, directory.size)) return false;
  const uint64_t delta = base - headers.imageBase;
  const uint64_t end = uint64_t{directory.address} + directory.size;
  uint64_t at = directory.address;
  while (end - at >= kRelocationBlockHeaderSize) {
    const uint32_t page = Load32(block, at);
    const uint32_t blockSize = Load32(block, at + 4);
    if (page == 0) break;
    if (blockSize < kRelocationBlockHeaderSize || blockSize > end - at) return false;
    for (uint64_t entry = at + kRelocationBlockHeaderSize; entry + 2 <= at + blockSize; entry += 2) {
      const uint16_t value = Load16(block, entry);
      const int type = value >> 12;
      const size_t width = type == kRelocationAbsolute32 ? 4 : type == kRelocationAbsolute64 ? 8 : 0;
      if (width == 0) continue;
      const uint64_t target = uint64_t{page} + (value & 0xFFF);
      if (!Fits(block.size(), target, width)) return false;
      unsigned char* const place = block.data() + target;
      Store(place, Load(place, width) + delta, width);  // Store keeps the low width bytes: modulo 2^32 or 2^64
    }
    at += blockSize;
  }
  return true;
}

bool BindImports(const Headers& headers, ByteBlock block, const ImportResolver& resolve) {
  const DataDirectory& directory = headers.imports;
  if (directory.address == 0) return true;
  if (!Fits(block.size(), directory.address, directory.size)) return false;
  const size_t width = ThunkWidth(headers.format);
  const uint64_t ordinalFlag = OrdinalFlag(headers.format);
  const uint64_t end = uint64_t{directory.address} + directory.size;
  for (uint64_t descriptor = directory.address; end - descriptor >= kImportDescriptorSize;
       descriptor += kImportDescriptorSize) {
    const uint32_t firstThunk = Load32(block, descriptor + 16);
    if (firstThunk == 0) break;
    const auto module = TextAt(block, Load32(block, descriptor + 12));
    if (!module) return false;
    for (uint64_t thunk = firstThunk;; thunk += width) {
      if (!Fits(block.size(), thunk, width)) return false;
      const uint64_t entry = Load(block.data() + thunk, width);
      if (entry == 0) break;
      ImportedFunction function;
      if (entry & ordinalFlag) {
        function.byOrdinal = true;
        function.ordinal = static_cast<uint16_t>(entry);
      } else {
        const auto name = TextAt(block, entry + 2);  // past the 16-bit hint
        if (!name) return false;
        function.name = name->data();
      }
      const uint64_t address = resolve(module->data(), function);
      if (address == 0 || (width == 4 && address > std::numeric_limits<uint32_t>::max())) return false;
      Store(block.data() + thunk, address, width);
    }
  }
  return true;
}

uint32_t ExportAddress(ByteView block, std::string_view name) {
  const auto headers = ReadHeaders(block);
  if (!headers || name.empty() || name.find('\0') != std::string_view::npos) return 0;
  const DataDirectory& directory = headers->exports;
  if (directory.size < kExportDirectorySize || !Fits(block, directory.address, kExportDirectorySize)) return 0;
  const uint32_t functionCount = Load32(block, directory.address + 20);
  const uint32_t nameCount = Load32(block, directory.address + 24);
  const uint32_t functions = Load32(block, directory.address + 28);
  const uint32_t names = Load32(block, directory.address + 32);
  const uint32_t ordinals = Load32(block, directory.address + 36);
  if (!Fits(block, names, uint64_t{nameCount} * 4) || !Fits(block, ordinals, uint64_t{nameCount} * 2)) return 0;
  for (uint64_t i = 0; i < nameCount; ++i) {
    const uint32_t text = Load32(block, names + 4 * i);
    if (!Fits(block, text, name.size() + 1) || block[text + name.size()] != 0 ||
        std::memcmp(block.data() + text, name.data(), name.size()) != 0) {
      continue;
    }
    const uint16_t index = Load16(block, ordinals + 2 * i);
    if (index >= functionCount || !Fits(block, functions + uint64_t{index} * 4, 4)) return 0;
    const uint32_t address = Load32(block, functions + uint64_t{index} * 4);
    // An address inside the export directory is a forwarder's text ("OTHER.name"), not code.
    const bool forwarder = address >= directory.address && address - directory.address < directory.size;
    return address == 0 || address >= block.size() || forwarder ? 0 : address;
  }
  return 0;
}

}  // namespace korvane::pe
