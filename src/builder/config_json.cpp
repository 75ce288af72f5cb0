#include "builder/config_json.h"

#include <array>
#include <bitset>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "tape/json_text.h"

namespace plyfold {
namespace {

// ---------------------------------------------------------------------------
// Member names, in the order they are written and listed in messages.

constexpr size_t kConfigMembers = 25;
constexpr std::array<std::string_view, kConfigMembers> kConfigNames = {
    "mode",
    "separator",
    "lowercase_keys",
    "key_replacements",
    "value_replacements",
    "key_exclusions",
    "value_exclusions",
    "remove_empty_strings",
    "remove_nulls",
    "remove_empty_objects",
    "remove_empty_arrays",
    "handle_key_collision",
    "auto_convert_types",
    "convert_dates",
    "date_conversion_config",
    "convert_nulls",
    "null_conversion_config",
    "convert_booleans",
    "boolean_conversion_config",
    "convert_numbers",
    "number_conversion_config",
    "parallel_threshold",
    "num_threads",
    "nested_parallel_threshold",
    "max_array_index",
};
constexpr std::array<std::string_view, 2> kDateNames = {"normalize_to_utc", "assume_utc_for_naive"};
constexpr std::array<std::string_view, 1> kNullNames = {"extra_tokens"};
constexpr std::array<std::string_view, 2> kBooleanNames = {"extra_true_tokens",
                                                           "extra_false_tokens"};
constexpr std::array<std::string_view, 6> kNumberNames = {"currency", "percent",   "basis_points",
                                                          "suffixes", "fractions", "radix"};

// The unsigned machine-word integer as the reader names it in messages.
constexpr std::string_view kCountName = "usize";

std::string_view mode_name(OperationMode mode) {
  switch (mode) {
    case OperationMode::Flatten: return "flatten";
    case OperationMode::Unflatten: return "unflatten";
    case OperationMode::Normal: return "normal";
  }
  return "flatten";
}

// ---------------------------------------------------------------------------
// Writing.

class ConfigWriter {
 public:
  void begin_object() {
    out_ += '{';
    first_ = true;
  }
  void end_object() {
    out_ += '}';
    first_ = false;
  }

  void key(std::string_view name) {
    if (!first_) out_ += ',';
    first_ = false;
    append_json_string(out_, name);
    out_ += ':';
  }
  void boolean(std::string_view name, bool value) {
    key(name);
    out_ += value ? "true" : "false";
  }
  void count(std::string_view name, uint64_t value) {
    key(name);
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out_.append(digits, end);
  }
  void null(std::string_view name) {
    key(name);
    out_ += "null";
  }
  void text(std::string_view name, std::string_view value) {
    key(name);
    append_json_string(out_, value);
  }
  void text_list(std::string_view name, const TextList& values) {
    key(name);
    out_ += '[';
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) out_ += ',';
      append_json_string(out_, values[i]);
    }
    out_ += ']';
  }
  void rule_list(std::string_view name, const RuleList& rules) {
    key(name);
    out_ += '[';
    for (size_t i = 0; i < rules.size(); ++i) {
      if (i > 0) out_ += ',';
      out_ += '[';
      append_json_string(out_, rules[i].first);
      out_ += ',';
      append_json_string(out_, rules[i].second);
      out_ += ']';
    }
    out_ += ']';
  }

  std::string take() { return std::move(out_); }

 private:
  std::string out_;
  bool first_ = true;
};

void write_conversion(ConfigWriter& w, const ConversionSettings& c) {
  w.boolean("convert_dates", c.convert_dates);
  w.key("date_conversion_config");
  w.begin_object();
  w.boolean("normalize_to_utc", c.date_conversion_config.normalize_to_utc);
  w.boolean("assume_utc_for_naive", c.date_conversion_config.assume_utc_for_naive);
  w.end_object();
  w.boolean("convert_nulls", c.convert_nulls);
  w.key("null_conversion_config");
  w.begin_object();
  w.text_list("extra_tokens", c.null_conversion_config.extra_tokens);
  w.end_object();
  w.boolean("convert_booleans", c.convert_booleans);
  w.key("boolean_conversion_config");
  w.begin_object();
  w.text_list("extra_true_tokens", c.boolean_conversion_config.extra_true_tokens);
  w.text_list("extra_false_tokens", c.boolean_conversion_config.extra_false_tokens);
  w.end_object();
  w.boolean("convert_numbers", c.convert_numbers);
  w.key("number_conversion_config");
  w.begin_object();
  const NumberConversionConfig& n = c.number_conversion_config;
  w.boolean("currency", n.currency);
  w.boolean("percent", n.percent);
  w.boolean("basis_points", n.basis_points);
  w.boolean("suffixes", n.suffixes);
  w.boolean("fractions", n.fractions);
  w.boolean("radix", n.radix);
  w.end_object();
}

// ---------------------------------------------------------------------------
// Reading: the members as read, before they are applied to a Config.

struct WireConfig {
  std::optional<std::string> mode;
  std::optional<std::string> separator;
  std::optional<bool> lowercase_keys;
  std::optional<RuleList> key_replacements;
  std::optional<RuleList> value_replacements;
  std::optional<TextList> key_exclusions;
  std::optional<TextList> value_exclusions;
  std::optional<bool> remove_empty_strings;
  std::optional<bool> remove_nulls;
  std::optional<bool> remove_empty_objects;
  std::optional<bool> remove_empty_arrays;
  std::optional<bool> handle_key_collision;
  std::optional<bool> auto_convert_types;
  std::optional<bool> convert_dates;
  std::optional<DateConversionConfig> date_conversion_config;
  std::optional<bool> convert_nulls;
  std::optional<NullConversionConfig> null_conversion_config;
  std::optional<bool> convert_booleans;
  std::optional<BooleanConversionConfig> boolean_conversion_config;
  std::optional<bool> convert_numbers;
  std::optional<NumberConversionConfig> number_conversion_config;
  std::optional<uint64_t> parallel_threshold;
  std::optional<uint64_t> num_threads;
  std::optional<uint64_t> nested_parallel_threshold;
  std::optional<uint64_t> max_array_index;
};

// How a record may be written: its name in messages, its member names, and
// how many values its array form needs at least.
struct RecordShape {
  std::string_view name;
  const std::string_view* names;
  size_t count;
  size_t min_array_values;
};

constexpr RecordShape kConfigShape{"struct Config", kConfigNames.data(), kConfigNames.size(),
                                   kConfigNames.size()};
constexpr RecordShape kDateShape{"struct DateConversionConfigWire", kDateNames.data(),
                                 kDateNames.size(), kDateNames.size()};
constexpr RecordShape kNullShape{"struct NullConversionConfigWire", kNullNames.data(),
                                 kNullNames.size(), 0};
constexpr RecordShape kBooleanShape{"struct BooleanConversionConfigWire", kBooleanNames.data(),
                                    kBooleanNames.size(), 0};
constexpr RecordShape kNumberShape{"struct NumberConversionConfigWire", kNumberNames.data(),
                                   kNumberNames.size(), kNumberNames.size()};

// "`a`", "`a` or `b`", "one of `a`, `b`, `c`".
std::string expected_names(const RecordShape& shape) {
  auto quoted = [](std::string_view name) { return "`" + std::string(name) + "`"; };
  if (shape.count == 1) return quoted(shape.names[0]);
  if (shape.count == 2) return quoted(shape.names[0]) + " or " + quoted(shape.names[1]);
  std::string text = "one of ";
  for (size_t i = 0; i < shape.count; ++i) {
    if (i > 0) text += ", ";
    text += quoted(shape.names[i]);
  }
  return text;
}

struct Number {
  enum class Kind { Unsigned, Negative, Float } kind = Kind::Unsigned;
  uint64_t unsigned_value = 0;
  int64_t negative_value = 0;
  double float_value = 0;
};

std::string float_text(double value) {
  char digits[64];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  std::string text(digits, end);
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
  return text;
}

// A string as it is shown inside "invalid type" messages.
std::string quoted_found_string(std::string_view value) {
  static const char kHex[] = "0123456789abcdef";
  std::string text = "\"";
  for (char c : value) {
    unsigned char byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': text += "\\\""; break;
      case '\\': text += "\\\\"; break;
      case '\n': text += "\\n"; break;
      case '\r': text += "\\r"; break;
      case '\t': text += "\\t"; break;
      default:
        if (byte < 0x20) {
          text += "\\u{";
          if (byte >= 0x10) text += kHex[byte >> 4];
          text += kHex[byte & 0xF];
          text += '}';
        } else {
          text += c;
        }
    }
  }
  text += '"';
  return text;
}

// The configuration reader. Every read_* function returns false once a fault
// has been recorded; the fault's message then carries its position. The
// format's nesting is fixed (at most three levels), and a value of the wrong
// kind is reported at its first token, so the reader never descends into
// arbitrary nested values.
class ConfigReader {
 public:
  explicit ConfigReader(std::string_view text) : text_(text) {}

  bool read(WireConfig& wire) {
    bool present = false;
    if (!read_record(kConfigShape, false, present,
                     [&](size_t index) { return read_config_member(wire, index); })) {
      return false;
    }
    skip_whitespace();
    if (pos_ < text_.size()) return fail_at_char("trailing characters");
    return true;
  }

  const std::string& error() const { return error_; }

 private:
  // --- faults -------------------------------------------------------------

  // Records `message` with the position after the first `consumed` bytes.
  bool fail_with_position(std::string_view message, size_t consumed) {
    size_t line = 1;
    size_t column = 0;
    for (size_t i = 0; i < consumed && i < text_.size(); ++i) {
      unsigned char byte = static_cast<unsigned char>(text_[i]);
      if (byte == '\n') {
        ++line;
        column = 0;
      } else if ((byte & 0xC0) != 0x80) {
        ++column;
      }
    }
    error_ = std::string(message) + " at line " + std::to_string(line) + " column " +
             std::to_string(column);
    return false;
  }
  // A fault found after what has been consumed (end of text, wrong kinds).
  bool fail(std::string_view message) { return fail_with_position(message, pos_); }
  // A fault at the character under the cursor.
  bool fail_at_char(std::string_view message) {
    return fail_with_position(message, pos_ < text_.size() ? pos_ + 1 : pos_);
  }

  // --- characters ---------------------------------------------------------

  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return text_[pos_]; }
  void skip_whitespace() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
      ++pos_;
    }
  }
  static bool is_digit(char c) { return c >= '0' && c <= '9'; }

  // Skips whitespace before a value; false at the end of the text.
  bool begin_value() {
    skip_whitespace();
    if (at_end()) return fail("EOF while parsing a value");
    return true;
  }

  // --- scalars ------------------------------------------------------------

  bool read_literal(std::string_view word) {
    for (char expected : word) {
      if (at_end()) return fail("EOF while parsing a value");
      if (peek() != expected) return fail_at_char("expected ident");
      ++pos_;
    }
    return true;
  }

  static int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // Reads the four hex digits after "\u".
  bool read_hex4(uint32_t& out) {
    out = 0;
    for (int i = 0; i < 4; ++i) {
      if (at_end()) return fail("EOF while parsing a string");
      int digit = hex_value(peek());
      if (digit < 0) return fail_at_char("unexpected end of hex escape");
      out = out * 16 + static_cast<uint32_t>(digit);
      ++pos_;
    }
    return true;
  }

  // Reads a \u escape (the cursor is after the "u"), pairing surrogates.
  bool read_unicode_escape(std::string& out) {
    uint32_t code = 0;
    if (!read_hex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return fail("invalid unicode code point");
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (text_.substr(pos_, 2) != "\\u") {
        bool cut_short = pos_ + 2 > text_.size() && (at_end() || peek() == '\\');
        return fail(cut_short ? "EOF while parsing a string"
                              : "lone leading surrogate in hex escape");
      }
      pos_ += 2;
      uint32_t low = 0;
      if (!read_hex4(low)) return false;
      if (low < 0xDC00 || low > 0xDFFF) return fail("lone leading surrogate in hex escape");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    append_utf8(out, code);
    return true;
  }

  // Reads a string; the cursor is on its opening quote.
  bool read_string_token(std::string& out) {
    ++pos_;
    out.clear();
    size_t run = pos_;
    while (true) {
      if (at_end()) return fail("EOF while parsing a string");
      unsigned char c = static_cast<unsigned char>(peek());
      if (c == '"') {
        out.append(text_.data() + run, pos_ - run);
        ++pos_;
        return true;
      }
      if (c < 0x20) {
        return fail_at_char("control character (\\u0000-\\u001F) found while parsing a string");
      }
      if (c != '\\') {
        ++pos_;
        continue;
      }
      out.append(text_.data() + run, pos_ - run);
      ++pos_;
      if (at_end()) return fail("EOF while parsing a string");
      char escape = peek();
      ++pos_;
      switch (escape) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u':
          if (!read_unicode_escape(out)) return false;
          break;
        default: return fail("invalid escape");
      }
      run = pos_;
    }
  }

  bool read_digits() {
    if (at_end() || !is_digit(peek())) return fail_at_char("invalid number");
    while (!at_end() && is_digit(peek())) ++pos_;
    return true;
  }

  // Reads a number; the cursor is on "-" or a digit.
  bool read_number_token(Number& out) {
    size_t start = pos_;
    bool negative = peek() == '-';
    if (negative) ++pos_;
    if (at_end() || !is_digit(peek())) return fail_at_char("invalid number");
    if (peek() == '0') {
      ++pos_;
    } else {
      read_digits();
    }
    bool is_float = false;
    if (!at_end() && peek() == '.') {
      ++pos_;
      if (!read_digits()) return false;
      is_float = true;
    }
    if (!at_end() && (peek() == 'e' || peek() == 'E')) {
      ++pos_;
      if (!at_end() && (peek() == '+' || peek() == '-')) ++pos_;
      if (!read_digits()) return false;
      is_float = true;
    }
    std::string_view token = text_.substr(start, pos_ - start);
    if (!is_float) {
      if (!negative) {
        auto [end, ec] =
            std::from_chars(token.data(), token.data() + token.size(), out.unsigned_value);
        if (ec == std::errc()) {
          out.kind = Number::Kind::Unsigned;
          return true;
        }
      } else {
        auto [end, ec] =
            std::from_chars(token.data(), token.data() + token.size(), out.negative_value);
        if (ec == std::errc()) {
          out.kind = Number::Kind::Negative;
          return true;
        }
      }
    }
    // Fractions, exponents and integers beyond 64 bits are read as doubles.
    std::string copy(token);
    errno = 0;
    double value = std::strtod(copy.c_str(), nullptr);
    if (std::isinf(value)) return fail("number out of range");
    out.kind = Number::Kind::Float;
    out.float_value = value;
    return true;
  }

  // Describes (and consumes) the value under the cursor for an "invalid
  // type" message. Arrays and objects are described by their first token.
  bool describe_found(std::string& found) {
    char c = peek();
    switch (c) {
      case '{':
        ++pos_;
        found = "map";
        return true;
      case '[':
        ++pos_;
        found = "sequence";
        return true;
      case 'n': found = "null"; return read_literal("null");
      case 't': found = "boolean `true`"; return read_literal("true");
      case 'f': found = "boolean `false`"; return read_literal("false");
      case '"': {
        std::string value;
        if (!read_string_token(value)) return false;
        found = "string " + quoted_found_string(value);
        return true;
      }
      default: break;
    }
    if (c == '-' || is_digit(c)) {
      Number number;
      if (!read_number_token(number)) return false;
      switch (number.kind) {
        case Number::Kind::Unsigned:
          found = "integer `" + std::to_string(number.unsigned_value) + "`";
          break;
        case Number::Kind::Negative:
          found = "integer `" + std::to_string(number.negative_value) + "`";
          break;
        case Number::Kind::Float: found = "floating point `" + float_text(number.float_value) + "`";
      }
      return true;
    }
    return fail_at_char("expected value");
  }

  bool type_error(std::string_view expected) {
    std::string found;
    if (!describe_found(found)) return false;
    return fail("invalid type: " + found + ", expected " + std::string(expected));
  }

  // --- typed values -------------------------------------------------------

  bool read_bool(std::optional<bool>& out) {
    if (!begin_value()) return false;
    char c = peek();
    if (c == 't' || c == 'f') {
      out = c == 't';
      return read_literal(c == 't' ? "true" : "false");
    }
    if (c == 'n') {
      out.reset();
      return read_literal("null");
    }
    return type_error("a boolean");
  }

  // A boolean member of a nested record, where null and absence mean true.
  bool read_sub_option(bool& out) {
    std::optional<bool> value;
    if (!read_bool(value)) return false;
    out = value.value_or(true);
    return true;
  }

  bool read_string(std::optional<std::string>& out, bool null_allowed) {
    if (!begin_value()) return false;
    char c = peek();
    if (c == '"') {
      std::string value;
      if (!read_string_token(value)) return false;
      out = std::move(value);
      return true;
    }
    if (c == 'n' && null_allowed) {
      out.reset();
      return read_literal("null");
    }
    return type_error("a string");
  }

  bool read_required_string(std::string& out) {
    std::optional<std::string> value;
    if (!read_string(value, false)) return false;
    out = std::move(*value);
    return true;
  }

  bool read_count(std::optional<uint64_t>& out) {
    if (!begin_value()) return false;
    char c = peek();
    if (c == 'n') {
      out.reset();
      return read_literal("null");
    }
    if (c != '-' && !is_digit(c)) return type_error(kCountName);
    Number number;
    if (!read_number_token(number)) return false;
    switch (number.kind) {
      case Number::Kind::Unsigned: out = number.unsigned_value; return true;
      case Number::Kind::Negative:
        if (number.negative_value == 0) {
          out = 0;
          return true;
        }
        return fail("invalid value: integer `" + std::to_string(number.negative_value) +
                    "`, expected " + std::string(kCountName));
      case Number::Kind::Float:
        return fail("invalid type: floating point `" + float_text(number.float_value) +
                    "`, expected " + std::string(kCountName));
    }
    return true;
  }

  // Reads the elements of an array whose "[" has been consumed. At most
  // `max_values` elements (more are trailing characters), at least
  // `min_values` (fewer fail with "invalid length N, expected <expected>").
  template <class Element>
  bool read_elements(size_t min_values, size_t max_values, std::string_view expected,
                     Element&& element) {
    skip_whitespace();
    if (at_end()) return fail("EOF while parsing a list");
    size_t count = 0;
    if (peek() != ']') {
      while (true) {
        if (count == max_values) return fail_at_char("trailing characters");
        if (!element(count)) return false;
        ++count;
        skip_whitespace();
        if (at_end()) return fail("EOF while parsing a list");
        if (peek() == ']') break;
        if (peek() != ',') return fail_at_char("expected `,` or `]`");
        ++pos_;
        skip_whitespace();
        if (at_end()) return fail("EOF while parsing a list");
        if (peek() == ']') return fail_at_char("trailing comma");
      }
    }
    ++pos_;  // the closing bracket
    if (count < min_values) {
      return fail("invalid length " + std::to_string(count) + ", expected " +
                  std::string(expected));
    }
    return true;
  }

  static constexpr size_t kUnbounded = static_cast<size_t>(-1);

  bool read_text_list(std::optional<TextList>& out) {
    if (!begin_value()) return false;
    if (peek() != '[') return type_error("a sequence");
    ++pos_;
    TextList values;
    if (!read_elements(0, kUnbounded, "", [&](size_t) {
          std::string value;
          if (!read_required_string(value)) return false;
          values.push_back(std::move(value));
          return true;
        })) {
      return false;
    }
    out = std::move(values);
    return true;
  }

  bool read_rule(std::pair<std::string, std::string>& rule) {
    if (!begin_value()) return false;
    if (peek() != '[') return type_error("a tuple of size 2");
    ++pos_;
    return read_elements(2, 2, "a tuple of size 2", [&](size_t index) {
      return read_required_string(index == 0 ? rule.first : rule.second);
    });
  }

  bool read_rule_list(std::optional<RuleList>& out) {
    if (!begin_value()) return false;
    if (peek() != '[') return type_error("a sequence");
    ++pos_;
    RuleList rules;
    if (!read_elements(0, kUnbounded, "", [&](size_t) {
          std::pair<std::string, std::string> rule;
          if (!read_rule(rule)) return false;
          rules.push_back(std::move(rule));
          return true;
        })) {
      return false;
    }
    out = std::move(rules);
    return true;
  }

  // --- records ------------------------------------------------------------

  // Reads the members of an object whose "{" has been consumed.
  template <class Member>
  bool read_members(const RecordShape& shape, Member&& member) {
    std::bitset<kConfigMembers> seen;
    skip_whitespace();
    if (at_end()) return fail("EOF while parsing an object");
    if (peek() == '}') {
      ++pos_;
      return true;
    }
    while (true) {
      skip_whitespace();
      if (at_end()) return fail("EOF while parsing an object");
      if (peek() != '"') return fail_at_char("key must be a string");
      std::string name;
      if (!read_string_token(name)) return false;
      size_t index = 0;
      while (index < shape.count && shape.names[index] != name) ++index;
      if (index == shape.count) {
        return fail("unknown field `" + name + "`, expected " + expected_names(shape));
      }
      if (seen[index]) return fail("duplicate field `" + name + "`");
      seen[index] = true;
      skip_whitespace();
      if (at_end()) return fail("EOF while parsing an object");
      if (peek() != ':') return fail_at_char("expected `:`");
      ++pos_;
      if (!member(index)) return false;
      skip_whitespace();
      if (at_end()) return fail("EOF while parsing an object");
      if (peek() == '}') {
        ++pos_;
        return true;
      }
      if (peek() != ',') return fail_at_char("expected `,` or `}`");
      ++pos_;
      skip_whitespace();
      if (!at_end() && peek() == '}') return fail_at_char("trailing comma");
    }
  }

  // Reads a record as an object or in its array form. `present` tells
  // whether a record was given (false for an accepted null).
  template <class Member>
  bool read_record(const RecordShape& shape, bool null_allowed, bool& present, Member&& member) {
    present = false;
    if (!begin_value()) return false;
    char c = peek();
    if (c == '{') {
      ++pos_;
      present = true;
      return read_members(shape, member);
    }
    if (c == '[') {
      ++pos_;
      present = true;
      std::string expected =
          std::string(shape.name) + " with " + std::to_string(shape.count) + " elements";
      return read_elements(shape.min_array_values, shape.count, expected, member);
    }
    if (c == 'n' && null_allowed) return read_literal("null");
    return type_error(shape.name);
  }

  bool read_date_record(std::optional<DateConversionConfig>& out) {
    DateConversionConfig record;
    bool present = false;
    if (!read_record(kDateShape, true, present, [&](size_t index) {
          return read_sub_option(index == 0 ? record.normalize_to_utc
                                            : record.assume_utc_for_naive);
        })) {
      return false;
    }
    if (present) out = std::move(record);
    return true;
  }

  bool read_null_record(std::optional<NullConversionConfig>& out) {
    NullConversionConfig record;
    bool present = false;
    if (!read_record(kNullShape, true, present, [&](size_t) {
          std::optional<TextList> tokens;
          if (!read_text_list(tokens)) return false;
          record.extra_tokens = std::move(*tokens);
          return true;
        })) {
      return false;
    }
    if (present) out = std::move(record);
    return true;
  }

  bool read_boolean_record(std::optional<BooleanConversionConfig>& out) {
    BooleanConversionConfig record;
    bool present = false;
    if (!read_record(kBooleanShape, true, present, [&](size_t index) {
          std::optional<TextList> tokens;
          if (!read_text_list(tokens)) return false;
          (index == 0 ? record.extra_true_tokens : record.extra_false_tokens) = std::move(*tokens);
          return true;
        })) {
      return false;
    }
    if (present) out = std::move(record);
    return true;
  }

  bool read_number_record(std::optional<NumberConversionConfig>& out) {
    NumberConversionConfig record;
    bool* options[6] = {&record.currency, &record.percent,   &record.basis_points,
                        &record.suffixes, &record.fractions, &record.radix};
    bool present = false;
    if (!read_record(kNumberShape, true, present,
                     [&](size_t index) { return read_sub_option(*options[index]); })) {
      return false;
    }
    if (present) out = std::move(record);
    return true;
  }

  bool read_config_member(WireConfig& w, size_t index) {
    switch (index) {
      case 0: return read_string(w.mode, true);
      case 1: return read_string(w.separator, true);
      case 2: return read_bool(w.lowercase_keys);
      case 3: return read_rule_list(w.key_replacements);
      case 4: return read_rule_list(w.value_replacements);
      case 5: return read_text_list(w.key_exclusions);
      case 6: return read_text_list(w.value_exclusions);
      case 7: return read_bool(w.remove_empty_strings);
      case 8: return read_bool(w.remove_nulls);
      case 9: return read_bool(w.remove_empty_objects);
      case 10: return read_bool(w.remove_empty_arrays);
      case 11: return read_bool(w.handle_key_collision);
      case 12: return read_bool(w.auto_convert_types);
      case 13: return read_bool(w.convert_dates);
      case 14: return read_date_record(w.date_conversion_config);
      case 15: return read_bool(w.convert_nulls);
      case 16: return read_null_record(w.null_conversion_config);
      case 17: return read_bool(w.convert_booleans);
      case 18: return read_boolean_record(w.boolean_conversion_config);
      case 19: return read_bool(w.convert_numbers);
      case 20: return read_number_record(w.number_conversion_config);
      case 21: return read_count(w.parallel_threshold);
      case 22: return read_count(w.num_threads);
      case 23: return read_count(w.nested_parallel_threshold);
      case 24: return read_count(w.max_array_index);
      default: return fail("unknown field");
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::string error_;
};

template <class T>
void apply(std::optional<T>& value, T& target) {
  if (value) target = std::move(*value);
}

// A present nested record replaces its category's settings and switches the
// category off; the category's switch, when present, then decides.
template <class Record>
void apply_category(std::optional<Record>& record, std::optional<bool>& enabled, Record& settings,
                    bool& switch_on) {
  if (record) {
    settings = std::move(*record);
    switch_on = false;
  }
  apply(enabled, switch_on);
}

Result<Config> apply_wire(WireConfig& w) {
  Config config = default_config();
  if (w.mode) {
    if (*w.mode == "flatten") {
      config.mode = OperationMode::Flatten;
    } else if (*w.mode == "unflatten") {
      config.mode = OperationMode::Unflatten;
    } else if (*w.mode == "normal") {
      config.mode = OperationMode::Normal;
    } else {
      return config_error("unknown mode '" + *w.mode +
                          "': expected 'flatten', 'unflatten', or 'normal'");
    }
  }
  apply(w.separator, config.separator);
  apply(w.lowercase_keys, config.lowercase_keys);
  apply(w.key_replacements, config.key_replacements);
  apply(w.value_replacements, config.value_replacements);
  apply(w.key_exclusions, config.key_exclusions);
  apply(w.value_exclusions, config.value_exclusions);
  apply(w.remove_empty_strings, config.remove_empty_strings);
  apply(w.remove_nulls, config.remove_nulls);
  apply(w.remove_empty_objects, config.remove_empty_objects);
  apply(w.remove_empty_arrays, config.remove_empty_arrays);
  apply(w.handle_key_collision, config.handle_key_collision);
  ConversionSettings& c = config.conversion;
  if (w.auto_convert_types) {
    c.convert_dates = c.convert_nulls = c.convert_booleans = c.convert_numbers =
        *w.auto_convert_types;
  }
  apply_category(w.date_conversion_config, w.convert_dates, c.date_conversion_config,
                 c.convert_dates);
  apply_category(w.null_conversion_config, w.convert_nulls, c.null_conversion_config,
                 c.convert_nulls);
  apply_category(w.boolean_conversion_config, w.convert_booleans, c.boolean_conversion_config,
                 c.convert_booleans);
  apply_category(w.number_conversion_config, w.convert_numbers, c.number_conversion_config,
                 c.convert_numbers);
  apply(w.parallel_threshold, config.parallel_threshold);
  if (w.num_threads) config.num_threads = *w.num_threads;
  apply(w.nested_parallel_threshold, config.nested_parallel_threshold);
  apply(w.max_array_index, config.max_array_index);
  return config;
}

}  // namespace

std::string write_config_json(const Config& config) {
  ConfigWriter w;
  w.begin_object();
  if (config.mode) {
    w.text("mode", mode_name(*config.mode));
  } else {
    w.null("mode");
  }
  w.text("separator", config.separator);
  w.boolean("lowercase_keys", config.lowercase_keys);
  w.rule_list("key_replacements", config.key_replacements);
  w.rule_list("value_replacements", config.value_replacements);
  w.text_list("key_exclusions", config.key_exclusions);
  w.text_list("value_exclusions", config.value_exclusions);
  w.boolean("remove_empty_strings", config.remove_empty_strings);
  w.boolean("remove_nulls", config.remove_nulls);
  w.boolean("remove_empty_objects", config.remove_empty_objects);
  w.boolean("remove_empty_arrays", config.remove_empty_arrays);
  w.boolean("handle_key_collision", config.handle_key_collision);
  w.null("auto_convert_types");
  write_conversion(w, config.conversion);
  w.count("parallel_threshold", config.parallel_threshold);
  if (config.num_threads) {
    w.count("num_threads", *config.num_threads);
  } else {
    w.null("num_threads");
  }
  w.count("nested_parallel_threshold", config.nested_parallel_threshold);
  w.count("max_array_index", config.max_array_index);
  w.end_object();
  return w.take();
}

Result<Config> read_config_json(std::string_view text) {
  WireConfig wire;
  ConfigReader reader(text);
  if (!reader.read(wire)) return input_error("invalid config JSON: " + reader.error());
  return apply_wire(wire);
}

}  // namespace plyfold
