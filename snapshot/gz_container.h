// The "Gz" container: "Gz", 0x00, the uncompressed length (32-bit little-endian), then a zlib stream.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "snapshot/gbk_text.h"

namespace korvane {

// zlib's compress and uncompress share this signature (Bytef*, uLongf*, const Bytef*, uLong); a linked
// function, or a call into a library mapped from memory.
using ZlibRoutine = std::function<int(unsigned char* destination, unsigned long* destinationLength,
                                      const unsigned char* source, unsigned long sourceLength)>;

// One loaded copy of zlib; releasing it unloads the copy.
class ZlibLibrary {
 public:
  virtual ~ZlibLibrary() = default;
  // The routine exported as name ("compress", "uncompress"), or null when there is none.
  virtual ZlibRoutine findExport(std::string_view name) = 0;
};

// Where the two zlib routines come from: the linked zlib, or on Windows the image in the program's data.
// Every pack and unpack loads its own copy, so calls from different threads share nothing.
class ZlibSource {
 public:
  virtual ~ZlibSource() = default;
  // Null when the library cannot be loaded.
  virtual std::unique_ptr<ZlibLibrary> load() const = 0;
};

// The zlib this program is linked with (on Windows only the tests link one).
const ZlibSource& LinkedZlib();

// The zlib that packing and unpacking use unless told otherwise: on Windows the image in the program's
// data, mapped by the in-memory loader (support/zlib_image.cpp), elsewhere the linked zlib.
const ZlibSource& ProgramZlib();

namespace GzContainer {

// The container of input; empty for empty input and on every failure.
Bytes pack(std::string_view input, const ZlibSource& zlib = ProgramZlib());

// The uncompressed bytes; empty unless container is a well-formed container whose data fits its
// declared length. A negative declared length is refused; the output never grows past what the
// declared length and the compressed data allow.
Bytes unpack(std::string_view container, const ZlibSource& zlib = ProgramZlib());

}  // namespace GzContainer
}  // namespace korvane
