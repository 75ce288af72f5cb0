// UnflattenTree: the nested document rebuilt from flat entries, and its
// writer.
//
// Containers live in one store and refer to each other by number; leaves
// refer to the value text of their entry. Objects keep their members in
// insertion order, with a hash index once they grow past a few members.
// Both insertion and writing loop over explicit paths and stacks, never
// recursing, so the depth of a key is bounded only by memory.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "absl/container/flat_hash_map.h"
#include "builder/config.h"
#include "errors/core_error.h"
#include "unflatten/prefix_shapes.h"
#include "unflatten/text_arena.h"

namespace plyfold {

class UnflattenTree {
 public:
  UnflattenTree(const PrefixShapes& shapes, std::string_view separator, uint64_t max_array_index,
                TextArena& arena);

  // Puts the value of leaf number leaf at the path of key.
  std::optional<CoreError> insert(std::string_view key, uint32_t leaf);

  // Writes the tree in compact form; leaves[i] is the value text of leaf i.
  // The filters and value exclusions of config drop members and elements,
  // and containers left empty when their filter is on. The root is always
  // written.
  void write(const std::vector<std::string_view>& leaves, const Config& config,
             std::string& out) const;

 private:
  enum class SlotKind : uint8_t { Gap, Leaf, Container };
  struct Slot {
    SlotKind kind = SlotKind::Gap;
    uint32_t index = 0;  // leaf number or container number
  };
  struct Container {
    bool is_array = false;
    uint32_t shape = PrefixShapes::kUnknown;  // the prefix node of this container's path
    std::vector<Slot> slots;                  // array elements, or object member values
    std::vector<std::string_view> names;      // object member names (empty for arrays)
    std::unique_ptr<absl::flat_hash_map<std::string_view, uint32_t>> index;
  };
  static constexpr size_t kNotFound = SIZE_MAX;
  static constexpr uint32_t kRootContainer = 0;

  // The error for an array that cannot hold index + 1 slots in memory.
  static CoreError memory_error(uint64_t index);

  uint32_t new_container(uint32_t shape);
  size_t find_member(Container& object, std::string_view name) const;
  void append_member(Container& object, std::string_view name, Slot value);
  void put_member(Container& object, std::string_view name, Slot value);
  void turn_into_object(Container& array);

  const PrefixShapes& shapes_;
  std::string_view separator_;
  uint64_t max_array_index_;
  TextArena& arena_;
  std::deque<Container> containers_;  // a deque keeps references stable while it grows
};

}  // namespace plyfold
