#include "tape/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace plyfold {
namespace {

constexpr char kHex[] = "0123456789abcdef";

// Escape needs of each byte: 0 none, otherwise the character after the
// backslash ('u' for the \u00XX form).
struct EscapeTable {
  char engine[256] = {};  // backspace and form feed as \u00XX
  char writer[256] = {};  // backspace and form feed as \b and \f
  constexpr EscapeTable() {
    for (int c = 0; c < 0x20; ++c) engine[c] = writer[c] = 'u';
    engine[0xED] = writer[0xED] = 'S';  // lead byte of an encoded surrogate
    for (char* table : {engine, writer}) {
      set(table, '"', '"');
      set(table, '\\', '\\');
      set(table, '\t', 't');
      set(table, '\n', 'n');
      set(table, '\r', 'r');
    }
    set(writer, '\b', 'b');
    set(writer, '\f', 'f');
  }
  static constexpr void set(char* table, char byte, char escape) {
    table[static_cast<unsigned char>(byte)] = escape;
  }
};
constexpr EscapeTable kEscapes;

// A lone surrogate escape in a document decodes to the three-byte form of
// its code unit (which is not valid UTF-8); writing it back as \uXXXX keeps
// the text the document had. Bytes ED 80-9F start ordinary characters.
bool is_encoded_surrogate(std::string_view text, size_t i) {
  return i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0xA0 &&
         static_cast<unsigned char>(text[i + 1]) <= 0xBF &&
         (static_cast<unsigned char>(text[i + 2]) & 0xC0) == 0x80;
}

void append_surrogate_escape(std::string& out, std::string_view text, size_t i) {
  uint32_t unit = 0xD000 | ((static_cast<unsigned char>(text[i + 1]) & 0x3F) << 6) |
                  (static_cast<unsigned char>(text[i + 2]) & 0x3F);
  out += "\\u";
  out += kHex[(unit >> 12) & 0xF];
  out += kHex[(unit >> 8) & 0xF];
  out += kHex[(unit >> 4) & 0xF];
  out += kHex[unit & 0xF];
}

void append_escaped(std::string& out, std::string_view text, const char (&table)[256]) {
  size_t run_start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    char escape = table[c];
    if (escape == 0) continue;
    if (escape == 'S') {
      if (!is_encoded_surrogate(text, i)) continue;
      out.append(text.data() + run_start, i - run_start);
      append_surrogate_escape(out, text, i);
      i += 2;
      run_start = i + 1;
      continue;
    }
    out.append(text.data() + run_start, i - run_start);
    out += '\\';
    out += escape;
    if (escape == 'u') {
      out += "00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
    run_start = i + 1;
  }
  out.append(text.data() + run_start, text.size() - run_start);
}

bool needs_escape(std::string_view text, const char (&table)[256]) {
  for (size_t i = 0; i < text.size(); ++i) {
    char escape = table[static_cast<unsigned char>(text[i])];
    if (escape != 0 && (escape != 'S' || is_encoded_surrogate(text, i))) return true;
  }
  return false;
}

}  // namespace

std::string_view escape_string_content(std::string_view text, std::string& scratch) {
  if (!needs_escape(text, kEscapes.engine)) return text;
  scratch.clear();
  scratch.reserve(text.size() + 16);
  append_escaped(scratch, text, kEscapes.engine);
  return scratch;
}

void append_escaped_content(std::string& out, std::string_view text) {
  append_escaped(out, text, kEscapes.engine);
}

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  append_escaped(out, text, kEscapes.writer);
  out += '"';
}

void append_utf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool is_valid_utf8(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  while (i < n) {
    // Runs of ASCII, eight bytes at a time.
    while (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      if ((word & 0x8080808080808080ULL) != 0) break;
      i += 8;
    }
    if (i >= n) break;
    unsigned char lead = byte(i);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t extra = (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : 0;
    if (extra == 0 || i + extra >= n) return false;
    uint32_t code = lead & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) return false;
      code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if ((extra == 1 && code < 0x80) || (extra == 2 && code < 0x800) ||
        (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

void append_json_double(std::string& out, double value) {
  if (value == 0) {
    out += std::signbit(value) ? "-0.0" : "0.0";
    return;
  }
  // Shortest round-trip digits in scientific form: d[.ddd]e[+-]XX
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::scientific);
  std::string_view sci(buffer, static_cast<size_t>(result.ptr - buffer));
  if (sci.front() == '-') {
    out += '-';
    sci.remove_prefix(1);
  }
  size_t e_pos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e_pos)) {
    if (c != '.') digits += c;
  }
  int exponent = std::atoi(std::string(sci.substr(e_pos + 1)).c_str());
  const int n = static_cast<int>(digits.size());
  if (exponent >= -5 && exponent <= 15) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += digits;
    } else if (exponent <= n - 2) {
      out.append(digits, 0, static_cast<size_t>(exponent + 1));
      out += '.';
      out.append(digits, static_cast<size_t>(exponent + 1));
    } else {
      out += digits;
      out.append(static_cast<size_t>(exponent - n + 1), '0');
      out += ".0";
    }
    return;
  }
  out += digits[0];
  if (n > 1) {
    out += '.';
    out.append(digits, 1);
  }
  out += 'e';
  out += exponent < 0 ? '-' : '+';
  out += std::to_string(exponent < 0 ? -exponent : exponent);
}

}  // namespace plyfold
