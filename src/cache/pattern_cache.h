// The process-wide store of compiled regular expressions.
//
// Expressions are looked up by their exact text through four levels: a fixed
// set of common expressions compiled once, a per-thread list of the 4 most
// recently added expressions, a per-thread map (pruned at 128 entries) and a
// shared map behind a reader-writer lock (bounded at 512 entries). Compiled
// expressions are immutable and shared: one evicted from a level stays valid
// for whoever still holds it, and matching from several threads is safe.
// An expression that does not compile is not remembered.
#pragma once

#include <re2/re2.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace plyfold {

using CompiledPattern = std::shared_ptr<const re2::RE2>;

// A compiled expression, or the engine's message when it does not compile.
struct PatternLookup {
  CompiledPattern pattern;
  std::string error;

  bool ok() const { return pattern != nullptr; }
};

class CompiledPatternCache {
 public:
  static constexpr size_t kRecentCapacity = 4;
  static constexpr size_t kThreadMapLimit = 128;
  static constexpr size_t kSharedMapLimit = 512;

  // The one cache of the process, created on first use.
  static CompiledPatternCache& instance();

  PatternLookup get(std::string_view expression);

  // Like get, without touching the shared reference count: the result stays
  // valid until the calling thread's next lookup. nullptr when the expression
  // does not compile.
  const re2::RE2* borrow(std::string_view expression);

  // Introspection for tests and benchmarks.
  bool is_common(std::string_view expression) const;
  bool shared_contains(std::string_view expression) const;
  size_t shared_size() const;
  static size_t thread_map_size();
  static bool recent_contains(std::string_view expression);

  CompiledPatternCache(const CompiledPatternCache&) = delete;
  CompiledPatternCache& operator=(const CompiledPatternCache&) = delete;

 private:
  CompiledPatternCache();
  ~CompiledPatternCache();

  // Finds or compiles expression; the result is left in the calling thread's
  // recent list or is a common pattern. Empty with the message on failure.
  const CompiledPattern* find_or_compile(std::string_view expression, std::string* error);

  struct State;
  std::unique_ptr<State> state_;
};

// Compiles expression through the process-wide cache.
PatternLookup get_compiled_pattern(std::string_view expression);

}  // namespace plyfold
