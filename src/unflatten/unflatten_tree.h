// UnflattenTree: the nested document rebuilt from flat entries, and its
// writer.
//
// The tree lives on the nodes of the PathTrie: each path holds nothing yet,
// a leaf (the value text of one entry), a gap, an object or an array.
// Containers list their children as path nodes, objects in insertion order,
// arrays by position (gaps have no node). Finding an object's member is
// therefore finding a path node, which the trie already did for each key.
// Insertion and writing loop over paths and explicit stacks, never
// recursing, so the depth of a key is bounded only by memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "absl/container/inlined_vector.h"
#include "builder/config.h"
#include "errors/core_error.h"
#include "unflatten/path_trie.h"

namespace plyfold {

class UnflattenTree {
 public:
  UnflattenTree(const PathTrie& trie, uint64_t max_array_index);

  // Puts leaf number leaf at the end of path (the trie nodes of a key's
  // segments, as PathTrie::add_key gave them).
  std::optional<CoreError> insert(const uint32_t* path, size_t length, uint32_t leaf);

  // Writes the tree in compact form; leaves[i] is the value text of leaf i.
  // The filters and value exclusions of config drop members and elements,
  // and containers left empty when their filter is on. The root is always
  // written.
  void write(const std::vector<std::string_view>& leaves, const Config& config,
             std::string& out) const;

 private:
  enum class Kind : uint8_t { Absent, Leaf, Gap, Object, Array };
  struct State {
    Kind kind = Kind::Absent;
    uint32_t index = 0;  // leaf number, or container number
  };
  // Children of a container: path nodes; kGapSlot marks an unfilled array slot.
  using Children = absl::InlinedVector<uint32_t, 2>;
  static constexpr uint32_t kGapSlot = UINT32_MAX;

  // The error for an array that cannot hold index + 1 slots in memory.
  static CoreError memory_error(uint64_t index);

  void make_container(uint32_t node);
  void place_member(uint32_t object, uint32_t member);
  void turn_into_object(uint32_t array);

  const PathTrie& trie_;
  uint64_t max_array_index_;
  std::vector<State> states_;  // by path node
  std::vector<Children> containers_;
};

}  // namespace plyfold
