// The configuration text: a Config written as one compact JSON object of 25
// members, and read back by a strict reader of its own.
//
// The reader accepts hand-written texts: any member may be missing (the
// default_config() value stays), null is accepted where the format allows
// it, and the record and its four nested conversion records may also be
// given as arrays of their values in member order. Faults in the text are
// E007 errors "invalid config JSON: <reason> at line L column C"; a mode
// name other than flatten, unflatten and normal is an E005 error.
#pragma once

#include <string>
#include <string_view>

#include "builder/config.h"
#include "errors/core_error.h"

namespace plyfold {

// The compact configuration text of `config`, members in the fixed order.
std::string write_config_json(const Config& config);

// Reads a configuration text on top of default_config().
Result<Config> read_config_json(std::string_view text);

}  // namespace plyfold
