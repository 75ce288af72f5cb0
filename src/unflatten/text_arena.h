// Stable storage for the texts unflatten produces while it runs (rewritten
// keys, rewritten or converted values, collected collision arrays). A stored
// text keeps its address until the arena goes away, so entries and tree
// nodes can hold plain views of it next to views of the document.
#pragma once

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace plyfold {

class TextArena {
 public:
  // Copies text into the arena.
  std::string_view store(std::string_view text) {
    if (text.empty()) return {};
    char* room = allocate(text.size());
    std::memcpy(room, text.data(), text.size());
    return {room, text.size()};
  }

  // Copies text between two quotes: the JSON string of already escaped content.
  std::string_view store_quoted(std::string_view escaped) {
    char* room = allocate(escaped.size() + 2);
    room[0] = '"';
    if (!escaped.empty()) std::memcpy(room + 1, escaped.data(), escaped.size());
    room[escaped.size() + 1] = '"';
    return {room, escaped.size() + 2};
  }

 private:
  static constexpr size_t kBlockSize = 16 * 1024;

  char* allocate(size_t size) {
    if (size > kBlockSize / 4) {
      // Large texts get a block of their own so the current block keeps its room.
      blocks_.push_back(std::make_unique<char[]>(size));
      return blocks_.back().get();
    }
    if (size > room_) {
      blocks_.push_back(std::make_unique<char[]>(kBlockSize));
      cursor_ = blocks_.back().get();
      room_ = kBlockSize;
    }
    char* start = cursor_;
    cursor_ += size;
    room_ -= size;
    return start;
  }

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* cursor_ = nullptr;
  size_t room_ = 0;
};

}  // namespace plyfold
