// Where parallel work runs: the process-wide oneTBB pool, or a dedicated
// pool of exactly k threads built for one call and shut down after it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "errors/core_error.h"

namespace plyfold {

// Runs work inside the chosen pool and waits for it. Parallel algorithms
// called from work use that pool. Fails (E005) only when a dedicated pool
// cannot be built; work then does not run.
std::optional<CoreError> run_in_pool(std::optional<uint64_t> num_threads,
                                     const std::function<void()>& work);

// Threads a split may use: num_threads when set, else the logical CPUs.
uint64_t pool_thread_count(std::optional<uint64_t> num_threads);

}  // namespace plyfold
