#include "unflatten/flat_entries.h"

#include <cstdint>
#include <string>

#include "tape/json_text.h"
#include "transform/key_case.h"
#include "transform/patterns.h"

namespace plyfold {
namespace {

bool is_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trim_whitespace(std::string_view text) {
  while (!text.empty() && is_whitespace(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_whitespace(text.back())) text.remove_suffix(1);
  return text;
}

bool has_ascii_upper(std::string_view text) {
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') return true;
  }
  return false;
}

// True when view lies inside text, so it needs no copy to outlive a scratch buffer.
bool lies_within(std::string_view view, std::string_view text) {
  const auto start = reinterpret_cast<uintptr_t>(view.data());
  const auto text_start = reinterpret_cast<uintptr_t>(text.data());
  return start >= text_start && start + view.size() <= text_start + text.size();
}

class EntryCollector {
 public:
  EntryCollector(std::string_view text, const StructuralTape& tape, const ResolvedConfig& resolved,
                 TextArena& arena)
      : text_(text),
        tape_(tape),
        resolved_(resolved),
        config_(resolved.config),
        arena_(arena),
        converting_(resolved.conversion_mode != ConversionMode::Off) {}

  void collect(std::vector<FlatEntry>& entries) {
    const size_t end = tape_.matching(0);
    entries.reserve(end / 4);
    size_t i = 1;
    while (i < end) {
      if (tape_.kind(i) != TokenKind::String) {
        ++i;  // commas and whatever else cannot be a key
        continue;
      }
      size_t v = i + 1;
      if (tape_.kind(v) == TokenKind::Colon) ++v;
      if (v >= end) break;  // a key without a value ends the object
      const std::string_view key = final_key(i);
      const TokenKind value_kind = tape_.kind(v);
      const bool container =
          value_kind == TokenKind::ObjectStart || value_kind == TokenKind::ArrayStart;
      const size_t next = container ? size_t{tape_.matching(v)} + 1 : v + 1;
      if (!config_.key_exclusions.empty() && matches_any_pattern(config_.key_exclusions, key)) {
        i = next;
        continue;
      }
      entries.push_back({key, value_text(v, value_kind)});
      i = next;
    }
  }

 private:
  // The key of the String token at i: decoded, lowercased, replaced.
  std::string_view final_key(size_t i) {
    std::string_view key = tape_.string_content(text_, i);
    if (tape_.has_backslash(i)) key = decode_string_content(key, key_scratch_);
    if (config_.lowercase_keys && has_ascii_upper(key)) {
      key_lowered_.assign(key);
      lowercase_ascii(key_lowered_);
      key = key_lowered_;
    }
    if (!config_.key_replacements.empty() &&
        apply_replacement_rules(config_.key_replacements, key, key_rewritten_)) {
      key = key_rewritten_;
    }
    return lies_within(key, text_) ? key : arena_.store(key);
  }

  std::string_view value_text(size_t v, TokenKind kind) {
    switch (kind) {
      case TokenKind::ObjectStart:
      case TokenKind::ArrayStart: {
        const size_t open = tape_.offset(v);
        const size_t close = tape_.offset(tape_.matching(v));
        return text_.substr(open, close - open + 1);
      }
      case TokenKind::String: return string_value(v);
      case TokenKind::Scalar: return trim_whitespace(tape_.scalar_text(text_, v));
      default: return "null";  // a key followed by a stray bracket, colon or comma
    }
  }

  // The string value rule: replacement, then conversion, else the token as written.
  std::string_view string_value(size_t v) {
    const std::string_view token_text = tape_.string_token_text(text_, v);
    const bool replacing = !config_.value_replacements.empty();
    if (!replacing && !converting_) return token_text;
    std::string_view content = tape_.string_content(text_, v);
    if (tape_.has_backslash(v)) content = decode_string_content(content, value_scratch_);
    bool changed = false;
    if (replacing &&
        apply_replacement_rules(config_.value_replacements, content, value_rewritten_)) {
      content = value_rewritten_;
      changed = true;
    }
    if (converting_) {
      if (auto converted = resolved_.convert(content, convert_scratch_)) {
        return lies_within(*converted, text_) ? *converted : arena_.store(*converted);
      }
    }
    if (!changed) return token_text;
    return arena_.store_quoted(escape_string_content(content, escape_scratch_));
  }

  std::string_view text_;
  const StructuralTape& tape_;
  const ResolvedConfig& resolved_;
  const Config& config_;
  TextArena& arena_;
  const bool converting_;
  std::string key_scratch_;
  std::string key_lowered_;
  std::string key_rewritten_;
  std::string value_scratch_;
  std::string value_rewritten_;
  std::string convert_scratch_;
  std::string escape_scratch_;
};

}  // namespace

void collect_flat_entries(std::string_view text, const StructuralTape& tape,
                          const ResolvedConfig& resolved, TextArena& arena,
                          std::vector<FlatEntry>& entries) {
  EntryCollector(text, tape, resolved, arena).collect(entries);
}

}  // namespace plyfold
