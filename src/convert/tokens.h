// The built-in token tables: texts that spell null, true or false.
//
// A token matches only a whole (already trimmed) text, byte for byte; the
// case variants in the tables are the only ones accepted.
#pragma once

#include <optional>
#include <string_view>

namespace plyfold {

// The replacement texts of the token answers.
inline constexpr std::string_view kNullText = "null";
inline constexpr std::string_view kTrueText = "true";
inline constexpr std::string_view kFalseText = "false";

// "null", "None", "N/A", "NA", ... (13 spellings).
bool is_null_token(std::string_view text);

// true for "yes", "On", "Y", ...; false for "no", "OFF", "n", ...;
// nullopt for anything else (11 spellings each).
std::optional<bool> boolean_token(std::string_view text);

}  // namespace plyfold
