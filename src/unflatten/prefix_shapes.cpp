#include "unflatten/prefix_shapes.h"

#include "unflatten/segments.h"

namespace plyfold {

void PrefixShapes::add_key(std::string_view key, std::string_view separator) {
  SegmentCursor cursor(key, separator);
  uint32_t node = kRoot;
  while (!cursor.last()) {
    const std::string_view segment = cursor.segment();
    auto [slot, inserted] =
        nodes_.try_emplace({node, segment}, static_cast<uint32_t>(bits_.size()));
    if (inserted) bits_.push_back(0);
    node = slot->second;
    cursor.advance();
    // A separator at the very end of the key is followed by nothing and
    // says nothing about the prefix before it.
    if (cursor.start() < key.size()) {
      bits_[node] |= is_index_like(cursor.segment()) ? kIndexBit : kNameBit;
    }
  }
}

uint32_t PrefixShapes::child(uint32_t parent, std::string_view segment) const {
  if (parent == kUnknown) return kUnknown;
  auto found = nodes_.find(std::pair{parent, segment});
  return found == nodes_.end() ? kUnknown : found->second;
}

}  // namespace plyfold
