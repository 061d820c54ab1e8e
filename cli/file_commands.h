// korvane decode and encode: stored snapshot and settings files to UTF-8 text and back.
#pragma once

#include <string>

namespace korvane {

// Prints a stored file as UTF-8 text (a plain snapshot text as it is); 1 with a reason when it does not
// decode.
int Decode(const std::string& path);

// Packs and enciphers a UTF-8 text into a stored file, replacing the output whole; 1 with a reason when
// the text is not UTF-8, is empty, or cannot be written.
int Encode(const std::string& textPath, const std::string& outputPath);

}  // namespace korvane
