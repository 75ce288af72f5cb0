// Applying the pattern rule lists to keys and values.
//
// A pattern written r'...' (at least 3 bytes) is a regular expression, any
// other pattern is literal text matched byte for byte. Rules never fail: an
// expression that does not compile makes its rule inert.
#pragma once

#include <string>
#include <string_view>

#include "builder/config.h"

namespace plyfold {

// Applies rules in order. Returns true when any rule replaced something; the
// rewritten text is then in out. When nothing changed, out is untouched and
// the caller keeps using text.
bool apply_replacement_rules(const RuleList& rules, std::string_view text, std::string& out);

// True when some pattern of the list matches text.
bool matches_any_pattern(const TextList& patterns, std::string_view text);

// True when pattern has the r'...' expression form; expression is the inner text.
bool is_expression_pattern(std::string_view pattern, std::string_view* expression = nullptr);

}  // namespace plyfold
