// Packing into and unpacking from the "Gz" container.
#include "snapshot/gz_container.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

namespace korvane {
namespace {

constexpr std::string_view kMagic{"Gz\0", 3};
constexpr size_t kHeaderSize = 7;
constexpr int kZlibOk = 0;

// Deflate cannot expand one compressed byte into more than 1032 bytes; with a margin for the stream's
// framing this bounds the real output, so a huge declared length never needs a huge buffer.
constexpr uint64_t kMostBytesPerCompressedByte = 1040;

}  // namespace

namespace GzContainer {

Bytes pack(std::string_view input, const ZlibSource& zlib) {
  if (input.empty() || input.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return {};
  const auto library = zlib.load();
  if (!library) return {};
  const ZlibRoutine compress = library->findExport("compress");
  if (!compress) return {};
  const auto length = static_cast<uint32_t>(input.size());
  // zlib's bound of 0.1 % plus 12 bytes, so a single call always suffices.
  const auto capacity = static_cast<unsigned long>(static_cast<double>(length) * 1.001 + 12);
  Bytes container(kHeaderSize + capacity, '\0');
  unsigned long packedLength = capacity;
  if (compress(reinterpret_cast<unsigned char*>(container.data() + kHeaderSize), &packedLength,
               reinterpret_cast<const unsigned char*>(input.data()), length) != kZlibOk) {
    return {};
  }
  container.replace(0, kMagic.size(), kMagic);
  for (int i = 0; i < 4; ++i) container[kMagic.size() + i] = static_cast<char>(length >> (8 * i));
  container.resize(kHeaderSize + packedLength);
  return container;
}

Bytes unpack(std::string_view container, const ZlibSource& zlib) {
  if (container.size() <= kHeaderSize + 1 || !container.starts_with(kMagic)) return {};
  // zlib's lengths are 32 bits wide on Windows.
  if (container.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return {};
  const auto library = zlib.load();
  if (!library) return {};
  const ZlibRoutine uncompress = library->findExport("uncompress");
  if (!uncompress) return {};
  uint32_t declared = 0;
  for (int i = 0; i < 4; ++i) declared |= uint32_t{static_cast<unsigned char>(container[kMagic.size() + i])} << (8 * i);
  if (declared > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return {};
  const std::string_view source = container.substr(kHeaderSize);
  const auto capacity = static_cast<unsigned long>(
      std::min<uint64_t>(declared, source.size() * kMostBytesPerCompressedByte + kMostBytesPerCompressedByte));
  try {
    Bytes output(capacity, '\0');
    unsigned long outputLength = capacity;
    if (uncompress(reinterpret_cast<unsigned char*>(output.data()), &outputLength,
                   reinterpret_cast<const unsigned char*>(source.data()),
                   static_cast<unsigned long>(source.size())) != kZlibOk) {
      return {};
    }
    output.resize(outputLength);
    return output;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace GzContainer
}  // namespace korvane
