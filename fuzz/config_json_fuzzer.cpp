// Reads arbitrary bytes as a configuration text. Any input must give a
// Config or an error; a Config read from text must survive being written
// and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "builder/config_json.h"
#include "tape/json_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // Configuration texts always arrive as Python str, so as valid UTF-8.
  if (!plyfold::is_valid_utf8(text)) return 0;
  auto config = plyfold::read_config_json(text);
  if (!config.ok()) return 0;
  auto again = plyfold::read_config_json(plyfold::write_config_json(config.value()));
  if (!again.ok()) __builtin_trap();
  plyfold::Config expected = config.value();
  plyfold::Config actual = again.value();
  // An unset thread count is written as null and reads back as the default.
  if (!expected.num_threads) actual.num_threads = expected.num_threads;
  if (!(actual == expected)) __builtin_trap();
  return 0;
}
