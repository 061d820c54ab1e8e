// Decoding and encoding stored files, with reasons for the files that do not decode.
#include "cli/stored_file.h"

#include "snapshot/chunk_cipher.h"
#include "snapshot/gz_container.h"
#include "snapshot/scan_table.h"

namespace korvane {

DecodedFile DecodeStoredFile(std::string_view contents) {
  if (contents.empty()) return {StoredFileForm::unreadable, {}, "is empty"};
  if (const Bytes text = GzContainer::unpack(ChunkCipher::decipher(contents, kPassPhrase, ChunkCipher::kRc4));
      !text.empty()) {
    return {StoredFileForm::encoded, text, {}};
  }
  if (ParseSnapshotText(contents)) return {StoredFileForm::plainText, Bytes(contents), {}};

  const Bytes packed = ChunkCipher::decipher(contents, kPassPhrase, ChunkCipher::kRc4);
  if (packed.empty()) {
    return {StoredFileForm::unreadable, {},
            "is not in the enciphered record form (64-byte records, each followed by CR LF CR LF): "
            "it is truncated, damaged or not a Korvane file"};
  }
  if (packed.size() < 9 || !packed.starts_with(std::string_view("Gz\0", 3))) {
    return {StoredFileForm::unreadable, {},
            "deciphers to no compressed container: it was enciphered with another key, damaged, or is "
            "not a Korvane file"};
  }
  return {StoredFileForm::unreadable, {},
          "holds a compressed container whose data is damaged, truncated or longer than its declared "
          "length"};
}

Bytes EncodeStoredFile(std::string_view text) {
  return ChunkCipher::encipher(GzContainer::pack(text), kPassPhrase, ChunkCipher::kRc4);
}

}  // namespace korvane
