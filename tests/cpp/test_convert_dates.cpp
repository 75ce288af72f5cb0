// Date recognition and normalisation of the conversion step.
#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "convert/dates.h"

namespace plyfold {
namespace {

struct DateCase {
  std::string_view text;
  std::optional<std::string_view> canonical;  // nullopt: not a date
};

void PrintTo(const DateCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

std::optional<std::string> normalised(std::string_view text) {
  std::optional<ShortText> out = normalise_date_text(text);
  if (!out) return std::nullopt;
  return std::string(out->view());
}

class NormaliseDateText : public testing::TestWithParam<DateCase> {};

TEST_P(NormaliseDateText, GivesCanonicalFormOrNothing) {
  EXPECT_EQ(normalised(GetParam().text), GetParam().canonical);
}

INSTANTIATE_TEST_SUITE_P(
    DatesOnly, NormaliseDateText,
    testing::Values(DateCase{"2024-01-15", "2024-01-15"}, DateCase{"20240115", "2024-01-15"},
                    DateCase{"2024/01/15", "2024-01-15"}, DateCase{"2024.01.15", "2024-01-15"},
                    DateCase{" 2024-01-15\u3000", "2024-01-15"},
                    DateCase{"2024-02-29", "2024-02-29"}, DateCase{"2023-02-29", std::nullopt},
                    DateCase{"2024-02-30", std::nullopt}, DateCase{"2024/01-15", std::nullopt},
                    DateCase{"2024-1-15", std::nullopt}, DateCase{"2024-13-01", std::nullopt},
                    DateCase{"2024-00-10", std::nullopt}, DateCase{"30000101", std::nullopt},
                    DateCase{"12345678", std::nullopt}, DateCase{"20241315", std::nullopt},
                    DateCase{"10000101", "1000-01-01"}, DateCase{"2024-015", "2024-01-15"},
                    DateCase{"2024-060", "2024-02-29"}, DateCase{"2024-366", "2024-12-31"},
                    DateCase{"2023-366", std::nullopt}, DateCase{"2023-000", std::nullopt},
                    DateCase{"2024-W03-2", "2024-01-16"}, DateCase{"2020-W53-5", "2021-01-01"},
                    DateCase{"2019-W01-1", "2018-12-31"}, DateCase{"2026-W53-1", "2026-12-28"},
                    DateCase{"2021-W53-1", std::nullopt}, DateCase{"2024-W00-1", std::nullopt},
                    DateCase{"2024-W03-8", std::nullopt}, DateCase{"2024-W03", std::nullopt},
                    DateCase{"2024-W03-22", std::nullopt}, DateCase{"2024-01", std::nullopt},
                    DateCase{"a024-01-15", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    DateTimes, NormaliseDateText,
    testing::Values(
        DateCase{"2024-01-15T10:30:00Z", "2024-01-15T10:30:00Z"},
        DateCase{"2024-01-15T10:30:00z", "2024-01-15T10:30:00Z"},
        DateCase{"2024-01-15T10:30:00", "2024-01-15T10:30:00Z"},
        DateCase{"2024-01-15T10:30:00+02:00", "2024-01-15T08:30:00Z"},
        DateCase{"2024-01-15T10:30:00-05:00", "2024-01-15T15:30:00Z"},
        DateCase{"2024-01-15T10:30:00\u221205:00", "2024-01-15T15:30:00Z"},
        DateCase{"2024-01-15 10:30:00+0200", "2024-01-15T08:30:00Z"},
        DateCase{"2024-01-15T10:30:00+02", "2024-01-15T08:30:00Z"},
        DateCase{"2024-01-15T10:30:00.123+0530", "2024-01-15T05:00:00Z"},
        DateCase{"2024-01-15T10:30:00.123456-0100", "2024-01-15T11:30:00Z"},
        DateCase{"2024-01-15T10:30:00.123Z", "2024-01-15T10:30:00Z"},
        DateCase{"2024-01-15T10:30:00.123", "2024-01-15T10:30:00Z"},
        DateCase{"2024-01-15T10:30Z", "2024-01-15T10:30:00Z"},
        DateCase{"2024-01-15T10:30", "2024-01-15T10:30:00Z"},
        DateCase{"2024-01-15T10", "2024-01-15T10:00:00Z"},
        DateCase{"2024-01-15 10:30", "2024-01-15T10:30:00Z"},
        DateCase{"2024/01/15 10:30:00", "2024-01-15T10:30:00Z"},
        DateCase{"2024-12-31T23:30:00-01:00", "2025-01-01T00:30:00Z"},
        DateCase{"2024-03-01T00:30:00+01:00", "2024-02-29T23:30:00Z"},
        DateCase{"0000-01-01T00:30:00+01:00", "-0001-12-31T23:30:00Z"},
        DateCase{"20240115T103000", "2024-01-15T10:30:00Z"},
        DateCase{"20240115T103000Z", "2024-01-15T10:30:00Z"},
        DateCase{"20240115T103000+0200", "2024-01-15T08:30:00Z"},
        DateCase{"20240115T103000-02:00", "2024-01-15T12:30:00Z"},
        DateCase{"20240115T103000z", std::nullopt}, DateCase{"20240115T10300", std::nullopt},
        DateCase{"20240115T253000", std::nullopt}, DateCase{"2024.01.15T10:30:00.5", std::nullopt},
        DateCase{"2024-01-15t10:30:00Z", std::nullopt},
        DateCase{"2024-01-15T10:30:00.Z", std::nullopt},
        DateCase{"2024-01-15T10:30:60Z", std::nullopt},
        DateCase{"2024-01-15T24:00:00", std::nullopt},
        DateCase{"2024-01-15T10:30:00+24:00", std::nullopt},
        DateCase{"2024-01-15T10:30:00+0260", std::nullopt},
        DateCase{"2024-01-15T1:30", std::nullopt}, DateCase{"2024-01-15T10:3", std::nullopt},
        DateCase{"2024-01-15X10:30", std::nullopt},
        DateCase{"2024-01-15T10:30:00 +02:00", std::nullopt},
        DateCase{"2024-01-15T10:30:00+02:00:00", std::nullopt}));

struct VerdictCase {
  std::string_view text;
  bool normalize_to_utc;
  bool assume_utc_for_naive;
  DateVerdict verdict;
};

void PrintTo(const VerdictCase& c, std::ostream* os) {
  *os << '"' << c.text << "\" utc=" << c.normalize_to_utc << " naive=" << c.assume_utc_for_naive;
}

class ConvertDateString : public testing::TestWithParam<VerdictCase> {};

TEST_P(ConvertDateString, DecidesFromOffsetAndSettings) {
  const VerdictCase& c = GetParam();
  DateConversionConfig settings;
  settings.normalize_to_utc = c.normalize_to_utc;
  settings.assume_utc_for_naive = c.assume_utc_for_naive;
  const DateConversion out = convert_date_string(c.text, &settings);
  EXPECT_EQ(out.verdict, c.verdict);
  if (c.verdict == DateVerdict::Replace) {
    EXPECT_EQ(out.canonical.view(), normalised(c.text));
  }
}

constexpr DateVerdict kNot = DateVerdict::NotADate;
constexpr DateVerdict kKeep = DateVerdict::KeepAsIs;
constexpr DateVerdict kReplace = DateVerdict::Replace;

INSTANTIATE_TEST_SUITE_P(
    Verdicts, ConvertDateString,
    testing::Values(
        VerdictCase{"2024-01-15", false, false, kKeep},
        VerdictCase{"2024-01-15T10:30:00Z", true, true, kKeep},
        VerdictCase{"2024-01-15T10:30:00", true, true, kReplace},
        VerdictCase{"2024-01-15T10:30:00", true, false, kKeep},
        VerdictCase{"2024-01-15T10:30:00+02:00", true, false, kReplace},
        VerdictCase{"2024-01-15T10:30:00+02:00", false, true, kKeep},
        VerdictCase{"2024-01-15T10:30:00-05:00", false, true, kKeep},
        VerdictCase{"2024-01-15T10:30:00\u221205:00", false, true, kKeep},
        VerdictCase{"2024-01-15T10:30:00.123Z", false, true, kKeep},
        VerdictCase{"2024-01-15T10:30:00.123Z", true, false, kReplace},
        VerdictCase{"20240115T103000-0200", false, true, kKeep},
        VerdictCase{"20240115T103000", false, true, kReplace},
        VerdictCase{"2024/01/15", true, true, kReplace},
        VerdictCase{"2024/01/15", true, false, kKeep},
        VerdictCase{"20240115", false, true, kReplace}, VerdictCase{"20240115", true, false, kKeep},
        VerdictCase{"2024-W03-2", true, true, kReplace},
        VerdictCase{"2024-02-30", true, true, kNot}, VerdictCase{"20241315", true, true, kNot},
        VerdictCase{"2024115", true, true, kNot}, VerdictCase{"202401150", true, true, kNot},
        VerdictCase{"2024-01-15T10:30:00.5.5", true, true, kNot},
        VerdictCase{"1,234.56", true, true, kNot}));

TEST(ConvertDateString, NullSettingsRewriteLikeTheDefaults) {
  const DateConversionConfig defaults;
  for (std::string_view text : {"2024-01-15T10:30:00", "2024-01-15T10:30:00+01:00", "20240115",
                                "2024-01-15", "2024-13-15"}) {
    const DateConversion a = convert_date_string(text, nullptr);
    const DateConversion b = convert_date_string(text, &defaults);
    EXPECT_EQ(a.verdict, b.verdict) << text;
    EXPECT_EQ(a.canonical.view(), b.canonical.view()) << text;
  }
}

TEST(DateTextHasOffset, LooksForZoneMarksWhereAnOffsetStands) {
  for (std::string_view yes :
       {"2024-01-15T10:30:00Z", "2024-01-15T10:30:00z", "2024-01-15T10:30:00+02:00",
        "2024-01-15T10:30:00-0200", "2024-01-15T10:30:00.123-02", "20240115T103000-0200",
        "2024-01-15T10:30:00\u221202:00"}) {
    EXPECT_TRUE(date_text_has_offset(yes)) << yes;
  }
  for (std::string_view no : {"2024-01-15", "2024/01/15", "20240115", "2024-01-15T10:30:00",
                              "2024-01-15T10:30:00.123", "2024-W03-2", ""}) {
    EXPECT_FALSE(date_text_has_offset(no)) << no;
  }
}

std::string two(int v) {
  return {static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
}

std::string civil_text(const std::tm& t) {
  const int year = t.tm_year + 1900;
  std::string text = std::to_string(year);
  text.insert(0, 4 - text.size(), '0');
  return text + "-" + two(t.tm_mon + 1) + "-" + two(t.tm_mday) + "T" + two(t.tm_hour) + ":" +
         two(t.tm_min) + ":" + two(t.tm_sec);
}

// Local times with random offsets, checked against the C library's own
// calendar: the offset must be applied across day, month and year ends.
TEST(DateTimeOffsets, AgreeWithTheCLibraryCalendar) {
  std::mt19937_64 rng(7);
  const std::int64_t first = -62135596800;  // 0001-01-01T00:00:00Z
  const std::int64_t last = 253402214400;   // 9999-12-31T00:00:00Z
  std::uniform_int_distribution<std::int64_t> instant(first, last);
  std::uniform_int_distribution<int> offset_minutes(-23 * 60 - 59, 23 * 60 + 59);
  for (int i = 0; i < 20000; ++i) {
    const std::time_t utc = instant(rng);
    const int offset = offset_minutes(rng);
    const std::time_t local = utc + offset * 60;
    std::tm local_tm{};
    std::tm utc_tm{};
    ASSERT_TRUE(gmtime_r(&local, &local_tm));
    ASSERT_TRUE(gmtime_r(&utc, &utc_tm));
    const int magnitude = offset < 0 ? -offset : offset;
    const std::string text = civil_text(local_tm) + (offset < 0 ? "-" : "+") + two(magnitude / 60) +
                             ":" + two(magnitude % 60);
    ASSERT_EQ(normalised(text), civil_text(utc_tm) + "Z") << text;
  }
}

}  // namespace
}  // namespace plyfold
