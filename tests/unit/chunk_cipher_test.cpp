// The chunk cipher: RC4 itself, the record layout, round trips that a separator search would break,
// and input without the record shape.
#include "snapshot/chunk_cipher.h"

#include <gtest/gtest.h>

#include <random>

namespace korvane {
namespace {

Bytes Encipher(std::string_view plaintext) { return ChunkCipher::encipher(plaintext, kPassPhrase, ChunkCipher::kRc4); }
Bytes Decipher(std::string_view container) { return ChunkCipher::decipher(container, kPassPhrase, ChunkCipher::kRc4); }

Bytes RandomBytes(size_t length, uint64_t seed) {
  std::mt19937_64 random(seed);
  Bytes bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

// The first 64 key-stream bytes under the pass phrase: the encipherment of 64 zero bytes.
Bytes KeyStream() { return Encipher(Bytes(64, '\0')).substr(0, 64); }

// The plaintext chunk that enciphers to the given bytes.
Bytes PlaintextFor(std::string_view enciphered) {
  const Bytes stream = KeyStream();
  Bytes plaintext(enciphered);
  for (size_t i = 0; i < plaintext.size(); ++i) plaintext[i] ^= stream[i];
  return plaintext;
}

TEST(ChunkCipher, PassPhraseIsTenGbkBytes) {
  EXPECT_EQ(kPassPhrase, "青松映晚霞");
  EXPECT_EQ(kPassPhrase.size(), 10u);
}

TEST(ChunkCipher, IsRc4AsPublished) {
  // Published RC4 test vectors, each shorter than one chunk.
  struct Case {
    const char* key;
    const char* plaintext;
    Bytes cipher;
  };
  const Case cases[] = {
      {"Key", "Plaintext", "\xBB\xF3\x16\xE8\xD9\x40\xAF\x0A\xD3"},
      {"Wiki", "pedia", "\x10\x21\xBF\x04\x20"},
      {"Secret", "Attack at dawn", "\x45\xA0\x1F\x64\x5F\xC3\x5B\x38\x35\x52\x54\x4B\x9B\xF5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChunkCipher::encipher(c.plaintext, c.key, ChunkCipher::kRc4), c.cipher + "\r\n\r\n") << c.key;
  }
}

TEST(ChunkCipher, LengthsFollowTheRecordLayout) {
  struct Case {
    size_t plaintext, container;
  };
  const Case cases[] = {{0, 4}, {1, 5}, {63, 67}, {64, 72}, {100, 108}, {128, 140}, {129, 141}};
  for (const Case& c : cases) {
    const Bytes container = Encipher(RandomBytes(c.plaintext, c.plaintext));
    EXPECT_EQ(container.size(), c.container) << c.plaintext;
    // Every record ends in the separator; every record but the last is 68 bytes.
    for (size_t end = 68; end <= container.size(); end += 68) EXPECT_EQ(container.substr(end - 4, 4), "\r\n\r\n");
    EXPECT_TRUE(container.ends_with("\r\n\r\n"));
  }
  EXPECT_EQ(Encipher(""), "\r\n\r\n");
  EXPECT_EQ(Decipher("\r\n\r\n"), "");
  EXPECT_EQ(Encipher(Bytes(64, 'a')).substr(64), "\r\n\r\n\r\n\r\n");
}

TEST(ChunkCipher, RestartsTheKeyStreamForEveryChunk) {
  const Bytes chunk = RandomBytes(64, 1);
  const Bytes container = Encipher(chunk + chunk + chunk.substr(0, 10));
  EXPECT_EQ(container.substr(0, 64), container.substr(68, 64));
  EXPECT_EQ(container.substr(136, 10), container.substr(0, 10));
}

TEST(ChunkCipher, RoundTripsEveryLengthAroundTheChunkBoundaries) {
  for (size_t length = 0; length <= 260; ++length) {
    const Bytes plaintext = RandomBytes(length, 1000 + length);
    EXPECT_EQ(Decipher(Encipher(plaintext)), plaintext) << length;
  }
}

TEST(ChunkCipher, RoundTripsChunksThatLookLikeSeparators) {
  // Enciphered chunks that end in CR LF, hold CR LF CR LF, or are nothing but separators: only reading
  // the records by position gets these back.
  const Bytes endsInCrLf = PlaintextFor(Bytes(62, 'x') + "\r\n");
  const Bytes holdsSeparator = PlaintextFor(Bytes(20, 'x') + "\r\n\r\n" + Bytes(40, 'y'));
  Bytes separators;
  for (int i = 0; i < 16; ++i) separators += "\r\n\r\n";
  const Bytes allSeparators = PlaintextFor(separators);
  const Bytes shortTail = PlaintextFor("\r\n");
  for (const Bytes& plaintext : {endsInCrLf, holdsSeparator, allSeparators, endsInCrLf + holdsSeparator + shortTail,
                                 allSeparators + allSeparators + endsInCrLf.substr(0, 30)}) {
    const Bytes container = Encipher(plaintext);
    EXPECT_EQ(container.size(), plaintext.size() + 4 * (plaintext.size() / 64 + 1));
    EXPECT_EQ(Decipher(container), plaintext);
  }
  EXPECT_TRUE(Encipher(endsInCrLf).starts_with(Bytes(62, 'x') + "\r\n\r\n\r\n"));
}

TEST(ChunkCipher, RefusesInputWithoutTheRecordShape) {
  const Bytes good = Encipher(RandomBytes(150, 5));
  ASSERT_EQ(good.size(), 162u);
  // Lengths that no sequence of records gives.
  for (const size_t length : {1u, 2u, 3u, 68u, 69u, 70u, 71u, 136u, 137u}) {
    EXPECT_EQ(Decipher(Encipher(Bytes(200, 'p')).substr(0, length)), "") << length;
  }
  // A separator that is not CR LF CR LF, in a full record and in the last one.
  for (const size_t at : {64u, 67u, 132u, 135u, 158u, 161u}) {
    Bytes damaged = good;
    damaged[at] = 'X';
    EXPECT_EQ(Decipher(damaged), "") << at;
  }
}

TEST(ChunkCipher, BuildsOnlyRc4AndNeedsAKey) {
  EXPECT_EQ(ChunkCipher::encipher("abc", kPassPhrase, 1), "");
  EXPECT_EQ(ChunkCipher::decipher(Encipher("abc"), kPassPhrase, 1), "");
  EXPECT_EQ(ChunkCipher::encipher("abc", "", ChunkCipher::kRc4), "");
  EXPECT_EQ(ChunkCipher::decipher("\r\n\r\n", "", ChunkCipher::kRc4), "");
}

TEST(ChunkCipher, DependsOnTheKey) {
  const Bytes plaintext = RandomBytes(100, 9);
  const Bytes container = Encipher(plaintext);
  EXPECT_NE(ChunkCipher::decipher(container, "青松映晚", ChunkCipher::kRc4), plaintext);
}

}  // namespace
}  // namespace korvane
