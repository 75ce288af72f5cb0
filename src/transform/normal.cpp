#include "transform/normal.h"

namespace plyfold {

// Placeholder until the engine lands.
Result<std::string> normal_document(std::string_view, const ResolvedConfig&) {
  return structure_error("not implemented");
}

}  // namespace plyfold
