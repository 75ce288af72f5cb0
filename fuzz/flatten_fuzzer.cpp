// Flattens arbitrary bytes under configurations chosen by the first byte.
// Any input must give a result or a CoreError; an input that is valid JSON
// must flatten to valid JSON.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "batch/resolved_config.h"
#include "flatten/flatten.h"
#include "tape/json_value.h"

namespace {

plyfold::Config config_from(uint8_t switches) {
  plyfold::Config config = plyfold::default_config();
  config.mode = plyfold::OperationMode::Flatten;
  config.remove_empty_strings = switches & 1;
  config.remove_nulls = switches & 2;
  config.remove_empty_objects = switches & 4;
  config.remove_empty_arrays = switches & 8;
  config.lowercase_keys = switches & 16;
  config.handle_key_collision = switches & 32;
  if (switches & 64) {
    config.separator = "::";
    config.value_replacements.push_back({"a", "\"b\\"});
    config.key_exclusions.push_back("x");
  }
  if (switches & 128) {
    config.conversion.convert_nulls = config.conversion.convert_booleans = true;
    config.conversion.convert_numbers = config.conversion.convert_dates = true;
    config.value_exclusions.push_back("1");
  }
  return config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  plyfold::Config config = config_from(data[0]);
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  plyfold::ResolvedConfig resolved(config);
  auto result = plyfold::flatten_document(text, resolved);
  if (result.ok() && plyfold::read_json_value(text).ok()) {
    if (!plyfold::read_json_value(result.value()).ok()) __builtin_trap();
  }
  return 0;
}
