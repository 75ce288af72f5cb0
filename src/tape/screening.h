// What every engine checks before it indexes a document: the size limit that
// 32-bit tape offsets impose, and JSON's four whitespace bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plyfold {

// Texts of this many bytes or more cannot be indexed ("Input exceeds 4 GiB limit").
constexpr uint64_t kMaxDocumentSize = uint64_t{1} << 32;

constexpr bool is_json_whitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Position of the first non-whitespace byte at or after pos (text.size() if none).
inline size_t skip_json_whitespace(std::string_view text, size_t pos) {
  while (pos < text.size() && is_json_whitespace(text[pos])) ++pos;
  return pos;
}

}  // namespace plyfold
