// Normal mode: the cleaning rules applied without changing the nesting.
//
// normal_document keeps every object and array where it is and rewrites keys
// member by member (replacement, Unicode lowercasing, exclusion, optional
// grouping of equal keys into arrays) and values in place (replacement,
// conversion, filters, exclusion). Filters cascade: a container emptied by
// them is dropped in turn, except the root. Untouched text is copied as is.
// Empty or whitespace-only text comes back unchanged, and a bare scalar is
// passed through without validation.
#pragma once

#include <string>
#include <string_view>

#include "batch/resolved_config.h"
#include "errors/core_error.h"

namespace plyfold {

Result<std::string> normal_document(std::string_view text, const ResolvedConfig& config);

}  // namespace plyfold
