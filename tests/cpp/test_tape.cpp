#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tape/tape.h"

namespace plyfold {
namespace {

std::string kinds_of(const StructuralTape& tape) {
  static const char* names = "{}[]s:,v";
  std::string out;
  for (size_t i = 0; i < tape.size(); ++i) out += names[static_cast<int>(tape.kind(i))];
  return out;
}

struct TapeCase {
  const char* text;
  const char* kinds;
};

class TapeBuilds : public ::testing::TestWithParam<TapeCase> {};

TEST_P(TapeBuilds, RecordsTokens) {
  auto tape = build_tape(GetParam().text);
  ASSERT_TRUE(tape.ok()) << tape.error().message;
  EXPECT_EQ(kinds_of(tape.value()), GetParam().kinds);
}

INSTANTIATE_TEST_SUITE_P(Texts, TapeBuilds,
                         ::testing::Values(TapeCase{R"({"a":1,"b":[true,null]})", "{s:v,s:[v,v]}"},
                                           TapeCase{R"({"a":})", "{s:}"}, TapeCase{"[-x]", "[v]"},
                                           TapeCase{"[1.2.3]", "[v]"}, TapeCase{"[1 2]", "[v]"},
                                           TapeCase{R"({"a":1])", "{s:v]"},
                                           TapeCase{R"(["a\"",1])", "[s,v]"}));

struct FaultCase {
  const char* text;
  const char* message;
};

class TapeFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(TapeFaults, ReportsStructuralError) {
  auto tape = build_tape(GetParam().text);
  ASSERT_FALSE(tape.ok());
  EXPECT_EQ(tape.error().kind, ErrorKind::InvalidStructure);
  EXPECT_EQ(tape.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TapeFaults,
    ::testing::Values(FaultCase{"[1,,2]", "Empty scalar value"},
                      FaultCase{R"({"a":,"b":1})", "Empty scalar value"},
                      FaultCase{"[True]", "Invalid JSON value: `True`"},
                      FaultCase{"[nulls]", "Invalid JSON value: `nulls`"},
                      FaultCase{"}", "Unexpected closing brace in JSON input"},
                      FaultCase{"]", "Unexpected closing bracket in JSON input"},
                      FaultCase{"[[]", "Unclosed object or array in JSON input"},
                      FaultCase{R"(["a\")", "Unterminated string in JSON input"},
                      FaultCase{R"(["a\\\"])", "Unterminated string in JSON input"}));

TEST(Tape, PairsBracketsAndMeasuresStrings) {
  std::string text = R"({"k":["x\\"]})";
  auto tape = build_tape(text);
  ASSERT_TRUE(tape.ok());
  const StructuralTape& t = tape.value();
  EXPECT_EQ(t.matching(0), t.size() - 1);
  EXPECT_EQ(t.matching(t.size() - 1), 0u);
  EXPECT_EQ(t.string_content(text, 1), "k");
  EXPECT_FALSE(t.has_backslash(1));
  EXPECT_EQ(t.string_content(text, 4), "x\\\\");
  EXPECT_TRUE(t.has_backslash(4));
}

TEST(Tape, WidensPayloadsBeyondTwentyFourBits) {
  // More than 2^24 tokens and a string over 8 MB both walk correctly.
  const size_t count = (size_t{1} << 24) / 2 + 10;
  std::string text = "[";
  text.reserve(count * 2 + 16);
  for (size_t i = 0; i < count; ++i) text += "1,";
  std::string big(9u << 20, 'x');
  text += "\"" + big + "\"]";
  auto tape = build_tape(text);
  ASSERT_TRUE(tape.ok());
  const StructuralTape& t = tape.value();
  ASSERT_GT(t.size(), size_t{1} << 24);
  EXPECT_EQ(t.matching(0), t.size() - 1);
  EXPECT_EQ(t.matching(t.size() - 1), 0u);
  EXPECT_EQ(t.string_length(t.size() - 2), big.size());
}

TEST(Tape, MillionNestedBracketsNeedNoNativeStack) {
  std::string text(1000000, '[');
  text += std::string(1000000, ']');
  auto tape = build_tape(text);
  ASSERT_TRUE(tape.ok());
  EXPECT_EQ(tape.value().matching(0), 1999999u);
}

struct DecodeCase {
  const char* content;
  const char* decoded;
};

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, ResolvesEscapes) {
  std::string scratch;
  EXPECT_EQ(decode_string_content(GetParam().content, scratch), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(Contents, Decode,
                         ::testing::Values(DecodeCase{"plain", "plain"},
                                           DecodeCase{R"(a\u00e9b)",
                                                      "a\xC3\xA9"
                                                      "b"},
                                           DecodeCase{R"(a\qb)", R"(a\qb)"},
                                           DecodeCase{R"(x\u12)", R"(x\u12)"},
                                           DecodeCase{R"(\"\\\/\b\f\n\r\t)", "\"\\/\b\f\n\r\t"},
                                           DecodeCase{R"(\uzzzz)", R"(\uzzzz)"},
                                           DecodeCase{R"(\ud83d\ude00)", "\xF0\x9F\x98\x80"},
                                           DecodeCase{R"(\ud83d!)", "\xED\xA0\xBD!"},
                                           DecodeCase{"end\\", "end\\"}));

}  // namespace
}  // namespace plyfold
