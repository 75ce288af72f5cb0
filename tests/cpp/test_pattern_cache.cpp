#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "cache/pattern_cache.h"
#include "transform/patterns.h"

namespace plyfold {
namespace {

CompiledPatternCache& cache() { return CompiledPatternCache::instance(); }

// Runs body on a fresh thread, whose own cache levels start empty.
template <class Body>
void on_fresh_thread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(PatternCache, CommonExpressionsComeFromTheBuiltInSet) {
  PatternLookup first = get_compiled_pattern("\\s+");
  ASSERT_TRUE(first.ok());
  EXPECT_TRUE(cache().is_common("\\s+"));
  EXPECT_EQ(get_compiled_pattern("\\s+").pattern, first.pattern);
  EXPECT_FALSE(cache().shared_contains("\\s+"));
  EXPECT_FALSE(CompiledPatternCache::recent_contains("\\s+"));
  // Common expressions get the same Unicode classes as user expressions.
  EXPECT_TRUE(re2::RE2::FullMatch("\u00a0\u2003", *first.pattern));
  for (const char* expression : {"@example\\.com", "^can_", "[^\\w\\s]", "\\(.*?\\)"}) {
    EXPECT_TRUE(cache().is_common(expression)) << expression;
  }
}

TEST(PatternCache, OtherExpressionsAreCompiledOnceAndShared) {
  const std::string expression = "\\s+ ";
  EXPECT_FALSE(cache().is_common(expression));
  PatternLookup first = get_compiled_pattern(expression);
  ASSERT_TRUE(first.ok());
  EXPECT_TRUE(cache().shared_contains(expression));
  EXPECT_TRUE(CompiledPatternCache::recent_contains(expression));
  EXPECT_EQ(get_compiled_pattern(expression).pattern, first.pattern);
  on_fresh_thread([&] { EXPECT_EQ(get_compiled_pattern(expression).pattern, first.pattern); });
}

TEST(PatternCache, FailuresReportTheMessageAndAreNotRemembered) {
  for (const char* expression : {"(unclosed", "(a)\\1", "(?=x)"}) {
    PatternLookup lookup = get_compiled_pattern(expression);
    EXPECT_FALSE(lookup.ok()) << expression;
    EXPECT_FALSE(lookup.error.empty()) << expression;
    EXPECT_FALSE(cache().shared_contains(expression));
    EXPECT_FALSE(CompiledPatternCache::recent_contains(expression));
  }
}

TEST(PatternCache, RecentListIsFirstInFirstOut) {
  on_fresh_thread([] {
    auto name = [](int i) { return "recent_" + std::to_string(i); };
    for (int i = 1; i <= 4; ++i) ASSERT_TRUE(get_compiled_pattern(name(i)).ok());
    ASSERT_TRUE(get_compiled_pattern(name(1)).ok());  // a hit does not reorder
    ASSERT_TRUE(get_compiled_pattern(name(5)).ok());
    EXPECT_FALSE(CompiledPatternCache::recent_contains(name(1)));
    for (int i = 2; i <= 5; ++i) EXPECT_TRUE(CompiledPatternCache::recent_contains(name(i)));
  });
}

TEST(PatternCache, ThreadMapDropsTheOlderHalfAtItsLimit) {
  on_fresh_thread([] {
    const size_t limit = CompiledPatternCache::kThreadMapLimit;
    for (size_t i = 0; i < limit; ++i) get_compiled_pattern("thread_" + std::to_string(i));
    EXPECT_EQ(CompiledPatternCache::thread_map_size(), limit);
    get_compiled_pattern("thread_extra");
    EXPECT_EQ(CompiledPatternCache::thread_map_size(), limit / 2 + 1);
  });
}

TEST(PatternCache, ManyExpressionsStayBoundedAndCorrect) {
  on_fresh_thread([] {
    for (int i = 0; i < 600; ++i) {
      std::string tag = "k";
      tag += std::to_string(i);
      tag += '_';
      RuleList rules = {{"r'^" + tag + "(\\w+)'", "$1"}};
      std::string out;
      ASSERT_TRUE(apply_replacement_rules(rules, tag + "name", out)) << tag;
      EXPECT_EQ(out, "name");
      EXPECT_FALSE(apply_replacement_rules(rules, "x" + tag + "name", out));
      ASSERT_LE(cache().shared_size(), CompiledPatternCache::kSharedMapLimit);
      ASSERT_LE(CompiledPatternCache::thread_map_size(), CompiledPatternCache::kThreadMapLimit);
    }
    EXPECT_FALSE(cache().shared_contains("^k0_(\\w+)"));  // least recently used, evicted
    EXPECT_TRUE(cache().shared_contains("^k599_(\\w+)"));
    // An evicted expression compiles again and still works.
    std::string out;
    ASSERT_TRUE(apply_replacement_rules({{"r'^k0_(\\w+)'", "$1"}}, "k0_again", out));
    EXPECT_EQ(out, "again");
  });
}

TEST(PatternCache, ConcurrentThreadsAgreeOnOneEntry) {
  constexpr int kThreads = 4;
  const std::string fresh = "concurrent_(\\d+)";
  std::atomic<int> ready{0};
  std::vector<const re2::RE2*> seen(kThreads);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      PatternLookup lookup = get_compiled_pattern(fresh);
      seen[t] = lookup.pattern.get();
      // Mixed workload: shared expressions, thread-specific ones and a
      // rule list longer than the recent list.
      for (int round = 0; round < 200; ++round) {
        std::string own = "t";
        own += std::to_string(t);
        own += 'r';
        own += std::to_string(round % 40);
        RuleList rules = {{"r'^" + own + "'", "X"},
                          {"r'" + fresh + "'", "c$1"},
                          {"r'(\\d+)'", "<$1>"},
                          {"r'\\s+'", " "},
                          {"r'([a-z])([A-Z])'", "${1}_$2"}};
        std::string out;
        apply_replacement_rules(rules, own + "aB  concurrent_7", out);
        if (out != "Xa_B c<7>") ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  ASSERT_NE(seen[0], nullptr);
  for (const re2::RE2* pattern : seen) EXPECT_EQ(pattern, seen[0]);
}

}  // namespace
}  // namespace plyfold
