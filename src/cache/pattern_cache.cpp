#include "cache/pattern_cache.h"

#include <absl/container/flat_hash_map.h>
#include <absl/strings/string_view.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <vector>

#include "cache/expression_syntax.h"

namespace plyfold {

namespace {

struct CommonPattern {
  std::string_view expression;
  std::string_view description;
};

// Expressions common in key and value rules, compiled once per process.
constexpr std::array<CommonPattern, 64> kCommonPatterns = {{
    {R"(\s+)", "Multiple whitespace"},
    {R"(^\s+|\s+$)", "Leading or trailing whitespace"},
    {R"(\s)", "Single whitespace"},
    {R"(\n+)", "Line feeds"},
    {R"(\r\n)", "Windows line ending"},
    {R"([^\w\s])", "Punctuation and symbols"},
    {R"([^a-zA-Z0-9])", "Non-alphanumeric"},
    {R"([^a-zA-Z0-9_])", "Non-identifier character"},
    {R"([^a-zA-Z0-9_-])", "Non-slug character"},
    {R"([A-Z])", "Upper-case letter"},
    {R"([a-z])", "Lower-case letter"},
    {R"(\d+)", "Digits"},
    {R"(_+)", "Underscores"},
    {R"(-+)", "Hyphens"},
    {R"(\.+)", "Dots"},
    {R"(@)", "At sign"},
    {R"(\.)", "Dot"},
    {R"(://)", "Scheme separator"},
    {R"(https?://)", "HTTP scheme"},
    {R"(\d{4}-\d{2}-\d{2})", "ISO date"},
    {R"(\d{2}:\d{2}:\d{2})", "Time of day"},
    {R"(\d{4}/\d{2}/\d{2})", "Year-first slashed date"},
    {R"(\d{2}/\d{2}/\d{4})", "Year-last slashed date"},
    {R"([0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12})", "UUID"},
    {R"([0-9a-fA-F]{32})", "Hex digest"},
    {R"(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})", "IPv4 address"},
    {R"(([0-9a-fA-F]{1,4}:){7}[0-9a-fA-F]{1,4})", "IPv6 address"},
    {R"([a-z]+([A-Z][a-z]+)*)", "camelCase word"},
    {R"([a-z]+(_[a-z]+)*)", "snake_case word"},
    {R"([a-z]+(-[a-z]+)*)", "kebab-case word"},
    {R"([A-Z]+([A-Z][a-z]+)*)", "PascalCase word"},
    {R"(\$\d+(\.\d{2})?)", "Dollar amount"},
    {R"(€\d+(\.\d{2})?)", "Euro amount"},
    {R"(£\d+(\.\d{2})?)", "Pound amount"},
    {R"(\d+(\.\d{2})?\s*(USD|EUR|GBP))", "Amount with currency code"},
    {R"(\d+\.\d+\.\d+)", "Version triple"},
    {R"(v\d+\.\d+)", "Version tag"},
    {R"(\.\w+$)", "File extension"},
    {R"(/[^/]+)", "Path segment"},
    {R"(\\[^\\]+)", "Windows path segment"},
    {R"(\[.*?\])", "Bracketed text"},
    {R"(\{.*?\})", "Braced text"},
    {R"(\(.*?\))", "Parenthesised text"},
    {R"(".*?")", "Double-quoted text"},
    {R"('.*?')", "Single-quoted text"},
    {R"(^(user|admin)_)", "Leading user or admin prefix"},
    {R"(^(User|Admin)_)", "Leading User or Admin prefix"},
    {R"((user|admin)_)", "User or admin prefix"},
    {R"((User|Admin)_)", "User or Admin prefix"},
    {R"(@example\.com)", "Example mail domain"},
    {R"(@example\.org)", "Example mail domain"},
    {R"(@example\.net)", "Example mail domain"},
    {R"(@mail\.example\.com)", "Example mail domain"},
    {R"(_id$)", "Identifier suffix"},
    {R"(_ids$)", "Identifier list suffix"},
    {R"(^id_)", "Identifier prefix"},
    {R"(_at$)", "Timestamp suffix"},
    {R"(_on$)", "Date suffix"},
    {R"(^created_)", "Creation prefix"},
    {R"(^updated_)", "Update prefix"},
    {R"(^deleted_)", "Deletion prefix"},
    {R"(^is_)", "Boolean prefix"},
    {R"(^has_)", "Possession prefix"},
    {R"(^can_)", "Permission prefix"},
}};

// Access stamps: one process-wide counter, so no two stamps are equal.
std::atomic<uint64_t> stamp_counter{0};

// The maps hash absl's string view, which this build keeps distinct from the
// standard one.
absl::string_view map_key(std::string_view text) { return {text.data(), text.size()}; }

uint64_t next_stamp() { return stamp_counter.fetch_add(1, std::memory_order_relaxed) + 1; }

PatternLookup compile_expression(std::string_view expression) {
  re2::RE2::Options options;  // UTF-8, leftmost-first, case-sensitive
  options.set_log_errors(false);
  auto compiled = std::make_shared<const re2::RE2>(to_engine_syntax(expression), options);
  if (!compiled->ok()) return {nullptr, compiled->error()};
  return {std::move(compiled), {}};
}

struct RecentEntry {
  std::string expression;
  CompiledPattern pattern;
};

struct ThreadEntry {
  CompiledPattern pattern;
  uint64_t stamp = 0;
};

// The two levels private to one thread.
struct ThreadLevels {
  std::array<RecentEntry, CompiledPatternCache::kRecentCapacity> recent;
  size_t recent_count = 0;
  size_t recent_oldest = 0;
  absl::flat_hash_map<std::string, ThreadEntry> map;

  const CompiledPattern* find_recent(std::string_view expression) const {
    for (size_t i = 0; i < recent_count; ++i) {
      if (recent[i].expression == expression) return &recent[i].pattern;
    }
    return nullptr;
  }

  // First in, first out; an expression already listed stays where it is.
  const CompiledPattern* add_recent(std::string_view expression, const CompiledPattern& pattern) {
    if (const CompiledPattern* listed = find_recent(expression)) return listed;
    size_t slot = recent_count;
    if (recent_count < recent.size()) {
      ++recent_count;
    } else {
      slot = recent_oldest;
      recent_oldest = (recent_oldest + 1) % recent.size();
    }
    recent[slot].expression.assign(expression);
    recent[slot].pattern = pattern;
    return &recent[slot].pattern;
  }

  // At the limit, drops every entry used less recently than the median.
  void add_to_map(std::string_view expression, const CompiledPattern& pattern) {
    if (map.size() >= CompiledPatternCache::kThreadMapLimit) prune_map();
    ThreadEntry& entry = map[map_key(expression)];
    entry.pattern = pattern;
    entry.stamp = next_stamp();
  }

  void prune_map() {
    std::vector<uint64_t> stamps;
    stamps.reserve(map.size());
    for (const auto& [expression, entry] : map) stamps.push_back(entry.stamp);
    auto middle = stamps.begin() + static_cast<std::ptrdiff_t>(stamps.size() / 2);
    std::nth_element(stamps.begin(), middle, stamps.end());
    const uint64_t median = *middle;
    absl::erase_if(map, [median](const auto& item) { return item.second.stamp < median; });
  }
};

thread_local ThreadLevels thread_levels;

struct SharedEntry {
  explicit SharedEntry(CompiledPattern compiled) : pattern(std::move(compiled)) {}

  CompiledPattern pattern;
  std::atomic<uint64_t> stamp{next_stamp()};
};

}  // namespace

struct CompiledPatternCache::State {
  absl::flat_hash_map<std::string, CompiledPattern> common;
  mutable std::shared_mutex shared_lock;
  absl::flat_hash_map<std::string, std::unique_ptr<SharedEntry>> shared;

  void evict_least_recent_shared() {
    auto victim = shared.end();
    uint64_t smallest = UINT64_MAX;
    for (auto it = shared.begin(); it != shared.end(); ++it) {
      uint64_t stamp = it->second->stamp.load(std::memory_order_relaxed);
      if (stamp < smallest) {
        smallest = stamp;
        victim = it;
      }
    }
    if (victim != shared.end()) shared.erase(victim);
  }
};

CompiledPatternCache::CompiledPatternCache() : state_(std::make_unique<State>()) {
  state_->common.reserve(kCommonPatterns.size());
  for (const CommonPattern& common : kCommonPatterns) {
    PatternLookup compiled = compile_expression(common.expression);
    if (compiled.ok())
      state_->common.emplace(map_key(common.expression), std::move(compiled.pattern));
  }
}

CompiledPatternCache::~CompiledPatternCache() = default;

CompiledPatternCache& CompiledPatternCache::instance() {
  // Never destroyed: worker threads may still look up patterns while the
  // process exits.
  static CompiledPatternCache* cache = new CompiledPatternCache();
  return *cache;
}

const CompiledPattern* CompiledPatternCache::find_or_compile(std::string_view expression,
                                                             std::string* error) {
  ThreadLevels& local = thread_levels;
  // The recent list never holds a common pattern, so checking it first
  // changes no result and spares the hash in the usual case.
  if (const CompiledPattern* recent = local.find_recent(expression)) return recent;
  if (auto common = state_->common.find(map_key(expression)); common != state_->common.end()) {
    return &common->second;
  }
  if (auto hit = local.map.find(map_key(expression)); hit != local.map.end()) {
    hit->second.stamp = next_stamp();
    return local.add_recent(expression, hit->second.pattern);
  }

  CompiledPattern found;
  {
    std::shared_lock read(state_->shared_lock);
    if (auto hit = state_->shared.find(map_key(expression)); hit != state_->shared.end()) {
      hit->second->stamp.store(next_stamp(), std::memory_order_relaxed);
      found = hit->second->pattern;
    }
  }
  if (found) {
    local.add_to_map(expression, found);
    return local.add_recent(expression, found);
  }

  PatternLookup compiled = compile_expression(expression);
  if (!compiled.ok()) {
    if (error != nullptr) *error = std::move(compiled.error);
    return nullptr;
  }
  {
    std::unique_lock write(state_->shared_lock);
    if (auto hit = state_->shared.find(map_key(expression)); hit != state_->shared.end()) {
      // Another thread stored it meanwhile: keep a single entry.
      hit->second->stamp.store(next_stamp(), std::memory_order_relaxed);
      found = hit->second->pattern;
      write.unlock();
      return local.add_recent(expression, found);
    }
    if (state_->shared.size() >= kSharedMapLimit) state_->evict_least_recent_shared();
    state_->shared.emplace(map_key(expression), std::make_unique<SharedEntry>(compiled.pattern));
  }
  local.add_to_map(expression, compiled.pattern);
  return local.add_recent(expression, compiled.pattern);
}

PatternLookup CompiledPatternCache::get(std::string_view expression) {
  PatternLookup lookup;
  if (const CompiledPattern* pattern = find_or_compile(expression, &lookup.error)) {
    lookup.pattern = *pattern;
  }
  return lookup;
}

const re2::RE2* CompiledPatternCache::borrow(std::string_view expression) {
  const CompiledPattern* pattern = find_or_compile(expression, nullptr);
  return pattern == nullptr ? nullptr : pattern->get();
}

bool CompiledPatternCache::is_common(std::string_view expression) const {
  return state_->common.contains(map_key(expression));
}

bool CompiledPatternCache::shared_contains(std::string_view expression) const {
  std::shared_lock read(state_->shared_lock);
  return state_->shared.contains(map_key(expression));
}

size_t CompiledPatternCache::shared_size() const {
  std::shared_lock read(state_->shared_lock);
  return state_->shared.size();
}

size_t CompiledPatternCache::thread_map_size() { return thread_levels.map.size(); }

bool CompiledPatternCache::recent_contains(std::string_view expression) {
  return thread_levels.find_recent(expression) != nullptr;
}

PatternLookup get_compiled_pattern(std::string_view expression) {
  return CompiledPatternCache::instance().get(expression);
}

}  // namespace plyfold
