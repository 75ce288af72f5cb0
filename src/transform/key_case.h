// Key casing: ASCII lowercasing (flatten, unflatten) and full Unicode
// lowercasing with final sigma (normal mode).
#pragma once

#include <string>
#include <string_view>

namespace plyfold {

// Lowercases A-Z in place.
void lowercase_ascii(std::string& text);

// Full Unicode default lowercasing (final sigma included). Returns text when
// lowercasing changes nothing, else the lowercased text in scratch. Bytes that
// are not well-formed UTF-8 are kept as they are.
std::string_view lowercase_unicode(std::string_view text, std::string& scratch);

}  // namespace plyfold
