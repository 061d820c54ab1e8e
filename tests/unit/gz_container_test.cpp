// The "Gz" container: layout, round trips, and every kind of bad container giving the empty sequence.
#include "snapshot/gz_container.h"

#include <gtest/gtest.h>

#include <random>

namespace korvane {
namespace {

// A zlib source that counts loads and can fail to load or lack an export.
class ScriptedZlib final : public ZlibSource {
 public:
  mutable int loads = 0;
  bool loadable = true;
  std::string missingExport;

  std::unique_ptr<ZlibLibrary> load() const override {
    ++loads;
    if (!loadable) return nullptr;
    struct Library final : ZlibLibrary {
      std::string missing;
      ZlibRoutine findExport(std::string_view name) override {
        return name == missing ? nullptr : LinkedZlib().load()->findExport(name);
      }
    };
    auto library = std::make_unique<Library>();
    library->missing = missingExport;
    return library;
  }
};

Bytes RandomBytes(size_t length, uint64_t seed) {
  std::mt19937_64 random(seed);
  Bytes bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

Bytes WithDeclaredLength(Bytes container, uint32_t length) {
  for (int i = 0; i < 4; ++i) container[3 + i] = static_cast<char>(length >> (8 * i));
  return container;
}

TEST(GzContainer, PacksWithTheSevenByteHeader) {
  const Bytes packed = GzContainer::pack("abc");
  ASSERT_GE(packed.size(), 9u);
  EXPECT_EQ(packed.substr(0, 9), Bytes("Gz\0\3\0\0\0\x78\x9C", 9));
  EXPECT_EQ(GzContainer::unpack(packed), "abc");
}

TEST(GzContainer, RoundTripsTextAndBinary) {
  for (const size_t length : {1u, 2u, 63u, 64u, 65u, 1000u, 65536u, 300000u}) {
    const Bytes binary = RandomBytes(length, length);
    EXPECT_EQ(GzContainer::unpack(GzContainer::pack(binary)), binary) << length;
    const Bytes text(length, 'x');
    EXPECT_EQ(GzContainer::unpack(GzContainer::pack(text)), text) << length;
  }
}

TEST(GzContainer, EmptyInEmptyOut) {
  EXPECT_EQ(GzContainer::pack(""), "");
  EXPECT_EQ(GzContainer::unpack(""), "");
}

TEST(GzContainer, RejectsBadHeadersWithoutLoadingZlib) {
  const Bytes good = GzContainer::pack("hello, hello, hello");
  ScriptedZlib zlib;
  EXPECT_EQ(GzContainer::unpack(Bytes("Gz\0\1\0\0\0\x78", 8), zlib), "");
  Bytes capitalZ = good;
  capitalZ[1] = 'Z';
  EXPECT_EQ(GzContainer::unpack(capitalZ, zlib), "");
  Bytes nonZeroThird = good;
  nonZeroThird[2] = 1;
  EXPECT_EQ(GzContainer::unpack(nonZeroThird, zlib), "");
  EXPECT_EQ(zlib.loads, 0);
  EXPECT_EQ(GzContainer::unpack(good, zlib), "hello, hello, hello");
  EXPECT_EQ(zlib.loads, 1);
}

TEST(GzContainer, TakesTheDeclaredLengthAsAnUpperBound) {
  const Bytes data = RandomBytes(5000, 7) + Bytes(5000, 'a');
  const Bytes packed = GzContainer::pack(data);
  EXPECT_EQ(GzContainer::unpack(WithDeclaredLength(packed, 20000)), data);
  EXPECT_EQ(GzContainer::unpack(WithDeclaredLength(packed, 9999)), "");
  EXPECT_EQ(GzContainer::unpack(WithDeclaredLength(packed, 0)), "");
  // Negative as a signed 32-bit value, and the largest positive one: refused, and served without
  // a 2 GiB buffer.
  EXPECT_EQ(GzContainer::unpack(WithDeclaredLength(packed, 0xFFFFFFFFu)), "");
  EXPECT_EQ(GzContainer::unpack(WithDeclaredLength(packed, 0x80000000u)), "");
  EXPECT_EQ(GzContainer::unpack(WithDeclaredLength(packed, 0x7FFFFFFFu)), data);
}

TEST(GzContainer, HighlyCompressedDataStillFitsItsBound) {
  // Zeros compress about a thousandfold: the output bound must not cut them off.
  const Bytes zeros(20'000'000, '\0');
  const Bytes packed = GzContainer::pack(zeros);
  EXPECT_LT(packed.size(), zeros.size() / 500);
  EXPECT_EQ(GzContainer::unpack(WithDeclaredLength(packed, 0x7FFFFFFFu)), zeros);
}

TEST(GzContainer, RejectsDamagedStreams) {
  const Bytes data = RandomBytes(3000, 3) + Bytes(3000, 'q');
  const Bytes packed = GzContainer::pack(data);
  for (size_t keep = 9; keep < packed.size(); keep += 97) {
    EXPECT_EQ(GzContainer::unpack(packed.substr(0, keep)), "") << keep;
  }
  for (size_t at = 7; at < packed.size(); at += 131) {
    Bytes altered = packed;
    altered[at] = static_cast<char>(altered[at] ^ 0x20);
    EXPECT_EQ(GzContainer::unpack(altered), "") << at;
  }
  // A good stream followed by anything more is still that stream's data.
  EXPECT_EQ(GzContainer::unpack(packed + "trailing"), data);
}

TEST(GzContainer, ReportsLibraryFailuresAsEmpty) {
  const Bytes packed = GzContainer::pack("data");
  ScriptedZlib unloadable;
  unloadable.loadable = false;
  EXPECT_EQ(GzContainer::pack("data", unloadable), "");
  EXPECT_EQ(GzContainer::unpack(packed, unloadable), "");

  ScriptedZlib noCompress;
  noCompress.missingExport = "compress";
  EXPECT_EQ(GzContainer::pack("data", noCompress), "");
  EXPECT_EQ(GzContainer::unpack(packed, noCompress), "data");

  ScriptedZlib noUncompress;
  noUncompress.missingExport = "uncompress";
  EXPECT_EQ(GzContainer::unpack(packed, noUncompress), "");
  EXPECT_EQ(GzContainer::pack("data", noUncompress), packed);
}

}  // namespace
}  // namespace korvane
