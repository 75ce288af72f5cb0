// Unflattens arbitrary bytes under configurations chosen by the first two
// bytes. Any input must give a result or a CoreError; a result must be valid
// JSON, an object unless the document was a bare scalar.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "batch/resolved_config.h"
#include "fuzz_switches.h"
#include "tape/json_value.h"
#include "unflatten/unflatten.h"

namespace {

plyfold::Config config_from(uint8_t switches, uint8_t more) {
  plyfold::Config config = plyfold::default_config();
  config.mode = plyfold::OperationMode::Unflatten;
  fuzzing::apply_cleaning_switches(config, switches);
  if (switches & 64) {
    config.value_replacements.push_back({"a", "\"b\\"});
    config.key_exclusions.push_back("x");
  }
  if (switches & 128) {
    fuzzing::convert_every_category(config);
    config.value_exclusions.push_back("1");
  }
  switch (more & 3) {
    case 0: break;
    case 1: config.separator = "::"; break;
    case 2: config.separator = "aa"; break;
    case 3: config.separator = "_"; break;
  }
  if (more & 4) config.key_replacements.push_back({"-", "."});
  if (more & 8) config.key_replacements.push_back({"r'([a-z])([0-9])'", "$1.$2"});
  config.max_array_index = (more & 16) ? 3 : 1000;
  return config;
}

bool starts_with_object(std::string_view text) {
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    return c == '{' || c == '[';
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  plyfold::Config config = config_from(data[0], data[1]);
  std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  plyfold::ResolvedConfig resolved(config);
  auto result = plyfold::unflatten_document(text, resolved);
  if (!result.ok()) return 0;
  // Embedded containers are copied verbatim, so only a valid document
  // promises a valid result.
  if (!plyfold::read_json_value(text).ok() && starts_with_object(text)) return 0;
  auto reread = plyfold::read_json_value(result.value());
  if (!reread.ok()) {
    // Keys build deeper documents than the reader's nesting limit allows.
    if (reread.error().message.rfind("Encountered nesting", 0) == 0) return 0;
    __builtin_trap();
  }
  if (starts_with_object(text) &&
      !std::holds_alternative<plyfold::JsonObject>(reread.value().data)) {
    __builtin_trap();
  }
  return 0;
}
