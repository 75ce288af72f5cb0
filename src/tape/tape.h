// The structural tape: a one-pass index of a JSON text.
//
// build_tape records every bracket, colon, comma, string and bare scalar as an
// 8-byte token (32-bit offset + 32-bit word: kind in the low byte, payload in
// the high 24 bits) and pairs each opening bracket with its closing one. The
// walkers read keys and values straight from the text at those offsets.
// Payloads that do not fit 24 bits (more than 16,777,215 tokens, strings over
// 8 MB) are kept in a side table, so any text below 4 GiB walks correctly.
// decode_string_content resolves the escapes of one string's content.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "absl/container/flat_hash_map.h"
#include "errors/core_error.h"

namespace plyfold {

enum class TokenKind : uint8_t {
  ObjectStart = 0,
  ObjectEnd = 1,
  ArrayStart = 2,
  ArrayEnd = 3,
  String = 4,
  Colon = 5,
  Comma = 6,
  Scalar = 7,
};

struct Token {
  uint32_t offset;
  uint32_t word;
};

class StructuralTape {
 public:
  // Payload values that mean "look the real value up in the side table".
  static constexpr uint32_t kWideIndex = 0xFFFFFF;
  static constexpr uint32_t kWideStringLength = 0x7FFFFF;
  static constexpr uint32_t kWideScalarLength = 0xFFFFFF;

  size_t size() const { return tokens_.size(); }
  const Token& operator[](size_t i) const { return tokens_[i]; }
  TokenKind kind(size_t i) const { return static_cast<TokenKind>(tokens_[i].word & 0xFF); }
  uint32_t offset(size_t i) const { return tokens_[i].offset; }

  // Index of the token paired with the container token at i.
  uint32_t matching(size_t i) const {
    uint32_t payload = tokens_[i].word >> 8;
    return payload == kWideIndex ? wide_.at(static_cast<uint32_t>(i)) : payload;
  }
  // Content length (escapes as written) of the String token at i.
  uint32_t string_length(size_t i) const {
    uint32_t payload = (tokens_[i].word >> 8) & 0x7FFFFF;
    return payload == kWideStringLength ? wide_.at(static_cast<uint32_t>(i)) : payload;
  }
  bool has_backslash(size_t i) const { return (tokens_[i].word >> 31) != 0; }
  // Length of the Scalar token at i.
  uint32_t scalar_length(size_t i) const {
    uint32_t payload = tokens_[i].word >> 8;
    return payload == kWideScalarLength ? wide_.at(static_cast<uint32_t>(i)) : payload;
  }

  // The content between the quotes of the String token at i.
  std::string_view string_content(std::string_view text, size_t i) const {
    return text.substr(offset(i) + 1, string_length(i));
  }
  // The whole text of the String token at i, quotes included.
  std::string_view string_token_text(std::string_view text, size_t i) const {
    return text.substr(offset(i), string_length(i) + 2);
  }
  std::string_view scalar_text(std::string_view text, size_t i) const {
    return text.substr(offset(i), scalar_length(i));
  }

 private:
  friend class TapeBuilder;
  std::vector<Token> tokens_;
  absl::flat_hash_map<uint32_t, uint32_t> wide_;  // token index -> payload
};

// Indexes text (non-empty, shorter than 4 GiB). Structural faults are E004.
Result<StructuralTape> build_tape(std::string_view text);

// Resolves the escapes of a string's content. Returns content itself when it
// holds no backslash; otherwise writes the decoded text into scratch and
// returns a view of it.
std::string_view decode_string_content(std::string_view content, std::string& scratch);

}  // namespace plyfold
