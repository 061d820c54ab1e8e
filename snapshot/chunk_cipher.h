// The chunk cipher: 64-byte chunks, each enciphered with RC4 from a fresh state, each followed by CR LF CR LF.
#pragma once

#include <string_view>

#include "snapshot/gbk_text.h"

namespace korvane {

// "青松映晚霞" in GBK: keys every enciphered file and names the single-instance mutex. Written as bytes so
// that the key does not depend on the compiler's execution character set (the fuzz build uses clang,
// which has no GBK).
inline constexpr std::string_view kPassPhrase = "\xC7\xE0\xCB\xC9\xD3\xB3\xCD\xED\xCF\xBC";

namespace ChunkCipher {

// The algorithm selector of the files this program writes and reads. It is the only one built: any
// other selector gives the empty sequence.
inline constexpr int kRc4 = 2;

// Plaintext of L bytes gives L / 64 + 1 records: records of 64 bytes and a last one of L % 64 (possibly
// none), each followed by CR LF CR LF. An empty pass phrase gives the empty sequence.
Bytes encipher(std::string_view plaintext, std::string_view passPhrase, int algorithm);

// Takes the records by position, never by searching for the separator (an enciphered chunk may itself
// hold CR LF CR LF). Input without the record shape (a length no records give, a separator that is not
// CR LF CR LF) gives the empty sequence.
Bytes decipher(std::string_view container, std::string_view passPhrase, int algorithm);

}  // namespace ChunkCipher
}  // namespace korvane
