// The configuration record of one Plyfold object.
//
// Config is a plain value: texts, rule lists and switches, no compiled state.
// default_config() gives the built-in defaults with the four environment
// overrides (read once per process); validate_config() is the check run
// before every execution.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "absl/container/inlined_vector.h"
#include "errors/core_error.h"

namespace plyfold {

enum class OperationMode { Flatten, Unflatten, Normal };

// Rule and token lists keep their first two entries inside the record.
using TextList = absl::InlinedVector<std::string, 2>;
using RuleList = absl::InlinedVector<std::pair<std::string, std::string>, 2>;

struct NullConversionConfig {
  TextList extra_tokens;
  bool operator==(const NullConversionConfig&) const = default;
};

struct BooleanConversionConfig {
  TextList extra_true_tokens;
  TextList extra_false_tokens;
  bool operator==(const BooleanConversionConfig&) const = default;
};

struct DateConversionConfig {
  bool normalize_to_utc = true;
  bool assume_utc_for_naive = true;
  bool operator==(const DateConversionConfig&) const = default;
};

struct NumberConversionConfig {
  bool currency = true;
  bool percent = true;
  bool basis_points = true;
  bool suffixes = true;
  bool fractions = true;
  bool radix = true;
  bool operator==(const NumberConversionConfig&) const = default;
};

struct ConversionSettings {
  bool convert_dates = false;
  DateConversionConfig date_conversion_config;
  bool convert_nulls = false;
  NullConversionConfig null_conversion_config;
  bool convert_booleans = false;
  BooleanConversionConfig boolean_conversion_config;
  bool convert_numbers = false;
  NumberConversionConfig number_conversion_config;
  bool operator==(const ConversionSettings&) const = default;
};

struct Config {
  std::optional<OperationMode> mode;
  std::string separator = ".";
  bool lowercase_keys = false;
  RuleList key_replacements;
  RuleList value_replacements;
  TextList key_exclusions;
  TextList value_exclusions;
  bool remove_empty_strings = false;
  bool remove_nulls = false;
  bool remove_empty_objects = false;
  bool remove_empty_arrays = false;
  bool handle_key_collision = false;
  ConversionSettings conversion;
  uint64_t parallel_threshold = 100;
  std::optional<uint64_t> num_threads;
  uint64_t nested_parallel_threshold = 100;
  uint64_t max_array_index = 100000;
  bool operator==(const Config&) const = default;
};

// Built-in defaults plus the PLYFOLD_* environment overrides.
Config default_config();

// Parses an environment value: optional single '+', then ASCII digits only,
// fitting 64 bits. Exposed for tests.
std::optional<uint64_t> parse_env_count(const char* value);

// The checks run before every execution: mode set, separator not empty,
// num_threads not 0. Returns the E005 error of the first failed check.
std::optional<CoreError> validate_config(const Config& config);

}  // namespace plyfold
