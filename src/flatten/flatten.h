// Flatten: one nested JSON document to one flat object with joined keys.
#pragma once

#include <string>
#include <string_view>

#include "batch/resolved_config.h"
#include "errors/core_error.h"

namespace plyfold {

Result<std::string> flatten_document(std::string_view text, const ResolvedConfig& config);

}  // namespace plyfold
