#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "batch/driver.h"
#include "batch/resolved_config.h"
#include "flatten/flatten.h"

namespace plyfold {
namespace {

std::string flatten_with(const std::string& text, const std::function<void(Config&)>& tweak) {
  Config config = default_config();
  config.mode = OperationMode::Flatten;
  tweak(config);
  ResolvedConfig resolved(config);
  auto result = flatten_document(text, resolved);
  return result.ok() ? result.value() : "ERROR " + result.error().message;
}

struct FlattenCase {
  const char* name;
  const char* input;
  const char* expected;
  std::function<void(Config&)> tweak;
};

void no_change(Config&) {}

class Flatten : public ::testing::TestWithParam<FlattenCase> {};

TEST_P(Flatten, GivesExpectedText) {
  EXPECT_EQ(flatten_with(GetParam().input, GetParam().tweak), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, Flatten,
    ::testing::Values(
        FlattenCase{"nested", R"({"a":{"b":1,"c":[2,3]}})", R"({"a.b":1,"a.c.0":2,"a.c.1":3})",
                    no_change},
        FlattenCase{"root_array", "[1,[2,3]]", R"({"0":1,"1.0":2,"1.1":3})", no_change},
        FlattenCase{"empties", " [ ] ", "{}", no_change},
        FlattenCase{"empty_then_text", "{} trailing", "{}", no_change},
        FlattenCase{"array_of_objects", R"({"a":[{"b":1}]})", R"({"a.0.b":1})", no_change},
        FlattenCase{"long_separator", R"({"a":[{"b":1}]})", R"({"a::0::b":1})",
                    [](Config& c) { c.separator = "::"; }},
        FlattenCase{"empty_containers", R"({"a":{},"b":[]})", R"({"a":{},"b":[]})", no_change},
        FlattenCase{"remove_empty_objects", R"({"a":{},"b":[]})", R"({"b":[]})",
                    [](Config& c) { c.remove_empty_objects = true; }},
        FlattenCase{"remove_empty_arrays", R"({"a":{},"b":[]})", R"({"a":{}})",
                    [](Config& c) { c.remove_empty_arrays = true; }},
        FlattenCase{"no_cascade", R"({"a":{"b":null}})", "{}",
                    [](Config& c) { c.remove_nulls = true; }},
        FlattenCase{"numbers_as_written", R"({"x":1.50,"y":1e3})", R"({"x":1.50,"y":1e3})",
                    no_change},
        FlattenCase{"bare_number", " 1.50 ", "1.5", no_change},
        FlattenCase{"bare_string", R"("abc")", R"("abc")", no_change},
        FlattenCase{"bare_true", "true", "true", no_change},
        FlattenCase{"bare_replaced", R"("abc")", R"("aXc")",
                    [](Config& c) {
                      c.value_replacements.push_back({"b", "X"});
                    }},
        FlattenCase{"empty_root_key", R"({"":{"a":1}})", R"({"a":1})", no_change},
        FlattenCase{"empty_inner_key", R"({"a":{"":1}})", R"({"a.":1})", no_change},
        FlattenCase{"empty_scalar_key", R"({"":1})", R"({"":1})", no_change},
        FlattenCase{"streaming_repeats", R"({"a":1,"a":2})", R"({"a":1,"a":2})", no_change},
        FlattenCase{"lowercase_last_wins", R"({"a":1,"A":2})", R"({"a":2})",
                    [](Config& c) { c.lowercase_keys = true; }},
        FlattenCase{"collision_array", R"({"a":1,"b":2,"a":3})", R"({"a":[1,3],"b":2})",
                    [](Config& c) { c.handle_key_collision = true; }},
        FlattenCase{"lowercase_before_replace", R"({"Key":1})", R"({"key":1})",
                    [](Config& c) {
                      c.lowercase_keys = true;
                      c.key_replacements.push_back({"Key", "x"});
                    }},
        FlattenCase{"escaped_key_streaming", R"({"caf\u00e9":1})", R"({"caf\u00e9":1})", no_change},
        FlattenCase{"escaped_key_collecting", R"({"caf\u00e9":1})", "{\"caf\xC3\xA9\":1}",
                    [](Config& c) { c.handle_key_collision = true; }},
        FlattenCase{"lone_surrogate_survives_rewrite", R"({"s":"a\ud800b","k\udc00":1})",
                    R"({"s":"A\ud800b","k\udc00":1})",
                    [](Config& c) {
                      c.value_replacements.push_back({"a", "A"});
                      c.handle_key_collision = true;
                    }},
        FlattenCase{"hangul_is_not_a_surrogate", "{\"\xED\x95\x9C\":\"x\"}",
                    "{\"\xED\x95\x9C\":\"y\"}",
                    [](Config& c) {
                      c.value_replacements.push_back({"x", "y"});
                      c.handle_key_collision = true;
                    }},
        FlattenCase{"key_exclusion_whole_path", R"({"a":{"b":1},"c":2})", R"({"c":2})",
                    [](Config& c) { c.key_exclusions.push_back("a"); }},
        FlattenCase{"key_exclusion_nested", R"({"a":{"b":1,"x":2}})", R"({"a.x":2})",
                    [](Config& c) { c.key_exclusions.push_back("a.b"); }},
        FlattenCase{"replace_to_empty_removed", R"({"s":"x"})", "{}",
                    [](Config& c) {
                      c.value_replacements.push_back({"x", ""});
                      c.remove_empty_strings = true;
                    }},
        FlattenCase{"replaced_value_escaped", R"({"s":"a\"b"})", R"({"s":"a\"c"})",
                    [](Config& c) {
                      c.value_replacements.push_back({"b", "c"});
                    }},
        FlattenCase{"untouched_string_kept_escaped", R"({"s":"a\u0041"})", R"({"s":"a\u0041"})",
                    [](Config& c) {
                      c.value_replacements.push_back({"zz", "c"});
                    }},
        FlattenCase{"value_exclusion_scalar", R"({"a":1e3,"b":2})", R"({"b":2})",
                    [](Config& c) { c.value_exclusions.push_back("1e3"); }},
        FlattenCase{"value_exclusion_decoded", R"({"a":"x\ty","b":"z"})", R"({"b":"z"})",
                    [](Config& c) { c.value_exclusions.push_back("x\ty"); }},
        FlattenCase{"remove_empty_strings", R"({"a":"","b":"c"})", R"({"b":"c"})",
                    [](Config& c) { c.remove_empty_strings = true; }},
        FlattenCase{"missing_value", R"({"a":})", "{}", no_change},
        FlattenCase{"scalar_after_space", "[1 2]", R"({"0":1})", no_change},
        FlattenCase{"dotted_key_collision", R"({"a.b":1,"a":{"b":2},"c":3})",
                    R"({"a.b":[1,2],"c":3})", [](Config& c) { c.handle_key_collision = true; }},
        FlattenCase{"collected_empty_containers", R"({"k":{},"K":[]})", R"({"k":[{},[]]})",
                    [](Config& c) {
                      c.lowercase_keys = true;
                      c.handle_key_collision = true;
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

struct ErrorCase {
  const char* input;
  ErrorKind kind;
  const char* message;
};

class FlattenErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(FlattenErrors, ReportsError) {
  Config config = default_config();
  config.mode = OperationMode::Flatten;
  ResolvedConfig resolved(config);
  auto result = flatten_document(GetParam().input, resolved);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().kind, GetParam().kind);
  EXPECT_EQ(result.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, FlattenErrors,
    ::testing::Values(
        ErrorCase{"", ErrorKind::InputValidation, "Empty JSON input"},
        ErrorCase{" \n\t ", ErrorKind::InputValidation, "Empty JSON input"},
        ErrorCase{"{", ErrorKind::InvalidStructure, "Unclosed object or array in JSON input"},
        ErrorCase{"1 2", ErrorKind::JsonParse,
                  "JSON has non-whitespace trailing characters after the value at line 1 column "
                  "3"}));

TEST(FlattenDeep, MillionLevelsGiveAResult) {
  std::string text;
  for (int i = 0; i < 1000000; ++i) text += "{\"a\":";
  text += "1";
  text += std::string(1000000, '}');
  auto result = flatten_with(text, no_change);
  ASSERT_EQ(result.size(), 2 * 1000000 - 1 + 6);
  EXPECT_EQ(result.substr(0, 6), "{\"a.a.");
  EXPECT_EQ(result.substr(result.size() - 4), "\":1}");
}

TEST(Driver, ValidatesBeforeRunning) {
  Config config = default_config();
  auto result = validate_and_run(config, std::string_view("{}"));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().display(),
            "[E005] Operation mode not configured: Operation mode not set. Call .flatten(), "
            ".unflatten(), or .normal() before .execute()\n\U0001F4A1 Suggestion: Call "
            ".flatten() or .unflatten() on your Plyfold instance before calling .execute() to "
            "set the operation mode.");
  config.mode = OperationMode::Flatten;
  config.separator = "";
  EXPECT_EQ(validate_and_run(config, std::string_view("{}")).error().message.size(), 74u);
}

TEST(Driver, BatchReportsFailingIndexInBothModes) {
  for (uint64_t threshold : {100u, 1u}) {
    Config config = default_config();
    config.mode = OperationMode::Flatten;
    config.parallel_threshold = threshold;
    std::vector<std::string_view> batch = {"{\"a\":1}", "[2]", "{", "{}"};
    auto result = validate_and_run(config, batch);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, ErrorKind::BatchItemFailed);
    EXPECT_EQ(result.error().index, 2u);
    EXPECT_EQ(
        result.error().display().rfind(
            "[E006] Batch processing failed at index 2: Failed to process item at index 2\n", 0),
        0u);
  }
}

TEST(Driver, ParallelBatchKeepsInputOrder) {
  std::vector<std::string> texts;
  for (int i = 0; i < 500; ++i) texts.push_back("{\"n\":" + std::to_string(i) + "}");
  std::vector<std::string_view> batch(texts.begin(), texts.end());
  for (std::optional<uint64_t> threads : {std::optional<uint64_t>(), std::optional<uint64_t>(3)}) {
    Config config = default_config();
    config.mode = OperationMode::Flatten;
    config.parallel_threshold = 10;
    config.num_threads = threads;
    auto result = validate_and_run(config, batch);
    ASSERT_TRUE(result.ok());
    const auto& out = std::get<1>(result.value().texts);
    ASSERT_EQ(out.size(), 500u);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(out[i], texts[i]);
  }
}

TEST(Driver, OversizedDedicatedPoolIsAnError) {
  Config config = default_config();
  config.mode = OperationMode::Flatten;
  config.parallel_threshold = 0;
  config.num_threads = uint64_t{1} << 40;
  std::vector<std::string_view> batch = {"{}"};
  auto result = validate_and_run(config, batch);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(
      result.error().message.rfind("failed to build thread pool with 1099511627776 threads: ", 0),
      0u);
}

}  // namespace
}  // namespace plyfold

namespace plyfold {
namespace {

// A large root is split across threads and must give the sequential result.
TEST(FlattenSplit, MatchesSequentialWalk) {
  std::string text = "{";
  for (int i = 0; i < 300; ++i) {
    if (i > 0) text += ',';
    std::string key = (i % 2 == 0 ? "Name" : "name");
    text += "\"" + key + "\":{\"v\":" + std::to_string(i) + ",\"skip\":1}";
  }
  text += ",\"drop\":{\"x\":1},\"\\u00e9\":[1,[]]}";
  for (std::optional<uint64_t> threads :
       {std::optional<uint64_t>(), std::optional<uint64_t>(1), std::optional<uint64_t>(3)}) {
    auto configure = [&](uint64_t threshold) {
      return [=](Config& c) {
        c.lowercase_keys = true;
        c.handle_key_collision = true;
        c.key_exclusions.push_back("skip");
        c.key_exclusions.push_back("drop");
        c.nested_parallel_threshold = threshold;
        c.num_threads = threads;
      };
    };
    std::string sequential = flatten_with(text, configure(1000));
    EXPECT_EQ(flatten_with(text, configure(0)), sequential);
    EXPECT_EQ(flatten_with(text, configure(301)), sequential);
    EXPECT_EQ(sequential.rfind("{\"name.v\":[0,1,2,", 0), 0u);
    EXPECT_NE(sequential.find("\"\xC3\xA9.0\":1,\"\xC3\xA9.1\":[]}"), std::string::npos);
    EXPECT_EQ(sequential.find("drop"), std::string::npos);
  }
}

TEST(FlattenSplit, RootArrayKeepsPositions) {
  std::string text = "[";
  std::string expected = "{";
  for (int i = 0; i < 1000; ++i) {
    const std::string number = std::to_string(i);
    if (i > 0) {
      text += ',';
      expected += ',';
    }
    text += number;
    expected += "\"" + number + "\":" + number;
  }
  text += "]";
  expected += "}";
  EXPECT_EQ(flatten_with(text,
                         [](Config& c) {
                           c.handle_key_collision = true;
                           c.nested_parallel_threshold = 10;
                           c.num_threads = 4;
                         }),
            expected);
}

}  // namespace
}  // namespace plyfold
