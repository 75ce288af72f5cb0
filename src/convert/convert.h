// Type conversion of string values: nulls, booleans, dates and numbers.
//
// convert_string either declines (the string stays as it is) or returns the
// complete JSON text of the typed value: null/true/false, a number, or a
// quoted canonical date. The text is trimmed of Unicode White_Space first;
// its first character decides which readings are tried:
//   F O T Y f o t y        boolean tokens
//   N n                    null tokens, then boolean tokens
//   digit $ ( + - . [      date, then number
//   other A-Z, non-ASCII   number
// and whatever gave no answer falls back to the extra tokens of the
// settings (extra nulls, then extra trues, then extra falses).
//
// Token answers and canonical integers need no allocation (constant text or
// a slice of the input); other numbers and dates are written into scratch.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "builder/config.h"

namespace plyfold {

enum class ConversionMode {
  Off,          // no category on: conversion is never called
  AllDefaults,  // every category on, every setting at its default
  Configured,   // anything else
};

ConversionMode conversion_mode(const ConversionSettings& settings);

// settings == nullptr means every category on with default settings; that
// path reads no settings at all and answers exactly as the defaults would.
// The returned view refers to constant text, to text, or to scratch; text
// may itself lie in scratch.
std::optional<std::string_view> convert_string(std::string_view text,
                                               const ConversionSettings* settings,
                                               std::string& scratch);

}  // namespace plyfold
