// The loader under Windows: the carried zlib image mapped, entered and called, once and twice at a time,
// GzContainer through it against the linked zlib, and CallAddress with either calling convention.
#include "support/in_memory_library_win32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "snapshot/gz_container.h"
#include "support/pe_image.h"
#include "support/zlib_image.h"

namespace korvane {
namespace {

constexpr int kZlibOk = 0;

Bytes RandomText(size_t length, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes text(length, '\0');
  for (char& c : text) c = "abcdefgh\r\n|0123456789"[random() % 21];
  return text;
}

// zlib's compress and uncompress of a mapped image, called as GzContainer calls them.
int CallZlib(uintptr_t routine, Bytes& destination, unsigned long& destinationLength, std::string_view source) {
  const uintptr_t result = CallAddress(routine, {reinterpret_cast<uintptr_t>(destination.data()),
                                                 reinterpret_cast<uintptr_t>(&destinationLength),
                                                 reinterpret_cast<uintptr_t>(source.data()), source.size()});
  return static_cast<int>(static_cast<uint32_t>(result));
}

void ExpectRoundTrip(const InMemoryLibrary& library, const Bytes& text) {
  Bytes packed(text.size() * 2 + 64, '\0');
  unsigned long packedLength = packed.size();
  ASSERT_EQ(CallZlib(library.findExport("compress"), packed, packedLength, text), kZlibOk);
  packed.resize(packedLength);
  Bytes unpacked(text.size(), '\0');
  unsigned long unpackedLength = unpacked.size();
  ASSERT_EQ(CallZlib(library.findExport("uncompress"), unpacked, unpackedLength, packed), kZlibOk);
  EXPECT_EQ(unpackedLength, text.size());
  EXPECT_EQ(unpacked, text);
  // zlib's errors come back as the negative ints they are: the output buffer one byte short.
  Bytes shortOutput(text.size() - 1, '\0');
  unsigned long shortLength = shortOutput.size();
  EXPECT_EQ(CallZlib(library.findExport("uncompress"), shortOutput, shortLength, packed), -5);  // Z_BUF_ERROR
}

TEST(CarriedZlib, LoadsRunsAndUnloads) {
  const auto headers = pe::ReadHeaders({reinterpret_cast<const unsigned char*>(ZlibImage().data()), ZlibImage().size()});
  ASSERT_TRUE(headers);
  InMemoryLibrary library(SystemLibraryHost());
  ASSERT_TRUE(library.load(ZlibImage()));
  EXPECT_NE(library.base(), 0u);
  EXPECT_EQ(library.entryPoint(), library.base() + headers->entryPoint);
  EXPECT_NE(library.findExport("compress"), 0u);
  EXPECT_EQ(library.findExport("Compress"), 0u);
  ExpectRoundTrip(library, RandomText(100000, 1));
  EXPECT_TRUE(library.unload());
  EXPECT_EQ(library.base(), 0u);
  EXPECT_EQ(library.findExport("compress"), 0u);
  EXPECT_TRUE(library.unload());
}

TEST(CarriedZlib, TwoMappingsAtOnceBothWork) {
  const auto headers = pe::ReadHeaders({reinterpret_cast<const unsigned char*>(ZlibImage().data()), ZlibImage().size()});
  ASSERT_TRUE(headers);
  InMemoryLibrary first(SystemLibraryHost());
  InMemoryLibrary second(SystemLibraryHost());
  ASSERT_TRUE(first.load(ZlibImage()));
  ASSERT_TRUE(second.load(ZlibImage()));
  EXPECT_NE(second.base(), first.base());
  EXPECT_NE(second.base(), headers->imageBase);  // the preferred base is taken: relocated
  ExpectRoundTrip(first, RandomText(5000, 2));
  ExpectRoundTrip(second, RandomText(7000, 3));
  EXPECT_TRUE(first.unload());
  ExpectRoundTrip(second, RandomText(3000, 4));
}

TEST(CarriedZlib, ImagesOfAnotherMachineOrWithMissingImportsAreRefused) {
  std::ifstream file(KORVANE_OTHER_MACHINE_ZLIB, std::ios::binary);
  const Bytes otherMachine{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_GT(otherMachine.size(), 100000u) << KORVANE_OTHER_MACHINE_ZLIB;
  const auto renamed = [](std::string_view from, std::string_view to) {
    Bytes image(ZlibImage());
    image.replace(image.find(from), from.size(), to);
    return image;
  };
  const struct {
    const char* name;
    Bytes image;
  } cases[] = {
      {"other machine", otherMachine},
      {"missing function", renamed({"VirtualProtect\0", 15}, {"VirtualProtecX\0", 15})},
      {"missing module", renamed({"msvcrt.dll\0", 11}, {"msvcrx.dll\0", 11})},
  };
  for (const auto& c : cases) {
    InMemoryLibrary library(SystemLibraryHost());
    EXPECT_FALSE(library.load(c.image)) << c.name;
    EXPECT_EQ(library.base(), 0u) << c.name;
  }
}

TEST(CarriedZlib, ContainersAgreeWithTheLinkedZlib) {
  for (const size_t length : {1u, 64u, 1000u, 300000u}) {
    const Bytes text = RandomText(length, static_cast<uint32_t>(length));
    const Bytes packed = GzContainer::pack(text);
    ASSERT_EQ(packed.substr(0, 3), Bytes("Gz\0", 3)) << length;
    EXPECT_EQ(GzContainer::unpack(packed, LinkedZlib()), text) << length;
    EXPECT_EQ(GzContainer::unpack(GzContainer::pack(text, LinkedZlib())), text) << length;
  }
  Bytes corrupt = GzContainer::pack(RandomText(1000, 5));
  corrupt[corrupt.size() - 1] ^= 1;  // the Adler-32
  EXPECT_EQ(GzContainer::unpack(corrupt), "");
}

TEST(CarriedZlib, PackingFromSeveralThreadsAtOnce) {
  std::vector<Bytes> results(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&results, i] {
      for (int round = 0; round < 10; ++round) {
        const Bytes text = RandomText(20000, static_cast<uint32_t>(i * 100 + round));
        if (GzContainer::unpack(GzContainer::pack(text)) != text) results[i] = "differs";
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const Bytes& result : results) EXPECT_EQ(result, "");
}

// Routines that record their ten arguments as digits, so any order or count slip shows.
#define KORVANE_DIGITS_OF_TEN(a) \
  ((((((((((a##0 * 10 + a##1) * 10 + a##2) * 10 + a##3) * 10 + a##4) * 10 + a##5) * 10 + a##6) * 10 + a##7) * 10 + a##8) * 10) + a##9)
uintptr_t __cdecl CdeclTen(uintptr_t a0, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5,
                           uintptr_t a6, uintptr_t a7, uintptr_t a8, uintptr_t a9) {
  return KORVANE_DIGITS_OF_TEN(a);
}
uintptr_t __stdcall StdcallTen(uintptr_t a0, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5,
                               uintptr_t a6, uintptr_t a7, uintptr_t a8, uintptr_t a9) {
  return KORVANE_DIGITS_OF_TEN(a);
}
#undef KORVANE_DIGITS_OF_TEN
// Takes three, as DllMain does, so on i686 it removes 12 of the 40 bytes pushed.
uintptr_t __stdcall StdcallThree(uintptr_t a, uintptr_t b, uintptr_t c) { return a * 100 + b * 10 + c; }

TEST(CallAddress, PassesTenArgumentsInOrderWhoeverCleansTheStack) {
  const CallArguments digits{1, 2, 3, 4, 5, 6, 7, 8, 9, 0};
  volatile uintptr_t guard = 0x5EED;  // lives in this frame; a stack pointer left astray spoils it or crashes
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(CallAddress(reinterpret_cast<uintptr_t>(&CdeclTen), digits), 1234567890u);
    EXPECT_EQ(CallAddress(reinterpret_cast<uintptr_t>(&StdcallTen), digits), 1234567890u);
    EXPECT_EQ(CallAddress(reinterpret_cast<uintptr_t>(&StdcallThree), {7, 8, 9}), 789u);
  }
  EXPECT_EQ(guard, 0x5EEDu);
}

}  // namespace
}  // namespace korvane
