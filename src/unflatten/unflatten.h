// Unflatten: one flat JSON object with joined keys to the nested document.
#pragma once

#include <string>
#include <string_view>

#include "batch/resolved_config.h"
#include "errors/core_error.h"

namespace plyfold {

Result<std::string> unflatten_document(std::string_view text, const ResolvedConfig& config);

}  // namespace plyfold
