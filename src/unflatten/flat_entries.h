// Reading the members of a flat object into FlatEntry records.
//
// Keys come out decoded, lowercased if configured and with the key
// replacements applied; excluded keys are dropped. Values are complete JSON
// texts: a slice of the document when no rule touched them (embedded
// objects and arrays verbatim), else a text held in the arena. No value
// filter applies here: unflatten filters when it writes the tree.
#pragma once

#include <string_view>
#include <vector>

#include "batch/resolved_config.h"
#include "flatten/collisions.h"
#include "tape/tape.h"
#include "unflatten/text_arena.h"

namespace plyfold {

// Appends the entries of the root object (tape token 0 must be an ObjectStart).
void collect_flat_entries(std::string_view text, const StructuralTape& tape,
                          const ResolvedConfig& resolved, TextArena& arena,
                          std::vector<FlatEntry>& entries);

}  // namespace plyfold
