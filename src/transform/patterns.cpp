#include "transform/patterns.h"

#include <absl/container/inlined_vector.h>
#include <re2/re2.h>

#include <utility>

#include "cache/pattern_cache.h"

namespace plyfold {

bool is_expression_pattern(std::string_view pattern, std::string_view* expression) {
  if (pattern.size() < 3 || pattern[0] != 'r' || pattern[1] != '\'' || pattern.back() != '\'') {
    return false;
  }
  if (expression != nullptr) *expression = pattern.substr(2, pattern.size() - 3);
  return true;
}

namespace {

// Length of the UTF-8 character at pos; 1 for a byte that does not start a
// complete character, so malformed text is still walked byte by byte.
size_t utf8_char_length(std::string_view text, size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  size_t length = 1;
  if (lead >= 0xC2 && lead < 0xE0) {
    length = 2;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4;
  }
  if (pos + length > text.size()) return 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

// The empty find: replace goes before every character and once at the end.
void insert_around_characters(std::string_view text, std::string_view replace, std::string& out) {
  out.clear();
  out.reserve(text.size() + (text.size() + 1) * replace.size());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t length = utf8_char_length(text, pos);
    out.append(replace);
    out.append(text.substr(pos, length));
    pos += length;
  }
  out.append(replace);
}

// Replaces every non-overlapping occurrence of find, left to right.
bool replace_literal(std::string_view text, std::string_view find, std::string_view replace,
                     std::string& out) {
  size_t hit = text.find(find);
  if (hit == std::string_view::npos) return false;
  out.clear();
  size_t start = 0;
  while (hit != std::string_view::npos) {
    out.append(text.substr(start, hit - start));
    out.append(replace);
    start = hit + find.size();
    hit = text.find(find, start);
  }
  out.append(text.substr(start));
  return true;
}

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A replacement template split into literal runs and group references:
// $name and ${name} name a group (digits only: a group number, 0 the whole
// match), $$ is one dollar sign, and any other dollar sign is literal.
class ReplacementTemplate {
 public:
  ReplacementTemplate(std::string_view text, const re2::RE2& expression) {
    size_t literal_start = 0;
    size_t i = 0;
    while (i < text.size()) {
      if (text[i] != '$') {
        ++i;
        continue;
      }
      if (i + 1 < text.size() && text[i + 1] == '$') {
        add_literal(text.substr(literal_start, i + 1 - literal_start));  // keeps one '$'
        i += 2;
        literal_start = i;
        continue;
      }
      std::string_view name;
      size_t after = i + 1;
      if (after < text.size() && text[after] == '{') {
        size_t close = text.find('}', after + 1);
        if (close != std::string_view::npos) {
          name = text.substr(after + 1, close - after - 1);
          after = close + 1;
        }
      } else {
        while (after < text.size() && is_name_char(text[after])) ++after;
        name = text.substr(i + 1, after - i - 1);
      }
      if (name.empty()) {
        ++i;  // a lone '$' stays in the literal run
        continue;
      }
      add_literal(text.substr(literal_start, i - literal_start));
      add_group(resolve_group(name, expression));
      i = after;
      literal_start = i;
    }
    add_literal(text.substr(literal_start));
  }

  // Submatches to ask the engine for: the whole match and every group used.
  int submatch_count() const { return highest_group_ + 1; }

  void expand(const re2::StringPiece* groups, std::string& out) const {
    for (const Part& part : parts_) {
      if (part.group < 0) {
        out.append(part.literal);
      } else if (groups[part.group].data() != nullptr) {
        out.append(groups[part.group].data(), groups[part.group].size());
      }
    }
  }

 private:
  // A literal run (group kLiteral) or a group reference. References to
  // groups that cannot take part in a match are dropped while parsing.
  struct Part {
    std::string_view literal;
    int group = -1;
  };
  static constexpr int kLiteral = -1;
  static constexpr int kMissingGroup = -2;

  void add_literal(std::string_view literal) {
    if (!literal.empty()) parts_.push_back({literal, kLiteral});
  }

  void add_group(int group) {
    if (group == kMissingGroup) return;
    parts_.push_back({{}, group});
    if (group > highest_group_) highest_group_ = group;
  }

  static int resolve_group(std::string_view name, const re2::RE2& expression) {
    const int groups = expression.NumberOfCapturingGroups();
    bool digits = true;
    for (char c : name) digits = digits && c >= '0' && c <= '9';
    if (digits) {
      long number = 0;
      for (char c : name) {
        number = number * 10 + (c - '0');
        if (number > groups) return kMissingGroup;
      }
      return static_cast<int>(number);
    }
    const auto& named = expression.NamedCapturingGroups();
    auto found = named.find(std::string(name));
    return found == named.end() ? kMissingGroup : found->second;
  }

  absl::InlinedVector<Part, 8> parts_;
  int highest_group_ = 0;
};

// Replaces every non-overlapping match of expression, left to right, by the
// expansion of the template. After an empty match the search moves on by one
// character; an empty match where the previous match ended is not counted.
bool replace_expression(const re2::RE2& expression, std::string_view text,
                        std::string_view replacement, std::string& out) {
  const ReplacementTemplate expansion(replacement, expression);
  absl::InlinedVector<re2::StringPiece, 8> groups(static_cast<size_t>(expansion.submatch_count()));
  const re2::StringPiece subject(text.data(), text.size());
  const size_t size = text.size();
  bool matched = false;
  bool after_match = false;
  size_t copied = 0;
  size_t last_end = 0;
  size_t search = 0;
  while (search <= size) {
    if (!expression.Match(subject, search, size, re2::RE2::UNANCHORED, groups.data(),
                          static_cast<int>(groups.size()))) {
      break;
    }
    const size_t start = static_cast<size_t>(groups[0].data() - subject.data());
    const size_t end = start + groups[0].size();
    if (start == end && after_match && start == last_end) {
      if (start >= size) break;
      search = start + utf8_char_length(text, start);
      continue;
    }
    if (!matched) {
      out.clear();
      matched = true;
    }
    out.append(text.substr(copied, start - copied));
    expansion.expand(groups.data(), out);
    copied = end;
    last_end = end;
    after_match = true;
    if (start != end) {
      search = end;
    } else if (end < size) {
      search = end + utf8_char_length(text, end);
    } else {
      break;
    }
  }
  if (!matched) return false;
  out.append(text.substr(copied));
  return true;
}

// Applies one rule to text; on a change the result is in out (which must not
// alias text).
bool apply_rule(std::string_view find, std::string_view replace, std::string_view text,
                std::string& out) {
  if (find.empty()) {
    insert_around_characters(text, replace, out);
    return true;
  }
  std::string_view expression;
  if (is_expression_pattern(find, &expression)) {
    const re2::RE2* compiled = CompiledPatternCache::instance().borrow(expression);
    if (compiled == nullptr) return false;  // an expression that does not compile is inert
    return replace_expression(*compiled, text, replace, out);
  }
  return replace_literal(text, find, replace, out);
}

}  // namespace

bool apply_replacement_rules(const RuleList& rules, std::string_view text, std::string& out) {
  bool changed = false;
  std::string current;
  std::string next;
  for (const auto& [find, replace] : rules) {
    std::string_view input = changed ? std::string_view(current) : text;
    if (apply_rule(find, replace, input, next)) {
      current.swap(next);
      changed = true;
    }
  }
  if (changed) out = std::move(current);
  return changed;
}

bool matches_any_pattern(const TextList& patterns, std::string_view text) {
  for (const std::string& pattern : patterns) {
    if (pattern.empty()) return true;
    std::string_view expression;
    if (is_expression_pattern(pattern, &expression)) {
      const re2::RE2* compiled = CompiledPatternCache::instance().borrow(expression);
      if (compiled != nullptr &&
          re2::RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *compiled)) {
        return true;
      }
    } else if (text.find(pattern) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace plyfold
