// Converts arbitrary text under settings chosen by the first three bytes.
// Every answer must be a complete JSON value of the promised kinds, the
// AllDefaults path must agree with the configured defaults, and converting
// an answer again must not change it.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "convert/convert.h"
#include "convert/dates.h"

namespace {

using plyfold::ConversionSettings;
using plyfold::convert_string;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// RFC 8259 number grammar, and a finite value.
bool is_json_number(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && text[i] == '-') ++i;
  if (i >= n || !is_digit(text[i])) return false;
  if (text[i] == '0') {
    ++i;
  } else {
    while (i < n && is_digit(text[i])) ++i;
  }
  if (i < n && text[i] == '.') {
    const std::size_t start = ++i;
    while (i < n && is_digit(text[i])) ++i;
    if (i == start) return false;
  }
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t start = i;
    while (i < n && is_digit(text[i])) ++i;
    if (i == start) return false;
  }
  if (i != n) return false;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + n, value);
  return ec == std::errc{} && ptr == text.data() + n && std::isfinite(value);
}

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SSZ", the year possibly signed or longer.
bool is_canonical_date(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos || dash < 4) return false;
  const std::string_view rest = text.substr(dash);
  const std::string_view shape = rest.size() == 6 ? "-00-00" : "-00-00T00:00:00Z";
  if (rest.size() != shape.size()) return false;
  for (std::size_t i = 0; i < dash; ++i) {
    if (!is_digit(text[i])) return false;
  }
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == '0' ? !is_digit(rest[i]) : rest[i] != shape[i]) return false;
  }
  return true;
}

ConversionSettings settings_from(const uint8_t* bytes, std::string_view text) {
  ConversionSettings s;
  s.convert_nulls = bytes[0] & 1;
  s.convert_booleans = bytes[0] & 2;
  s.convert_dates = bytes[0] & 4;
  s.convert_numbers = bytes[0] & 8;
  s.date_conversion_config.normalize_to_utc = bytes[0] & 16;
  s.date_conversion_config.assume_utc_for_naive = bytes[0] & 32;
  auto& numbers = s.number_conversion_config;
  numbers.currency = bytes[1] & 1;
  numbers.percent = bytes[1] & 2;
  numbers.basis_points = bytes[1] & 4;
  numbers.suffixes = bytes[1] & 8;
  numbers.fractions = bytes[1] & 16;
  numbers.radix = bytes[1] & 32;
  // Extra tokens that may or may not match the text being converted.
  const std::string head(text.substr(0, bytes[2] >> 3));
  if (bytes[2] & 1) s.null_conversion_config.extra_tokens.push_back(head);
  if (bytes[2] & 2) s.boolean_conversion_config.extra_true_tokens.push_back(head);
  if (bytes[2] & 4) s.boolean_conversion_config.extra_false_tokens.push_back(head);
  return s;
}

void check_answer(std::string_view answer) {
  if (answer == "null" || answer == "true" || answer == "false") return;
  if (answer.size() >= 2 && answer.front() == '"' && answer.back() == '"') {
    const std::string_view date = answer.substr(1, answer.size() - 2);
    check(is_canonical_date(date));
    // A canonical date with a four-digit year is kept as it is.
    if (date.size() >= 5 && date[4] == '-') {
      check(plyfold::convert_date_string(date, nullptr).verdict == plyfold::DateVerdict::KeepAsIs);
    }
    return;
  }
  check(is_json_number(answer));
  // Number answers are fixed points of the number step.
  ConversionSettings numbers_only;
  numbers_only.convert_numbers = true;
  std::string scratch;
  const std::optional<std::string_view> again = convert_string(answer, &numbers_only, scratch);
  check(again.has_value() && *again == answer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
  const ConversionSettings settings = settings_from(data, text);

  std::string scratch;
  const std::optional<std::string_view> answer = convert_string(text, &settings, scratch);
  if (answer) check_answer(*answer);

  ConversionSettings defaults;
  defaults.convert_nulls = defaults.convert_booleans = true;
  defaults.convert_dates = defaults.convert_numbers = true;
  std::string scratch_a;
  std::string scratch_b;
  const std::optional<std::string_view> a = convert_string(text, nullptr, scratch_a);
  const std::optional<std::string_view> b = convert_string(text, &defaults, scratch_b);
  check(a == b);
  if (a) check_answer(*a);

  // The text may lie in the scratch buffer it is converted into.
  std::string shared = text;
  const std::optional<std::string> expected = a ? std::optional<std::string>(*a) : std::nullopt;
  const std::optional<std::string_view> in_place = convert_string(shared, nullptr, shared);
  check(in_place.has_value() == expected.has_value());
  if (in_place) check(*in_place == *expected);
  return 0;
}
