// The builder methods: each converts its arguments (all of them, before the
// configuration lock is taken), then changes its fields of the record under
// the lock and returns the object itself.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "python/arguments.h"
#include "python/plyfold_methods.h"
#include "python/plyfold_type.h"

namespace plyfold::python {
namespace {

using Values = PyObject* [kMaxParameters];

PyObject* set_mode(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   const ParameterList& parameters, OperationMode mode) {
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  return change_config(self, [mode](Config& config) { config.mode = mode; });
}

// A builder with one required boolean `parameter` stored in config.*field.
PyObject* set_switch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     const ParameterList& parameters, bool Config::*field) {
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  bool value = false;
  if (!convert_bool(values[0], parameters.names[0], value)) return nullptr;
  return change_config(self, [field, value](Config& config) { config.*field = value; });
}

// A builder with one required count stored in config.*field.
PyObject* set_count(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    const ParameterList& parameters, uint64_t Config::*field) {
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  uint64_t value = 0;
  if (!convert_count(values[0], parameters.names[0], value)) return nullptr;
  return change_config(self, [field, value](Config& config) { config.*field = value; });
}

// A builder that appends a (find, replace) pair to config.*rules.
PyObject* add_rule(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   const ParameterList& parameters, RuleList Config::*rules) {
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  std::string_view find;
  std::string_view replace;
  if (!convert_text(values[0], "find", find)) return nullptr;
  if (!convert_text(values[1], "replace", replace)) return nullptr;
  std::pair<std::string, std::string> rule{std::string(find), std::string(replace)};
  return change_config(
      self, [rules, &rule](Config& config) { (config.*rules).push_back(std::move(rule)); });
}

// A builder that appends a pattern to config.*patterns.
PyObject* add_pattern(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      const ParameterList& parameters, TextList Config::*patterns) {
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  std::string_view pattern;
  if (!convert_text(values[0], "pattern", pattern)) return nullptr;
  std::string stored(pattern);
  return change_config(self, [patterns, &stored](Config& config) {
    (config.*patterns).push_back(std::move(stored));
  });
}

}  // namespace

PyObject* plyfold_flatten(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.flatten()", {}, 0};
  return set_mode(self, args, nargs, kwnames, parameters, OperationMode::Flatten);
}

PyObject* plyfold_unflatten(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.unflatten()", {}, 0};
  return set_mode(self, args, nargs, kwnames, parameters, OperationMode::Unflatten);
}

PyObject* plyfold_normal(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.normal()", {}, 0};
  return set_mode(self, args, nargs, kwnames, parameters, OperationMode::Normal);
}

PyObject* plyfold_separator(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.separator()", {"separator"}, 1};
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  std::string_view separator;
  if (!convert_text(values[0], "separator", separator)) return nullptr;
  if (separator.empty()) {
    PyErr_SetString(PyExc_ValueError, "Separator cannot be empty");
    return nullptr;
  }
  std::string stored(separator);
  return change_config(self, [&stored](Config& config) { config.separator = std::move(stored); });
}

PyObject* plyfold_lowercase_keys(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.lowercase_keys()", {"value"}, 1};
  return set_switch(self, args, nargs, kwnames, parameters, &Config::lowercase_keys);
}

PyObject* plyfold_remove_empty_strings(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.remove_empty_strings()", {"value"}, 1};
  return set_switch(self, args, nargs, kwnames, parameters, &Config::remove_empty_strings);
}

PyObject* plyfold_remove_nulls(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.remove_nulls()", {"value"}, 1};
  return set_switch(self, args, nargs, kwnames, parameters, &Config::remove_nulls);
}

PyObject* plyfold_remove_empty_objects(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.remove_empty_objects()", {"value"}, 1};
  return set_switch(self, args, nargs, kwnames, parameters, &Config::remove_empty_objects);
}

PyObject* plyfold_remove_empty_arrays(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                      PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.remove_empty_arrays()", {"value"}, 1};
  return set_switch(self, args, nargs, kwnames, parameters, &Config::remove_empty_arrays);
}

PyObject* plyfold_handle_key_collision(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.handle_key_collision()", {"value"}, 1};
  return set_switch(self, args, nargs, kwnames, parameters, &Config::handle_key_collision);
}

PyObject* plyfold_key_replacement(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.key_replacement()", {"find", "replace"}, 2};
  return add_rule(self, args, nargs, kwnames, parameters, &Config::key_replacements);
}

PyObject* plyfold_value_replacement(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.value_replacement()", {"find", "replace"}, 2};
  return add_rule(self, args, nargs, kwnames, parameters, &Config::value_replacements);
}

PyObject* plyfold_exclude_key(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.exclude_key()", {"pattern"}, 1};
  return add_pattern(self, args, nargs, kwnames, parameters, &Config::key_exclusions);
}

PyObject* plyfold_exclude_value(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.exclude_value()", {"pattern"}, 1};
  return add_pattern(self, args, nargs, kwnames, parameters, &Config::value_exclusions);
}

PyObject* plyfold_auto_convert_types(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.auto_convert_types()", {"enable"}, 1};
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  bool enable = false;
  if (!convert_bool(values[0], "enable", enable)) return nullptr;
  return change_config(self, [enable](Config& config) {
    config.conversion.convert_nulls = enable;
    config.conversion.convert_booleans = enable;
    config.conversion.convert_dates = enable;
    config.conversion.convert_numbers = enable;
  });
}

PyObject* plyfold_convert_dates(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
  static const ParameterList parameters{
      "Plyfold.convert_dates()", {"enable", "normalize_to_utc", "assume_utc_for_naive"}, 1};
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  bool enable = false;
  std::optional<bool> normalize_to_utc;
  std::optional<bool> assume_utc_for_naive;
  if (!convert_bool(values[0], "enable", enable) ||
      !convert_optional_bool(values[1], "normalize_to_utc", normalize_to_utc) ||
      !convert_optional_bool(values[2], "assume_utc_for_naive", assume_utc_for_naive)) {
    return nullptr;
  }
  return change_config(self, [&](Config& config) {
    ConversionSettings& conversion = config.conversion;
    conversion.convert_dates = enable;
    if (normalize_to_utc) conversion.date_conversion_config.normalize_to_utc = *normalize_to_utc;
    if (assume_utc_for_naive) {
      conversion.date_conversion_config.assume_utc_for_naive = *assume_utc_for_naive;
    }
  });
}

PyObject* plyfold_convert_nulls(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.convert_nulls()", {"enable", "extra_tokens"}, 1};
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  bool enable = false;
  std::optional<TextList> extra_tokens;
  if (!convert_bool(values[0], "enable", enable) ||
      !convert_optional_text_list(values[1], "extra_tokens", extra_tokens)) {
    return nullptr;
  }
  return change_config(self, [&](Config& config) {
    config.conversion.convert_nulls = enable;
    if (extra_tokens) {
      config.conversion.null_conversion_config.extra_tokens = std::move(*extra_tokens);
    }
  });
}

PyObject* plyfold_convert_booleans(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  static const ParameterList parameters{
      "Plyfold.convert_booleans()", {"enable", "extra_true_tokens", "extra_false_tokens"}, 1};
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  bool enable = false;
  std::optional<TextList> true_tokens;
  std::optional<TextList> false_tokens;
  if (!convert_bool(values[0], "enable", enable) ||
      !convert_optional_text_list(values[1], "extra_true_tokens", true_tokens) ||
      !convert_optional_text_list(values[2], "extra_false_tokens", false_tokens)) {
    return nullptr;
  }
  return change_config(self, [&](Config& config) {
    BooleanConversionConfig& booleans = config.conversion.boolean_conversion_config;
    config.conversion.convert_booleans = enable;
    if (true_tokens) booleans.extra_true_tokens = std::move(*true_tokens);
    if (false_tokens) booleans.extra_false_tokens = std::move(*false_tokens);
  });
}

PyObject* plyfold_convert_numbers(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  static const ParameterList parameters{
      "Plyfold.convert_numbers()",
      {"enable", "currency", "percent", "basis_points", "suffixes", "fractions", "radix"},
      1};
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  bool enable = false;
  if (!convert_bool(values[0], "enable", enable)) return nullptr;
  std::optional<bool> formats[6];
  for (size_t i = 0; i < 6; ++i) {
    if (!convert_optional_bool(values[i + 1], parameters.names[i + 1], formats[i])) return nullptr;
  }
  return change_config(self, [&](Config& config) {
    NumberConversionConfig& numbers = config.conversion.number_conversion_config;
    bool* targets[6] = {&numbers.currency, &numbers.percent,   &numbers.basis_points,
                        &numbers.suffixes, &numbers.fractions, &numbers.radix};
    config.conversion.convert_numbers = enable;
    for (size_t i = 0; i < 6; ++i) {
      if (formats[i]) *targets[i] = *formats[i];
    }
  });
}

PyObject* plyfold_parallel_threshold(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.parallel_threshold()", {"threshold"}, 1};
  return set_count(self, args, nargs, kwnames, parameters, &Config::parallel_threshold);
}

PyObject* plyfold_nested_parallel_threshold(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                            PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.nested_parallel_threshold()", {"threshold"}, 1};
  return set_count(self, args, nargs, kwnames, parameters, &Config::nested_parallel_threshold);
}

PyObject* plyfold_max_array_index(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.max_array_index()", {"max"}, 1};
  return set_count(self, args, nargs, kwnames, parameters, &Config::max_array_index);
}

PyObject* plyfold_num_threads(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.num_threads()", {"num_threads"}, 1};
  Values values;
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  std::optional<uint64_t> threads;
  if (!convert_optional_count(values[0], "num_threads", threads)) return nullptr;
  return change_config(self, [threads](Config& config) { config.num_threads = threads; });
}

}  // namespace plyfold::python
