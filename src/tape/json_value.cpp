#include "tape/json_value.h"

#include <charconv>
#include <cmath>

#include "tape/json_text.h"

namespace plyfold {
namespace {

constexpr int kMaxDepth = 128;

// Recursive-descent reader; depth is bounded by kMaxDepth.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  Result<JsonValue> read() {
    JsonValue value;
    skip_whitespace();
    if (!read_value(value, 0)) return fail();
    skip_whitespace();
    if (pos_ < text_.size()) {
      message_ = "JSON has non-whitespace trailing characters after the value";
      return fail();
    }
    return value;
  }

 private:
  CoreError fail() {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < pos_ && i < text_.size(); ++i) {
      if (text_[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    return json_parse_error(message_ + " at line " + std::to_string(line) + " column " +
                            std::to_string(column));
  }

  bool error(const char* message) {
    message_ = message;
    return false;
  }

  void skip_whitespace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool at_end() const { return pos_ >= text_.size(); }

  bool read_value(JsonValue& value, int depth) {
    if (at_end()) return error("EOF while parsing");
    char c = text_[pos_];
    switch (c) {
      case '{': return read_object(value, depth + 1);
      case '[': return read_array(value, depth + 1);
      case '"': {
        std::string text;
        if (!read_string(text)) return false;
        value.data = std::move(text);
        return true;
      }
      case 't': return read_literal("true", value, JsonValue{true});
      case 'f': return read_literal("false", value, JsonValue{false});
      case 'n': return read_literal("null", value, JsonValue{JsonValue::Null{}});
      default:
        if (c == '-' || (c >= '0' && c <= '9')) return read_number(value);
        return error("Invalid JSON value");
    }
  }

  bool read_literal(std::string_view word, JsonValue& value, JsonValue literal) {
    if (text_.substr(pos_, word.size()) != word) {
      return error("Invalid literal (`true`, `false`, or a `null`) while parsing");
    }
    pos_ += word.size();
    value = std::move(literal);
    return true;
  }

  bool read_number(JsonValue& value) {
    size_t start = pos_;
    bool negative = text_[pos_] == '-';
    if (negative) ++pos_;
    if (at_end() || !is_digit(text_[pos_])) return error("Invalid number");
    if (text_[pos_] == '0') {
      ++pos_;
      if (!at_end() && is_digit(text_[pos_])) return error("Invalid number");
    } else {
      while (!at_end() && is_digit(text_[pos_])) ++pos_;
    }
    bool integral = true;
    if (!at_end() && text_[pos_] == '.') {
      integral = false;
      ++pos_;
      if (at_end() || !is_digit(text_[pos_])) return error("Invalid number");
      while (!at_end() && is_digit(text_[pos_])) ++pos_;
    }
    if (!at_end() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      integral = false;
      ++pos_;
      if (!at_end() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (at_end() || !is_digit(text_[pos_])) return error("Invalid number");
      while (!at_end() && is_digit(text_[pos_])) ++pos_;
    }
    const char* first = text_.data() + start;
    const char* last = text_.data() + pos_;
    if (integral) {
      if (negative) {
        int64_t number = 0;
        if (std::from_chars(first, last, number).ec == std::errc()) {
          value.data = number;
          return true;
        }
      } else {
        uint64_t number = 0;
        if (std::from_chars(first, last, number).ec == std::errc()) {
          value.data = number;
          return true;
        }
      }
    }
    // Fractions, exponents and integers beyond 64 bits: the nearest double.
    double number = 0;
    auto result = std::from_chars(first, last, number);
    if (result.ec == std::errc::result_out_of_range) {
      if (std::fabs(number) > 1)
        return error("Number is bigger than the maximum value of its type");
      number = negative ? -0.0 : 0.0;
    } else if (result.ec != std::errc() || !std::isfinite(number)) {
      return error("Number is bigger than the maximum value of its type");
    }
    value.data = number;
    return true;
  }

  static bool is_digit(char c) { return c >= '0' && c <= '9'; }

  static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  bool read_hex4(uint32_t& unit) {
    if (pos_ + 4 > text_.size()) {
      pos_ = text_.size();
      return error("EOF while parsing");
    }
    unit = 0;
    for (int k = 0; k < 4; ++k) {
      int digit = hex_digit(text_[pos_]);
      if (digit < 0) return error("Invalid escape chars");
      unit = (unit << 4) | static_cast<uint32_t>(digit);
      ++pos_;
    }
    return true;
  }

  bool read_unicode_escape(std::string& out) {
    uint32_t unit = 0;
    if (!read_hex4(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return error("Invalid surrogate Unicode code point");
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (text_.substr(pos_, 2) != "\\u") return error("Invalid surrogate Unicode code point");
      pos_ += 2;
      uint32_t low = 0;
      if (!read_hex4(low)) return false;
      if (low < 0xDC00 || low > 0xDFFF) return error("Invalid surrogate Unicode code point");
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    append_utf8(out, unit);
    return true;
  }

  // Length of the valid UTF-8 sequence at pos_, or 0.
  size_t utf8_length() const {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text_[pos_ + k]); };
    unsigned char c = byte(0);
    size_t n = c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
    if (n == 0 || pos_ + n > text_.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
      if ((byte(k) & 0xC0) != 0x80) return 0;
    }
    if (n == 3 && ((c == 0xE0 && byte(1) < 0xA0) || (c == 0xED && byte(1) >= 0xA0))) return 0;
    if (n == 4 && ((c == 0xF0 && byte(1) < 0x90) || (c == 0xF4 && byte(1) >= 0x90))) return 0;
    return n;
  }

  bool read_string(std::string& out) {
    ++pos_;  // opening quote
    while (true) {
      if (at_end()) return error("EOF while parsing");
      unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return error("Control character found while parsing a string");
      if (c == '\\') {
        if (!read_escape(out)) return false;
        continue;
      }
      if (c < 0x80) {
        out += static_cast<char>(c);
        ++pos_;
        continue;
      }
      size_t n = utf8_length();
      if (n == 0) return error("Invalid UTF-8 characters in json");
      out.append(text_.substr(pos_, n));
      pos_ += n;
    }
  }

  bool read_escape(std::string& out) {
    ++pos_;
    if (at_end()) return error("EOF while parsing");
    char c = text_[pos_++];
    switch (c) {
      case '"': out += '"'; return true;
      case '\\': out += '\\'; return true;
      case '/': out += '/'; return true;
      case 'b': out += '\b'; return true;
      case 'f': out += '\f'; return true;
      case 'n': out += '\n'; return true;
      case 'r': out += '\r'; return true;
      case 't': out += '\t'; return true;
      case 'u': return read_unicode_escape(out);
      default: --pos_; return error("Invalid escape chars");
    }
  }

  bool read_array(JsonValue& value, int depth) {
    if (depth > kMaxDepth) {
      return error("Encountered nesting of JSON maps and arrays more than 128 layers deep");
    }
    ++pos_;
    JsonArray items;
    skip_whitespace();
    if (!at_end() && text_[pos_] == ']') {
      ++pos_;
      value.data = std::move(items);
      return true;
    }
    while (true) {
      skip_whitespace();
      if (!at_end() && text_[pos_] == ']' && !items.empty()) {
        return error("JSON has a comma after the last value in an array or object");
      }
      items.emplace_back();
      if (!read_value(items.back(), depth)) return false;
      skip_whitespace();
      if (at_end()) return error("EOF while parsing");
      if (text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (text_[pos_] != ']') {
        return error("Expected this character to be either a ',' or a ']' while parsing");
      }
      ++pos_;
      value.data = std::move(items);
      return true;
    }
  }

  bool read_object(JsonValue& value, int depth) {
    if (depth > kMaxDepth) {
      return error("Encountered nesting of JSON maps and arrays more than 128 layers deep");
    }
    ++pos_;
    JsonObject members;
    skip_whitespace();
    if (!at_end() && text_[pos_] == '}') {
      ++pos_;
      value.data = std::move(members);
      return true;
    }
    while (true) {
      skip_whitespace();
      if (at_end()) return error("EOF while parsing");
      if (text_[pos_] == '}' && !members.empty()) {
        return error("JSON has a comma after the last value in an array or object");
      }
      if (text_[pos_] != '"') return error("Expected this character to be '\"' or '}'");
      std::string key;
      if (!read_string(key)) return false;
      skip_whitespace();
      if (at_end()) return error("EOF while parsing");
      if (text_[pos_] != ':') return error("Expected this character to be a ':' while parsing");
      ++pos_;
      skip_whitespace();
      JsonValue member;
      if (!read_value(member, depth)) return false;
      insert_member(members, std::move(key), std::move(member));
      skip_whitespace();
      if (at_end()) return error("EOF while parsing");
      if (text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (text_[pos_] != '}') {
        return error("Expected this character to be either a ',' or a '}' while parsing");
      }
      ++pos_;
      value.data = std::move(members);
      return true;
    }
  }

  static void insert_member(JsonObject& members, std::string key, JsonValue value) {
    for (auto& member : members) {
      if (member.first == key) {
        member.second = std::move(value);
        return;
      }
    }
    members.emplace_back(std::move(key), std::move(value));
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::string message_;
};

// Writes values with an explicit stack so nesting depth never costs native stack.
struct WriteFrame {
  const JsonValue* value;
  size_t next;  // next child to write
};

void write_scalar(std::string& out, const JsonValue& value) {
  const auto& data = value.data;
  if (std::holds_alternative<JsonValue::Null>(data)) {
    out += "null";
  } else if (const bool* b = std::get_if<bool>(&data)) {
    out += *b ? "true" : "false";
  } else if (const uint64_t* u = std::get_if<uint64_t>(&data)) {
    out += std::to_string(*u);
  } else if (const int64_t* i = std::get_if<int64_t>(&data)) {
    out += std::to_string(*i);
  } else if (const double* d = std::get_if<double>(&data)) {
    append_json_double(out, *d);
  } else if (const std::string* s = std::get_if<std::string>(&data)) {
    append_json_string(out, *s);
  }
}

}  // namespace

Result<JsonValue> read_json_value(std::string_view text) { return JsonReader(text).read(); }

void write_json_value(std::string& out, const JsonValue& root) {
  std::vector<WriteFrame> stack;
  stack.push_back({&root, 0});
  while (!stack.empty()) {
    WriteFrame& frame = stack.back();
    const auto& data = frame.value->data;
    if (const JsonArray* array = std::get_if<JsonArray>(&data)) {
      if (frame.next == 0) out += '[';
      if (frame.next == array->size()) {
        out += ']';
        stack.pop_back();
        continue;
      }
      if (frame.next > 0) out += ',';
      const JsonValue* child = &(*array)[frame.next++];
      stack.push_back({child, 0});
    } else if (const JsonObject* object = std::get_if<JsonObject>(&data)) {
      if (frame.next == 0) out += '{';
      if (frame.next == object->size()) {
        out += '}';
        stack.pop_back();
        continue;
      }
      if (frame.next > 0) out += ',';
      const auto& member = (*object)[frame.next++];
      append_json_string(out, member.first);
      out += ':';
      stack.push_back({&member.second, 0});
    } else {
      write_scalar(out, *frame.value);
      stack.pop_back();
    }
  }
}

}  // namespace plyfold
