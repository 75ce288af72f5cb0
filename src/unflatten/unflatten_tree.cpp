#include "unflatten/unflatten_tree.h"

#include <charconv>
#include <new>
#include <stdexcept>

#include "tape/json_text.h"
#include "transform/patterns.h"
#include "unflatten/segments.h"

namespace plyfold {
namespace {

// Objects up to this many members are searched linearly.
constexpr size_t kLinearMembers = 8;

std::string navigation_error(std::string_view name) {
  return "Cannot navigate into non-object/non-array value at key: " + std::string(name);
}

}  // namespace

CoreError UnflattenTree::memory_error(uint64_t index) {
  return input_error("Array index " + std::to_string(index) +
                     " needs more memory than is available. Use max_array_index() to lower the "
                     "limit.");
}

UnflattenTree::UnflattenTree(const PrefixShapes& shapes, std::string_view separator,
                             uint64_t max_array_index, TextArena& arena)
    : shapes_(shapes), separator_(separator), max_array_index_(max_array_index), arena_(arena) {
  new_container(PrefixShapes::kRoot);  // the root object; top-level keys are never shaped
}

uint32_t UnflattenTree::new_container(uint32_t shape) {
  Container& created = containers_.emplace_back();
  created.shape = shape;
  created.is_array = shape != PrefixShapes::kRoot && shapes_.is_array(shape);
  return static_cast<uint32_t>(containers_.size() - 1);
}

size_t UnflattenTree::find_member(Container& object, std::string_view name) const {
  if (object.index) {
    auto found = object.index->find(name);
    return found == object.index->end() ? kNotFound : found->second;
  }
  for (size_t i = 0; i < object.names.size(); ++i) {
    if (object.names[i] == name) return i;
  }
  return kNotFound;
}

void UnflattenTree::append_member(Container& object, std::string_view name, Slot value) {
  const auto position = static_cast<uint32_t>(object.names.size());
  object.names.push_back(name);
  object.slots.push_back(value);
  if (object.index) {
    object.index->emplace(name, position);
  } else if (object.names.size() > kLinearMembers) {
    object.index = std::make_unique<absl::flat_hash_map<std::string_view, uint32_t>>();
    object.index->reserve(object.names.size() * 2);
    for (uint32_t i = 0; i < object.names.size(); ++i) object.index->emplace(object.names[i], i);
  }
}

void UnflattenTree::put_member(Container& object, std::string_view name, Slot value) {
  const size_t position = find_member(object, name);
  if (position == kNotFound) {
    append_member(object, name, value);
  } else {
    object.slots[position] = value;  // replaces a whole subtree, keeping its place
  }
}

// An array under an object member that meets a name: its filled elements
// become members named by their positions.
void UnflattenTree::turn_into_object(Container& array) {
  std::vector<Slot> elements = std::move(array.slots);
  array.slots.clear();
  array.is_array = false;
  char digits[20];
  for (size_t i = 0; i < elements.size(); ++i) {
    if (elements[i].kind == SlotKind::Gap) continue;
    const auto written = std::to_chars(digits, digits + sizeof(digits), i);
    append_member(array, arena_.store({digits, static_cast<size_t>(written.ptr - digits)}),
                  elements[i]);
  }
}

std::optional<CoreError> UnflattenTree::insert(std::string_view key, uint32_t leaf) {
  const Slot value{SlotKind::Leaf, leaf};
  SegmentCursor cursor(key, separator_);
  if (cursor.last()) {
    put_member(containers_[kRootContainer], key, value);
    return std::nullopt;
  }
  uint32_t current = kRootContainer;
  bool in_array = false;  // current is an element of an array (else a member or the root)
  while (true) {
    Container& node = containers_[current];
    const std::string_view segment = cursor.segment();
    const bool last = cursor.last();

    if (node.is_array) {
      const std::optional<uint64_t> index = parse_array_index(segment);
      if (!index) {
        if (in_array)
          return structure_error("Expected array index but got: " + std::string(segment));
        turn_into_object(node);
        append_member(node, segment, Slot{});
        continue;  // the same segment again, now at an object
      }
      if (*index > max_array_index_) {
        return input_error("Array index " + std::to_string(*index) +
                           " exceeds maximum allowed index (" + std::to_string(max_array_index_) +
                           "). Use max_array_index() to increase the limit.");
      }
      if (node.slots.size() <= *index) {
        // An index the limit allows may still be more slots than can exist.
        if (*index >= node.slots.max_size()) return memory_error(*index);
        try {
          node.slots.resize(static_cast<size_t>(*index) + 1);
        } catch (const std::bad_alloc&) {
          return memory_error(*index);
        } catch (const std::length_error&) {
          return memory_error(*index);
        }
      }
      Slot& element = node.slots[*index];
      if (last) {
        element = value;
        return std::nullopt;
      }
      switch (element.kind) {
        case SlotKind::Gap: {
          const uint32_t created = new_container(shapes_.child(node.shape, segment));
          element = Slot{SlotKind::Container, created};
          current = created;
          break;
        }
        case SlotKind::Container: current = element.index; break;
        case SlotKind::Leaf:
          return structure_error("Array element at index " + std::to_string(*index) +
                                 " has incompatible type");
      }
      in_array = true;
      cursor.advance();
      continue;
    }

    if (last) {
      put_member(node, segment, value);
      return std::nullopt;
    }
    const size_t position = find_member(node, segment);
    if (position == kNotFound) {
      const uint32_t created = new_container(shapes_.child(node.shape, segment));
      append_member(node, segment, Slot{SlotKind::Container, created});
      current = created;
    } else if (node.slots[position].kind == SlotKind::Container) {
      current = node.slots[position].index;
    } else {
      return structure_error(navigation_error(segment));
    }
    in_array = false;
    cursor.advance();
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

  // One open container: the next slot to write, where its own text began
  // (to take it back when it is dropped), and whether it has written a slot.
  struct Frame {
    uint32_t container;
    size_t next;
    size_t rollback;
    bool wrote_any;
  };
  std::vector<Frame> stack;
  stack.push_back({kRootContainer, 0, out.size(), false});
  out += '{';
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const Container& node = containers_[frame.container];
    if (frame.next == node.slots.size()) {
      out += node.is_array ? ']' : '}';
      const bool is_root = stack.size() == 1;
      const bool drop = !frame.wrote_any && !is_root &&
                        (node.is_array ? config.remove_empty_arrays : config.remove_empty_objects);
      const size_t rollback = frame.rollback;
      stack.pop_back();
      if (drop) {
        out.resize(rollback);
      } else if (!is_root) {
        stack.back().wrote_any = true;
      }
      continue;
    }

    const size_t position = frame.next++;
    const Slot slot = node.slots[position];
    const size_t mark = out.size();
    if (frame.wrote_any) out += ',';
    if (!node.is_array) {
      out += '"';
      append_escaped_content(out, node.names[position]);
      out += "\":";
    }
    switch (slot.kind) {
      case SlotKind::Gap:
        if (drop_gaps) {
          out.resize(mark);
        } else {
          out += "null";
          frame.wrote_any = true;
        }
        break;
      case SlotKind::Leaf:
        if (drop_leaf(leaves[slot.index])) {
          out.resize(mark);
        } else {
          out += leaves[slot.index];
          frame.wrote_any = true;
        }
        break;
      case SlotKind::Container:
        out += containers_[slot.index].is_array ? '[' : '{';
        stack.push_back({slot.index, 0, mark, false});  // frame is not used past this point
        break;
    }
  }
}

}  // namespace plyfold
