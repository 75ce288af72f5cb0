// The conversion pipeline: trimming, first-character dispatch, token
// tables, extra tokens and their precedence, and the three modes.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "convert/convert.h"

namespace plyfold {
namespace {

ConversionSettings all_on() {
  ConversionSettings s;
  s.convert_nulls = true;
  s.convert_booleans = true;
  s.convert_dates = true;
  s.convert_numbers = true;
  return s;
}

std::optional<std::string> convert(std::string_view text, const ConversionSettings* settings) {
  std::string scratch;
  std::optional<std::string_view> out = convert_string(text, settings, scratch);
  if (!out) return std::nullopt;
  return std::string(*out);
}

struct PipelineCase {
  std::string_view text;
  std::optional<std::string_view> expected;  // nullopt: unchanged
};

void PrintTo(const PipelineCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class AllCategoriesOn : public testing::TestWithParam<PipelineCase> {};

TEST_P(AllCategoriesOn, DefaultAndConfiguredPathsAgree) {
  const PipelineCase& c = GetParam();
  const ConversionSettings settings = all_on();
  EXPECT_EQ(convert(c.text, nullptr), c.expected);
  EXPECT_EQ(convert(c.text, &settings), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    TokensAndTrimming, AllCategoriesOn,
    testing::Values(PipelineCase{"", std::nullopt}, PipelineCase{"   ", std::nullopt},
                    PipelineCase{"\u00a0\u3000\u2028", std::nullopt}, PipelineCase{" yes ", "true"},
                    PipelineCase{"Yes", "true"}, PipelineCase{"yEs", std::nullopt},
                    PipelineCase{"\tNULL\n", "null"}, PipelineCase{"None", "null"},
                    PipelineCase{"n/a", "null"}, PipelineCase{"NA", "null"},
                    PipelineCase{"nil", "null"}, PipelineCase{"Na", std::nullopt},
                    PipelineCase{"NaN", std::nullopt}, PipelineCase{"nan", std::nullopt},
                    PipelineCase{"N/a", std::nullopt}, PipelineCase{"n", "false"},
                    PipelineCase{"N", "false"}, PipelineCase{"y", "true"},
                    PipelineCase{"Y", "true"}, PipelineCase{"Off", "false"},
                    PipelineCase{"on", "true"}, PipelineCase{"\u2003FALSE\u205f", "false"},
                    PipelineCase{"1", "1"}, PipelineCase{"0", "0"},
                    PipelineCase{"TRUE2", std::nullopt}, PipelineCase{"TRY 100", std::nullopt},
                    PipelineCase{"NOK 5", std::nullopt}, PipelineCase{"Fr 10", std::nullopt},
                    PipelineCase{"ok", std::nullopt}, PipelineCase{"abc", std::nullopt},
                    PipelineCase{"#5", std::nullopt}, PipelineCase{"*", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    NumbersAndDates, AllCategoriesOn,
    testing::Values(PipelineCase{" 42 ", "42"}, PipelineCase{"USD 100", "100"},
                    PipelineCase{"\u20ac5", "5"}, PipelineCase{"$1,234.50", "1234.5"},
                    PipelineCase{"(5)", "-5"}, PipelineCase{"[5]", "-5"}, PipelineCase{".5", "0.5"},
                    PipelineCase{"+7", "7"}, PipelineCase{"1e400", std::nullopt},
                    PipelineCase{"2024-01-15", std::nullopt},
                    PipelineCase{"2024-01-15T10:30:00Z", std::nullopt},
                    PipelineCase{"2024-01-15T10:30:00", "\"2024-01-15T10:30:00Z\""},
                    PipelineCase{"2024-01-15T10:30:00+02:00", "\"2024-01-15T08:30:00Z\""},
                    PipelineCase{" 20240115 ", "\"2024-01-15\""},
                    PipelineCase{"20241315", "20241315"}, PipelineCase{"12345678", "12345678"},
                    PipelineCase{"30000101", "30000101"}, PipelineCase{"2024-02-30", std::nullopt},
                    PipelineCase{"2024/01/15", "\"2024-01-15\""}));

ConversionSettings with(std::function<void(ConversionSettings&)> change) {
  ConversionSettings s;
  change(s);
  return s;
}

struct ConfiguredCase {
  std::string_view name;
  ConversionSettings settings;
  std::string_view text;
  std::optional<std::string_view> expected;
};

void PrintTo(const ConfiguredCase& c, std::ostream* os) { *os << c.name; }

class Configured : public testing::TestWithParam<ConfiguredCase> {};

TEST_P(Configured, FollowsSwitchesAndExtraTokens) {
  const ConfiguredCase& c = GetParam();
  EXPECT_EQ(convert(c.text, &c.settings), c.expected);
}

const ConversionSettings kOnlyBooleans = with([](auto& s) { s.convert_booleans = true; });
const ConversionSettings kOnlyNulls = with([](auto& s) { s.convert_nulls = true; });
const ConversionSettings kMissing = with([](auto& s) {
  s.convert_nulls = true;
  s.null_conversion_config.extra_tokens = {"missing", " spaced", ""};
});
const ConversionSettings kSi = with([](auto& s) {
  s.convert_booleans = true;
  s.boolean_conversion_config.extra_true_tokens = {"si", "ja"};
  s.boolean_conversion_config.extra_false_tokens = {"si", "nein", "0"};
});
const ConversionSettings kMinusOneNumbersOn = with([](auto& s) {
  s = all_on();
  s.null_conversion_config.extra_tokens = {"-1", "Off", "2024-01-15", "x"};
  s.boolean_conversion_config.extra_true_tokens = {"x"};
});
const ConversionSettings kMinusOneNumbersOff = with([](auto& s) {
  s.convert_nulls = true;
  s.null_conversion_config.extra_tokens = {"-1"};
});
const ConversionSettings kNoDates = with([](auto& s) {
  s = all_on();
  s.convert_dates = false;
});
const ConversionSettings kKeepNaive = with([](auto& s) {
  s = all_on();
  s.date_conversion_config.assume_utc_for_naive = false;
});
const ConversionSettings kNoCurrency = with([](auto& s) {
  s = all_on();
  s.number_conversion_config.currency = false;
});

INSTANTIATE_TEST_SUITE_P(
    Switches, Configured,
    testing::Values(ConfiguredCase{"booleans_only_null", kOnlyBooleans, "null", std::nullopt},
                    ConfiguredCase{"booleans_only_no", kOnlyBooleans, "no", "false"},
                    ConfiguredCase{"booleans_only_number", kOnlyBooleans, "5", std::nullopt},
                    ConfiguredCase{"nulls_only_true", kOnlyNulls, "true", std::nullopt},
                    ConfiguredCase{"nulls_only_n", kOnlyNulls, "n", std::nullopt},
                    ConfiguredCase{"nulls_only_na", kOnlyNulls, "N/A", "null"},
                    ConfiguredCase{"no_dates_date", kNoDates, "2024-01-15", std::nullopt},
                    ConfiguredCase{"no_dates_compact", kNoDates, "20240115", "20240115"},
                    ConfiguredCase{"keep_naive", kKeepNaive, "2024-01-15T10:30:00", std::nullopt},
                    ConfiguredCase{"keep_naive_offset", kKeepNaive, "2024-01-15T10:30:00+01:00",
                                   "\"2024-01-15T09:30:00Z\""},
                    ConfiguredCase{"no_currency", kNoCurrency, "USD 100", std::nullopt},
                    ConfiguredCase{"no_currency_plain", kNoCurrency, "1,5", "1.5"}));

INSTANTIATE_TEST_SUITE_P(
    ExtraTokens, Configured,
    testing::Values(ConfiguredCase{"extra_exact", kMissing, "missing", "null"},
                    ConfiguredCase{"extra_trimmed_text", kMissing, " missing\u00a0", "null"},
                    ConfiguredCase{"extra_case", kMissing, "Missing", std::nullopt},
                    ConfiguredCase{"extra_with_space", kMissing, " spaced", std::nullopt},
                    ConfiguredCase{"extra_empty", kMissing, "", std::nullopt},
                    ConfiguredCase{"extra_blank", kMissing, "   ", std::nullopt},
                    ConfiguredCase{"true_beats_false", kSi, "si", "true"},
                    ConfiguredCase{"extra_false", kSi, "nein", "false"},
                    ConfiguredCase{"extra_digit_false", kSi, "0", "false"},
                    ConfiguredCase{"number_beats_extra", kMinusOneNumbersOn, "-1", "-1"},
                    ConfiguredCase{"extra_when_numbers_off", kMinusOneNumbersOff, "-1", "null"},
                    ConfiguredCase{"builtin_beats_extra", kMinusOneNumbersOn, "Off", "false"},
                    ConfiguredCase{"kept_date_beats_extra", kMinusOneNumbersOn, "2024-01-15",
                                   std::nullopt},
                    ConfiguredCase{"null_beats_true", kMinusOneNumbersOn, "x", "null"}));

TEST(ConversionMode, SummarisesTheSettings) {
  EXPECT_EQ(conversion_mode(ConversionSettings{}), ConversionMode::Off);
  ConversionSettings off_with_tokens;
  off_with_tokens.null_conversion_config.extra_tokens = {"missing"};
  off_with_tokens.number_conversion_config.radix = false;
  EXPECT_EQ(conversion_mode(off_with_tokens), ConversionMode::Off);
  EXPECT_EQ(conversion_mode(all_on()), ConversionMode::AllDefaults);

  const std::vector<std::function<void(ConversionSettings&)>> departures = {
      [](auto& s) { s.convert_dates = false; },
      [](auto& s) { s.date_conversion_config.normalize_to_utc = false; },
      [](auto& s) { s.date_conversion_config.assume_utc_for_naive = false; },
      [](auto& s) { s.null_conversion_config.extra_tokens = {"x"}; },
      [](auto& s) { s.boolean_conversion_config.extra_true_tokens = {"x"}; },
      [](auto& s) { s.boolean_conversion_config.extra_false_tokens = {"x"}; },
      [](auto& s) { s.number_conversion_config.fractions = false; },
  };
  for (const auto& depart : departures) {
    ConversionSettings s = all_on();
    depart(s);
    EXPECT_EQ(conversion_mode(s), ConversionMode::Configured);
  }
}

TEST(ConvertString, CommonAnswersNeedNoScratch) {
  std::string scratch;
  const std::string integer = "  -17\t";
  std::optional<std::string_view> out = convert_string(integer, nullptr, scratch);
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, "-17");
  EXPECT_EQ(out->data(), integer.data() + 2);

  const std::string token = " None ";
  out = convert_string(token, nullptr, scratch);
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, "null");
  EXPECT_TRUE(scratch.empty());
  EXPECT_EQ(scratch.capacity(), std::string().capacity());
}

TEST(ConvertString, TextMayLieInScratch) {
  std::string scratch = "2024-01-15T10:30:00+02:00 and a tail long enough for the heap";
  scratch.resize(25);
  EXPECT_EQ(convert_string(scratch, nullptr, scratch), "\"2024-01-15T08:30:00Z\"");
  scratch = "(1,234.56)";
  EXPECT_EQ(convert_string(scratch, nullptr, scratch), "-1234.56");
}

// Texts built from fragments that reach every branch: tokens, signs,
// currency marks, separators, notations, date pieces and white space.
std::string random_text(std::mt19937_64& rng) {
  static const std::vector<std::string_view> pieces = {
      "0",      "1",      "2",      "5",      "9",    "12",  "2024",       "01",        "15",
      "-",      "+",      ".",      ",",      "'",    "_",   " ",          "/",         ":",
      "T",      "Z",      "z",      "W",      "e",    "E",   "$",          "\u20ac",    "\u00a3",
      "R$",     "USD ",   "CR",     "dr",     "(",    ")",   "[",          "]",         "%",
      "\u2030", "\u2031", "bps",    "bp",     "K",    "m",   "B",          "t",         "0x",
      "0b",     "0o",     "F",      "1/2",    "null", "N/A", "yes",        "Off",       "n",
      "y",      "\u00a0", "\u3000", "\u2212", "inf",  "nan", "2024-01-15", "T10:30:00", "+02:00",
      "+0200",  "\xff",   "\t"};
  std::uniform_int_distribution<std::size_t> count(1, 7);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::string text;
  for (std::size_t n = count(rng); n > 0; --n) text += pieces[pick(rng)];
  return text;
}

TEST(ConvertString, AllDefaultsPathMatchesConfiguredDefaultsOnGeneratedTexts) {
  const ConversionSettings settings = all_on();
  ASSERT_EQ(conversion_mode(settings), ConversionMode::AllDefaults);
  std::mt19937_64 rng(42);
  std::string scratch_a;
  std::string scratch_b;
  int converted = 0;
  for (int i = 0; i < 300000; ++i) {
    const std::string text = random_text(rng);
    const std::optional<std::string_view> a = convert_string(text, nullptr, scratch_a);
    const std::optional<std::string_view> b = convert_string(text, &settings, scratch_b);
    ASSERT_EQ(a, b) << '"' << text << '"';
    converted += a.has_value();
  }
  // The generator must actually reach the converting branches.
  EXPECT_GT(converted, 10000);
}

}  // namespace
}  // namespace plyfold
