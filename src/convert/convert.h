// Type conversion of string values: nulls, booleans, dates and numbers.
//
// convert_string either declines (the string stays as it is) or returns the
// complete JSON text of the typed value: null/true/false, a number, or a
// quoted canonical date. Token answers and canonical integers need no
// allocation (constant text or a slice of the input).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "builder/config.h"

namespace plyfold {

enum class ConversionMode { Off, AllDefaults, Configured };

ConversionMode conversion_mode(const ConversionSettings& settings);

// settings == nullptr means every category on with default settings.
// The returned view refers to constant text, to text, or to scratch.
std::optional<std::string_view> convert_string(std::string_view text,
                                               const ConversionSettings* settings,
                                               std::string& scratch);

}  // namespace plyfold
