#include "transform/normal.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "absl/container/flat_hash_map.h"
#include "tape/json_text.h"
#include "tape/screening.h"
#include "tape/tape.h"
#include "transform/key_case.h"
#include "transform/patterns.h"

namespace plyfold {
namespace {

std::string_view trim_whitespace(std::string_view text) {
  size_t first = 0;
  while (first < text.size() && is_json_whitespace(text[first])) ++first;
  size_t last = text.size();
  while (last > first && is_json_whitespace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// A document that is neither an object nor an array is passed through: only a
// quoted string is rewritten, and only when a value rule applies to it.
std::string normal_bare_scalar(std::string_view trimmed, const ResolvedConfig& resolved) {
  const Config& config = resolved.config;
  const bool replacing = !config.value_replacements.empty();
  const bool converting = resolved.conversion_mode != ConversionMode::Off;
  const bool quoted = trimmed.size() >= 2 && trimmed.front() == '"' && trimmed.back() == '"';
  if (!quoted || (!replacing && !converting)) return std::string(trimmed);

  std::string decoded, replaced, converted;
  std::string_view value = decode_string_content(trimmed.substr(1, trimmed.size() - 2), decoded);
  const bool changed =
      replacing && apply_replacement_rules(config.value_replacements, value, replaced);
  if (changed) value = replaced;
  if (auto typed = resolved.convert(value, converted)) return std::string(*typed);
  if (!changed) return std::string(trimmed);
  std::string out;
  out.reserve(value.size() + 2);
  out += '"';
  append_escaped_content(out, value);
  out += '"';
  return out;
}

// Documents repeat the same member keys over and over; when a key rule is a
// regular expression, each distinct key's verdict is worked out once per
// document (up to this many keys) and then looked up.
constexpr size_t kRememberedKeys = 4096;

struct KeyVerdict {
  bool excluded;
  bool changed;   // the final key differs from the key as written
  size_t offset;  // of the final key in the verdict arena, when changed
  size_t length;
};

bool has_expression(const TextList& patterns) {
  return std::any_of(patterns.begin(), patterns.end(),
                     [](const std::string& p) { return is_expression_pattern(p); });
}

bool has_expression(const RuleList& rules) {
  return std::any_of(rules.begin(), rules.end(),
                     [](const auto& rule) { return is_expression_pattern(rule.first); });
}

// What walking one value did to the output.
enum class Outcome : uint8_t {
  Written,    // the value's text is in the output
  Dropped,    // a filter or an exclusion removed it: it left nothing behind
  NotAValue,  // a stray closing bracket, colon or comma stood where a value belongs
  Pending,    // a container was opened; its outcome comes when its frame closes
};

// One member of an object on the general path: its final key and the tape
// position of its value. Members with equal keys are made adjacent; the first
// of such a run carries the run's length.
struct Member {
  size_t key_offset;  // into the document, or into the key arena when key_owned
  size_t key_length;
  uint32_t value;
  uint32_t group_size;  // 1 for a lone key; 0 for the later members of a group
  bool key_owned;
};

enum class FrameKind : uint8_t { Array, PlainObject, GeneralObject };

// One open container. Marks are output sizes to roll back to when what was
// written after them turns out to be dropped.
struct Frame {
  FrameKind kind;
  bool any_written = false;    // some member or element is in the output
  bool in_group = false;       // writing the values of a repeated key
  bool group_written = false;  // some value of the current group is in the output
  uint32_t end;                // tape position of the closing token
  uint32_t next;               // next tape position; next member index (general)
  uint32_t members_begin = 0;  // general: this object's range in the member list
  uint32_t members_end = 0;
  uint32_t group_end = 0;  // general: end of the group being written
  size_t member_mark = 0;  // before the current member or element (its comma)
  size_t value_mark = 0;   // before the current value of a group (its comma)
  size_t arena_mark = 0;   // key arena size when the object was opened
};

// Writes the cleaned document in one pass over the tape. Containers are kept
// on an explicit frame stack, so the nesting depth costs heap, not call stack.
class NormalWalker {
 public:
  NormalWalker(std::string_view text, const StructuralTape& tape, const ResolvedConfig& resolved)
      : text_(text),
        tape_(tape),
        config_(resolved.config),
        resolved_(resolved),
        general_(config_.lowercase_keys || !config_.key_replacements.empty() ||
                 config_.handle_key_collision),
        replacing_values_(!config_.value_replacements.empty()),
        converting_(resolved.conversion_mode != ConversionMode::Off),
        excluding_values_(!config_.value_exclusions.empty()),
        excluding_keys_(!config_.key_exclusions.empty()),
        remember_keys_(has_expression(config_.key_replacements) ||
                       has_expression(config_.key_exclusions)) {
    out_.reserve(text.size());
  }

  // Walks the root container (token 0) and returns the output text. A root
  // that its filter drops is still written, as an empty container.
  std::string run() {
    Outcome outcome = walk_value(0);
    while (!frames_.empty()) {
      if (outcome != Outcome::Pending) settle(frames_.back(), outcome);
      outcome = advance(frames_.back());
    }
    if (outcome == Outcome::Dropped) {
      return tape_.kind(0) == TokenKind::ObjectStart ? std::string("{}") : std::string("[]");
    }
    return std::move(out_);
  }

 private:
  Outcome walk_value(uint32_t v) {
    switch (tape_.kind(v)) {
      case TokenKind::ObjectStart: return open_object(v);
      case TokenKind::ArrayStart: return open_array(v);
      case TokenKind::String: return string_value(v);
      case TokenKind::Scalar: return scalar_value(v);
      default: return Outcome::NotAValue;
    }
  }

  // The value of the key at i follows it directly or after a colon.
  uint32_t value_position(uint32_t i) const {
    return tape_.kind(i + 1) == TokenKind::Colon ? i + 2 : i + 1;
  }

  uint32_t after_value(uint32_t v) const {
    TokenKind kind = tape_.kind(v);
    if (kind == TokenKind::ObjectStart || kind == TokenKind::ArrayStart)
      return tape_.matching(v) + 1;
    return v + 1;
  }

  Outcome open_array(uint32_t p) {
    const uint32_t end = tape_.matching(p);
    if (p + 1 == end) return write_empty("[]", config_.remove_empty_arrays);
    out_ += '[';
    frames_.push_back(Frame{.kind = FrameKind::Array, .end = end, .next = p + 1});
    return Outcome::Pending;
  }

  Outcome open_object(uint32_t p) {
    const uint32_t end = tape_.matching(p);
    if (p + 1 == end) return write_empty("{}", config_.remove_empty_objects);
    if (!general_) {
      out_ += '{';
      frames_.push_back(Frame{.kind = FrameKind::PlainObject, .end = end, .next = p + 1});
      return Outcome::Pending;
    }
    const size_t arena_mark = key_arena_.size();
    const uint32_t begin = static_cast<uint32_t>(members_.size());
    collect_members(p, end);
    const uint32_t members_end = static_cast<uint32_t>(members_.size());
    if (config_.handle_key_collision && members_end - begin > 1) group_members(begin, members_end);
    out_ += '{';
    frames_.push_back(Frame{.kind = FrameKind::GeneralObject,
                            .end = end,
                            .next = begin,
                            .members_begin = begin,
                            .members_end = members_end,
                            .arena_mark = arena_mark});
    return Outcome::Pending;
  }

  Outcome write_empty(std::string_view empty, bool drop) {
    if (drop) return Outcome::Dropped;
    out_ += empty;
    return Outcome::Written;
  }

  // Starts the next value of the top frame and returns its outcome, or closes
  // the frame and returns the container's outcome. Frames may be pushed, so
  // the frame is not touched after walk_value is called.
  Outcome advance(Frame& frame) {
    switch (frame.kind) {
      case FrameKind::Array: return advance_array(frame);
      case FrameKind::PlainObject: return advance_plain_object(frame);
      case FrameKind::GeneralObject: return advance_general_object(frame);
    }
    return Outcome::NotAValue;
  }

  // Applies the outcome of the value the frame started last.
  void settle(Frame& frame, Outcome outcome) {
    if (frame.kind == FrameKind::Array) {
      // A stray token in an array leaves no trace, like a dropped element.
      if (outcome == Outcome::Written) {
        frame.any_written = true;
      } else {
        out_.resize(frame.member_mark);
      }
    } else if (frame.in_group) {
      if (outcome == Outcome::Written) {
        frame.group_written = true;
      } else {
        out_.resize(frame.value_mark);
      }
    } else if (outcome == Outcome::Dropped) {
      out_.resize(frame.member_mark);  // the key goes with its value
    } else {
      frame.any_written = true;
    }
  }

  Outcome advance_array(Frame& frame) {
    while (frame.next < frame.end) {
      const uint32_t i = frame.next;
      if (tape_.kind(i) == TokenKind::Comma) {
        ++frame.next;
        continue;
      }
      frame.next = after_value(i);
      frame.member_mark = out_.size();
      if (frame.any_written) out_ += ',';
      return walk_value(i);
    }
    return close_frame();
  }

  Outcome advance_plain_object(Frame& frame) {
    while (frame.next < frame.end) {
      const uint32_t i = frame.next;
      if (tape_.kind(i) != TokenKind::String) {
        ++frame.next;
        continue;
      }
      const uint32_t v = value_position(i);
      frame.next = after_value(v);
      if (excluding_keys_ && key_excluded_as_written(i)) continue;
      frame.member_mark = out_.size();
      if (frame.any_written) out_ += ',';
      out_ += tape_.string_token_text(text_, i);
      out_ += ':';
      return walk_value(v);
    }
    return close_frame();
  }

  bool key_excluded_as_written(uint32_t i) {
    bool excluded = false;
    member_key(i, tape_.string_content(text_, i), excluded);
    return excluded;
  }

  // The final key of the member whose key token is i: decoded, replaced,
  // then lowercased; excluded tells whether key exclusion drops it. The view
  // is valid until the next call.
  std::string_view member_key(uint32_t i, std::string_view content, bool& excluded) {
    if (!remember_keys_) return compute_member_key(i, content, excluded);
    if (auto hit = verdicts_.find(content); hit != verdicts_.end()) {
      const KeyVerdict& verdict = hit->second;
      excluded = verdict.excluded;
      if (!verdict.changed) return content;
      return std::string_view(verdict_keys_).substr(verdict.offset, verdict.length);
    }
    std::string_view key = compute_member_key(i, content, excluded);
    const bool changed = key.data() != content.data() || key.size() != content.size();
    if (verdicts_.size() < kRememberedKeys) {
      verdicts_.emplace(content, KeyVerdict{excluded, changed, verdict_keys_.size(), key.size()});
      if (changed) verdict_keys_ += key;
    }
    return key;
  }

  std::string_view compute_member_key(uint32_t i, std::string_view content, bool& excluded) {
    std::string_view key = content;
    if (tape_.has_backslash(i)) key = decode_string_content(content, key_decoded_);
    if (general_) {
      if (!config_.key_replacements.empty() &&
          apply_replacement_rules(config_.key_replacements, key, key_replaced_)) {
        key = key_replaced_;
      }
      if (config_.lowercase_keys) key = lowercase_unicode(key, key_lowered_);
    }
    excluded = excluding_keys_ && matches_any_pattern(config_.key_exclusions, key);
    return key;
  }

  Outcome advance_general_object(Frame& frame) {
    while (true) {
      if (frame.in_group) {
        if (frame.next < frame.group_end) {
          frame.value_mark = out_.size();
          if (frame.group_written) out_ += ',';
          return walk_value(members_[frame.next++].value);
        }
        // A group whose values were all dropped leaves no trace at all.
        frame.in_group = false;
        if (frame.group_written) {
          out_ += ']';
          frame.any_written = true;
        } else {
          out_.resize(frame.member_mark);
        }
        continue;
      }
      if (frame.next >= frame.members_end) return close_frame();
      const Member& member = members_[frame.next];
      frame.member_mark = out_.size();
      if (frame.any_written) out_ += ',';
      out_ += '"';
      append_escaped_content(out_, key_of(member));
      out_ += "\":";
      if (member.group_size > 1) {
        out_ += '[';
        frame.in_group = true;
        frame.group_written = false;
        frame.group_end = frame.next + member.group_size;
        continue;
      }
      return walk_value(members_[frame.next++].value);
    }
  }

  // Pops the top frame and returns the outcome of its container.
  Outcome close_frame() {
    const Frame& frame = frames_.back();
    const bool is_array = frame.kind == FrameKind::Array;
    const bool written = frame.any_written;
    if (frame.kind == FrameKind::GeneralObject) {
      members_.resize(frame.members_begin);
      key_arena_.resize(frame.arena_mark);
    }
    frames_.pop_back();
    if (!written && (is_array ? config_.remove_empty_arrays : config_.remove_empty_objects)) {
      return Outcome::Dropped;
    }
    out_ += is_array ? ']' : '}';
    return Outcome::Written;
  }

  // Records the members of the object p..end that survive key exclusion, with
  // their final keys: decoded, replaced, then lowercased.
  void collect_members(uint32_t p, uint32_t end) {
    uint32_t i = p + 1;
    while (i < end) {
      if (tape_.kind(i) != TokenKind::String) {
        ++i;
        continue;
      }
      const uint32_t v = value_position(i);
      const std::string_view content = tape_.string_content(text_, i);
      bool excluded = false;
      std::string_view key = member_key(i, content, excluded);
      i = after_value(v);
      if (!excluded) add_member(content, key, v);
    }
  }

  void add_member(std::string_view content, std::string_view key, uint32_t v) {
    if (key.data() == content.data() && key.size() == content.size()) {
      const size_t offset = static_cast<size_t>(content.data() - text_.data());
      members_.push_back(Member{offset, key.size(), v, 1, false});
      return;
    }
    members_.push_back(Member{key_arena_.size(), key.size(), v, 1, true});
    key_arena_ += key;
  }

  std::string_view key_of(const Member& member) const {
    std::string_view storage = member.key_owned ? std::string_view(key_arena_) : text_;
    return storage.substr(member.key_offset, member.key_length);
  }

  // Reorders members_[begin, end) so that members with equal keys are
  // adjacent, groups in order of first occurrence, members in document order
  // within a group.
  void group_members(uint32_t begin, uint32_t end) {
    const uint32_t count = end - begin;
    group_index_.clear();
    group_sizes_.clear();
    group_of_.resize(count);
    for (uint32_t k = 0; k < count; ++k) {
      auto [it, inserted] = group_index_.try_emplace(key_of(members_[begin + k]),
                                                     static_cast<uint32_t>(group_sizes_.size()));
      if (inserted) group_sizes_.push_back(0);
      group_of_[k] = it->second;
      ++group_sizes_[it->second];
    }
    if (group_sizes_.size() == count) return;  // no key repeats

    group_next_.resize(group_sizes_.size());
    uint32_t start = 0;
    for (size_t g = 0; g < group_sizes_.size(); ++g) {
      group_next_[g] = start;
      start += group_sizes_[g];
    }
    reordered_.resize(count);
    for (uint32_t k = 0; k < count; ++k) {
      reordered_[group_next_[group_of_[k]]++] = members_[begin + k];
    }
    for (size_t g = 0; g < group_sizes_.size(); ++g) {
      const uint32_t first = group_next_[g] - group_sizes_[g];
      for (uint32_t slot = first; slot < group_next_[g]; ++slot) reordered_[slot].group_size = 0;
      reordered_[first].group_size = group_sizes_[g];
    }
    std::copy(reordered_.begin(), reordered_.end(), members_.begin() + begin);
  }

  Outcome string_value(uint32_t i) {
    const std::string_view content = tape_.string_content(text_, i);
    if (content.empty() && config_.remove_empty_strings) return Outcome::Dropped;
    if (!replacing_values_ && !converting_ && !excluding_values_) {
      out_ += tape_.string_token_text(text_, i);
      return Outcome::Written;
    }
    std::string_view value = content;
    if (tape_.has_backslash(i)) value = decode_string_content(content, value_decoded_);
    if (replacing_values_ &&
        apply_replacement_rules(config_.value_replacements, value, value_replaced_)) {
      if (value_replaced_.empty() && config_.remove_empty_strings) return Outcome::Dropped;
      if (auto typed = resolved_.convert(value_replaced_, value_converted_)) {
        return write_converted(*typed);
      }
      if (excluding_values_ && matches_any_pattern(config_.value_exclusions, value_replaced_)) {
        return Outcome::Dropped;
      }
      out_ += '"';
      append_escaped_content(out_, value_replaced_);
      out_ += '"';
      return Outcome::Written;
    }
    if (auto typed = resolved_.convert(value, value_converted_)) return write_converted(*typed);
    if (excluding_values_ && matches_any_pattern(config_.value_exclusions, value)) {
      return Outcome::Dropped;
    }
    out_ += tape_.string_token_text(text_, i);
    return Outcome::Written;
  }

  Outcome write_converted(std::string_view typed) {
    if (config_.remove_nulls && typed == "null") return Outcome::Dropped;
    if (excluding_values_ && matches_any_pattern(config_.value_exclusions, typed)) {
      return Outcome::Dropped;
    }
    out_ += typed;
    return Outcome::Written;
  }

  Outcome scalar_value(uint32_t i) {
    const std::string_view scalar = tape_.scalar_text(text_, i);
    if (config_.remove_nulls && scalar == "null") return Outcome::Dropped;
    if (excluding_values_ && matches_any_pattern(config_.value_exclusions, scalar)) {
      return Outcome::Dropped;
    }
    out_ += scalar;
    return Outcome::Written;
  }

  const std::string_view text_;
  const StructuralTape& tape_;
  const Config& config_;
  const ResolvedConfig& resolved_;
  const bool general_;
  const bool replacing_values_;
  const bool converting_;
  const bool excluding_values_;
  const bool excluding_keys_;
  const bool remember_keys_;
  absl::flat_hash_map<std::string_view, KeyVerdict> verdicts_;
  std::string verdict_keys_;

  std::string out_;
  std::vector<Frame> frames_;

  // Members of the general objects currently open, innermost last, and the
  // keys that rules changed.
  std::vector<Member> members_;
  std::string key_arena_;

  // Grouping work space, reused for every object.
  absl::flat_hash_map<std::string_view, uint32_t> group_index_;
  std::vector<uint32_t> group_sizes_, group_of_, group_next_;
  std::vector<Member> reordered_;

  std::string key_decoded_, key_replaced_, key_lowered_;
  std::string value_decoded_, value_replaced_, value_converted_;
};

}  // namespace

Result<std::string> normal_document(std::string_view text, const ResolvedConfig& resolved) {
  if (text.size() >= kMaxDocumentSize) return input_error("Input exceeds 4 GiB limit");
  const std::string_view trimmed = trim_whitespace(text);
  if (trimmed.empty()) return std::string(text);
  if (trimmed.front() != '{' && trimmed.front() != '[')
    return normal_bare_scalar(trimmed, resolved);

  Result<StructuralTape> tape = build_tape(text);
  if (!tape) return std::move(tape.error());
  return NormalWalker(text, tape.value(), resolved).run();
}

}  // namespace plyfold
