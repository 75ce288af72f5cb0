// Cutting flat keys into path segments and reading segments as indices.
//
// A key is cut at every occurrence of the separator, searching left to right;
// after a match the search resumes behind it, so occurrences never overlap.
// Segments may be empty (a key that starts or ends with the separator, or
// doubles it).
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace plyfold {

// Position of the first separator occurrence at or after from, or npos.
inline size_t find_separator(std::string_view key, std::string_view separator, size_t from) {
  if (from >= key.size()) return std::string_view::npos;
  if (separator.size() == 1) {
    const void* hit = std::memchr(key.data() + from, separator[0], key.size() - from);
    return hit == nullptr ? std::string_view::npos
                          : static_cast<size_t>(static_cast<const char*>(hit) - key.data());
  }
  return key.find(separator, from);
}

// Walks the segments of one key without allocating.
class SegmentCursor {
 public:
  SegmentCursor(std::string_view key, std::string_view separator)
      : key_(key), separator_(separator), stop_(find_separator(key, separator, 0)) {}

  std::string_view segment() const {
    return key_.substr(start_, (last() ? key_.size() : stop_) - start_);
  }
  bool last() const { return stop_ == std::string_view::npos; }
  // Byte position where the current segment starts.
  size_t start() const { return start_; }

  // Moves to the next segment; only valid when the current one is not last.
  void advance() {
    start_ = stop_ + separator_.size();
    stop_ = find_separator(key_, separator_, start_);
  }

 private:
  std::string_view key_;
  std::string_view separator_;
  size_t start_ = 0;
  size_t stop_;
};

inline bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

// "0", or ASCII digits that do not start with '0'. Everything else, the empty
// segment included, is name-like.
inline bool is_index_like(std::string_view segment) {
  if (segment.empty()) return false;
  if (segment[0] == '0') return segment.size() == 1;
  for (char c : segment) {
    if (!is_ascii_digit(c)) return false;
  }
  return true;
}

// An array position: an optional '+', then one or more ASCII digits that fit
// 64 bits.
inline std::optional<uint64_t> parse_array_index(std::string_view segment) {
  if (!segment.empty() && segment[0] == '+') segment.remove_prefix(1);
  if (segment.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : segment) {
    if (!is_ascii_digit(c)) return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace plyfold
