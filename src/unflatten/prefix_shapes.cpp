#include "unflatten/prefix_shapes.h"

#include "unflatten/segments.h"

namespace plyfold {

void PrefixShapes::add_key(std::string_view key, std::string_view separator) {
  SegmentCursor cursor(key, separator);
  uint32_t node = kRoot;
  while (!cursor.last()) {
    node = child_or_add(node, cursor.segment());
    cursor.advance();
    // A separator at the very end of the key is followed by nothing and
    // says nothing about the prefix before it.
    if (cursor.start() < key.size()) {
      nodes_[node].bits |= is_index_like(cursor.segment()) ? kIndexBit : kNameBit;
    }
  }
}

uint32_t PrefixShapes::child_or_add(uint32_t parent, std::string_view segment) {
  const auto created = static_cast<uint32_t>(nodes_.size());
  const uint32_t first = nodes_[parent].first_child;
  if (first == kUnknown) {
    nodes_[parent].first_child = created;
  } else if (nodes_[first].segment == segment) {
    return first;
  } else {
    auto [slot, inserted] = other_children_.try_emplace({parent, segment}, created);
    if (!inserted) return slot->second;
  }
  nodes_.push_back({segment, kUnknown, 0});
  return created;
}

uint32_t PrefixShapes::child(uint32_t parent, std::string_view segment) const {
  if (parent == kUnknown) return kUnknown;
  const uint32_t first = nodes_[parent].first_child;
  if (first == kUnknown) return kUnknown;
  if (nodes_[first].segment == segment) return first;
  auto found = other_children_.find(std::pair{parent, segment});
  return found == other_children_.end() ? kUnknown : found->second;
}

}  // namespace plyfold
