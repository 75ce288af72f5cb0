// Trimming of Unicode White_Space characters at both ends of a UTF-8 text.
//
// The set is the White_Space property: U+0009..U+000D, U+0020, U+0085,
// U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
// Trimming returns a slice of the input and never allocates.
#pragma once

#include <cstddef>
#include <string_view>

namespace plyfold {

// Byte length of the White_Space character that starts at text[0], or 0.
inline std::size_t leading_white_space_length(std::string_view text) {
  if (text.empty()) return 0;
  const auto b0 = static_cast<unsigned char>(text[0]);
  if (b0 == 0x20 || (b0 >= 0x09 && b0 <= 0x0D)) return 1;
  if (b0 < 0xC2) return 0;
  if (text.size() < 2) return 0;
  const auto b1 = static_cast<unsigned char>(text[1]);
  if (b0 == 0xC2) return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
  if (text.size() < 3) return 0;
  const auto b2 = static_cast<unsigned char>(text[2]);
  if (b0 == 0xE1) return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;
  if (b0 == 0xE2) {
    if (b1 == 0x80) {
      return (b2 <= 0x8A && b2 >= 0x80) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF ? 3 : 0;
    }
    return (b1 == 0x81 && b2 == 0x9F) ? 3 : 0;
  }
  if (b0 == 0xE3) return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;
  return 0;
}

// Byte length of the White_Space character that ends text, or 0.
inline std::size_t trailing_white_space_length(std::string_view text) {
  const std::size_t n = text.size();
  if (n == 0) return 0;
  const auto last = static_cast<unsigned char>(text[n - 1]);
  if (last == 0x20 || (last >= 0x09 && last <= 0x0D)) return 1;
  if (last < 0x80) return 0;
  if (n >= 2 && leading_white_space_length(text.substr(n - 2)) == 2) return 2;
  if (n >= 3 && leading_white_space_length(text.substr(n - 3)) == 3) return 3;
  return 0;
}

inline std::string_view trim_white_space(std::string_view text) {
  while (std::size_t k = leading_white_space_length(text)) text.remove_prefix(k);
  while (std::size_t k = trailing_white_space_length(text)) text.remove_suffix(k);
  return text;
}

}  // namespace plyfold
