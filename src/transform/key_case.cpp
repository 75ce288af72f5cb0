#include "transform/key_case.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace plyfold {

namespace {

bool is_ascii_upper(char c) { return c >= 'A' && c <= 'Z'; }

// Scans for a character that lowercasing changes. Sets valid to false when
// the text is not well-formed UTF-8.
bool has_lowercase_change(std::string_view text, bool& valid) {
  valid = true;
  bool changes = false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t pos = 0;
  while (pos < length) {
    UChar32 c;
    U8_NEXT(bytes, pos, length, c);
    if (c < 0) {
      valid = false;
    } else if (!changes && u_hasBinaryProperty(c, UCHAR_CHANGES_WHEN_LOWERCASED)) {
      changes = true;
    }
  }
  return changes;
}

// Appends the full lowercase form of well-formed UTF-8 text.
void append_lowercase(std::string_view text, std::string& out) {
  icu::UnicodeString wide = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  wide.toLower(icu::Locale::getRoot());
  wide.toUTF8String(out);
}

// Lowercases text that holds malformed bytes: the well-formed runs between
// them are lowercased and every malformed byte is kept as it is.
void append_lowercase_keeping_malformed(std::string_view text, std::string& out) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t run_start = 0;
  int32_t pos = 0;
  while (pos < length) {
    const int32_t char_start = pos;
    UChar32 c;
    U8_NEXT(bytes, pos, length, c);
    if (c >= 0) continue;
    append_lowercase(text.substr(run_start, char_start - run_start), out);
    out.append(text.substr(char_start, pos - char_start));
    run_start = pos;
  }
  append_lowercase(text.substr(run_start), out);
}

}  // namespace

void lowercase_ascii(std::string& text) {
  for (char& c : text) {
    if (is_ascii_upper(c)) c = static_cast<char>(c + ('a' - 'A'));
  }
}

std::string_view lowercase_unicode(std::string_view text, std::string& scratch) {
  bool ascii = true;
  bool upper = false;
  for (char c : text) {
    ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    upper = upper || is_ascii_upper(c);
  }
  if (ascii) {
    if (!upper) return text;
    scratch.assign(text);
    lowercase_ascii(scratch);
    return scratch;
  }
  bool valid = true;
  if (!has_lowercase_change(text, valid)) return text;
  scratch.clear();
  if (valid) {
    append_lowercase(text, scratch);
  } else {
    append_lowercase_keeping_malformed(text, scratch);
  }
  if (scratch == text) return text;
  return scratch;
}

}  // namespace plyfold
