// The execution driver: validates a configuration and runs its mode over one
// document or a batch, sequentially or on the oneTBB pool, results in input
// order. Never touches Python objects; callers release the interpreter lock.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "builder/config.h"
#include "errors/core_error.h"

namespace plyfold {

// The result of a run: Single (one text) or Multiple (texts in input order).
struct JsonOutput {
  std::variant<std::string, std::vector<std::string>> texts;
  bool is_single() const { return texts.index() == 0; }
};

Result<JsonOutput> validate_and_run(const Config& config, std::string_view document);
Result<JsonOutput> validate_and_run(const Config& config,
                                    const std::vector<std::string_view>& batch);

}  // namespace plyfold
