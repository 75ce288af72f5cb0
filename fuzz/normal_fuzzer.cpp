// Cleans arbitrary bytes in normal mode under configurations chosen by the
// first byte. Any input must give a result or a CoreError. For input that is
// valid JSON the result must be valid JSON; without rules it must hold the
// same value; and with only filters, lowercasing and collisions a second pass
// must change nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "batch/resolved_config.h"
#include "fuzz_switches.h"
#include "tape/json_value.h"
#include "transform/normal.h"

namespace {

constexpr uint8_t kKeyRules = 64;
constexpr uint8_t kValueRules = 128;

plyfold::Config config_from(uint8_t switches) {
  plyfold::Config config = plyfold::default_config();
  config.mode = plyfold::OperationMode::Normal;
  fuzzing::apply_cleaning_switches(config, switches);
  if (switches & kKeyRules) {
    config.key_replacements.push_back({"a", ""});
    config.key_replacements.push_back({"r'^(b+)'", "${1}\"\\\n"});
    config.key_exclusions.push_back("x");
  }
  if (switches & kValueRules) {
    config.value_replacements.push_back({"a", "\"b\\"});
    config.value_replacements.push_back({"r'c$'", ""});
    config.value_exclusions.push_back("1");
    fuzzing::convert_every_category(config);
  }
  return config;
}

std::string normal_or_trap(std::string_view text, const plyfold::ResolvedConfig& resolved) {
  auto result = plyfold::normal_document(text, resolved);
  if (!result.ok()) __builtin_trap();
  return std::move(result.value());
}

std::string canonical(const plyfold::JsonValue& value) {
  std::string out;
  plyfold::write_json_value(out, value);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t switches = data[0];
  plyfold::Config config = config_from(switches);
  plyfold::ResolvedConfig resolved(config);
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  auto result = plyfold::normal_document(text, resolved);
  auto input = plyfold::read_json_value(text);
  if (!input.ok()) return 0;

  // Valid JSON in: a result, and valid JSON out.
  if (!result.ok()) __builtin_trap();
  const std::string& out = result.value();
  auto output = plyfold::read_json_value(out);
  if (!output.ok()) __builtin_trap();

  if (switches == 0 && canonical(input.value()) != canonical(output.value())) __builtin_trap();
  if ((switches & (kKeyRules | kValueRules)) == 0 && normal_or_trap(out, resolved) != out) {
    __builtin_trap();
  }
  return 0;
}
