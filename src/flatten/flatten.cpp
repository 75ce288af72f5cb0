#include "flatten/flatten.h"

#include <oneapi/tbb/parallel_for.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>

#include "batch/pool.h"
#include "flatten/collisions.h"
#include "tape/json_text.h"
#include "tape/json_value.h"
#include "tape/screening.h"
#include "tape/tape.h"
#include "transform/key_case.h"
#include "transform/patterns.h"

namespace plyfold {
namespace {

// One open container of the walk: where its scan stands, where it ends, and
// the key length at which its members start.
struct WalkFrame {
  uint32_t next;
  uint32_t end;
  size_t base_length;
  uint64_t element;  // next array position
  bool is_array;
};

// The token after the value that starts at v (a whole container skipped).
uint32_t token_after_value(const StructuralTape& tape, uint32_t v) {
  TokenKind kind = tape.kind(v);
  if (kind == TokenKind::ObjectStart || kind == TokenKind::ArrayStart) return tape.matching(v) + 1;
  return v + 1;
}

// One member or element directly inside the root, as the root walk meets it.
struct TopLevelEntry {
  uint32_t key_token;    // the member's key (root object only)
  uint32_t value_token;  // the member's value or the element's first token
  uint64_t position;     // the element's position (root array only)
};

// A collected entry: the final key lives in the key arena, the value either
// in the document (a slice) or in the value arena.
struct PendingEntry {
  size_t key_offset;
  size_t key_length;
  const char* value_data;  // nullptr: value_offset indexes the value arena
  size_t value_offset;
  size_t value_length;
};

class FlattenWalker {
 public:
  FlattenWalker(std::string_view text, const StructuralTape& tape, const ResolvedConfig& resolved,
                bool collecting, size_t entry_capacity)
      : text_(text),
        tape_(tape),
        config_(resolved.config),
        resolved_(resolved),
        collecting_(collecting) {
    key_.reserve(256);
    if (collecting_) {
      entries_.reserve(entry_capacity);
    } else {
      out_.reserve(text.size() + text.size() / 2);
      out_ += '{';
    }
  }

  std::string run() {
    std::vector<WalkFrame> stack;
    if (open_container(0, stack)) drain(stack);
    if (!collecting_) {
      out_ += '}';
      return std::move(out_);
    }
    std::vector<FlatEntry> flat;
    append_entries(flat);
    std::string out;
    group_and_write(flat, config_.handle_key_collision, out);
    return out;
  }

  // Walks one top-level entry of the root as the root walk would (used by
  // the split of large roots): its segment, key exclusion, then its value.
  void walk_entry(const TopLevelEntry& entry, bool root_is_object) {
    key_.clear();
    if (root_is_object) {
      append_key_segment(entry.key_token);
      if (!config_.key_exclusions.empty() && matches_any_pattern(config_.key_exclusions, key_)) {
        return;
      }
    } else {
      append_index(entry.position);
    }
    std::vector<WalkFrame> stack;
    dispatch(entry.value_token, stack);
    drain(stack);
  }

  // Adds this walker's collected entries to flat, in walk order. The views
  // stay valid as long as the walker lives.
  void append_entries(std::vector<FlatEntry>& flat) const {
    flat.reserve(flat.size() + entries_.size());
    for (const PendingEntry& e : entries_) {
      std::string_view key(key_arena_.data() + e.key_offset, e.key_length);
      const char* value = e.value_data ? e.value_data : value_arena_.data() + e.value_offset;
      flat.push_back(FlatEntry{key, std::string_view(value, e.value_length)});
    }
  }

 private:
  // Runs the walk until every open container is finished.
  void drain(std::vector<WalkFrame>& stack) {
    while (!stack.empty()) {
      WalkFrame& frame = stack.back();
      if (frame.next >= frame.end) {
        stack.pop_back();
        continue;
      }
      if (frame.is_array) {
        step_array(frame, stack);
      } else {
        step_object(frame, stack);
      }
    }
  }

  // Emits an empty container or pushes a frame for a non-empty one. Returns
  // false when nothing was pushed.
  bool open_container(uint32_t p, std::vector<WalkFrame>& stack) {
    const bool is_array = tape_.kind(p) == TokenKind::ArrayStart;
    const uint32_t end = tape_.matching(p);
    const TokenKind closing = is_array ? TokenKind::ArrayEnd : TokenKind::ObjectEnd;
    if (p + 1 < tape_.size() && tape_.kind(p + 1) == closing) {
      if (is_array ? !config_.remove_empty_arrays : !config_.remove_empty_objects) {
        emit(is_array ? std::string_view("[]") : std::string_view("{}"));
      }
      return false;
    }
    stack.push_back(WalkFrame{p + 1, end, key_.size(), 0, is_array});
    return true;
  }

  void step_object(WalkFrame& frame, std::vector<WalkFrame>& stack) {
    const uint32_t i = frame.next;
    if (tape_.kind(i) != TokenKind::String) {
      frame.next = i + 1;
      return;
    }
    key_.resize(frame.base_length);
    append_separator();
    append_key_segment(i);
    uint32_t v = i + 1;
    if (v < frame.end && tape_.kind(v) == TokenKind::Colon) ++v;
    frame.next = after_value(v);
    if (!config_.key_exclusions.empty() && matches_any_pattern(config_.key_exclusions, key_)) {
      return;
    }
    dispatch(v, stack);  // may invalidate frame
  }

  void step_array(WalkFrame& frame, std::vector<WalkFrame>& stack) {
    const uint32_t i = frame.next;
    if (tape_.kind(i) == TokenKind::Comma) {
      frame.next = i + 1;
      return;
    }
    key_.resize(frame.base_length);
    append_separator();
    append_index(frame.element++);
    frame.next = after_value(i);
    dispatch(i, stack);  // may invalidate frame
  }

  uint32_t after_value(uint32_t v) const {
    TokenKind kind = tape_.kind(v);
    if (kind == TokenKind::ObjectStart || kind == TokenKind::ArrayStart)
      return tape_.matching(v) + 1;
    return v + 1;
  }

  void dispatch(uint32_t v, std::vector<WalkFrame>& stack) {
    switch (tape_.kind(v)) {
      case TokenKind::ObjectStart:
      case TokenKind::ArrayStart: open_container(v, stack); break;
      case TokenKind::String: string_leaf(v); break;
      case TokenKind::Scalar: scalar_leaf(v); break;
      default: break;
    }
  }

  void append_separator() {
    if (key_.empty()) return;
    if (config_.separator.size() == 1) {
      key_ += config_.separator[0];
    } else {
      key_ += config_.separator;
    }
  }

  void append_index(uint64_t position) {
    char digits[20];
    auto end = std::to_chars(digits, digits + sizeof(digits), position).ptr;
    key_.append(digits, static_cast<size_t>(end - digits));
  }

  void append_key_segment(uint32_t i) {
    std::string_view content = tape_.string_content(text_, i);
    if (collecting_ && tape_.has_backslash(i)) content = decode_string_content(content, scratch_);
    key_ += content;
  }

  void string_leaf(uint32_t i) {
    std::string_view content = tape_.string_content(text_, i);
    if (content.empty() && config_.remove_empty_strings) return;
    const bool replacing = !config_.value_replacements.empty();
    const bool converting = resolved_.conversion_mode != ConversionMode::Off;
    const bool excluding = !config_.value_exclusions.empty();
    if (!replacing && !converting && !excluding) {
      emit(tape_.string_token_text(text_, i));
      return;
    }
    std::string_view value =
        tape_.has_backslash(i) ? decode_string_content(content, decoded_) : content;
    bool replaced = false;
    if (replacing && apply_replacement_rules(config_.value_replacements, value, replaced_)) {
      replaced = true;
      value = replaced_;
      if (value.empty() && config_.remove_empty_strings) return;
    }
    if (converting) {
      if (auto converted = resolved_.convert(value, converted_)) {
        if (config_.remove_nulls && *converted == "null") return;
        if (excluding && matches_any_pattern(config_.value_exclusions, *converted)) return;
        emit_owned(*converted, false);
        return;
      }
    }
    if (excluding && matches_any_pattern(config_.value_exclusions, value)) return;
    if (replaced) {
      emit_owned(value, true);
    } else {
      emit(tape_.string_token_text(text_, i));
    }
  }

  void scalar_leaf(uint32_t i) {
    std::string_view scalar = tape_.scalar_text(text_, i);
    if (config_.remove_nulls && scalar == "null") return;
    if (!config_.value_exclusions.empty() &&
        matches_any_pattern(config_.value_exclusions, scalar)) {
      return;
    }
    emit(scalar);
  }

  // Emits a value that lives in the document or in constant text.
  void emit(std::string_view value) {
    if (!collecting_) {
      begin_member();
      out_ += value;
      return;
    }
    add_entry(value.data(), 0, value.size());
  }

  // Emits a value built by a rule; quoted strings are escaped on the way.
  void emit_owned(std::string_view value, bool as_string) {
    if (!collecting_) {
      begin_member();
      append_value(out_, value, as_string);
      return;
    }
    size_t offset = value_arena_.size();
    append_value(value_arena_, value, as_string);
    add_entry(nullptr, offset, value_arena_.size() - offset);
  }

  static void append_value(std::string& out, std::string_view value, bool as_string) {
    if (!as_string) {
      out += value;
      return;
    }
    out += '"';
    append_escaped_content(out, value);
    out += '"';
  }

  void begin_member() {
    if (out_.size() > 1) out_ += ',';
    out_ += '"';
    out_ += key_;
    out_ += "\":";
  }

  // Finalises the current key (lowercasing, then key replacement) into the
  // key arena and records the entry.
  void add_entry(const char* value_data, size_t value_offset, size_t value_length) {
    std::string_view key = key_;
    if (config_.lowercase_keys) {
      lowered_.assign(key_);
      lowercase_ascii(lowered_);
      key = lowered_;
    }
    if (!config_.key_replacements.empty() &&
        apply_replacement_rules(config_.key_replacements, key, replaced_key_)) {
      key = replaced_key_;
    }
    size_t key_offset = key_arena_.size();
    key_arena_ += key;
    entries_.push_back(
        PendingEntry{key_offset, key.size(), value_data, value_offset, value_length});
  }

  std::string_view text_;
  const StructuralTape& tape_;
  const Config& config_;
  const ResolvedConfig& resolved_;
  const bool collecting_;

  std::string key_;
  std::string out_;
  std::string scratch_, decoded_, replaced_, converted_, lowered_, replaced_key_;
  std::vector<PendingEntry> entries_;
  std::string key_arena_, value_arena_;
};

// The members (root object) or elements (root array) directly inside the
// root, found by the same scan as the root walk.
std::vector<TopLevelEntry> list_top_level_entries(const StructuralTape& tape) {
  const bool is_object = tape.kind(0) == TokenKind::ObjectStart;
  const uint32_t end = tape.matching(0);
  std::vector<TopLevelEntry> entries;
  uint64_t position = 0;
  uint32_t i = 1;
  while (i < end) {
    const TokenKind kind = tape.kind(i);
    if (is_object ? kind != TokenKind::String : kind == TokenKind::Comma) {
      ++i;
      continue;
    }
    if (is_object) {
      uint32_t v = i + 1;
      if (v < end && tape.kind(v) == TokenKind::Colon) ++v;
      entries.push_back(TopLevelEntry{i, v, 0});
      i = token_after_value(tape, v);
    } else {
      entries.push_back(TopLevelEntry{0, i, position++});
      i = token_after_value(tape, i);
    }
  }
  return entries;
}

// Flattens a large root in consecutive chunks of top-level entries on the
// pool, then groups the joined entries exactly as the sequential walk would.
Result<std::string> flatten_in_chunks(std::string_view text, const StructuralTape& tape,
                                      const ResolvedConfig& resolved,
                                      const std::vector<TopLevelEntry>& entries) {
  const Config& config = resolved.config;
  const size_t n = entries.size();
  const size_t threads = static_cast<size_t>(
      std::min<uint64_t>(std::max<uint64_t>(pool_thread_count(config.num_threads), 1), n));
  const size_t chunk_size = (n + threads - 1) / threads;
  const size_t chunks = (n + chunk_size - 1) / chunk_size;
  const bool root_is_object = tape.kind(0) == TokenKind::ObjectStart;
  std::vector<std::unique_ptr<FlattenWalker>> walkers(chunks);
  auto work = [&] {
    tbb::parallel_for(size_t{0}, chunks, [&](size_t k) {
      walkers[k] =
          std::make_unique<FlattenWalker>(text, tape, resolved, true, tape.size() / 4 / chunks);
      const size_t last = std::min(n, (k + 1) * chunk_size);
      for (size_t j = k * chunk_size; j < last; ++j) {
        walkers[k]->walk_entry(entries[j], root_is_object);
      }
    });
  };
  if (auto pool_error = run_in_pool(config.num_threads, work)) return std::move(*pool_error);
  std::vector<FlatEntry> flat;
  for (const auto& walker : walkers) walker->append_entries(flat);
  std::string out;
  group_and_write(flat, config.handle_key_collision, out);
  return out;
}

Result<std::string> flatten_bare_scalar(std::string_view text, const ResolvedConfig& resolved) {
  Result<JsonValue> parsed = read_json_value(text);
  if (!parsed) return std::move(parsed.error());
  std::string out;
  const std::string* string = std::get_if<std::string>(&parsed.value().data);
  if (string == nullptr) {
    write_json_value(out, parsed.value());
    return out;
  }
  std::string_view value = *string;
  std::string replaced;
  if (apply_replacement_rules(resolved.config.value_replacements, value, replaced))
    value = replaced;
  std::string scratch;
  if (auto converted = resolved.convert(value, scratch)) return std::string(*converted);
  append_json_string(out, value);
  return out;
}

}  // namespace

Result<std::string> flatten_document(std::string_view text, const ResolvedConfig& resolved) {
  if (text.size() >= kMaxDocumentSize) return input_error("Input exceeds 4 GiB limit");
  size_t first = skip_json_whitespace(text, 0);
  if (first == text.size()) return input_error("Empty JSON input");
  char open = text[first];
  if (open != '{' && open != '[') return flatten_bare_scalar(text, resolved);
  size_t second = skip_json_whitespace(text, first + 1);
  if (second < text.size() && text[second] == (open == '{' ? '}' : ']')) return std::string("{}");

  Result<StructuralTape> tape = build_tape(text);
  if (!tape) return std::move(tape.error());
  const Config& config = resolved.config;
  const bool collecting =
      config.lowercase_keys || !config.key_replacements.empty() || config.handle_key_collision;
  if (collecting) {
    std::vector<TopLevelEntry> entries = list_top_level_entries(tape.value());
    if (entries.size() > config.nested_parallel_threshold) {
      return flatten_in_chunks(text, tape.value(), resolved, entries);
    }
  }
  return FlattenWalker(text, tape.value(), resolved, collecting, tape.value().size() / 4).run();
}

}  // namespace plyfold
