#include "unflatten/unflatten.h"

#include <new>
#include <stdexcept>
#include <variant>
#include <vector>

#include "flatten/collisions.h"
#include "tape/json_text.h"
#include "tape/json_value.h"
#include "tape/tape.h"
#include "transform/patterns.h"
#include "unflatten/flat_entries.h"
#include "unflatten/prefix_shapes.h"
#include "unflatten/segments.h"
#include "unflatten/text_arena.h"
#include "unflatten/unflatten_tree.h"

namespace plyfold {
namespace {

constexpr uint64_t kMaxInputSize = uint64_t{1} << 32;

bool is_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

size_t skip_whitespace(std::string_view text, size_t pos) {
  while (pos < text.size() && is_whitespace(text[pos])) ++pos;
  return pos;
}

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

bool any_key_has_separator(const std::vector<FlatEntry>& entries, std::string_view separator) {
  for (const FlatEntry& entry : entries) {
    if (find_separator(entry.key, separator, 0) != std::string_view::npos) return true;
  }
  return false;
}

// Rebuilds the nested document from the entries of a flat object and writes it.
Result<std::string> build_and_write(std::string_view text, const StructuralTape& tape,
                                    const ResolvedConfig& resolved) {
  const Config& config = resolved.config;
  TextArena arena;
  std::vector<FlatEntry> entries;
  collect_flat_entries(text, tape, resolved, arena, entries);
  group_repeated_keys(entries, config.handle_key_collision, arena);

  PrefixShapes shapes;
  if (any_key_has_separator(entries, config.separator)) {
    for (const FlatEntry& entry : entries) shapes.add_key(entry.key, config.separator);
  }
  UnflattenTree tree(shapes, config.separator, config.max_array_index, arena);
  std::vector<std::string_view> leaves;
  leaves.reserve(entries.size());
  for (const FlatEntry& entry : entries) {
    if (auto error = tree.insert(entry.key, static_cast<uint32_t>(leaves.size()))) {
      return std::move(*error);
    }
    leaves.push_back(entry.value);
  }
  std::string out;
  out.reserve(text.size());
  tree.write(leaves, config, out);
  return out;
}

}  // namespace

Result<std::string> unflatten_document(std::string_view text, const ResolvedConfig& resolved) {
  if (text.size() >= kMaxInputSize) return input_error("Input exceeds 4 GiB limit");
  const size_t first = skip_whitespace(text, 0);
  if (first == text.size() || text[first] == '[') return std::string("{}");
  if (text[first] != '{') return unflatten_bare_scalar(text, resolved);
  const size_t second = skip_whitespace(text, first + 1);
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
