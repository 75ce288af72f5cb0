#include "convert/numbers.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "convert/white_space.h"

namespace plyfold {
namespace {

constexpr auto npos = std::string_view::npos;

// Every notation on: the defaults, fixed at compile time.
struct AllFormats {
  static constexpr bool currency = true;
  static constexpr bool percent = true;
  static constexpr bool basis_points = true;
  static constexpr bool suffixes = true;
  static constexpr bool fractions = true;
  static constexpr bool radix = true;
};

constexpr std::array<std::string_view, 10> kCurrencyPrefixes = {
    "R$", "A$", "C$", "AU$", "CA$", "US$", "Fr", "kr", "z\u0142", "K\u010d"};

constexpr std::array<std::string_view, 8> kCurrencySymbols = {
    "$", "\u00a3", "\u00a5", "\u20a9", "\u20ac", "\u20b9", "\u20ba", "\u20bd"};

constexpr std::array<std::string_view, 4> kCreditDebitEndings = {"CR", "DR", "cr", "dr"};

constexpr std::string_view kPerMille = "\u2030";
constexpr std::string_view kPerTenThousand = "\u2031";

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
bool is_ascii_upper(char c) { return c >= 'A' && c <= 'Z'; }

bool has_ascii_digit(std::string_view text) {
  for (char c : text) {
    if (is_ascii_digit(c)) return true;
  }
  return false;
}

bool all_ascii_digits(std::string_view text) {
  for (char c : text) {
    if (!is_ascii_digit(c)) return false;
  }
  return true;
}

std::optional<double> finite_only(std::optional<double> value) {
  if (value && std::isfinite(*value)) return value;
  return std::nullopt;
}

// Text rebuilt during parsing: held inline while short, so that the usual
// cases build it without allocating.
class WorkText {
 public:
  void push_back(char c) {
    if (!on_heap_) {
      if (size_ < inline_.size()) {
        inline_[size_++] = c;
        return;
      }
      heap_.assign(inline_.data(), size_);
      on_heap_ = true;
    }
    heap_.push_back(c);
  }
  void append(std::string_view text) {
    for (char c : text) push_back(c);
  }
  std::string_view view() const {
    return on_heap_ ? std::string_view(heap_) : std::string_view(inline_.data(), size_);
  }

 private:
  std::array<char, 64> inline_{};
  std::size_t size_ = 0;
  bool on_heap_ = false;
  std::string heap_;
};

// ---------------------------------------------------------------------------
// Floats

// The value of an exponent's digits (with optional sign), saturating far
// beyond the range of any double so that huge exponents cannot overflow.
long long saturating_exponent(std::string_view text) {
  constexpr long long kLimit = 1LL << 40;
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  long long value = 0;
  for (char c : text) {
    if (!is_ascii_digit(c)) break;
    value = value * 10 + (c - '0');
    if (value > kLimit) {
      value = kLimit;
      break;
    }
  }
  return negative ? -value : value;
}

// For an unsigned float text that lies outside the double range: whether
// it is beyond the largest double (rather than below the smallest).
bool is_beyond_largest(std::string_view text) {
  const std::size_t e = text.find_first_of("eE");
  const long long exponent = e == npos ? 0 : saturating_exponent(text.substr(e + 1));
  const std::string_view mantissa = text.substr(0, e);
  const std::size_t point = mantissa.find('.');
  const std::string_view whole = mantissa.substr(0, point);
  const std::string_view fraction = point == npos ? std::string_view() : mantissa.substr(point + 1);
  // Decimal exponent of the first significant digit of the mantissa.
  long long lead = 0;
  if (std::size_t first = whole.find_first_not_of('0'); first != npos) {
    lead = static_cast<long long>(whole.size() - first) - 1;
  } else if (std::size_t first_fraction = fraction.find_first_not_of('0'); first_fraction != npos) {
    lead = -static_cast<long long>(first_fraction) - 1;
  } else {
    return false;
  }
  return lead + exponent > 0;
}

// parse_float's value times 10^shift, rounded once from the decimal text
// itself, so that "1.005K" reads as 1005 rather than the product
// 1.005 * 1000 = 1004.9999999999999.
std::optional<double> parse_float_scaled(std::string_view text, int shift) {
  const std::optional<double> plain = parse_float(text);
  if (!plain || *plain == 0.0 || !std::isfinite(*plain)) return plain;
  const std::size_t e = text.find_first_of("eE");
  const long long exponent = e == npos ? 0 : saturating_exponent(text.substr(e + 1));
  WorkText scaled;
  scaled.append(text.substr(0, e));
  scaled.push_back('e');
  std::array<char, 24> digits{};
  const auto written =
      std::to_chars(digits.data(), digits.data() + digits.size(), exponent + shift);
  scaled.append(
      std::string_view(digits.data(), static_cast<std::size_t>(written.ptr - digits.data())));
  return parse_float(scaled.view());
}

// ---------------------------------------------------------------------------
// Notations

std::optional<double> parse_percent(std::string_view text) {
  if (text.back() == '%') {
    text.remove_suffix(1);
    return finite_only(parse_float(text));
  }
  if (text.ends_with(kPerMille)) {
    text.remove_suffix(kPerMille.size());
    return parse_float_scaled(text, -3);
  }
  if (text.ends_with(kPerTenThousand)) {
    text.remove_suffix(kPerTenThousand.size());
    return parse_float_scaled(text, -4);
  }
  return std::nullopt;
}

std::optional<double> parse_basis_points(std::string_view text) {
  text = trim_white_space(text);
  if (text.ends_with("bps")) {
    text.remove_suffix(3);
  } else if (text.ends_with("bp")) {
    text.remove_suffix(2);
  } else {
    return std::nullopt;
  }
  return parse_float_scaled(trim_white_space(text), -4);
}

// Power of ten of a K/M/B/T magnitude letter (either case), or 0.
int magnitude_power(char letter) {
  switch (letter) {
    case 'K':
    case 'k': return 3;
    case 'M':
    case 'm': return 6;
    case 'B':
    case 'b': return 9;
    case 'T':
    case 't': return 12;
    default: return 0;
  }
}

std::optional<double> parse_magnitude(std::string_view text) {
  text = trim_white_space(text);
  if (text.size() < 2) return std::nullopt;
  const int power = magnitude_power(text.back());
  text.remove_suffix(1);
  return parse_float_scaled(trim_white_space(text), power);
}

std::optional<double> parse_fraction_parts(std::string_view numerator,
                                           std::string_view denominator) {
  const std::optional<double> top = parse_float(trim_white_space(numerator));
  const std::optional<double> bottom = parse_float(trim_white_space(denominator));
  if (!top || !bottom || *bottom == 0.0) return std::nullopt;
  return *top / *bottom;
}

// "3/4", "1.5/3", and mixed numbers "2 3/4" / "-1 1/2".
std::optional<double> parse_fraction(std::string_view text) {
  text = trim_white_space(text);
  const std::size_t slash = text.find('/');
  if (slash == npos) return std::nullopt;
  if (const std::size_t space = text.rfind(' '); space != npos) {
    const std::optional<double> whole = parse_float(trim_white_space(text.substr(0, space)));
    const std::string_view part = trim_white_space(text.substr(space + 1));
    const std::size_t part_slash = part.find('/');
    if (whole && part_slash != npos) {
      const std::optional<double> q =
          parse_fraction_parts(part.substr(0, part_slash), part.substr(part_slash + 1));
      // The fraction extends the whole part away from zero; the sign bit
      // rather than a comparison keeps "-0 1/2" negative.
      if (q) return std::signbit(*whole) ? *whole - *q : *whole + *q;
    }
  }
  return parse_fraction_parts(text.substr(0, slash), text.substr(slash + 1));
}

int radix_base(char letter) {
  switch (letter) {
    case 'x':
    case 'X': return 16;
    case 'b':
    case 'B': return 2;
    case 'o':
    case 'O': return 8;
    default: return 0;
  }
}

bool looks_like_radix(std::string_view text) {
  if (text.size() > 1 && text.front() == '-') text.remove_prefix(1);
  return text.size() >= 2 && text[0] == '0' && radix_base(text[1]) != 0;
}

// "0x1F", "-0x10", "0b101", "0o17": a signed 64-bit integer in base 16, 2
// or 8 behind its prefix.
std::optional<double> parse_radix(std::string_view text) {
  text = trim_white_space(text);
  bool negated = false;
  if (!text.empty() && text.front() == '-') {
    negated = true;
    text = trim_white_space(text.substr(1));
  }
  if (text.size() < 2 || text[0] != '0') return std::nullopt;
  const int base = radix_base(text[1]);
  if (base == 0) return std::nullopt;
  std::string_view digits = text.substr(2);
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) return std::nullopt;
  std::uint64_t magnitude = 0;
  const char* end = digits.data() + digits.size();
  const auto [ptr, ec] = std::from_chars(digits.data(), end, magnitude, base);
  if (ec != std::errc{} || ptr != end) return std::nullopt;
  const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  if (magnitude > limit) return std::nullopt;
  double value = static_cast<double>(magnitude);
  if (negative) value = -value;
  return negated ? -value : value;
}

// ---------------------------------------------------------------------------
// General clean-up: accounting signs, currency markers, separators

bool strip_prefix(std::string_view& text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

bool strip_suffix(std::string_view& text, std::string_view suffix) {
  if (!text.ends_with(suffix)) return false;
  text.remove_suffix(suffix.size());
  return true;
}

bool strip_any_prefix(std::string_view& text, const auto& table) {
  for (std::string_view entry : table) {
    if (strip_prefix(text, entry)) return true;
  }
  return false;
}

bool strip_any_suffix(std::string_view& text, const auto& table) {
  for (std::string_view entry : table) {
    if (strip_suffix(text, entry)) return true;
  }
  return false;
}

std::string_view strip_currency(std::string_view text) {
  if (text.size() >= 3 && strip_any_prefix(text, kCurrencyPrefixes)) {
    text = trim_white_space(text);
  }
  while (strip_any_prefix(text, kCurrencySymbols)) {
  }
  text = trim_white_space(text);
  // A three-letter code and a space: "USD 100" (but "USD100" keeps it).
  if (text.size() > 4 && is_ascii_upper(text[0]) && is_ascii_upper(text[1]) &&
      is_ascii_upper(text[2]) && text[3] == ' ') {
    text = trim_white_space(text.substr(3));
  }
  while (strip_any_suffix(text, kCurrencySymbols)) {
  }
  for (std::string_view ending : kCreditDebitEndings) {
    while (strip_suffix(text, ending)) {
    }
  }
  return trim_white_space(text);
}

// Strips the accounting sign forms "(5)", "[5]", "5-", "-5"; true when the
// number they mark is negative.
bool strip_sign_form(std::string_view& text) {
  const char first = text.front();
  const char last = text.back();
  bool negative = true;
  if (first == '[' && last == ']') {
    text = text.substr(1, text.size() - 2);
  } else if (first == '[' && last == '-') {
    text.remove_suffix(1);
  } else if (first == '-' && last == '-') {
    text.remove_suffix(1);  // "-5-" keeps its leading sign and fails
  } else if (first == '-') {
    text.remove_prefix(1);
  } else if (first == '(' && last == ')') {
    text = text.substr(1, text.size() - 2);
  } else if (last == '-') {
    text.remove_suffix(1);
  } else {
    negative = false;
  }
  text = trim_white_space(text);
  if (!text.empty() && text.front() == '+') text = trim_white_space(text.substr(1));
  return negative;
}

bool is_float_alphabet(char c) {
  return is_ascii_digit(c) || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

bool is_plain_float_shape(std::string_view text) {
  for (char c : text) {
    if (!is_float_alphabet(c)) return false;
  }
  return text.back() != '-' && text.front() != '+';
}

// Groups between commas that read as thousands: "1,234,567" (every group
// after the first three digits) or the lakh form "12,34,567".
bool comma_groups_are_thousands(std::string_view text) {
  bool western = true;
  bool lakh = true;
  std::size_t index = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const bool is_last = comma == npos;
    const std::string_view group = text.substr(start, is_last ? npos : comma - start);
    const bool digits = !group.empty() && all_ascii_digits(group);
    if (index == 0) {
      lakh = digits && group.size() <= 3;
    } else {
      western = western && digits && group.size() == 3;
      lakh =
          lakh && digits && (is_last ? group.size() == 2 || group.size() == 3 : group.size() == 2);
    }
    if (is_last) break;
    start = comma + 1;
    ++index;
  }
  return western || lakh;
}

bool dot_groups_are_thousands(std::string_view text) {
  std::size_t start = text.find('.');
  while (start != npos) {
    const std::size_t next = text.find('.', start + 1);
    const std::string_view group = text.substr(start + 1, next == npos ? npos : next - start - 1);
    if (group.size() != 3 || !all_ascii_digits(group)) return false;
    start = next;
  }
  return true;
}

// Appends text without the bytes in drop, writing each comma as a point
// when comma_is_point.
void append_without(WorkText& out, std::string_view text, std::string_view drop,
                    bool comma_is_point) {
  for (char c : text) {
    if (drop.find(c) != npos) continue;
    out.push_back(comma_is_point && c == ',' ? '.' : c);
  }
}

// Digits, the float reader's signs and exponent marks, and the separators
// that clean-up removes or rewrites.
bool has_only_number_bytes(std::string_view text) {
  for (char c : text) {
    const bool number_byte = (c >= '0' && c <= '9') || c == '.' || c == ',' || c == ' ' ||
                             c == '\'' || c == '_' || c == '+' || c == '-' || c == 'e' || c == 'E';
    if (!number_byte) return false;
  }
  return true;
}

// Rewrites thousands and decimal separators into the plain float form.
void append_without_separators(WorkText& out, std::string_view text) {
  if (text.find_first_of(" ,.'_") == npos) {
    out.append(text);
    return;
  }
  std::size_t commas = 0;
  std::size_t dots = 0;
  std::size_t last_comma = 0;
  std::size_t last_dot = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ',') {
      ++commas;
      last_comma = i;
    } else if (text[i] == '.') {
      ++dots;
      last_dot = i;
    }
  }
  if (commas > 0 && dots > 0) {
    if (last_dot > last_comma) {
      append_without(out, text, ", '_", false);  // 1,234.56
    } else {
      append_without(out, text, ". '_", true);  // 1.234,56
    }
  } else if (commas == 1) {
    append_without(out, text, " '_", true);  // a decimal comma: 12,5
  } else if (commas >= 2) {
    if (comma_groups_are_thousands(text)) {
      append_without(out, text, ", '_", false);
    } else {
      out.append(text);
    }
  } else if (dots >= 2) {
    if (dot_groups_are_thousands(text)) {
      append_without(out, text, ". '_", false);
    } else {
      out.append(text);
    }
  } else {
    append_without(out, text, " '_", false);
  }
}

std::optional<double> parse_after_clean_up(std::string_view text, bool currency) {
  text = trim_white_space(text);
  if (text.empty()) return std::nullopt;
  if (is_plain_float_shape(text)) return finite_only(parse_float(text));
  const bool negative = strip_sign_form(text);
  if (currency) text = strip_currency(text);
  if (text.empty()) return std::nullopt;
  // Clean-up only drops separators and turns a decimal comma into a point:
  // any other byte would survive it for the float reader to refuse, so prose
  // is turned away here without being copied.
  if (!has_only_number_bytes(text)) return std::nullopt;
  WorkText cleaned;
  if (negative) cleaned.push_back('-');
  append_without_separators(cleaned, text);
  return finite_only(parse_float(cleaned.view()));
}

template <class Formats>
std::optional<double> parse_numeric(std::string_view text, const Formats& formats) {
  if (!has_ascii_digit(text)) return std::nullopt;
  if (std::optional<double> plain = finite_only(parse_float(text))) return plain;
  const char last = text.back();
  if (formats.percent) {
    if (std::optional<double> value = parse_percent(text)) return value;
  }
  if (formats.basis_points && (last == 's' || last == 'p')) {
    if (std::optional<double> value = parse_basis_points(text)) return value;
  }
  if (formats.suffixes && magnitude_power(last) != 0) {
    if (std::optional<double> value = parse_magnitude(text)) return value;
  }
  if (formats.fractions && text.find('/') != npos) {
    if (std::optional<double> value = parse_fraction(text)) return value;
  }
  if (formats.radix && looks_like_radix(text)) {
    if (std::optional<double> value = parse_radix(text)) return value;
  }
  return parse_after_clean_up(text, formats.currency);
}

// Writes a double that is not an integer in 64-bit range: its shortest
// round-trip digits, positional or scientific by the decimal exponent.
void append_shortest(ShortText& out, double value) {
  std::array<char, 32> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                     std::chars_format::scientific);
  std::string_view text(buffer.data(), static_cast<std::size_t>(written.ptr - buffer.data()));
  if (text.front() == '-') {
    out.push_back('-');
    text.remove_prefix(1);
  }
  // text is now "d[.ddd]e(+|-)xx".
  const std::size_t e = text.find('e');
  WorkText digits;
  append_without(digits, text.substr(0, e), ".", false);
  const std::string_view d = digits.view();
  const long long exponent = saturating_exponent(text.substr(e + 1));
  const auto n = static_cast<long long>(d.size());
  if (exponent >= -5 && exponent <= 15) {
    if (exponent < 0) {
      out.append("0.");
      for (long long i = 0; i < -exponent - 1; ++i) out.push_back('0');
      out.append(d);
    } else if (exponent >= n - 1) {
      out.append(d);
      for (long long i = 0; i < exponent - n + 1; ++i) out.push_back('0');
    } else {
      out.append(d.substr(0, static_cast<std::size_t>(exponent + 1)));
      out.push_back('.');
      out.append(d.substr(static_cast<std::size_t>(exponent + 1)));
    }
    return;
  }
  out.push_back(d[0]);
  if (n > 1) {
    out.push_back('.');
    out.append(d.substr(1));
  }
  out.push_back('e');
  out.push_back(exponent < 0 ? '-' : '+');
  const auto exponent_digits =
      std::to_chars(out.tail(), out.end_of_storage(), exponent < 0 ? -exponent : exponent);
  out.commit(exponent_digits.ptr);
}

}  // namespace

bool is_canonical_integer(std::string_view text) {
  constexpr std::string_view kMostNegative = "9223372036854775808";
  constexpr std::string_view kMostPositive = "18446744073709551615";
  const bool negative = !text.empty() && text.front() == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (digits.empty() || digits.size() > kMostPositive.size() || !all_ascii_digits(digits)) {
    return false;
  }
  if (digits.front() == '0') return digits.size() == 1 && !negative;
  const std::string_view limit = negative ? kMostNegative : kMostPositive;
  if (digits.size() != limit.size()) return digits.size() < limit.size();
  return digits <= limit;
}

std::optional<double> parse_float(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // One sign at most; and the "nan(...)" payload form is not accepted.
  if (text.empty() || text.front() == '+' || text.front() == '-' || text.back() == ')') {
    return std::nullopt;
  }
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (ptr != end) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    value = is_beyond_largest(text) ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (ec != std::errc{}) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::optional<double> parse_numeric_string(std::string_view text,
                                           const NumberConversionConfig* formats) {
  return formats != nullptr ? parse_numeric(text, *formats) : parse_numeric(text, AllFormats{});
}

std::optional<std::string_view> convert_numeric_string(std::string_view text,
                                                       const NumberConversionConfig* formats,
                                                       std::string& scratch) {
  if (is_canonical_integer(text)) return text;
  const std::optional<double> value = parse_numeric_string(text, formats);
  if (!value) return std::nullopt;
  const std::optional<ShortText> json = number_to_json_text(*value);
  if (!json) return std::nullopt;
  scratch.assign(json->view());
  return std::string_view(scratch);
}

std::optional<ShortText> number_to_json_text(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  constexpr double kTwoTo63 = 9223372036854775808.0;
  constexpr double kTwoTo64 = 18446744073709551616.0;
  ShortText out;
  if (value == std::trunc(value)) {
    if (value >= -kTwoTo63 && value < kTwoTo63) {
      out.commit(
          std::to_chars(out.tail(), out.end_of_storage(), static_cast<std::int64_t>(value)).ptr);
      return out;
    }
    if (value >= kTwoTo63 && value < kTwoTo64) {
      out.commit(
          std::to_chars(out.tail(), out.end_of_storage(), static_cast<std::uint64_t>(value)).ptr);
      return out;
    }
  }
  append_shortest(out, value);
  return out;
}

}  // namespace plyfold
