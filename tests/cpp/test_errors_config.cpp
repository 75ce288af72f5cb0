#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "builder/config.h"
#include "errors/core_error.h"

namespace plyfold {
namespace {

TEST(CoreError, DisplayHasCodeTitleMessageAndSuggestionLine) {
  CoreError error = input_error("Input exceeds 4 GiB limit");
  EXPECT_EQ(error.display(),
            "[E007] Input validation failed: Input exceeds 4 GiB limit\n\U0001F4A1 Suggestion: "
            "Check that your input format matches the expected type for the operation.");
}

struct SuggestionCase {
  CoreError error;
  const char* suggestion_start;
};

class Suggestions : public ::testing::TestWithParam<SuggestionCase> {};

TEST_P(Suggestions, ChosenByKindAndMessage) {
  EXPECT_EQ(GetParam().error.suggestion.rfind(GetParam().suggestion_start, 0), 0u)
      << GetParam().error.suggestion;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, Suggestions,
    ::testing::Values(
        SuggestionCase{structure_error("cannot unflatten into an object"), "For unflattening"},
        SuggestionCase{structure_error("expected an object"),
                       "The operation requires a JSON object"},
        SuggestionCase{structure_error("Empty scalar value"), "Verify that your JSON structure"},
        SuggestionCase{input_error("wrong type of input"), "Ensure your input is a valid JSON"},
        SuggestionCase{input_error("input is empty"), "Provide non-empty input"},
        SuggestionCase{input_error("Empty JSON input"), "Check that your input format"},
        SuggestionCase{json_parse_error("EOF while parsing"), "Verify your JSON syntax"},
        SuggestionCase{serialization_error("bad"), "This is likely an internal error."},
        SuggestionCase{config_error("x"), "Call .flatten() or .unflatten()"}));

TEST(CoreError, BatchErrorShowsIndexTwiceAndNotTheItemError) {
  CoreError error = batch_item_error(3, structure_error("Empty scalar value"));
  EXPECT_EQ(error.display(),
            "[E006] Batch processing failed at index 3: Failed to process item at index 3\n"
            "\U0001F4A1 Suggestion: Check the JSON at the specified index. All items in a batch "
            "must be valid JSON strings or objects.");
  ASSERT_NE(error.source, nullptr);
  EXPECT_EQ(error.source->message, "Empty scalar value");
}

struct EnvCase {
  const char* text;
  std::optional<uint64_t> value;
};

class EnvCounts : public ::testing::TestWithParam<EnvCase> {};

TEST_P(EnvCounts, ParseStrictly) { EXPECT_EQ(parse_env_count(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Values, EnvCounts,
                         ::testing::Values(EnvCase{"50", 50}, EnvCase{"+50", 50}, EnvCase{"0", 0},
                                           EnvCase{"18446744073709551615", UINT64_MAX},
                                           EnvCase{" 50", std::nullopt},
                                           EnvCase{"50 ", std::nullopt},
                                           EnvCase{"-5", std::nullopt},
                                           EnvCase{"5e2", std::nullopt}, EnvCase{"", std::nullopt},
                                           EnvCase{"+", std::nullopt}, EnvCase{"++5", std::nullopt},
                                           EnvCase{"18446744073709551616", std::nullopt}));

TEST(Config, ValidationOrder) {
  Config config = default_config();
  config.separator = "";
  EXPECT_EQ(validate_config(config)->message.rfind("Operation mode not set.", 0), 0u);
  config.mode = OperationMode::Normal;
  EXPECT_EQ(validate_config(config)->message,
            "Separator cannot be empty. Use .separator(\".\") or another non-empty string");
  config.separator = ".";
  config.num_threads = 0;
  auto error = validate_config(config);
  EXPECT_EQ(error->message, "num_threads must be at least 1. Use None for system default");
  EXPECT_EQ(error->display().find("[E005] Operation mode not configured: "), 0u);
  config.num_threads = 1;
  EXPECT_FALSE(validate_config(config).has_value());
}

}  // namespace
}  // namespace plyfold
