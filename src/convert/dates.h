// Recognising dates and date-times and bringing them to one canonical form:
// YYYY-MM-DD for a date, YYYY-MM-DDTHH:MM:SSZ (UTC, no fraction) for a
// date-time.
//
// Accepted spellings: YYYYMMDD, ordinal YYYY-DDD, ISO week YYYY-Www-D,
// compact YYYYMMDDTHHMMSS[Z|+HHMM], and YYYY-MM-DD (also with "/" or "."
// separators) optionally followed by "T" or a space and a time in RFC 3339
// form, with an offset that may lack its colon ("+0200", "+02"), or naive
// with minutes and seconds optional.
#pragma once

#include <optional>
#include <string_view>

#include "builder/config.h"
#include "convert/short_text.h"

namespace plyfold {

enum class DateVerdict {
  NotADate,  // not a recognised date; other readings may follow
  KeepAsIs,  // a date that stays exactly as written and is read no other way
  Replace,   // a date to be rewritten as DateConversion::canonical
};

struct DateConversion {
  DateVerdict verdict = DateVerdict::NotADate;
  ShortText canonical;  // set for Replace
};

// The date step for an already trimmed text. nullptr settings stand for the
// defaults (rewrite both offset-carrying and naive dates).
DateConversion convert_date_string(std::string_view text, const DateConversionConfig* settings);

// The canonical form of a recognised date, or nullopt. Trims the text first.
std::optional<ShortText> normalise_date_text(std::string_view text);

// Whether a (trimmed) date text spells an offset: a "Z", a "+" or a "-"
// where an offset would stand. A date without time never does.
bool date_text_has_offset(std::string_view text);

}  // namespace plyfold
