// The chunk cipher over RC4.
#include "snapshot/chunk_cipher.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace korvane {
namespace {

constexpr size_t kChunkSize = 64;
constexpr std::string_view kSeparator = "\r\n\r\n";
constexpr size_t kRecordSize = kChunkSize + kSeparator.size();

using Rc4State = std::array<uint8_t, 256>;

// The state after RC4's key schedule. Every chunk starts from it again, so it is computed once per call.
Rc4State ScheduleKey(std::string_view key) {
  Rc4State state;
  for (size_t i = 0; i < state.size(); ++i) state[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (size_t i = 0; i < state.size(); ++i) {
    j = static_cast<uint8_t>(j + state[i] + static_cast<uint8_t>(key[i % key.size()]));
    std::swap(state[i], state[j]);
  }
  return state;
}

// Enciphering and deciphering are the same operation: XOR with the key stream from its first byte.
void AppendRc4(std::string_view chunk, Rc4State state, Bytes& output) {
  uint8_t i = 0;
  uint8_t j = 0;
  for (const char byte : chunk) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + state[i]);
    std::swap(state[i], state[j]);
    output.push_back(static_cast<char>(static_cast<uint8_t>(byte) ^ state[static_cast<uint8_t>(state[i] + state[j])]));
  }
}

}  // namespace

namespace ChunkCipher {

Bytes encipher(std::string_view plaintext, std::string_view passPhrase, int algorithm) {
  if (algorithm != kRc4 || passPhrase.empty()) return {};
  const Rc4State keyed = ScheduleKey(passPhrase);
  Bytes output;
  output.reserve(plaintext.size() + (plaintext.size() / kChunkSize + 1) * kSeparator.size());
  // The last chunk holds the remaining L % 64 bytes, none when L is a multiple of 64.
  for (size_t offset = 0;; offset += kChunkSize) {
    AppendRc4(plaintext.substr(offset, kChunkSize), keyed, output);
    output.append(kSeparator);
    if (plaintext.size() - offset < kChunkSize) break;
  }
  return output;
}

Bytes decipher(std::string_view container, std::string_view passPhrase, int algorithm) {
  if (algorithm != kRc4 || passPhrase.empty()) return {};
  if (container.size() % kRecordSize < kSeparator.size()) return {};
  const Rc4State keyed = ScheduleKey(passPhrase);
  Bytes output;
  output.reserve(container.size());
  while (!container.empty()) {
    const size_t chunkSize = std::min(kChunkSize, container.size() - kSeparator.size());
    if (container.substr(chunkSize, kSeparator.size()) != kSeparator) return {};
    AppendRc4(container.substr(0, chunkSize), keyed, output);
    container.remove_prefix(chunkSize + kSeparator.size());
  }
  return output;
}

}  // namespace ChunkCipher
}  // namespace korvane
