// PrefixShapes: for every key prefix, whether the keys below it continue
// with index-like segments only (the prefix becomes an array) or not (an
// object).
//
// Prefixes are held as a trie of segments rather than as prefix texts, so a
// key costs work proportional to its length even with a million segments.
// Splitting is deterministic, so a prefix text and its segment path name the
// same node. The root node (the empty path) stands for the result's root,
// which is never shaped.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "absl/container/flat_hash_map.h"

namespace plyfold {

class PrefixShapes {
 public:
  static constexpr uint32_t kRoot = 0;
  static constexpr uint32_t kUnknown = UINT32_MAX;  // a path no key passes through

  PrefixShapes() : nodes_(1) {}

  // Records every prefix of key that some segment follows. The key must stay
  // alive as long as this map: segments are held as views of it.
  void add_key(std::string_view key, std::string_view separator);

  // The node one segment below parent, or kUnknown.
  uint32_t child(uint32_t parent, std::string_view segment) const;

  // True when only index-like segments continue below node.
  bool is_array(uint32_t node) const { return node != kUnknown && nodes_[node].bits == kIndexBit; }

 private:
  static constexpr uint8_t kIndexBit = 1;
  static constexpr uint8_t kNameBit = 2;

  // Most prefixes have a single continuation, so each node keeps its first
  // child inline; only further children go through the hash map.
  struct Node {
    std::string_view segment;  // the segment that leads to this node
    uint32_t first_child = kUnknown;
    uint8_t bits = 0;
  };

  uint32_t child_or_add(uint32_t parent, std::string_view segment);

  std::vector<Node> nodes_;
  absl::flat_hash_map<std::pair<uint32_t, std::string_view>, uint32_t> other_children_;
};

}  // namespace plyfold
