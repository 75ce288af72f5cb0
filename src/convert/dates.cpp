#include "convert/dates.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cstddef>

#include "convert/white_space.h"

namespace plyfold {
namespace {

namespace chr = std::chrono;

constexpr auto npos = std::string_view::npos;

// U+2212 MINUS SIGN, accepted as the sign of a negative offset.
constexpr std::string_view kMinusSign = "\u2212";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A date text read through the rewrites of the separated forms: the date
// separator ("/" or ".") reads as "-" wherever it occurs, and a space at the
// date/time boundary (index 10) reads as "T". With "-" as separator the
// text reads as written, apart from that space.
class DateChars {
 public:
  explicit DateChars(std::string_view text, char separator = '-')
      : text_(text), separator_(separator) {}

  std::size_t size() const { return text_.size(); }
  char operator[](std::size_t i) const {
    const char c = text_[i];
    if (c == separator_) return '-';
    if (i == 10 && c == ' ') return 'T';
    return c;
  }
  DateChars first(std::size_t count) const { return DateChars(text_.substr(0, count), separator_); }
  bool has_at(std::size_t at, std::string_view bytes) const {
    return text_.substr(at).starts_with(bytes);
  }

 private:
  std::string_view text_;
  char separator_;
};

// The value of the count ASCII digits at s[at], or -1.
int read_digits(const DateChars& s, std::size_t at, std::size_t count) {
  if (at > s.size() || count > s.size() - at) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    const char c = s[i];
    if (!is_digit(c)) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::optional<chr::sys_days> calendar_date(int year, int month, int day) {
  if (year < 0 || month < 0 || day < 0) return std::nullopt;
  const chr::year_month_day date{chr::year{year}, chr::month{static_cast<unsigned>(month)},
                                 chr::day{static_cast<unsigned>(day)}};
  if (!date.ok()) return std::nullopt;
  return chr::sys_days{date};
}

// A time of day; a leap second (60) is not accepted.
std::optional<chr::seconds> clock_time(int hour, int minute, int second) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  return chr::hours{hour} + chr::minutes{minute} + chr::seconds{second};
}

// "YYYY-MM-DD" at the start of s.
std::optional<chr::sys_days> read_date(const DateChars& s) {
  if (s.size() < 10 || s[4] != '-' || s[7] != '-') return std::nullopt;
  return calendar_date(read_digits(s, 0, 4), read_digits(s, 5, 2), read_digits(s, 8, 2));
}

// "HH:MM:SS" at s[at].
std::optional<chr::seconds> read_hms(const DateChars& s, std::size_t at) {
  if (at + 8 > s.size() || s[at + 2] != ':' || s[at + 5] != ':') return std::nullopt;
  return clock_time(read_digits(s, at, 2), read_digits(s, at + 3, 2), read_digits(s, at + 6, 2));
}

// Skips an optional fraction ".d..." at s[at]; npos for a point without
// digits.
std::size_t skip_fraction(const DateChars& s, std::size_t at) {
  if (at >= s.size() || s[at] != '.') return at;
  std::size_t i = at + 1;
  while (i < s.size() && is_digit(s[i])) ++i;
  return i == at + 1 ? npos : i;
}

// An offset making up all of s[at..]: "Z", "z", or a sign ("+", "-" or
// U+2212) with "HH:MM". East of UTC is positive.
std::optional<chr::minutes> read_offset(const DateChars& s, std::size_t at) {
  const std::size_t rest = s.size() - at;
  if (rest == 1 && (s[at] == 'Z' || s[at] == 'z')) return chr::minutes{0};
  int sign = 1;
  std::size_t digits_at = at + 1;
  if (rest == 6 && (s[at] == '+' || s[at] == '-')) {
    sign = s[at] == '-' ? -1 : 1;
  } else if (rest == 5 + kMinusSign.size() && s.has_at(at, kMinusSign)) {
    sign = -1;
    digits_at = at + kMinusSign.size();
  } else {
    return std::nullopt;
  }
  if (s[digits_at + 2] != ':') return std::nullopt;
  const int hours = read_digits(s, digits_at, 2);
  const int minutes = read_digits(s, digits_at + 3, 2);
  if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59) return std::nullopt;
  return sign * (chr::hours{hours} + chr::minutes{minutes});
}

// RFC 3339: YYYY-MM-DDTHH:MM:SS, an optional fraction, then "Z", "z" or a
// "+HH:MM" style offset. The value is returned in UTC.
std::optional<chr::sys_seconds> parse_rfc3339(const DateChars& s) {
  if (s.size() < 20 || s[10] != 'T') return std::nullopt;
  const std::optional<chr::sys_days> date = read_date(s);
  const std::optional<chr::seconds> time = read_hms(s, 11);
  if (!date || !time) return std::nullopt;
  const std::size_t offset_at = skip_fraction(s, 19);
  if (offset_at == npos || offset_at >= s.size()) return std::nullopt;
  const std::optional<chr::minutes> offset = read_offset(s, offset_at);
  if (!offset) return std::nullopt;
  return chr::sys_seconds{*date} + *time - *offset;
}

// YYYY-MM-DDTHH:MM:SS[.f], YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH, without
// offset; missing fields count as zero.
std::optional<chr::sys_seconds> parse_naive(const DateChars& s) {
  if (s.size() < 13 || s[10] != 'T') return std::nullopt;
  const std::optional<chr::sys_days> date = read_date(s);
  if (!date) return std::nullopt;
  const int hour = read_digits(s, 11, 2);
  std::optional<chr::seconds> time;
  if (s.size() == 13) {
    time = clock_time(hour, 0, 0);
  } else if (s.size() == 16 && s[13] == ':') {
    time = clock_time(hour, read_digits(s, 14, 2), 0);
  } else if (s.size() >= 19 && skip_fraction(s, 19) == s.size()) {
    time = read_hms(s, 11);
  }
  if (!time) return std::nullopt;
  return chr::sys_seconds{*date} + *time;
}

// A time whose offset lacks its colon or its minutes ("+0200", "+02")
// after the seconds or a fraction: the offset is written out in full and
// the text read as RFC 3339.
std::optional<chr::sys_seconds> parse_with_repaired_offset(const DateChars& s) {
  constexpr std::array<std::size_t, 5> kOffsetPositions = {16, 19, 22, 23, 26};
  for (std::size_t p : kOffsetPositions) {
    if (p >= s.size() || (s[p] != '+' && s[p] != '-')) continue;
    const std::size_t k = s.size() - p;
    std::array<char, 6> offset = {s[p], '0', '0', ':', '0', '0'};
    if (k == 3 && read_digits(s, p + 1, 2) >= 0) {
      offset[1] = s[p + 1];
      offset[2] = s[p + 2];
    } else if (k == 5 && read_digits(s, p + 1, 4) >= 0) {
      offset = {s[p], s[p + 1], s[p + 2], ':', s[p + 3], s[p + 4]};
    } else if (k == 6 && s[p + 3] == ':') {
      offset = {s[p], s[p + 1], s[p + 2], s[p + 3], s[p + 4], s[p + 5]};
    } else {
      continue;
    }
    std::array<char, 32> joined{};
    for (std::size_t i = 0; i < p; ++i) joined[i] = s[i];
    for (std::size_t i = 0; i < offset.size(); ++i) joined[p + i] = offset[i];
    const std::optional<chr::sys_seconds> value =
        parse_rfc3339(DateChars(std::string_view(joined.data(), p + offset.size())));
    if (value) return value;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Canonical forms

void append_padded(ShortText& out, int value, int width) {
  std::array<char, 12> digits{};
  const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  for (auto count = written.ptr - digits.data(); count < width; ++count) out.push_back('0');
  out.append(
      std::string_view(digits.data(), static_cast<std::size_t>(written.ptr - digits.data())));
}

void append_date(ShortText& out, chr::sys_days day) {
  const chr::year_month_day date{day};
  int year = static_cast<int>(date.year());
  if (year < 0) {
    out.push_back('-');
    year = -year;
  }
  append_padded(out, year, 4);
  out.push_back('-');
  append_padded(out, static_cast<int>(static_cast<unsigned>(date.month())), 2);
  out.push_back('-');
  append_padded(out, static_cast<int>(static_cast<unsigned>(date.day())), 2);
}

ShortText format_date(chr::sys_days day) {
  ShortText out;
  append_date(out, day);
  return out;
}

ShortText format_date_time(chr::sys_seconds instant) {
  const chr::sys_days day = chr::floor<chr::days>(instant);
  const chr::hh_mm_ss<chr::seconds> time{instant - day};
  ShortText out;
  append_date(out, day);
  out.push_back('T');
  append_padded(out, static_cast<int>(time.hours().count()), 2);
  out.push_back(':');
  append_padded(out, static_cast<int>(time.minutes().count()), 2);
  out.push_back(':');
  append_padded(out, static_cast<int>(time.seconds().count()), 2);
  out.push_back('Z');
  return out;
}

// ---------------------------------------------------------------------------
// The accepted spellings

// YYYYMMDD.
std::optional<ShortText> normalise_compact_date(std::string_view text) {
  const DateChars s(text);
  const std::optional<chr::sys_days> date =
      calendar_date(read_digits(s, 0, 4), read_digits(s, 4, 2), read_digits(s, 6, 2));
  if (!date) return std::nullopt;
  return format_date(*date);
}

// YYYY-DDD.
std::optional<ShortText> normalise_ordinal_date(std::string_view text) {
  const DateChars s(text);
  const int year = read_digits(s, 0, 4);
  const int ordinal = read_digits(s, 5, 3);
  if (s[4] != '-' || year < 0 || ordinal < 1 || ordinal > 366) return std::nullopt;
  const chr::sys_days day =
      chr::sys_days{chr::year{year} / chr::January / 1} + chr::days{ordinal - 1};
  if (chr::year_month_day{day}.year() != chr::year{year}) return std::nullopt;
  return format_date(day);
}

// YYYYMMDDTHHMMSS, optionally with "Z" or an offset ("+HHMM", "+HH:MM").
std::optional<ShortText> normalise_compact_date_time(std::string_view text) {
  const DateChars s(text);
  const std::size_t n = s.size();
  if (n == 15 || (n == 16 && s[15] == 'Z')) {
    const std::optional<chr::sys_days> date =
        calendar_date(read_digits(s, 0, 4), read_digits(s, 4, 2), read_digits(s, 6, 2));
    const std::optional<chr::seconds> time =
        clock_time(read_digits(s, 9, 2), read_digits(s, 11, 2), read_digits(s, 13, 2));
    if (!date || !time) return std::nullopt;
    return format_date_time(chr::sys_seconds{*date} + *time);
  }
  if (n < 19 || (s[15] != '+' && s[15] != '-')) return std::nullopt;
  std::string_view offset = text.substr(15);
  if (offset.size() > 6) return std::nullopt;  // longer than any offset form
  // Rebuilt as YYYY-MM-DDTHH:MM:SS followed by the offset.
  std::array<char, 32> joined{};
  std::size_t size = 0;
  auto put = [&](std::string_view part) {
    for (char c : part) joined[size++] = c;
  };
  put(text.substr(0, 4));
  put("-");
  put(text.substr(4, 2));
  put("-");
  put(text.substr(6, 2));
  put("T");
  put(text.substr(9, 2));
  put(":");
  put(text.substr(11, 2));
  put(":");
  put(text.substr(13, 2));
  if (offset.size() == 5) {
    put(offset.substr(0, 3));
    put(":");
    put(offset.substr(3));
  } else {
    put(offset);
  }
  const std::optional<chr::sys_seconds> value =
      parse_rfc3339(DateChars(std::string_view(joined.data(), size)));
  if (!value) return std::nullopt;
  return format_date_time(*value);
}

// YYYY-Www-D (ISO 8601 week date with weekday).
std::optional<ShortText> normalise_week_date(std::string_view text) {
  const DateChars s(text);
  if (s.size() != 10 || s[8] != '-') return std::nullopt;
  const int year = read_digits(s, 0, 4);
  const int week = read_digits(s, 6, 2);
  const int weekday = read_digits(s, 9, 1);
  if (year < 0 || week < 1 || week > 53 || weekday < 1 || weekday > 7) return std::nullopt;
  // Week 1 is the week that holds 4 January; weeks start on Monday.
  const chr::sys_days january_4{chr::year{year} / chr::January / 4};
  const chr::sys_days first_monday =
      january_4 - chr::days{chr::weekday{january_4}.iso_encoding() - 1};
  const chr::sys_days monday = first_monday + chr::days{(week - 1) * 7};
  // A week belongs to the year that holds its Thursday; this rules out a
  // week 53 in years that have 52.
  if (chr::year_month_day{monday + chr::days{3}}.year() != chr::year{year}) return std::nullopt;
  return format_date(monday + chr::days{weekday - 1});
}

// YYYY-MM-DD, YYYY/MM/DD or YYYY.MM.DD, optionally followed by "T" or a
// space and a time: RFC 3339, RFC 3339 with a shortened offset, or naive.
std::optional<ShortText> normalise_separated(std::string_view text) {
  const DateChars s(text, text[4]);
  if (read_digits(s, 0, 4) < 0 || read_digits(s, 5, 2) < 0 || read_digits(s, 8, 2) < 0) {
    return std::nullopt;
  }
  if (s.size() == 10) {
    const std::optional<chr::sys_days> date = read_date(s);
    if (!date) return std::nullopt;
    return format_date(*date);
  }
  if (s[10] != 'T') return std::nullopt;
  if (std::optional<chr::sys_seconds> value = parse_rfc3339(s)) return format_date_time(*value);
  if (std::optional<chr::sys_seconds> value = parse_with_repaired_offset(s)) {
    return format_date_time(*value);
  }
  const DateChars naive = s[s.size() - 1] == 'Z' ? s.first(s.size() - 1) : s;
  if (std::optional<chr::sys_seconds> value = parse_naive(naive)) return format_date_time(*value);
  return std::nullopt;
}

std::optional<ShortText> normalise_trimmed(std::string_view s) {
  const std::size_t n = s.size();
  if (n <= 7 || !is_digit(s[0])) return std::nullopt;
  if (n == 8) {
    const bool compact = (s[0] == '1' || s[0] == '2') && s.find_first_not_of("0123456789") == npos;
    return compact ? normalise_compact_date(s) : normalise_ordinal_date(s);
  }
  if (n >= 15 && s[8] == 'T') {
    if (std::optional<ShortText> value = normalise_compact_date_time(s)) return value;
  }
  if (s[4] == '-' && s[5] == 'W') return normalise_week_date(s);
  const char separator = s[4];
  if (n >= 10 && (separator == '-' || separator == '.' || separator == '/') && s[7] == separator) {
    return normalise_separated(s);
  }
  return std::nullopt;
}

// The cheap gate of the date step: four digits, then either a fifth digit
// (YYYYMMDD or a compact date-time) or a date separator.
bool is_date_candidate(std::string_view s) {
  const std::size_t n = s.size();
  if (n < 8) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    if (!is_digit(s[i])) return false;
  }
  if (is_digit(s[4])) return n == 8 || (n >= 15 && s[8] == 'T');
  return s[4] == '-' || s[4] == '.' || s[4] == '/';
}

}  // namespace

bool date_text_has_offset(std::string_view s) {
  const std::size_t n = s.size();
  if (n == 0) return false;
  if (s.back() == 'Z' || s.back() == 'z') return true;
  if (s.find('+') != npos || s.find(kMinusSign) != npos) return true;
  auto dash_at = [&](std::size_t p) { return p < n && s[p] == '-'; };
  if (n > 16 && (dash_at(16) || dash_at(19) || dash_at(22) || dash_at(23) || dash_at(26))) {
    return true;
  }
  return n > 8 && s[8] == 'T' && s.find('-', 15) != npos;
}

std::optional<ShortText> normalise_date_text(std::string_view text) {
  return normalise_trimmed(trim_white_space(text));
}

DateConversion convert_date_string(std::string_view text, const DateConversionConfig* settings) {
  DateConversion result;
  if (!is_date_candidate(text)) return result;
  std::optional<ShortText> canonical = normalise_trimmed(text);
  if (!canonical) return result;
  result.verdict = DateVerdict::KeepAsIs;
  if (canonical->view() == text) return result;
  const bool rewrite = date_text_has_offset(text)
                           ? settings == nullptr || settings->normalize_to_utc
                           : settings == nullptr || settings->assume_utc_for_naive;
  if (rewrite) {
    result.verdict = DateVerdict::Replace;
    result.canonical = *canonical;
  }
  return result;
}

}  // namespace plyfold
