// Snapshot and settings files as stored (enciphered, packed) and their texts, with the reason a file
// does not decode.
#pragma once

#include <string>
#include <string_view>

#include "snapshot/gbk_text.h"

namespace korvane {

enum class StoredFileForm {
  encoded,    // the chunk cipher over a "Gz" container
  plainText,  // a snapshot text written as it is
  unreadable,
};

struct DecodedFile {
  StoredFileForm form = StoredFileForm::unreadable;
  Bytes text;
  // Why an unreadable file does not decode, as a phrase to follow the file's name.
  std::string problem;
};

DecodedFile DecodeStoredFile(std::string_view contents);

// The stored form of a text: packed, then enciphered.
Bytes EncodeStoredFile(std::string_view text);

}  // namespace korvane
