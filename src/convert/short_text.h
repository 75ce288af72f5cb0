// A short text held inline: the JSON text of a converted number or the
// canonical form of a date. Building one never allocates.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace plyfold {

class ShortText {
 public:
  static constexpr std::size_t kCapacity = 40;

  std::string_view view() const { return {bytes_.data(), size_}; }
  std::size_t size() const { return size_; }

  // Appends are clipped at the capacity; every caller writes well below it.
  void push_back(char c) {
    if (size_ < kCapacity) bytes_[size_++] = c;
  }
  void append(std::string_view text) {
    for (char c : text) push_back(c);
  }

  // The unused tail, for writers such as std::to_chars; commit() records
  // how much of it they filled.
  char* tail() { return bytes_.data() + size_; }
  char* end_of_storage() { return bytes_.data() + kCapacity; }
  void commit(char* new_end) { size_ = static_cast<std::size_t>(new_end - bytes_.data()); }

 private:
  std::array<char, kCapacity> bytes_{};
  std::size_t size_ = 0;
};

}  // namespace plyfold
