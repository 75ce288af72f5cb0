// Flattens arbitrary bytes under configurations chosen by the first byte.
// Any input must give a result or a CoreError; an input that is valid JSON
// must flatten to valid JSON.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "batch/resolved_config.h"
#include "flatten/flatten.h"
#include "fuzz_switches.h"
#include "tape/json_value.h"

namespace {

plyfold::Config config_from(uint8_t switches) {
  plyfold::Config config = plyfold::default_config();
  config.mode = plyfold::OperationMode::Flatten;
  fuzzing::apply_cleaning_switches(config, switches);
  if (switches & 64) {
    config.separator = "::";
    config.value_replacements.push_back({"a", "\"b\\"});
    config.key_exclusions.push_back("x");
  }
  if (switches & 128) {
    fuzzing::convert_every_category(config);
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
