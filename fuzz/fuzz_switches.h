// Configuration switches that the document harnesses draw from fuzz bytes.
#pragma once

#include <cstdint>

#include "builder/config.h"

namespace fuzzing {

// The low six bits: the four removal filters, key lowercasing, collisions.
inline void apply_cleaning_switches(plyfold::Config& config, uint8_t switches) {
  config.remove_empty_strings = switches & 1;
  config.remove_nulls = switches & 2;
  config.remove_empty_objects = switches & 4;
  config.remove_empty_arrays = switches & 8;
  config.lowercase_keys = switches & 16;
  config.handle_key_collision = switches & 32;
}

inline void convert_every_category(plyfold::Config& config) {
  config.conversion.convert_nulls = config.conversion.convert_booleans = true;
  config.conversion.convert_numbers = config.conversion.convert_dates = true;
}

}  // namespace fuzzing
