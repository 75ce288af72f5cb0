// Normal mode: the cleaning rules applied without changing the nesting.
#pragma once

#include <string>
#include <string_view>

#include "batch/resolved_config.h"
#include "errors/core_error.h"

namespace plyfold {

Result<std::string> normal_document(std::string_view text, const ResolvedConfig& config);

}  // namespace plyfold
