#include "unflatten/unflatten.h"

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "absl/container/flat_hash_map.h"
#include "flatten/collisions.h"
#include "tape/json_text.h"
#include "tape/json_value.h"
#include "tape/screening.h"
#include "tape/tape.h"
#include "transform/patterns.h"
#include "unflatten/flat_entries.h"
#include "unflatten/path_trie.h"
#include "unflatten/text_arena.h"
#include "unflatten/unflatten_tree.h"

namespace plyfold {
namespace {

// A document that is neither an object nor an array: only value replacement
// and conversion apply, and only to a string.
Result<std::string> unflatten_bare_scalar(std::string_view text, const ResolvedConfig& resolved) {
  Result<JsonValue> parsed = read_json_value(text);
  if (!parsed) return std::move(parsed.error());
  std::string out;
  const auto* string = std::get_if<std::string>(&parsed.value().data);
  if (string == nullptr) {
    write_json_value(out, parsed.value());
    return out;
  }
  std::string_view value = *string;
  std::string replaced;
  if (apply_replacement_rules(resolved.config.value_replacements, value, replaced)) {
    value = replaced;
  }
  std::string scratch;
  if (auto converted = resolved.convert(value, scratch)) return std::string(*converted);
  append_json_string(out, value);
  return out;
}

constexpr uint32_t kNoEntry = UINT32_MAX;

// The flat entries with the trie paths of their keys: entry i's path is
// nodes[starts[i]] .. nodes[starts[i + 1] - 1], its last node naming the key.
struct EntryPaths {
  std::vector<uint32_t> nodes;
  std::vector<size_t> starts;

  uint32_t key_node(size_t i) const { return nodes[starts[i + 1] - 1]; }
};

// Merges entries with equal keys into the first of them: a repeated key
// gets "[v1,v2,...]" of all its values with handle_key_collision on, else
// the value of its last occurrence. Returns for each entry the entry its
// key first occurred in; the entries that are not their own first are left
// for the caller to skip.
std::vector<uint32_t> group_repeated_keys(std::vector<FlatEntry>& entries, const EntryPaths& paths,
                                          size_t node_count, bool handle_key_collision,
                                          TextArena& arena) {
  const size_t count = entries.size();
  std::vector<uint32_t> first(count);
  std::vector<uint32_t> first_at_node(node_count, kNoEntry);
  bool repeated = false;
  for (size_t i = 0; i < count; ++i) {
    uint32_t& seen = first_at_node[paths.key_node(i)];
    if (seen == kNoEntry) seen = static_cast<uint32_t>(i);
    first[i] = seen;
    repeated = repeated || seen != i;
  }
  if (!repeated) return first;

  if (handle_key_collision) {
    // first entry -> "[v1,v2,..." of its key, built only for repeated keys
    absl::flat_hash_map<uint32_t, std::string> collected;
    for (size_t i = 0; i < count; ++i) {
      if (first[i] == i) continue;
      auto [slot, started] = collected.try_emplace(first[i]);
      std::string& values = slot->second;
      if (started) {
        values += '[';
        values += entries[first[i]].value;
      }
      values += ',';
      values += entries[i].value;
    }
    for (auto& [position, values] : collected) {
      values += ']';
      entries[position].value = arena.store(values);
    }
  } else {
    for (size_t i = 0; i < count; ++i) {
      if (first[i] != i) entries[first[i]].value = entries[i].value;
    }
  }
  return first;
}

// Rebuilds the nested document from the entries of a flat object and writes it.
Result<std::string> build_and_write(std::string_view text, const StructuralTape& tape,
                                    const ResolvedConfig& resolved) {
  const Config& config = resolved.config;
  TextArena arena;
  std::vector<FlatEntry> entries;
  collect_flat_entries(text, tape, resolved, arena, entries);

  PathTrie trie;
  EntryPaths paths;
  paths.nodes.reserve(entries.size() * 2);
  paths.starts.reserve(entries.size() + 1);
  for (const FlatEntry& entry : entries) {
    paths.starts.push_back(paths.nodes.size());
    trie.add_key(entry.key, config.separator, paths.nodes);
  }
  paths.starts.push_back(paths.nodes.size());

  const std::vector<uint32_t> first =
      group_repeated_keys(entries, paths, trie.size(), config.handle_key_collision, arena);

  UnflattenTree tree(trie, config.max_array_index);
  std::vector<std::string_view> leaves;
  leaves.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    leaves.push_back(entries[i].value);
    if (first[i] != i) continue;
    const size_t start = paths.starts[i];
    if (auto error = tree.insert(&paths.nodes[start], paths.starts[i + 1] - start,
                                 static_cast<uint32_t>(i))) {
      return std::move(*error);
    }
  }
  std::string out;
  out.reserve(text.size());
  tree.write(leaves, config, out);
  return out;
}

}  // namespace

Result<std::string> unflatten_document(std::string_view text, const ResolvedConfig& resolved) {
  if (text.size() >= kMaxDocumentSize) return input_error("Input exceeds 4 GiB limit");
  const size_t first = skip_json_whitespace(text, 0);
  if (first == text.size() || text[first] == '[') return std::string("{}");
  if (text[first] != '{') return unflatten_bare_scalar(text, resolved);
  const size_t second = skip_json_whitespace(text, first + 1);
  if (second < text.size() && text[second] == '}') return std::string("{}");

  Result<StructuralTape> tape = build_tape(text);
  if (!tape) return std::move(tape.error());
  if (tape.value().size() == 0 || tape.value().kind(0) != TokenKind::ObjectStart) {
    return structure_error("Expected object for unflattening");
  }
  try {
    return build_and_write(text, tape.value(), resolved);
  } catch (const std::bad_alloc&) {
    return input_error("Not enough memory to unflatten the document");
  } catch (const std::length_error&) {
    return input_error("Not enough memory to unflatten the document");
  }
}

}  // namespace plyfold
