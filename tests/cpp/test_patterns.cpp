#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transform/patterns.h"

namespace plyfold {
namespace {

struct RewriteCase {
  RuleList rules;
  std::string text;
  std::string expected;
  bool changed;
};

std::string rewrite(const RuleList& rules, std::string_view text, bool* changed = nullptr) {
  std::string out = "untouched";
  bool did_change = apply_replacement_rules(rules, text, out);
  if (changed != nullptr) *changed = did_change;
  return did_change ? out : std::string(text);
}

void check_rewrites(const std::vector<RewriteCase>& cases) {
  for (const RewriteCase& c : cases) {
    SCOPED_TRACE(c.rules.front().first + " -> " + c.rules.front().second + " on " + c.text);
    bool changed = false;
    EXPECT_EQ(rewrite(c.rules, c.text, &changed), c.expected);
    EXPECT_EQ(changed, c.changed);
  }
}

TEST(PatternForm, ExpressionNeedsLowerRQuotesAndThreeBytes) {
  struct Case {
    std::string pattern;
    bool expression;
    std::string inner;
  };
  const std::vector<Case> cases = {
      {"r'^id_'", true, "^id_"}, {"r''", true, ""},     {"r'''", true, "'"},
      {"r'", false, ""},         {"R'x'", false, ""},   {"r'abc", false, ""},
      {"xr'a'", false, ""},      {"r\"a\"", false, ""}, {"", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::string_view inner;
    EXPECT_EQ(is_expression_pattern(c.pattern, &inner), c.expression);
    if (c.expression) {
      EXPECT_EQ(inner, c.inner);
    }
  }
}

TEST(LiteralRules, ReplaceEveryOccurrenceLeftToRight) {
  check_rewrites({
      {{{"user_", ""}}, "user_user_x", "x", true},
      {{{"aa", "b"}}, "aaa", "ba", true},
      {{{"a", "b"}, {"b", "c"}}, "a", "c", true},
      {{{"x", "y"}}, "abc", "abc", false},
      {{{"a", "a"}}, "a", "a", true},        // a replaced match counts even when equal
      {{{".", "$1"}}, "a.b", "a$1b", true},  // literal replace text is verbatim
      {{{"r'", "x"}}, "r'r", "xr", true},    // too short to be an expression
      {{{"é", "e"}}, "café é", "cafe e", true},
  });
}

TEST(LiteralRules, EmptyFindInsertsAroundEveryCharacter) {
  check_rewrites({
      {{{"", "-"}}, "ab", "-a-b-", true},
      {{{"", "-"}}, "", "-", true},
      {{{"", "-"}}, "é日", "-é-日-", true},  // whole characters, never split
      {{{"r''", "-"}}, "é日", "-é-日-", true},
  });
}

TEST(ExpressionRules, MatchAndReplace) {
  check_rewrites({
      {{{"r'^user_'", ""}}, "user_name", "name", true},
      {{{"r'^user_'", ""}}, "username", "username", false},
      {{{"r'a|ab'", "X"}}, "ab", "Xb", true},  // leftmost-first alternation
      {{{"r'a+?'", "X"}}, "aaa", "XXX", true},
      {{{"r'\\d{2}'", "X"}}, "12345", "XX5", true},
      {{{"r'abc'", "X"}}, "ABC", "ABC", false},
      {{{"r'(?i)abc'", "X"}}, "ABC", "X", true},
      {{{"r'a.b'", "X"}}, "a\nb", "a\nb", false},
      {{{"r'(?s)a.b'", "X"}}, "a\nb", "X", true},
      {{{"r'^'", ">"}, {"r'$'", "<"}}, "ab", ">ab<", true},
      {{{"r'x*'", "-"}}, "abxd", "-a-b-d-", true},
      {{{"r'\\s*'", "_"}}, "a b", "_a_b_", true},
      {{{"r'\\Q\\d.\\E'", "x"}}, "\\d.1", "x1", true},
  });
}

TEST(ExpressionRules, ShorthandClassesAreUnicodeAware) {
  check_rewrites({
      {{{"r'\\d+'", "#"}}, "\u0663\u0664 and 12", "# and #", true},  // Arabic-Indic digits
      {{{"r'\\D+'", ""}}, "x\u0663y", "\u0663", true},
      {{{"r'\\w+'", "W"}}, "é-ü_1", "W-W", true},
      {{{"r'\\W'", ""}}, "a-é b", "aéb", true},
      {{{"r'\\s'", "_"}}, "a\u00a0b\u3000c\td", "a_b_c_d", true},
      {{{"r'\\S+'", "X"}}, "ab\u2003cd", "X\u2003X", true},
      {{{"r'[^\\w\\s]'", ""}}, "héllo, wörld!", "héllo wörld", true},
      {{{"r'[\\W]+'", "|"}}, "a-,b", "a|b", true},
      {{{"r'[^\\W\\d]+'", "L"}}, "ab12cd", "L12L", true},
      {{{"r'[\\S]+'", "X"}}, "a\u00a0b", "X\u00a0X", true},
      {{{"r'[\\D]'", ""}}, "a1\u0663", "1\u0663", true},
      {{{"r'\\\\d'", "x"}}, "\\d1", "x1", true},  // an escaped backslash before d
      {{{"r'[]\\d]'", "x"}}, "]5", "xx", true},
      {{{"r'\\(?<a>'", "x"}}, "(<a>", "x", true},  // an escaped paren is no group
      {{{"r'[(?<]'", "x"}}, "?<(", "xxx", true},
      {{{"r'[[:digit:]\\s]+'", "x"}}, "1 \u00a02a", "xa", true},
  });
}

TEST(ExpressionRules, TemplatesReferToGroups) {
  check_rewrites({
      {{{"r'(\\w+)-(\\w+)'", "${2}_${1}"}}, "ab-cd", "cd_ab", true},
      {{{"r'(\\w+)-(\\w+)'", "$2_$1"}}, "ab-cd", "ab", true},  // group "2_" does not exist
      {{{"r'(\\w+)-(\\w+)'", "$$1"}}, "ab-cd", "$1", true},
      {{{"r'(\\w+)-(\\w+)'", "$1a"}}, "ab-cd", "", true},
      {{{"r'(\\w+)-(\\w+)'", "${1}a"}}, "ab-cd", "aba", true},
      {{{"r'(\\w+)-(\\w+)'", "<$0>"}}, "ab-cd", "<ab-cd>", true},
      {{{"r'(\\w+)-(\\w+)'", "$9$01"}}, "ab-cd", "ab", true},
      {{{"r'(?<first>\\w+) (?P<last>\\w+)'", "$last, ${first}"}}, "Ada Byron", "Byron, Ada", true},
      {{{"r'(?<first>\\w+)'", "$missing."}}, "x", ".", true},
      {{{"r'(a)|(b)'", "[$1|$2]"}}, "b", "[|b]", true},  // non-participating group
      {{{"r'b'", "$"}}, "abc", "a$c", true},
      {{{"r'b'", "$-${x"}}, "abc", "a$-${xc", true},
      {{{"r'b'", "${}"}}, "abc", "a${}c", true},
      {{{"r'b'", "$99999999999999999999"}}, "abc", "ac", true},
  });
}

TEST(ExpressionRules, ExpressionsThatDoNotCompileAreInert) {
  for (std::string expression : {"(", "(a)\\1", "(?=x)", "(?!x)", "(?<=a)b", "(?<!a)b", "[a",
                                 "a{2,1}", "\\Z", "a**", "\\"}) {
    SCOPED_TRACE(expression);
    const std::string pattern = "r'" + expression + "'";
    EXPECT_EQ(rewrite({{pattern, "x"}}, "a(b)ax"), "a(b)ax");
    EXPECT_FALSE(matches_any_pattern({pattern}, "a(b)ax"));
    // Later rules still apply.
    EXPECT_EQ(rewrite({{pattern, "x"}, {"a", "z"}}, "ab"), "zb");
  }
}

TEST(PatternLists, MatchAnyPattern) {
  struct Case {
    TextList patterns;
    std::string text;
    bool matches;
  };
  const std::vector<Case> cases = {
      {{""}, "anything", true},
      {{""}, "", true},
      {{"r''"}, "anything", true},
      {{"r'"}, "xr'y", true},
      {{"r'"}, "r", false},
      {{"r'^abc$'"}, "abc", true},
      {{"r'^abc$'"}, "xabc", false},
      {{"abc"}, "xabc", true},
      {{"ABC"}, "abc", false},
      {{"r'(?<n>\\d)x'"}, "a\u0663x", true},
      {{"r'('", "zz", "r'^q'"}, "qa", true},
      {{"r'('", "zz"}, "qa", false},
      {{}, "abc", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(matches_any_pattern(c.patterns, c.text), c.matches);
  }
}

TEST(ExpressionRules, UnchangedTextLeavesOutputAlone) {
  std::string out = "untouched";
  EXPECT_FALSE(apply_replacement_rules({{"r'z'", "y"}, {"q", "y"}}, "abc", out));
  EXPECT_FALSE(apply_replacement_rules({}, "abc", out));
  EXPECT_EQ(out, "untouched");
}

}  // namespace
}  // namespace plyfold
