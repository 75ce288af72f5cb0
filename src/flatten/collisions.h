// Grouping of flat entries whose final keys are equal.
//
// Writes one member per distinct key, in order of first occurrence: a key
// seen once keeps its value; repeated keys become an array of their values
// (handle_key_collision on) or keep the last value (off).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plyfold {

// One flattened key with the complete JSON text of its value. Both views
// point into storage owned by the caller for the duration of the grouping.
struct FlatEntry {
  std::string_view key;
  std::string_view value;
};

// Writes the flat object of entries ("{}" when empty) into out.
void group_and_write(const std::vector<FlatEntry>& entries, bool handle_key_collision,
                     std::string& out);

}  // namespace plyfold
