#include "batch/driver.h"

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>

#include <atomic>
#include <mutex>

#include "batch/pool.h"
#include "batch/resolved_config.h"
#include "flatten/flatten.h"
#include "transform/normal.h"
#include "unflatten/unflatten.h"

namespace plyfold {
namespace {

Result<std::string> run_document(std::string_view text, const ResolvedConfig& resolved) {
  switch (*resolved.config.mode) {
    case OperationMode::Flatten: return flatten_document(text, resolved);
    case OperationMode::Unflatten: return unflatten_document(text, resolved);
    case OperationMode::Normal: return normal_document(text, resolved);
  }
  return config_error("Operation mode not set");
}

Result<JsonOutput> run_sequential(const std::vector<std::string_view>& batch,
                                  const ResolvedConfig& resolved) {
  std::vector<std::string> results;
  results.reserve(batch.size());
  for (size_t i = 0; i < batch.size(); ++i) {
    Result<std::string> result = run_document(batch[i], resolved);
    if (!result) return batch_item_error(i, std::move(result.error()));
    results.push_back(std::move(result.value()));
  }
  return JsonOutput{std::move(results)};
}

// First failure of a parallel batch; later failures are ignored.
class FailureRecord {
 public:
  void record(size_t index, CoreError error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!error_) error_ = batch_item_error(index, std::move(error));
    failed_.store(true, std::memory_order_relaxed);
  }
  bool failed() const { return failed_.load(std::memory_order_relaxed); }
  std::optional<CoreError> take() { return std::move(error_); }

 private:
  std::mutex mutex_;
  std::atomic<bool> failed_{false};
  std::optional<CoreError> error_;
};

Result<JsonOutput> run_parallel(const std::vector<std::string_view>& batch,
                                const ResolvedConfig& resolved) {
  std::vector<std::string> results(batch.size());
  FailureRecord failure;
  auto work = [&] {
    tbb::parallel_for(tbb::blocked_range<size_t>(0, batch.size(), 1),
                      [&](const tbb::blocked_range<size_t>& range) {
                        for (size_t i = range.begin(); i != range.end(); ++i) {
                          if (failure.failed()) return;
                          Result<std::string> result = run_document(batch[i], resolved);
                          if (!result) {
                            failure.record(i, std::move(result.error()));
                            return;
                          }
                          results[i] = std::move(result.value());
                        }
                      });
  };
  if (auto pool_error = run_in_pool(resolved.config.num_threads, work)) {
    return std::move(*pool_error);
  }
  if (auto error = failure.take()) return std::move(*error);
  return JsonOutput{std::move(results)};
}

}  // namespace

Result<JsonOutput> validate_and_run(const Config& config, std::string_view document) {
  if (auto invalid = validate_config(config)) return std::move(*invalid);
  ResolvedConfig resolved(config);
  Result<std::string> result = run_document(document, resolved);
  if (!result) return std::move(result.error());
  return JsonOutput{std::move(result.value())};
}

Result<JsonOutput> validate_and_run(const Config& config,
                                    const std::vector<std::string_view>& batch) {
  if (auto invalid = validate_config(config)) return std::move(*invalid);
  ResolvedConfig resolved(config);
  if (batch.size() < config.parallel_threshold) return run_sequential(batch, resolved);
  return run_parallel(batch, resolved);
}

}  // namespace plyfold
