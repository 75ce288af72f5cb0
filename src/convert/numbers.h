// Reading numbers written as text, and writing doubles as JSON numbers.
//
// Besides plain decimals, the reader understands accounting signs, thousands
// and decimal separators and six optional notations chosen by
// NumberConversionConfig: currency markers, percent signs, basis points,
// K/M/B/T magnitudes, fractions and 0x/0b/0o literals. A formats pointer of
// nullptr stands for every notation on (the defaults) and reads no settings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "builder/config.h"
#include "convert/short_text.h"

namespace plyfold {

// An optional "-" and 1 to 20 digits without a leading zero ("0" itself, not
// "-0"), within int64 when negative and within uint64 otherwise.
bool is_canonical_integer(std::string_view text);

// Decimal-to-double with correct rounding: optional sign, digits with an
// optional point (not both sides empty), optional exponent; also "inf",
// "infinity" and "nan" in any case. No whitespace. Too large reads as
// infinity, too small as zero.
std::optional<double> parse_float(std::string_view text);

// The value a numeric text spells, or nullopt. The result may be infinite
// or not a number; callers that need a JSON number check that.
std::optional<double> parse_numeric_string(std::string_view text,
                                           const NumberConversionConfig* formats);

// The JSON number text for a trimmed text, or nullopt when it spells no
// finite number. A canonical integer comes back as the text itself (no
// copy); any other number is written into scratch, after text has been
// read for the last time (so text may lie in scratch).
std::optional<std::string_view> convert_numeric_string(std::string_view text,
                                                       const NumberConversionConfig* formats,
                                                       std::string& scratch);

// The JSON text of a finite double: integral values within the 64-bit
// integer ranges as integers (-0.0 as "0"), every other value in its
// shortest round-trip digits, positional when the decimal exponent is
// between -5 and 15, else scientific ("1e-6", "1.5e+300"). nullopt for
// infinities and NaN.
std::optional<ShortText> number_to_json_text(double value);

}  // namespace plyfold
