#include "builder/config.h"

#include <cstdlib>
#include <mutex>

#include "tape/json_text.h"

namespace plyfold {
namespace {

struct EnvironmentDefaults {
  uint64_t parallel_threshold = 100;
  uint64_t nested_parallel_threshold = 100;
  uint64_t max_array_index = 100000;
  std::optional<uint64_t> num_threads;
};

std::optional<uint64_t> read_env_count(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !is_valid_utf8(std::string_view(value))) return std::nullopt;
  return parse_env_count(value);
}

const EnvironmentDefaults& environment_defaults() {
  static const EnvironmentDefaults defaults = [] {
    EnvironmentDefaults d;
    if (auto v = read_env_count("PLYFOLD_PARALLEL_THRESHOLD")) d.parallel_threshold = *v;
    if (auto v = read_env_count("PLYFOLD_NESTED_PARALLEL_THRESHOLD"))
      d.nested_parallel_threshold = *v;
    if (auto v = read_env_count("PLYFOLD_MAX_ARRAY_INDEX")) d.max_array_index = *v;
    d.num_threads = read_env_count("PLYFOLD_NUM_THREADS");
    return d;
  }();
  return defaults;
}

}  // namespace

std::optional<uint64_t> parse_env_count(const char* value) {
  std::string_view text(value);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (result > (UINT64_MAX - digit) / 10) return std::nullopt;
    result = result * 10 + digit;
  }
  return result;
}

Config default_config() {
  const EnvironmentDefaults& env = environment_defaults();
  Config config;
  config.parallel_threshold = env.parallel_threshold;
  config.nested_parallel_threshold = env.nested_parallel_threshold;
  config.max_array_index = env.max_array_index;
  config.num_threads = env.num_threads;
  return config;
}

std::optional<CoreError> validate_config(const Config& config) {
  if (!config.mode) {
    return config_error(
        "Operation mode not set. Call .flatten(), .unflatten(), or .normal() "
        "before .execute()");
  }
  if (config.separator.empty()) {
    return config_error(
        "Separator cannot be empty. Use .separator(\".\") or another "
        "non-empty string");
  }
  if (config.num_threads && *config.num_threads == 0) {
    return config_error("num_threads must be at least 1. Use None for system default");
  }
  return std::nullopt;
}

}  // namespace plyfold
