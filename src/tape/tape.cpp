#include "tape/tape.h"

#include <cstring>
#include <optional>

#include "absl/container/inlined_vector.h"
#include "tape/json_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plyfold {
namespace {

enum ByteClass : uint8_t {
  kOther = 0,
  kWhitespace = 1,
  kOpenBrace,
  kCloseBrace,
  kOpenBracket,
  kCloseBracket,
  kColon,
  kComma,
  kQuote,
};

struct ByteTable {
  uint8_t cls[256] = {};
  bool terminator[256] = {};
  constexpr ByteTable() {
    cls[uint8_t(' ')] = cls[uint8_t('\t')] = cls[uint8_t('\n')] = cls[uint8_t('\r')] = kWhitespace;
    cls[uint8_t('{')] = kOpenBrace;
    cls[uint8_t('}')] = kCloseBrace;
    cls[uint8_t('[')] = kOpenBracket;
    cls[uint8_t(']')] = kCloseBracket;
    cls[uint8_t(':')] = kColon;
    cls[uint8_t(',')] = kComma;
    cls[uint8_t('"')] = kQuote;
    for (int c = 0; c < 256; ++c) terminator[c] = cls[c] != kOther;
  }
};
constexpr ByteTable kTable;

// Position of the next '"' or '\\' at or after pos, or size when none.
size_t find_quote_or_backslash(const char* data, size_t pos, size_t size) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  while (pos + 16 <= size) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    int mask = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)));
    if (mask != 0) return pos + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    pos += 16;
  }
#endif
  while (pos < size && data[pos] != '"' && data[pos] != '\\') ++pos;
  return pos;
}

}  // namespace

// Appends tokens while reading the text once; owns the open-container stack.
class TapeBuilder {
 public:
  explicit TapeBuilder(std::string_view text) : text_(text) {
    tape_.tokens_.reserve(text.size() / 3);
  }

  Result<StructuralTape> build() {
    const size_t size = text_.size();
    size_t pos = 0;
    while (pos < size) {
      switch (kTable.cls[static_cast<uint8_t>(text_[pos])]) {
        case kOpenBrace:
          open(pos, TokenKind::ObjectStart);
          ++pos;
          break;
        case kOpenBracket:
          open(pos, TokenKind::ArrayStart);
          if (!find_scalar(++pos)) return std::move(*error_);
          break;
        case kCloseBrace:
          if (!close(pos, TokenKind::ObjectEnd)) {
            return structure_error("Unexpected closing brace in JSON input");
          }
          ++pos;
          break;
        case kCloseBracket:
          if (!close(pos, TokenKind::ArrayEnd)) {
            return structure_error("Unexpected closing bracket in JSON input");
          }
          ++pos;
          break;
        case kColon:
          append(pos, TokenKind::Colon, 0);
          if (!find_scalar(++pos)) return std::move(*error_);
          break;
        case kComma:
          append(pos, TokenKind::Comma, 0);
          if (!find_scalar(++pos)) return std::move(*error_);
          break;
        case kQuote:
          if (!read_string(pos)) return structure_error("Unterminated string in JSON input");
          break;
        default: ++pos; break;
      }
    }
    if (!open_.empty()) return structure_error("Unclosed object or array in JSON input");
    return std::move(tape_);
  }

 private:
  void append(size_t offset, TokenKind kind, uint32_t payload) {
    tape_.tokens_.push_back(
        Token{static_cast<uint32_t>(offset), (payload << 8) | static_cast<uint32_t>(kind)});
  }

  // Appends a token whose payload may exceed 24 bits: such payloads go to the
  // side table behind the sentinel.
  void append_wide(size_t offset, TokenKind kind, uint32_t payload, uint32_t sentinel) {
    if (payload >= sentinel) {
      tape_.wide_[static_cast<uint32_t>(tape_.tokens_.size())] = payload;
      payload = sentinel;
    }
    append(offset, kind, payload);
  }

  void open(size_t pos, TokenKind kind) {
    open_.push_back(static_cast<uint32_t>(tape_.tokens_.size()));
    append(pos, kind, 0);
  }

  bool close(size_t pos, TokenKind kind) {
    if (open_.empty()) return false;
    uint32_t opening = open_.back();
    open_.pop_back();
    uint32_t closing = static_cast<uint32_t>(tape_.tokens_.size());
    append_wide(pos, kind, opening, StructuralTape::kWideIndex);
    set_link(opening, closing);
    return true;
  }

  void set_link(uint32_t index, uint32_t target) {
    Token& token = tape_.tokens_[index];
    uint32_t payload = target;
    if (target >= StructuralTape::kWideIndex) {
      tape_.wide_[index] = target;
      payload = StructuralTape::kWideIndex;
    }
    token.word = (token.word & 0xFF) | (payload << 8);
  }

  // Reads the string whose opening quote is at pos; advances pos past it.
  bool read_string(size_t& pos) {
    const size_t open_quote = pos;
    const char* data = text_.data();
    const size_t size = text_.size();
    bool backslash = false;
    size_t i = open_quote + 1;
    while (true) {
      i = find_quote_or_backslash(data, i, size);
      if (i >= size) return false;
      if (data[i] == '"') break;
      backslash = true;
      i += 2;  // the escaped byte can never close the string
      if (i > size) return false;
    }
    uint32_t length = static_cast<uint32_t>(i - open_quote - 1);
    uint32_t payload = length;
    if (length >= StructuralTape::kWideStringLength) {
      tape_.wide_[static_cast<uint32_t>(tape_.tokens_.size())] = length;
      payload = StructuralTape::kWideStringLength;
    }
    if (backslash) payload |= 0x800000;
    append(open_quote, TokenKind::String, payload);
    pos = i + 1;
    return true;
  }

  // Looks for a bare scalar at pos (after '[', ':' or ','). Leaves pos at the
  // byte where the main scan continues. False (with error_ set) on a fault.
  bool find_scalar(size_t& pos) {
    const size_t size = text_.size();
    while (pos < size && kTable.cls[static_cast<uint8_t>(text_[pos])] == kWhitespace) ++pos;
    if (pos >= size) return true;
    uint8_t cls = kTable.cls[static_cast<uint8_t>(text_[pos])];
    if (cls == kOpenBrace || cls == kCloseBrace || cls == kOpenBracket || cls == kCloseBracket ||
        cls == kQuote) {
      return true;
    }
    size_t end = pos;
    while (end < size && !kTable.terminator[static_cast<uint8_t>(text_[end])]) ++end;
    if (end == pos) {
      error_ = structure_error("Empty scalar value");
      return false;
    }
    std::string_view run = text_.substr(pos, end - pos);
    if (!is_scalar_run(run)) {
      error_ = structure_error("Invalid JSON value: `" + std::string(run) + "`");
      return false;
    }
    append_wide(pos, TokenKind::Scalar, static_cast<uint32_t>(run.size()),
                StructuralTape::kWideScalarLength);
    pos = end;
    return true;
  }

  static bool is_scalar_run(std::string_view run) {
    char first = run.front();
    if (first == '-' || (first >= '0' && first <= '9')) return true;
    return run == "true" || run == "false" || run == "null";
  }

  std::string_view text_;
  StructuralTape tape_;
  absl::InlinedVector<uint32_t, 32> open_;
  std::optional<CoreError> error_;
};

Result<StructuralTape> build_tape(std::string_view text) { return TapeBuilder(text).build(); }

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of the four hex digits at p, or -1 when they are not hex.
int32_t read_hex4(const char* p) {
  int32_t value = 0;
  for (int k = 0; k < 4; ++k) {
    int digit = hex_value(p[k]);
    if (digit < 0) return -1;
    value = (value << 4) | digit;
  }
  return value;
}

// Decodes the \u escape at content[i] (the backslash). Returns the number of
// bytes consumed, or 0 when the escape is kept as written.
size_t decode_unicode_escape(std::string_view content, size_t i, std::string& out) {
  if (i + 6 > content.size()) return 0;
  int32_t unit = read_hex4(content.data() + i + 2);
  if (unit < 0) return 0;
  if (unit < 0xD800 || unit > 0xDFFF) {
    append_utf8(out, static_cast<uint32_t>(unit));
    return 6;
  }
  // A high surrogate followed by an escaped low surrogate is one character.
  if (unit <= 0xDBFF && i + 12 <= content.size() && content[i + 6] == '\\' &&
      content[i + 7] == 'u') {
    int32_t low = read_hex4(content.data() + i + 8);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      uint32_t code = 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) +
                      (static_cast<uint32_t>(low) - 0xDC00);
      append_utf8(out, code);
      return 12;
    }
  }
  // A lone surrogate has no UTF-8 form: it is kept as the three-byte form of
  // its code unit, which the writers turn back into the same \u escape.
  append_utf8(out, static_cast<uint32_t>(unit));
  return 6;
}

}  // namespace

std::string_view decode_string_content(std::string_view content, std::string& scratch) {
  size_t first = content.find('\\');
  if (first == std::string_view::npos) return content;
  scratch.clear();
  scratch.reserve(content.size());
  scratch.append(content.substr(0, first));
  size_t i = first;
  while (i < content.size()) {
    if (content[i] != '\\') {
      // Copy the run up to the next backslash in one piece.
      size_t next_escape = content.find('\\', i);
      if (next_escape == std::string_view::npos) next_escape = content.size();
      scratch.append(content.substr(i, next_escape - i));
      i = next_escape;
      continue;
    }
    if (i + 1 >= content.size()) {
      scratch += '\\';  // a backslash that ends the content is kept
      break;
    }
    char next = content[i + 1];
    char simple = 0;
    switch (next) {
      case '"': simple = '"'; break;
      case '\\': simple = '\\'; break;
      case '/': simple = '/'; break;
      case 'b': simple = '\b'; break;
      case 'f': simple = '\f'; break;
      case 'n': simple = '\n'; break;
      case 'r': simple = '\r'; break;
      case 't': simple = '\t'; break;
      default: break;
    }
    if (simple != 0) {
      scratch += simple;
      i += 2;
      continue;
    }
    if (next == 'u') {
      size_t used = decode_unicode_escape(content, i, scratch);
      if (used > 0) {
        i += used;
        continue;
      }
    }
    scratch += '\\';  // keep the backslash; what follows is ordinary text
    ++i;
  }
  return scratch;
}

}  // namespace plyfold
