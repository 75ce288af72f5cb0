// PathTrie: every path that the flat keys spell, one node per distinct path.
//
// A key walks one node per segment from the root (the empty path); equal
// keys end at the same node, so the node of a key's last segment identifies
// the key. Each node also records the shape of its path as a prefix: whether
// the keys that continue below it do so with index-like segments only (the
// path becomes an array) or not (an object).
//
// Splitting is deterministic, so a prefix text and its segment path name the
// same node. Work per key is proportional to its length, even with a million
// segments. A node's children form a list searched in order while they are
// few; a node with many children also indexes them in a hash map.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "absl/container/flat_hash_map.h"

namespace plyfold {

class PathTrie {
 public:
  static constexpr uint32_t kRoot = 0;

  PathTrie() : nodes_(1) {}

  // Appends to path the node of each segment of key, creating nodes as
  // needed, and records what follows each prefix. Segments are held as views
  // of key, which must outlive the trie.
  void add_key(std::string_view key, std::string_view separator, std::vector<uint32_t>& path);

  size_t size() const { return nodes_.size(); }
  // The last segment of the node's path.
  std::string_view segment(uint32_t node) const { return nodes_[node].segment; }
  // True when only index-like segments continue below the node's path.
  bool is_array_prefix(uint32_t node) const { return nodes_[node].shape == kIndexBit; }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  static constexpr uint8_t kIndexBit = 1;
  static constexpr uint8_t kNameBit = 2;

  // Children searched in order before a node indexes them in the hash map.
  static constexpr uint32_t kListedChildren = 8;

  struct Node {
    std::string_view segment;
    uint32_t first_child = kNone;
    uint32_t next_sibling = kNone;
    uint32_t child_count = 0;
    uint8_t shape = 0;
  };

  uint32_t child_or_add(uint32_t parent, std::string_view segment);

  std::vector<Node> nodes_;
  absl::flat_hash_map<std::pair<uint32_t, std::string_view>, uint32_t> indexed_children_;
};

}  // namespace plyfold
