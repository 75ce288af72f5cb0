// Applies a fuzzed pattern and replacement to a fuzzed text, as an expression
// rule, a literal rule and an exclusion pattern. Input layout:
// pattern NUL replacement NUL text. Nothing may crash or print; replacing
// every match by itself must give the text back; well-formed UTF-8 in must
// give well-formed UTF-8 out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "transform/key_case.h"
#include "transform/patterns.h"

namespace {

bool is_well_formed_utf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t min = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      length = 2, min = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3, min = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      length = 4, min = 0x10000, code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto byte = static_cast<unsigned char>(text[i + k]);
      if ((byte & 0xC0) != 0x80) return false;
      code = (code << 6) | (byte & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// Splits off the part before the next NUL byte.
std::string_view take_part(std::string_view& rest) {
  size_t end = rest.find('\0');
  std::string_view part = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return part;
}

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string pattern(take_part(rest));
  const std::string replacement(take_part(rest));
  const std::string_view text = rest;
  const std::string expression = "r'" + pattern + "'";
  // A malformed find may match inside a character; \C matches single bytes.
  const bool well_formed = is_well_formed_utf8(text) && is_well_formed_utf8(replacement) &&
                           is_well_formed_utf8(pattern) && pattern.find("\\C") == std::string::npos;

  std::string out;
  if (plyfold::apply_replacement_rules({{expression, replacement}}, text, out)) {
    check(!well_formed || is_well_formed_utf8(out));
  }
  out.clear();
  if (plyfold::apply_replacement_rules({{expression, "$0"}}, text, out)) check(out == text);
  out.clear();
  if (plyfold::apply_replacement_rules({{pattern, replacement}}, text, out)) {
    check(!well_formed || is_well_formed_utf8(out));
  }
  if (!pattern.empty() && !plyfold::is_expression_pattern(pattern)) {
    out.clear();
    if (plyfold::apply_replacement_rules({{pattern, pattern}}, text, out)) check(out == text);
  }
  plyfold::matches_any_pattern({expression, pattern}, text);

  std::string scratch;
  std::string_view lowered = plyfold::lowercase_unicode(text, scratch);
  check(!is_well_formed_utf8(text) || is_well_formed_utf8(lowered));
  return 0;
}
