#include "convert/tokens.h"

#include <array>

namespace plyfold {
namespace {

constexpr std::array<std::string_view, 13> kNullTokens = {
    "null", "NULL", "Null", "none", "NONE", "None", "nil", "NIL", "Nil", "N/A", "n/a", "NA", "na"};

constexpr std::array<std::string_view, 11> kTrueTokens = {
    "true", "TRUE", "True", "yes", "YES", "Yes", "on", "ON", "On", "y", "Y"};

constexpr std::array<std::string_view, 11> kFalseTokens = {
    "false", "FALSE", "False", "no", "NO", "No", "off", "OFF", "Off", "n", "N"};

// No token is longer than five bytes, so longer texts leave at once.
constexpr std::size_t kLongestToken = 5;

template <std::size_t N>
bool in_table(const std::array<std::string_view, N>& table, std::string_view text) {
  for (std::string_view token : table) {
    if (token == text) return true;
  }
  return false;
}

}  // namespace

bool is_null_token(std::string_view text) {
  return text.size() <= kLongestToken && in_table(kNullTokens, text);
}

std::optional<bool> boolean_token(std::string_view text) {
  if (text.size() > kLongestToken) return std::nullopt;
  if (in_table(kTrueTokens, text)) return true;
  if (in_table(kFalseTokens, text)) return false;
  return std::nullopt;
}

}  // namespace plyfold
