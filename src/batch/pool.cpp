#include "batch/pool.h"

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <exception>
#include <string>
#include <thread>

namespace plyfold {
namespace {

// A dedicated pool larger than this is refused rather than built: beyond it
// thread creation alone would swamp any machine.
constexpr uint64_t kMaxDedicatedThreads = 4096;

std::string pool_error_message(uint64_t threads, const std::string& reason) {
  return "failed to build thread pool with " + std::to_string(threads) + " threads: " + reason;
}

}  // namespace

uint64_t pool_thread_count(std::optional<uint64_t> num_threads) {
  if (num_threads) return *num_threads;
  unsigned cpus = std::thread::hardware_concurrency();
  return cpus == 0 ? 4 : cpus;
}

std::optional<CoreError> run_in_pool(std::optional<uint64_t> num_threads,
                                     const std::function<void()>& work) {
  if (!num_threads) {
    work();
    return std::nullopt;
  }
  const uint64_t k = *num_threads;
  if (k > kMaxDedicatedThreads) {
    return config_error(pool_error_message(
        k, "thread count exceeds the limit of " + std::to_string(kMaxDedicatedThreads)));
  }
  const int threads = static_cast<int>(k);
  // The scheduler caps workers at the machine's concurrency and says so on
  // stderr when an arena asks for more; raising the cap for the life of the
  // dedicated pool gives it its k threads silently.
  const size_t cap = std::max<size_t>(
      k, tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism));
  std::optional<tbb::global_control> raise_cap;
  try {
    raise_cap.emplace(tbb::global_control::max_allowed_parallelism, cap);
    tbb::task_arena arena(threads, 1);
    arena.initialize();
    arena.execute(work);
  } catch (const std::system_error& e) {
    return config_error(pool_error_message(k, e.what()));
  }
  return std::nullopt;
}

}  // namespace plyfold
