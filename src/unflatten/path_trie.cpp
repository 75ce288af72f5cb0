#include "unflatten/path_trie.h"

#include "unflatten/segments.h"

namespace plyfold {

void PathTrie::add_key(std::string_view key, std::string_view separator,
                       std::vector<uint32_t>& path) {
  SegmentCursor cursor(key, separator);
  uint32_t node = child_or_add(kRoot, cursor.segment());
  path.push_back(node);
  while (!cursor.last()) {
    cursor.advance();
    // A separator at the very end of the key is followed by nothing and
    // says nothing about the prefix before it.
    if (cursor.start() < key.size()) {
      nodes_[node].shape |= is_index_like(cursor.segment()) ? kIndexBit : kNameBit;
    }
    node = child_or_add(node, cursor.segment());
    path.push_back(node);
  }
}

uint32_t PathTrie::child_or_add(uint32_t parent, std::string_view segment) {
  Node& owner = nodes_[parent];
  if (owner.child_count > kListedChildren) {
    auto found = indexed_children_.find(std::pair{parent, segment});
    if (found != indexed_children_.end()) return found->second;
  } else {
    for (uint32_t child = owner.first_child; child != kNone; child = nodes_[child].next_sibling) {
      if (nodes_[child].segment == segment) return child;
    }
  }

  const auto created = static_cast<uint32_t>(nodes_.size());
  if (++owner.child_count > kListedChildren) {
    if (owner.child_count == kListedChildren + 1) {
      for (uint32_t child = owner.first_child; child != kNone; child = nodes_[child].next_sibling) {
        indexed_children_.emplace(std::pair{parent, nodes_[child].segment}, child);
      }
    }
    indexed_children_.emplace(std::pair{parent, segment}, created);
  }
  // New children go to the front of the list: the order of the list is not
  // used, and the latest child is the likeliest to be asked for again.
  const uint32_t next = owner.first_child;
  owner.first_child = created;
  nodes_.push_back({segment, kNone, next, 0, 0});  // owner is not used past this point
  return created;
}

}  // namespace plyfold
