// Writing JSON text: the two string escapers and the float form.
//
// escape_string_content is the engines' escaper (backspace and form feed as
// \u0008 / \u000c); append_json_string is the writer's (\b and \f). Both
// leave "/", 0x7F and non-ASCII bytes as they are. append_json_double writes
// the shortest round-trip digits, always with a point or an exponent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plyfold {

// Returns text when nothing needs escaping, else the escaped copy in scratch.
std::string_view escape_string_content(std::string_view text, std::string& scratch);

// Appends the escaped content (no quotes) with the engines' escapes.
void append_escaped_content(std::string& out, std::string_view text);

// Appends text as a quoted JSON string with the writer's escapes.
void append_json_string(std::string& out, std::string_view text);

// True when text is well-formed UTF-8 (no surrogates, no overlong forms).
bool is_valid_utf8(std::string_view text);

// Appends the UTF-8 encoding of a code point (at most U+10FFFF).
void append_utf8(std::string& out, uint32_t code);

// Appends a finite double in the writer's form: 1.0, 0.5, 1e+16, 1e-6, -0.0.
void append_json_double(std::string& out, double value);

}  // namespace plyfold
