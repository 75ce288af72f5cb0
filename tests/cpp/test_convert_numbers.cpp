// Number reading and number text writing of the conversion step.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "convert/numbers.h"

namespace plyfold {
namespace {

struct NumberCase {
  std::string_view text;
  std::optional<std::string_view> expected;  // nullopt: not recognised
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

std::optional<std::string> convert_with(std::string_view text,
                                        const NumberConversionConfig* formats) {
  std::string scratch;
  std::optional<std::string_view> out = convert_numeric_string(text, formats, scratch);
  if (!out) return std::nullopt;
  return std::string(*out);
}

class DefaultNotations : public testing::TestWithParam<NumberCase> {};

TEST_P(DefaultNotations, GivesJsonNumberOrDeclines) {
  const NumberCase& c = GetParam();
  EXPECT_EQ(convert_with(c.text, nullptr), c.expected);
  const NumberConversionConfig defaults;
  EXPECT_EQ(convert_with(c.text, &defaults), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    CanonicalAndPlain, DefaultNotations,
    testing::Values(NumberCase{"123", "123"}, NumberCase{"0", "0"},
                    NumberCase{"-9223372036854775808", "-9223372036854775808"},
                    NumberCase{"-9223372036854775809", "-9223372036854775808"},
                    NumberCase{"18446744073709551615", "18446744073709551615"},
                    NumberCase{"18446744073709551616", "1.8446744073709552e+19"},
                    NumberCase{"123456789012345678901234", "1.2345678901234569e+23"},
                    NumberCase{"007", "7"}, NumberCase{"+5", "5"}, NumberCase{"-0", "0"},
                    NumberCase{"1.", "1"}, NumberCase{".5", "0.5"}, NumberCase{"1.0", "1"},
                    NumberCase{"2.50", "2.5"}, NumberCase{"1e3", "1000"},
                    NumberCase{"1.5e3", "1500"}, NumberCase{"0.1", "0.1"},
                    NumberCase{"1e400", std::nullopt}, NumberCase{"-1e400", std::nullopt},
                    NumberCase{"1e-400", "0"}, NumberCase{"1e-6", "1e-6"},
                    NumberCase{"-1e19", "-1e+19"}, NumberCase{"nan", std::nullopt},
                    NumberCase{"inf", std::nullopt}, NumberCase{"1e", std::nullopt},
                    NumberCase{"+-1", "-1"}, NumberCase{".", std::nullopt},
                    NumberCase{"abc", std::nullopt}, NumberCase{"\u00bd", std::nullopt},
                    NumberCase{"1.234.567", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    PercentBasisPointsMagnitudes, DefaultNotations,
    testing::Values(NumberCase{"50%", "50"}, NumberCase{"12.5%", "12.5"},
                    NumberCase{"50 %", std::nullopt}, NumberCase{"5\u2030", "0.005"},
                    NumberCase{"5\u2031", "0.0005"}, NumberCase{"0.7\u2031", "0.00007"},
                    NumberCase{"25bps", "0.0025"}, NumberCase{"25 bps", "0.0025"},
                    NumberCase{"25bp", "0.0025"}, NumberCase{"25 bp", "0.0025"},
                    NumberCase{"25BPS", std::nullopt}, NumberCase{"1.5K", "1500"},
                    NumberCase{"1.005K", "1005"}, NumberCase{"2m", "2000000"},
                    NumberCase{"3B", "3000000000"}, NumberCase{"-2k", "-2000"},
                    NumberCase{"1.2T", "1200000000000"}, NumberCase{"$5K", std::nullopt},
                    NumberCase{"K", std::nullopt}, NumberCase{"1e308K", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    FractionsAndRadix, DefaultNotations,
    testing::Values(NumberCase{"1/2", "0.5"}, NumberCase{"3/4", "0.75"}, NumberCase{"1.5/3", "0.5"},
                    NumberCase{"2 3/4", "2.75"}, NumberCase{"-1 1/2", "-1.5"},
                    NumberCase{"-0 1/2", "-0.5"}, NumberCase{"1/0", std::nullopt},
                    NumberCase{"1/2/3", std::nullopt}, NumberCase{"1 / 2", "0.5"},
                    NumberCase{"0x1F", "31"}, NumberCase{"0X1f", "31"}, NumberCase{"-0x10", "-16"},
                    NumberCase{"0x-10", "-16"}, NumberCase{"0b101", "5"}, NumberCase{"0o17", "15"},
                    NumberCase{"0x1B", "27"},
                    NumberCase{"0x7FFFFFFFFFFFFFFF", "9223372036854775808"},
                    NumberCase{"0x-8000000000000000", "-9223372036854775808"},
                    NumberCase{"+0x10", std::nullopt}, NumberCase{"0x", std::nullopt},
                    NumberCase{"0x1G", std::nullopt}, NumberCase{"0b102", std::nullopt},
                    NumberCase{"0xFFFFFFFFFFFFFFFF", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    CurrencyAndSigns, DefaultNotations,
    testing::Values(NumberCase{"$99.99", "99.99"}, NumberCase{"\u20ac1.234,56", "1234.56"},
                    NumberCase{"R$ 10", "10"}, NumberCase{"USD 1,000.50", "1000.5"},
                    NumberCase{"1.000,50 \u20ac", "1000.5"}, NumberCase{"US$5", "5"},
                    NumberCase{"100 CR", "100"}, NumberCase{"100 DR", "100"},
                    NumberCase{"100crcr", "100"}, NumberCase{"\u00a3\u00a35", "5"},
                    NumberCase{"z\u01425", "5"}, NumberCase{"K\u010d 12", "12"},
                    NumberCase{"\u20b9 1,00,000", "100000"}, NumberCase{"USD100", std::nullopt},
                    NumberCase{"USD 1,000", "1"}, NumberCase{"1,000 \u20ac", "1"},
                    NumberCase{"(1,234.56)", "-1234.56"}, NumberCase{"[100]", "-100"},
                    NumberCase{"100-", "-100"}, NumberCase{"-$5", "-5"}, NumberCase{"$-5", "-5"},
                    NumberCase{"(+5)", "-5"}, NumberCase{"-5-", std::nullopt},
                    NumberCase{"--5", std::nullopt}, NumberCase{"$", std::nullopt},
                    NumberCase{"()", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    Separators, DefaultNotations,
    testing::Values(NumberCase{"1,234", "1.234"}, NumberCase{"12,5", "12.5"},
                    NumberCase{"1,234,567", "1234567"}, NumberCase{"12,34,567", "1234567"},
                    NumberCase{"1,00,000", "100000"}, NumberCase{"1,2,3", std::nullopt},
                    NumberCase{"1,234,56", std::nullopt}, NumberCase{"\u20ac1.234.567", "1234567"},
                    NumberCase{"\u20ac1.23.4", std::nullopt}, NumberCase{"1 234,56", "1234.56"},
                    NumberCase{"1'234'567", "1234567"}, NumberCase{"1_000", "1000"},
                    NumberCase{"1 234 567", "1234567"}, NumberCase{"1,234.56", "1234.56"},
                    NumberCase{"1.234,56", "1234.56"}));

struct FormatOffCase {
  std::string_view text;
  bool NumberConversionConfig::*format;
  std::optional<std::string_view> expected_when_off;
};

class FormatSwitches : public testing::TestWithParam<FormatOffCase> {};

TEST_P(FormatSwitches, SwitchingANotationOffStopsOnlyThatNotation) {
  const FormatOffCase& c = GetParam();
  NumberConversionConfig formats;
  formats.*c.format = false;
  EXPECT_EQ(convert_with(c.text, &formats), c.expected_when_off);
  EXPECT_NE(convert_with(c.text, nullptr), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    EachNotation, FormatSwitches,
    testing::Values(FormatOffCase{"$5", &NumberConversionConfig::currency, std::nullopt},
                    FormatOffCase{"100 CR", &NumberConversionConfig::currency, std::nullopt},
                    FormatOffCase{"-5", &NumberConversionConfig::currency, "-5"},
                    FormatOffCase{"(5)", &NumberConversionConfig::currency, "-5"},
                    FormatOffCase{"50%", &NumberConversionConfig::percent, std::nullopt},
                    FormatOffCase{"5\u2030", &NumberConversionConfig::percent, std::nullopt},
                    FormatOffCase{"25bps", &NumberConversionConfig::basis_points, std::nullopt},
                    FormatOffCase{"1.5K", &NumberConversionConfig::suffixes, std::nullopt},
                    FormatOffCase{"1/2", &NumberConversionConfig::fractions, std::nullopt},
                    FormatOffCase{"0x1F", &NumberConversionConfig::radix, std::nullopt},
                    FormatOffCase{"0x1B", &NumberConversionConfig::radix, std::nullopt},
                    FormatOffCase{"1,234", &NumberConversionConfig::radix, "1.234"}));

TEST(ConvertNumericString, CanonicalIntegerIsTheInputSliceAndLeavesScratchAlone) {
  const std::string text = "-17";
  std::string scratch;
  std::optional<std::string_view> out = convert_numeric_string(text, nullptr, scratch);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->data(), text.data());
  EXPECT_EQ(scratch.capacity(), std::string().capacity());
}

TEST(ConvertNumericString, ReadsTextThatLiesInScratch) {
  std::string scratch = "USD 1,000.50 and some more text to leave the short buffer";
  scratch.resize(12);
  std::optional<std::string_view> out = convert_numeric_string(scratch, nullptr, scratch);
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, "1000.5");
}

TEST(ConvertNumericString, LongTextsAreCleanedWithoutLimit) {
  std::string text = "1";
  for (int i = 0; i < 40; ++i) text += ",000";
  text += ".5";
  std::string scratch;
  EXPECT_EQ(convert_numeric_string(text, nullptr, scratch), "1e+120");
}

TEST(IsCanonicalInteger, KeepsOnlyExactIntegerSpellingsWithinSixtyFourBits) {
  for (std::string_view yes :
       {"0", "7", "-1", "9223372036854775807", "-9223372036854775808", "18446744073709551615"}) {
    EXPECT_TRUE(is_canonical_integer(yes)) << yes;
  }
  for (std::string_view no : {"", "-", "-0", "007", "+5", "1.0", "1e3", "18446744073709551616",
                              "-9223372036854775809", "99999999999999999999", " 1"}) {
    EXPECT_FALSE(is_canonical_integer(no)) << no;
  }
}

TEST(ParseFloat, OutOfRangeReadsAsInfinityOrZeroWithItsSign) {
  EXPECT_EQ(parse_float("1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(parse_float("-1e99999999999999999999"), -std::numeric_limits<double>::infinity());
  const std::optional<double> tiny = parse_float("-0.0001e-400");
  ASSERT_TRUE(tiny);
  EXPECT_EQ(*tiny, 0.0);
  EXPECT_TRUE(std::signbit(*tiny));
  EXPECT_EQ(parse_float("4.9e-324"), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(parse_float("123456789e-330"), 123456789e-330);
}

TEST(ParseFloat, RejectsWhatIsNotTheFloatSyntax) {
  for (std::string_view bad : {"", "+", "-", "++1", "-+1", " 1", "1 ", "1e", "1e+", "0x10",
                               "nan(1)", "1,5", ".", "e5", "infinit"}) {
    EXPECT_EQ(parse_float(bad), std::nullopt) << bad;
  }
  EXPECT_TRUE(std::isinf(*parse_float("-Infinity")));
  EXPECT_TRUE(std::isnan(*parse_float("NaN")));
}

struct DoubleCase {
  double value;
  std::string_view text;
};

class NumberToJsonText : public testing::TestWithParam<DoubleCase> {};

TEST_P(NumberToJsonText, WritesIntegerOrShortestForm) {
  std::optional<ShortText> text = number_to_json_text(GetParam().value);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->view(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NumberToJsonText,
    testing::Values(DoubleCase{0.0, "0"}, DoubleCase{-0.0, "0"}, DoubleCase{1.0, "1"},
                    DoubleCase{-9223372036854775808.0, "-9223372036854775808"},
                    DoubleCase{9223372036854775808.0, "9223372036854775808"},
                    DoubleCase{18446744073709549568.0, "18446744073709549568"},
                    DoubleCase{18446744073709551616.0, "1.8446744073709552e+19"},
                    DoubleCase{-1e19, "-1e+19"}, DoubleCase{1234.56, "1234.56"},
                    DoubleCase{0.005, "0.005"}, DoubleCase{0.00001, "0.00001"},
                    DoubleCase{-0.000012345, "-0.000012345"}, DoubleCase{1e-6, "1e-6"},
                    DoubleCase{1.5e-7, "1.5e-7"},
                    DoubleCase{1.2345678901234568e+22, "1.2345678901234568e+22"},
                    DoubleCase{1234567890123456.2, "1234567890123456.2"},
                    DoubleCase{0.1 + 0.2, "0.30000000000000004"},
                    DoubleCase{std::numeric_limits<double>::denorm_min(), "5e-324"},
                    DoubleCase{std::numeric_limits<double>::max(), "1.7976931348623157e+308"}));

TEST(NumberToJsonTextEdges, NonFiniteValuesHaveNoText) {
  EXPECT_FALSE(number_to_json_text(std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(number_to_json_text(-std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(number_to_json_text(std::numeric_limits<double>::quiet_NaN()));
}

double random_finite_double(std::mt19937_64& rng) {
  while (true) {
    const double value = std::bit_cast<double>(rng());
    if (std::isfinite(value)) return value;
  }
}

// The shortest text of a random double d must convert to a number that
// reads back as d: the reading rounds correctly and the writing loses
// nothing.
TEST(NumberRoundTrip, ShortestTextOfRandomDoublesConvertsBackToTheSameDouble) {
  std::mt19937_64 rng(20240115);
  std::string scratch;
  for (int i = 0; i < 200000; ++i) {
    const double d =
        i % 2 == 0 ? random_finite_double(rng)
                   : std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 80));
    char shortest[64];
    const auto written = std::to_chars(shortest, shortest + sizeof shortest, d);
    const std::string_view text(shortest, static_cast<std::size_t>(written.ptr - shortest));
    std::optional<std::string_view> json = convert_numeric_string(text, nullptr, scratch);
    ASSERT_TRUE(json) << text;
    double back = 0;
    const auto read = std::from_chars(json->data(), json->data() + json->size(), back);
    ASSERT_EQ(read.ec, std::errc{}) << *json;
    ASSERT_EQ(read.ptr, json->data() + json->size()) << *json;
    ASSERT_EQ(back, d) << text << " -> " << *json;
  }
}

}  // namespace
}  // namespace plyfold
