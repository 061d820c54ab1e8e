// Deciphering any bytes: whatever is accepted enciphers back to exactly those bytes.
#include <cstdint>
#include <cstdlib>

#include "snapshot/chunk_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korvane;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const Bytes plaintext = ChunkCipher::decipher(input, kPassPhrase, ChunkCipher::kRc4);
  if (!plaintext.empty() || input == "\r\n\r\n") {
    if (ChunkCipher::encipher(plaintext, kPassPhrase, ChunkCipher::kRc4) != input) std::abort();
  }
  return 0;
}
