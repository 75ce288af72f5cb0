#include "cache/expression_syntax.h"

#include <unicode/uniset.h>
#include <unicode/unistr.h>

#include <cstdio>

namespace plyfold {

namespace {

// Members of the classes, written for use inside a bracket class.
constexpr std::string_view kDigitMembers = "\\p{Nd}";
constexpr std::string_view kNonDigitMembers = "\\P{Nd}";
constexpr std::string_view kWordMembers = "\\p{L}\\p{M}\\p{Nd}\\p{Pc}";
constexpr std::string_view kSpaceMembers =
    "\\x{9}-\\x{d}\\x{20}\\x{85}\\x{a0}\\x{1680}\\x{2000}-\\x{200a}\\x{2028}\\x{2029}"
    "\\x{202f}\\x{205f}\\x{3000}";
constexpr std::string_view kNonSpaceMembers =
    "\\x{0}-\\x{8}\\x{e}-\\x{1f}\\x{21}-\\x{84}\\x{86}-\\x{9f}\\x{a1}-\\x{167f}"
    "\\x{1681}-\\x{1fff}\\x{200b}-\\x{2027}\\x{202a}-\\x{202e}\\x{2030}-\\x{205e}"
    "\\x{2060}-\\x{2fff}\\x{3001}-\\x{10ffff}";

// The engine cannot subtract or intersect classes, so a negated word class
// inside a bracket class ([^\W\d], [a\W]) needs the complement spelled out
// as code point ranges. Built once from the Unicode tables.
const std::string& non_word_members() {
  static const std::string members = [] {
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeSet word(icu::UnicodeString(u"[\\p{L}\\p{M}\\p{Nd}\\p{Pc}]"), status);
    std::string text;
    if (U_FAILURE(status)) return text;  // leaves "[]", which then fails to compile
    word.complement();
    char range[40];
    for (int32_t i = 0; i < word.getRangeCount(); ++i) {
      std::snprintf(range, sizeof range, "\\x{%x}-\\x{%x}",
                    static_cast<unsigned>(word.getRangeStart(i)),
                    static_cast<unsigned>(word.getRangeEnd(i)));
      text += range;
    }
    return text;
  }();
  return members;
}

// Appends the rewrite of the shorthand escape \<letter>; false when the
// letter is not one of d D w W s S.
bool append_shorthand_class(char letter, bool in_class, std::string& out) {
  std::string_view members;
  bool negated_outside = false;
  switch (letter) {
    case 'd': members = kDigitMembers; break;
    case 'D':
      // \P{Nd} is a single class both inside and outside brackets.
      out += kNonDigitMembers;
      return true;
    case 'w': members = kWordMembers; break;
    case 'W':
      if (in_class) {
        out += non_word_members();
        return true;
      }
      members = kWordMembers;
      negated_outside = true;
      break;
    case 's': members = kSpaceMembers; break;
    case 'S':
      if (in_class) {
        out += kNonSpaceMembers;
        return true;
      }
      members = kSpaceMembers;
      negated_outside = true;
      break;
    default: return false;
  }
  if (in_class) {
    out += members;
  } else {
    out += negated_outside ? "[^" : "[";
    out += members;
    out += ']';
  }
  return true;
}

// True when text[pos] starts "(?<" followed by a group name rather than a
// look-behind.
bool starts_angle_named_group(std::string_view text, size_t pos) {
  if (text.substr(pos, 3) != "(?<") return false;
  if (pos + 3 >= text.size()) return false;
  char next = text[pos + 3];
  return next != '=' && next != '!';
}

}  // namespace

std::string to_engine_syntax(std::string_view expression) {
  std::string out;
  out.reserve(expression.size() + 16);
  bool in_class = false;
  bool class_start = false;  // a ']' right after '[' or '[^' is a member
  size_t i = 0;
  const size_t n = expression.size();
  while (i < n) {
    char c = expression[i];
    if (c == '\\') {
      if (i + 1 >= n) {
        out += c;  // a trailing backslash: the engine reports it
        ++i;
        continue;
      }
      char letter = expression[i + 1];
      if (letter == 'Q' && !in_class) {
        // \Q...\E quotes its content, shorthand letters included.
        size_t end = expression.find("\\E", i + 2);
        size_t stop = end == std::string_view::npos ? n : end + 2;
        out.append(expression.substr(i, stop - i));
        i = stop;
        continue;
      }
      if (!append_shorthand_class(letter, in_class, out)) out.append(expression.substr(i, 2));
      i += 2;
      class_start = false;
      continue;
    }
    if (in_class) {
      if (c == '[' && i + 1 < n && expression[i + 1] == ':') {
        // A POSIX class such as [:alpha:] inside brackets.
        size_t end = expression.find(":]", i + 2);
        if (end != std::string_view::npos) {
          out.append(expression.substr(i, end + 2 - i));
          i = end + 2;
          class_start = false;
          continue;
        }
      }
      if (c == ']' && !class_start) in_class = false;
      class_start = false;
      out += c;
      ++i;
      continue;
    }
    if (c == '[') {
      in_class = true;
      class_start = true;
      out += c;
      ++i;
      if (i < n && expression[i] == '^') {
        out += '^';
        ++i;
      }
      continue;
    }
    if (c == '(' && starts_angle_named_group(expression, i)) {
      out += "(?P<";
      i += 3;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace plyfold
