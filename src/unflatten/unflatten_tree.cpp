#include "unflatten/unflatten_tree.h"

#include <new>
#include <stdexcept>

#include "tape/json_text.h"
#include "transform/patterns.h"
#include "unflatten/segments.h"

namespace plyfold {

CoreError UnflattenTree::memory_error(uint64_t index) {
  return input_error("Array index " + std::to_string(index) +
                     " needs more memory than is available. Use max_array_index() to lower the "
                     "limit.");
}

UnflattenTree::UnflattenTree(const PathTrie& trie, uint64_t max_array_index)
    : trie_(trie), max_array_index_(max_array_index), states_(trie.size()) {
  // The root is an object whatever its keys look like: top-level keys are never shaped.
  states_[PathTrie::kRoot] = {Kind::Object, 0};
  containers_.emplace_back();
}

void UnflattenTree::make_container(uint32_t node) {
  const Kind kind = trie_.is_array_prefix(node) ? Kind::Array : Kind::Object;
  states_[node] = {kind, static_cast<uint32_t>(containers_.size())};
  containers_.emplace_back();
}

// Makes member a member of object unless it is one already (a path node
// holds something exactly when it is a member or element of its parent).
void UnflattenTree::place_member(uint32_t object, uint32_t member) {
  if (states_[member].kind == Kind::Absent) containers_[states_[object].index].push_back(member);
}

// An array under an object member that meets a name: its filled elements
// become members named by their positions. An element's path node already
// carries that name, since it was reached through the segment of its index.
void UnflattenTree::turn_into_object(uint32_t array) {
  Children& children = containers_[states_[array].index];
  size_t kept = 0;
  for (uint32_t child : children) {
    if (child != kGapSlot) children[kept++] = child;
  }
  children.resize(kept);
  states_[array].kind = Kind::Object;
}

std::optional<CoreError> UnflattenTree::insert(const uint32_t* path, size_t length, uint32_t leaf) {
  uint32_t current = PathTrie::kRoot;
  bool in_array = false;  // current is an element of an array (else a member or the root)
  size_t k = 0;
  while (true) {
    const uint32_t node = path[k];
    const bool last = k + 1 == length;

    if (states_[current].kind == Kind::Array) {
      const std::string_view segment = trie_.segment(node);
      const std::optional<uint64_t> index = parse_array_index(segment);
      if (!index) {
        if (in_array)
          return structure_error("Expected array index but got: " + std::string(segment));
        turn_into_object(current);
        place_member(current, node);
        states_[node] = {Kind::Gap, 0};
        continue;  // the same segment again, now at an object
      }
      if (*index > max_array_index_) {
        return input_error("Array index " + std::to_string(*index) +
                           " exceeds maximum allowed index (" + std::to_string(max_array_index_) +
                           "). Use max_array_index() to increase the limit.");
      }
      Children& slots = containers_[states_[current].index];
      if (slots.size() <= *index) {
        // An index the limit allows may still be more slots than can exist.
        if (*index >= slots.max_size()) return memory_error(*index);
        try {
          slots.resize(static_cast<size_t>(*index) + 1, kGapSlot);
        } catch (const std::bad_alloc&) {
          return memory_error(*index);
        } catch (const std::length_error&) {
          return memory_error(*index);
        }
      }
      // Only canonical indices reach an array (a prefix followed by "+1" or
      // "01" is an object), so the slot's node is this segment's node.
      slots[*index] = node;
      State& element = states_[node];
      if (last) {
        element = {Kind::Leaf, leaf};
        return std::nullopt;
      }
      switch (element.kind) {
        case Kind::Absent:
        case Kind::Gap: make_container(node); break;
        case Kind::Object:
        case Kind::Array: break;
        case Kind::Leaf:
          return structure_error("Array element at index " + std::to_string(*index) +
                                 " has incompatible type");
      }
      current = node;
      in_array = true;
      ++k;
      continue;
    }

    if (last) {
      place_member(current, node);
      states_[node] = {Kind::Leaf, leaf};  // replaces a whole subtree, keeping its place
      return std::nullopt;
    }
    switch (states_[node].kind) {
      case Kind::Absent:
        place_member(current, node);
        make_container(node);
        break;
      case Kind::Object:
      case Kind::Array: break;
      case Kind::Leaf:
      case Kind::Gap:
        return structure_error("Cannot navigate into non-object/non-array value at key: " +
                               std::string(trie_.segment(node)));
    }
    current = node;
    in_array = false;
    ++k;
  }
}

void UnflattenTree::write(const std::vector<std::string_view>& leaves, const Config& config,
                          std::string& out) const {
  const bool excluding = !config.value_exclusions.empty();
  const bool drop_gaps =
      config.remove_nulls || (excluding && matches_any_pattern(config.value_exclusions, "null"));
  auto drop_leaf = [&](std::string_view text) {
    return (config.remove_nulls && text == "null") ||
           (config.remove_empty_strings && text == "\"\"") ||
           (config.remove_empty_objects && text == "{}") ||
           (config.remove_empty_arrays && text == "[]") ||
           (excluding && matches_any_pattern(config.value_exclusions, text));
  };

  // One open container: the next child to write, where its own text began
  // (to take it back when it is dropped), and whether it has written a child.
  struct Frame {
    uint32_t node;
    size_t next;
    size_t rollback;
    bool wrote_any;
  };
  std::vector<Frame> stack;
  stack.push_back({PathTrie::kRoot, 0, out.size(), false});
  out += '{';
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const State& container = states_[frame.node];
    const bool is_array = container.kind == Kind::Array;
    const Children& children = containers_[container.index];
    if (frame.next == children.size()) {
      out += is_array ? ']' : '}';
      const bool is_root = stack.size() == 1;
      const bool drop = !frame.wrote_any && !is_root &&
                        (is_array ? config.remove_empty_arrays : config.remove_empty_objects);
      const size_t rollback = frame.rollback;
      stack.pop_back();
      if (drop) {
        out.resize(rollback);
      } else if (!is_root) {
        stack.back().wrote_any = true;
      }
      continue;
    }

    const uint32_t child = children[frame.next++];
    const size_t mark = out.size();
    if (frame.wrote_any) out += ',';
    if (!is_array) {
      out += '"';
      append_escaped_content(out, trie_.segment(child));
      out += "\":";
    }
    const State state = child == kGapSlot ? State{Kind::Gap, 0} : states_[child];
    switch (state.kind) {
      case Kind::Absent:  // not reachable: children always hold something
      case Kind::Gap:
        if (drop_gaps) {
          out.resize(mark);
        } else {
          out += "null";
          frame.wrote_any = true;
        }
        break;
      case Kind::Leaf:
        if (drop_leaf(leaves[state.index])) {
          out.resize(mark);
        } else {
          out += leaves[state.index];
          frame.wrote_any = true;
        }
        break;
      case Kind::Object:
      case Kind::Array:
        out += state.kind == Kind::Array ? '[' : '{';
        stack.push_back({child, 0, mark, false});  // frame is not used past this point
        break;
    }
  }
}

}  // namespace plyfold
