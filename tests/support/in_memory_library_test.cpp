// The loader's portable work on the real zlib DLL images (PE32 and PE32+), mapped into ordinary memory by
// the inert host: refusals of damaged images, relocation, imports, exports and the entry-point calls.
#include "support/in_memory_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/in_memory_library_inert.h"

namespace korvane {
namespace {

using Bytes = std::string;

Bytes ReadFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

uint64_t Get(const Bytes& bytes, size_t offset, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= uint64_t{static_cast<unsigned char>(bytes.at(offset + i))} << (8 * i);
  return value;
}
uint32_t Get32(const Bytes& bytes, size_t offset) { return static_cast<uint32_t>(Get(bytes, offset, 4)); }
uint16_t Get16(const Bytes& bytes, size_t offset) { return static_cast<uint16_t>(Get(bytes, offset, 2)); }
void Put32(Bytes& bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<char>(value >> (8 * i));
}

// The test's own reading of a DLL file, by file offsets, independent of the loader's.
struct ZlibFile {
  const char* label;
  Bytes bytes;
  size_t nt = Get32(bytes, 60);
  size_t optional = nt + 24;
  bool plus = Get16(bytes, optional) == 0x20B;
  size_t sectionTable = optional + Get16(bytes, nt + 20);
  size_t sectionCount = Get16(bytes, nt + 6);
  uint64_t imageBase = Get(bytes, optional + (plus ? 24 : 28), plus ? 8 : 4);

  size_t directory(int index) const { return optional + (plus ? 112 : 96) + 8 * index; }
  uint32_t directoryAddress(int index) const { return Get32(bytes, directory(index)); }
  uint32_t directorySize(int index) const { return Get32(bytes, directory(index) + 4); }
  size_t section(size_t index) const { return sectionTable + 40 * index; }
  // The file offset of an address relative to the image base.
  size_t fileOffset(uint32_t address) const {
    for (size_t i = 0; i < sectionCount; ++i) {
      const uint32_t start = Get32(bytes, section(i) + 12);
      if (address >= start && address - start < Get32(bytes, section(i) + 16)) {
        return Get32(bytes, section(i) + 20) + (address - start);
      }
    }
    ADD_FAILURE() << label << ": no section holds " << address;
    return 0;
  }
};

const ZlibFile& Pe32() {
  static const ZlibFile file{"PE32", ReadFile(KORVANE_ZLIB_PE32)};
  return file;
}
const ZlibFile& Pe32Plus() {
  static const ZlibFile file{"PE32+", ReadFile(KORVANE_ZLIB_PE32_PLUS)};
  return file;
}

class BothImages : public testing::TestWithParam<const ZlibFile*> {
 protected:
  const ZlibFile& file() const { return *GetParam(); }
  InertLibraryHost host;
};

INSTANTIATE_TEST_SUITE_P(Zlib, BothImages, testing::Values(&Pe32(), &Pe32Plus()),
                         [](const auto& info) { return info.param->plus ? "Pe32Plus" : "Pe32"; });

TEST(ZlibFiles, AreTheTwoKindsOfImage) {
  ASSERT_GT(Pe32().bytes.size(), 100000u) << KORVANE_ZLIB_PE32;
  ASSERT_GT(Pe32Plus().bytes.size(), 100000u) << KORVANE_ZLIB_PE32_PLUS;
  EXPECT_FALSE(Pe32().plus);
  EXPECT_TRUE(Pe32Plus().plus);
}

TEST_P(BothImages, DamagedImagesAreRefusedWithNothingMapped) {
  const ZlibFile& f = file();
  const size_t relocations = f.fileOffset(f.directoryAddress(5));
  const size_t lastSection = f.section(f.sectionCount - 1);
  const struct {
    const char* name;
    std::function<void(Bytes&)> damage;
  } cases[] = {
      {"63 bytes", [](Bytes& image) { image.resize(63); }},
      {"no MZ", [](Bytes& image) { image[1] = 'm'; }},
      {"e_lfanew + 248 past the end", [](Bytes& image) { Put32(image, 60, static_cast<uint32_t>(image.size() - 247)); }},
      {"e_lfanew negative", [](Bytes& image) { Put32(image, 60, 0xFFFFFFF0); }},
      {"no PE signature", [&](Bytes& image) { image[f.nt + 3] = 1; }},
      {"no executable-image flag", [&](Bytes& image) { image[f.nt + 22] &= ~2; }},
      {"optional header of neither kind", [&](Bytes& image) { image[f.optional + 1] = 3; }},
      {"truncated section table", [&](Bytes& image) { image.resize(f.section(f.sectionCount) - 1); }},
      {"truncated section data",
       [&](Bytes& image) { image.resize(Get32(image, lastSection + 20) + Get32(image, lastSection + 16) - 1); }},
      {"section data past the end", [&](Bytes& image) { Put32(image, lastSection + 20, 0xFFFFFF00); }},
      {"section alignment 0", [&](Bytes& image) { Put32(image, f.optional + 32, 0); }},
      {"mapping too large for the host", [&](Bytes& image) { Put32(image, f.optional + 56, 0x7FFF0000); }},
      {"entry point past the image", [&](Bytes& image) { Put32(image, f.optional + 16, 0x7FFF0000); }},
      {"relocation directory past the image", [&](Bytes& image) { Put32(image, f.directory(5), 0x7FFF0000); }},
      {"relocation block past the directory's end",
       [&](Bytes& image) { Put32(image, relocations + 4, f.directorySize(5) + 8); }},
      {"relocation block size below its header", [&](Bytes& image) { Put32(image, relocations + 4, 4); }},
      {"relocation block size absurd", [&](Bytes& image) { Put32(image, relocations + 4, 0xFFFFFFF8); }},
      {"relocated page past the image", [&](Bytes& image) { Put32(image, relocations, 0x7FFF0000); }},
      {"import directory past the image", [&](Bytes& image) { Put32(image, f.directory(1), 0x7FFF0000); }},
      {"import module name past the image",
       [&](Bytes& image) { Put32(image, f.fileOffset(f.directoryAddress(1)) + 12, 0x7FFF0000); }},
      {"import thunks past the image",
       [&](Bytes& image) { Put32(image, f.fileOffset(f.directoryAddress(1)) + 16, 0x7FFFFF00); }},
  };
  for (const auto& c : cases) {
    Bytes image = f.bytes;
    c.damage(image);
    InertLibraryHost inert;
    InMemoryLibrary library(inert);
    EXPECT_FALSE(library.load(image)) << c.name;
    EXPECT_EQ(library.base(), 0u) << c.name;
    EXPECT_EQ(inert.liveBlocks, 0u) << c.name;
    EXPECT_TRUE(inert.entryCalls.empty()) << c.name;
  }
}

TEST_P(BothImages, MappingElsewhereAppliesEveryRelocation) {
  const ZlibFile& f = file();
  InMemoryLibrary library(host);
  ASSERT_TRUE(library.load(f.bytes));
  const auto* mapped = reinterpret_cast<const unsigned char*>(library.base());
  const uint64_t delta = library.base() - f.imageBase;
  ASSERT_NE(delta, 0u);

  int checked = 0;
  size_t block = f.fileOffset(f.directoryAddress(5));
  for (const size_t end = block + f.directorySize(5); block + 8 <= end && Get32(f.bytes, block) != 0;
       block += Get32(f.bytes, block + 4)) {
    for (size_t entry = block + 8; entry < block + Get32(f.bytes, block + 4); entry += 2) {
      const uint16_t value = Get16(f.bytes, entry);
      const size_t width = value >> 12 == 3 ? 4 : value >> 12 == 10 ? 8 : 0;
      if (width == 0) continue;
      const uint32_t address = Get32(f.bytes, block) + (value & 0xFFF);
      uint64_t relocated = 0;
      std::memcpy(&relocated, mapped + address, width);
      const uint64_t mask = width == 8 ? ~uint64_t{0} : 0xFFFFFFFF;
      ASSERT_EQ(relocated, (Get(f.bytes, f.fileOffset(address), width) + delta) & mask) << f.label << " at " << address;
      ++checked;
    }
  }
  EXPECT_GT(checked, f.plus ? 10 : 500);
  // Bytes that no relocation touches arrive as they are in the file: the export names, for one.
  const uint32_t names = f.directoryAddress(0);
  EXPECT_EQ(std::memcmp(mapped + names, f.bytes.data() + f.fileOffset(names), f.directorySize(0)), 0);
}

TEST_P(BothImages, ExportsAreFoundByTheirExactNames) {
  InMemoryLibrary library(host);
  EXPECT_EQ(library.findExport("compress"), 0u);  // nothing loaded
  ASSERT_TRUE(library.load(file().bytes));
  const uintptr_t compress = library.findExport("compress");
  EXPECT_GT(compress, library.base());
  EXPECT_LT(compress, library.base() + 0x2A000);
  EXPECT_NE(library.findExport("uncompress"), 0u);
  EXPECT_NE(library.findExport("compress2"), 0u);
  EXPECT_NE(library.findExport("compress2"), compress);
  EXPECT_NE(library.findExport("uncompress"), compress);
  for (const char* absent : {"Compress", "compres", "compress3", "", "UNCOMPRESS"}) {
    EXPECT_EQ(library.findExport(absent), 0u) << absent;
  }
  EXPECT_EQ(library.findExport(std::string_view("compress\0x", 10)), 0u);
}

TEST_P(BothImages, DamagedExportTablesFindNothing) {
  const ZlibFile& f = file();
  const size_t exports = f.fileOffset(f.directoryAddress(0));
  const struct {
    const char* name;
    size_t offset;
    uint32_t value;
  } cases[] = {
      {"export directory past the image", f.directory(0), 0x7FFF0000},
      {"export directory smaller than its header", f.directory(0) + 4, 39},
      {"name count past the image", exports + 24, 0x7FFFFFFF},
      {"name table past the image", exports + 32, 0x7FFFFFF0},
      {"ordinal table past the image", exports + 36, 0x7FFFFFF0},
      {"function table past the image", exports + 28, 0x7FFFFFF0},
      {"function count 0", exports + 20, 0},
  };
  for (const auto& c : cases) {
    Bytes image = f.bytes;
    Put32(image, c.offset, c.value);
    InMemoryLibrary library(host);
    ASSERT_TRUE(library.load(image)) << c.name;
    EXPECT_EQ(library.findExport("compress"), 0u) << c.name;
  }
}

TEST_P(BothImages, ImportsAreBoundIntoTheFirstThunkArrays) {
  const ZlibFile& f = file();
  InMemoryLibrary library(host);
  ASSERT_TRUE(library.load(f.bytes));
  ASSERT_GT(host.imports.size(), 20u);
  EXPECT_EQ(host.imports.front(), "KERNEL32.dll!DeleteCriticalSection");
  EXPECT_NE(std::find(host.imports.begin(), host.imports.end(), "msvcrt.dll!malloc"), host.imports.end());
  // The first descriptor's first slot holds the first address handed out, in the entry's width.
  const uint32_t firstThunk = Get32(f.bytes, f.fileOffset(f.directoryAddress(1)) + 16);
  uint64_t slot = 0;
  std::memcpy(&slot, reinterpret_cast<const void*>(library.base() + firstThunk), f.plus ? 8 : 4);
  EXPECT_EQ(slot, InertLibraryHost::kFirstImportAddress);

  // The same slot turned into an import by ordinal 7: the flag is bit 31 in PE32, bit 63 in PE32+.
  Bytes image = f.bytes;
  const size_t slotInFile = f.fileOffset(firstThunk);
  Put32(image, slotInFile, f.plus ? 7 : 0x80000007);
  if (f.plus) Put32(image, slotInFile + 4, 0x80000000);
  InertLibraryHost byOrdinal;
  InMemoryLibrary second(byOrdinal);
  ASSERT_TRUE(second.load(image));
  EXPECT_EQ(byOrdinal.imports.front(), "KERNEL32.dll#7");
}

TEST_P(BothImages, AMissingImportFailsTheLoad) {
  host.missingImport = "malloc";
  InMemoryLibrary library(host);
  EXPECT_FALSE(library.load(file().bytes));
  EXPECT_EQ(library.base(), 0u);
  EXPECT_EQ(host.liveBlocks, 0u);
  EXPECT_TRUE(host.entryCalls.empty());
}

TEST_P(BothImages, TheEntryPointSeesAttachAndDetach) {
  InMemoryLibrary library(host);
  EXPECT_EQ(library.entryPoint(), 0u);
  EXPECT_TRUE(library.unload());  // nothing loaded: nothing to do
  EXPECT_TRUE(host.entryCalls.empty());

  ASSERT_TRUE(library.load(file().bytes));
  const uintptr_t entry = library.entryPoint();
  EXPECT_EQ(entry, library.base() + Get32(file().bytes, file().optional + 16));
  ASSERT_EQ(host.entryCalls.size(), 1u);
  EXPECT_EQ(host.entryCalls[0].address, entry);
  EXPECT_EQ(host.entryCalls[0].reason, 1u);

  EXPECT_TRUE(library.unload());
  EXPECT_EQ(library.base(), 0u);
  EXPECT_EQ(library.entryPoint(), 0u);
  EXPECT_EQ(host.liveBlocks, 0u);
  ASSERT_EQ(host.entryCalls.size(), 2u);
  EXPECT_EQ(host.entryCalls[1].address, entry);
  EXPECT_EQ(host.entryCalls[1].reason, 0u);
  EXPECT_TRUE(library.unload());
  EXPECT_EQ(host.entryCalls.size(), 2u);
}

TEST_P(BothImages, ARefusedAttachDetachesAndUnmaps) {
  host.attachResult = false;
  InMemoryLibrary library(host);
  EXPECT_FALSE(library.load(file().bytes));
  EXPECT_EQ(library.base(), 0u);
  EXPECT_EQ(host.liveBlocks, 0u);
  ASSERT_EQ(host.entryCalls.size(), 2u);
  EXPECT_EQ(host.entryCalls[0].reason, 1u);
  EXPECT_EQ(host.entryCalls[1].reason, 0u);
}

TEST_P(BothImages, LoadingAgainUnloadsFirstAndDestructionUnloads) {
  {
    InMemoryLibrary library(host);
    ASSERT_TRUE(library.load(file().bytes));
    ASSERT_TRUE(library.load(file().bytes));
    EXPECT_EQ(host.liveBlocks, 1u);
    // A refused image still unloads the one before it.
    EXPECT_FALSE(library.load(file().bytes.substr(0, 63)));
    EXPECT_EQ(library.base(), 0u);
    EXPECT_EQ(host.liveBlocks, 0u);
    ASSERT_TRUE(library.load(file().bytes));
  }
  EXPECT_EQ(host.liveBlocks, 0u);
  std::vector<uint32_t> reasons;
  for (const auto& call : host.entryCalls) reasons.push_back(call.reason);
  EXPECT_EQ(reasons, (std::vector<uint32_t>{1, 0, 1, 0, 1, 0}));
}

TEST(InMemoryLibrary, ImagesThatAreNotDllsAreNotEntered) {
  Bytes image = Pe32().bytes;
  image[Pe32().nt + 23] &= ~0x20;  // the DLL flag, 0x2000
  InertLibraryHost host;
  InMemoryLibrary library(host);
  ASSERT_TRUE(library.load(image));
  EXPECT_TRUE(library.unload());
  EXPECT_TRUE(host.entryCalls.empty());
}

}  // namespace
}  // namespace korvane
