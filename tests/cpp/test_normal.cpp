#include <gtest/gtest.h>
#include <sys/mman.h>

#include <functional>
#include <string>

#include "batch/resolved_config.h"
#include "transform/normal.h"

namespace plyfold {
namespace {

using Tweak = std::function<void(Config&)>;

std::string normal_with(const std::string& text, const Tweak& tweak) {
  Config config = default_config();
  config.mode = OperationMode::Normal;
  tweak(config);
  ResolvedConfig resolved(config);
  auto result = normal_document(text, resolved);
  return result.ok() ? result.value() : "ERROR " + result.error().message;
}

void no_change(Config&) {}
void collisions(Config& c) { c.handle_key_collision = true; }
void lowercase(Config& c) { c.lowercase_keys = true; }
void drop_nulls(Config& c) { c.remove_nulls = true; }
void all_filters(Config& c) {
  c.remove_empty_strings = c.remove_nulls = true;
  c.remove_empty_objects = c.remove_empty_arrays = true;
}

struct NormalCase {
  const char* name;
  const char* input;
  const char* expected;
  Tweak tweak;
};

class Normal : public ::testing::TestWithParam<NormalCase> {};

TEST_P(Normal, GivesExpectedText) {
  EXPECT_EQ(normal_with(GetParam().input, GetParam().tweak), GetParam().expected);
}

std::string case_name(const ::testing::TestParamInfo<NormalCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    ShapeAndText, Normal,
    ::testing::Values(
        NormalCase{"shape_kept", R"({"a":{"b":[1,{"c":2}]}})", R"({"a":{"b":[1,{"c":2}]}})",
                   no_change},
        NormalCase{"structure_compacted_values_as_written",
                   " { \"a\" : [ 1.50 , 1e3 , true ] ,\n\"b\" : \"x\\ty\" } ",
                   R"({"a":[1.50,1e3,true],"b":"x\ty"})", no_change},
        NormalCase{"escaped_key_plain", R"({"caf\u00e9":1})", R"({"caf\u00e9":1})", no_change},
        NormalCase{"escaped_key_general", R"({"caf\u00e9":1,"q\"":2})",
                   "{\"caf\xC3\xA9\":1,\"q\\\"\":2}", lowercase},
        NormalCase{"empty_key", R"({"":{"":1}})", R"({"":{"":1}})", collisions},
        NormalCase{"repeated_keys_kept_in_order", R"({"a":1,"b":2,"a":3})",
                   R"({"a":1,"b":2,"a":3})", no_change},
        NormalCase{"trailing_text_ignored", "{\"a\":1} trailing", R"({"a":1})", no_change},
        NormalCase{"mismatched_closer_written_matching", R"({"a":[1}])", R"({"a":[1]})",
                   no_change}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    KeyRules, Normal,
    ::testing::Values(
        NormalCase{"replace_then_lowercase", R"({"User_Name":"x"})", R"({"name":"x"})",
                   [](Config& c) {
                     c.key_replacements.push_back({"r'^User_'", ""});
                     c.lowercase_keys = true;
                   }},
        NormalCase{"replacement_sees_key_as_written", R"({"Key":1,"key":2})", R"({"x":1,"key":2})",
                   [](Config& c) {
                     c.key_replacements.push_back({"Key", "X"});
                     c.lowercase_keys = true;
                   }},
        NormalCase{"lowercase_repeats_key", R"({"A":1,"a":2})", R"({"a":1,"a":2})", lowercase},
        NormalCase{"lowercase_collides", R"({"A":1,"a":2})", R"({"a":[1,2]})",
                   [](Config& c) { c.lowercase_keys = c.handle_key_collision = true; }},
        NormalCase{"lowercase_unicode_letters",
                   "{\"\xC3\x84"
                   "B\":1}",
                   "{\"\xC3\xA4"
                   "b\":1}",
                   lowercase},
        NormalCase{"lowercase_final_sigma", "{\"\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3\":1}",
                   "{\"\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82\":1}", lowercase},
        NormalCase{"exclusion_drops_whole_value", R"({"internal":{"a":[1,{"b":2}]},"b":2})",
                   R"({"b":2})", [](Config& c) { c.key_exclusions.push_back("internal"); }},
        NormalCase{"exclusion_sees_decoded_key_plain", R"({"a\u0062":1,"c":2})", R"({"c":2})",
                   [](Config& c) { c.key_exclusions.push_back("ab"); }},
        NormalCase{"exclusion_sees_final_key_general", R"({"Secret":1,"c":{"SECRET":2}})",
                   R"({"c":{}})",
                   [](Config& c) {
                     c.lowercase_keys = true;
                     c.key_exclusions.push_back("secret");
                   }},
        NormalCase{"exclusion_not_applied_to_array_elements", R"(["internal",{"internal":1}])",
                   R"(["internal",{}])",
                   [](Config& c) { c.key_exclusions.push_back("internal"); }}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Collisions, Normal,
    ::testing::Values(
        NormalCase{"group_at_first_position", R"({"a":1,"b":2,"a":3})", R"({"a":[1,3],"b":2})",
                   collisions},
        NormalCase{"group_of_containers", R"({"a":{"x":1},"b":2,"a":[3,{"y":4}]})",
                   R"({"a":[{"x":1},[3,{"y":4}]],"b":2})", collisions},
        NormalCase{"group_all_dropped_leaves_no_key", R"({"a":null,"b":1,"a":null})", R"({"b":1})",
                   [](Config& c) { c.handle_key_collision = c.remove_nulls = true; }},
        NormalCase{"group_alone_all_dropped", R"({"a":null,"a":null})", "{}",
                   [](Config& c) { c.handle_key_collision = c.remove_nulls = true; }},
        NormalCase{"group_partly_dropped", R"({"a":null,"b":1,"a":2,"a":""})", R"({"a":[2],"b":1})",
                   [](Config& c) {
                     c.handle_key_collision = c.remove_nulls = c.remove_empty_strings = true;
                   }},
        NormalCase{"group_of_empty_containers", R"({"k":{},"K":[]})", R"({"k":[{},[]]})",
                   [](Config& c) { c.lowercase_keys = c.handle_key_collision = true; }},
        NormalCase{"group_cascade", R"({"k":{"a":null},"K":[null],"z":0})", R"({"z":0})",
                   [](Config& c) {
                     all_filters(c);
                     c.lowercase_keys = c.handle_key_collision = true;
                   }},
        NormalCase{"groups_in_nested_objects", R"([{"a":1,"a":{"b":1,"b":2}},{"a":3}])",
                   R"([{"a":[1,{"b":[1,2]}]},{"a":3}])", collisions},
        NormalCase{"replacement_makes_group", R"({"User_n":"J","Admin_n":"","Guest_n":"B"})",
                   R"({"n":["J","B"]})",
                   [](Config& c) {
                     c.key_replacements.push_back({"User_", ""});
                     c.key_replacements.push_back({"Admin_", ""});
                     c.key_replacements.push_back({"Guest_", ""});
                     c.remove_empty_strings = c.handle_key_collision = true;
                   }}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Filters, Normal,
    ::testing::Values(
        NormalCase{"all_filters", R"({"a":"","b":null,"c":{},"d":[],"e":0,"f":false,"g":" "})",
                   R"({"e":0,"f":false,"g":" "})", all_filters},
        NormalCase{"nulls_leave_empty_object", R"({"a":{"b":null}})", R"({"a":{}})", drop_nulls},
        NormalCase{"cascade_to_root", R"({"a":{"b":null},"c":[[{}]]})", "{}", all_filters},
        NormalCase{"array_cascade", R"({"a":[null,null],"b":1})", R"({"b":1})",
                   [](Config& c) { c.remove_nulls = c.remove_empty_arrays = true; }},
        NormalCase{"array_elements_close_up", R"([null,1,null,2,null])", "[1,2]", drop_nulls},
        NormalCase{"members_close_up", R"({"a":null,"b":1,"c":null})", R"({"b":1})", drop_nulls},
        NormalCase{"root_object_kept", "{ }", "{}", all_filters},
        NormalCase{"root_array_kept", "[]", "[]", all_filters},
        NormalCase{"emptied_root_array_kept", R"([[],{},null,""])", "[]", all_filters},
        NormalCase{"empties_kept_without_filters", R"({"a":{},"b":[],"c":"","d":null})",
                   R"({"a":{},"b":[],"c":"","d":null})", no_change},
        NormalCase{"string_null_not_a_null", R"({"a":"null","b":"0"})", R"({"a":"null","b":"0"})",
                   all_filters}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    ValueRules, Normal,
    ::testing::Values(
        NormalCase{"replacement_to_empty_dropped", R"({"a":"x","b":"y"})", R"({"b":"y"})",
                   [](Config& c) {
                     c.value_replacements.push_back({"x", ""});
                     c.remove_empty_strings = true;
                   }},
        NormalCase{"replacement_to_empty_kept", R"({"a":"x"})", R"({"a":""})",
                   [](Config& c) {
                     c.value_replacements.push_back({"x", ""});
                   }},
        NormalCase{"replaced_value_escaped", R"({"s":"a\"b\u0008"})", R"({"s":"a\"c\u0008"})",
                   [](Config& c) {
                     c.value_replacements.push_back({"b", "c"});
                   }},
        NormalCase{"untouched_value_keeps_escapes", R"({"s":"a\u0041\/"})", R"({"s":"a\u0041\/"})",
                   [](Config& c) {
                     c.value_replacements.push_back({"zz", "c"});
                   }},
        NormalCase{"keys_never_replaced_as_values", R"({"x":"x"})", R"({"x":"y"})",
                   [](Config& c) {
                     c.value_replacements.push_back({"x", "y"});
                   }},
        NormalCase{"exclusion_of_scalar_as_written", R"([1e3,1000,true])", "[1000,true]",
                   [](Config& c) { c.value_exclusions.push_back("1e3"); }},
        NormalCase{"exclusion_of_decoded_string", R"({"a":"x\ty","b":"z"})", R"({"b":"z"})",
                   [](Config& c) { c.value_exclusions.push_back("x\ty"); }},
        NormalCase{"exclusion_after_replacement", R"({"a":"ab","b":"c"})", R"({"b":"c"})",
                   [](Config& c) {
                     c.value_replacements.push_back({"a", "zz"});
                     c.value_exclusions.push_back("zzb");
                   }},
        NormalCase{"exclusion_cascades", R"({"a":{"b":"secret"}})", "{}",
                   [](Config& c) {
                     c.value_exclusions.push_back("secret");
                     c.remove_empty_objects = true;
                   }}),
    case_name);

void convert_all(Config& c) {
  c.conversion.convert_nulls = c.conversion.convert_booleans = true;
  c.conversion.convert_numbers = c.conversion.convert_dates = true;
}

INSTANTIATE_TEST_SUITE_P(
    Conversion, Normal,
    ::testing::Values(
        NormalCase{"numbers_converted", R"({"n":"42","s":"x","k":["7"]})",
                   R"({"n":42,"s":"x","k":[7]})",
                   [](Config& c) { c.conversion.convert_numbers = true; }},
        NormalCase{"converted_null_dropped", R"({"a":"N/A","b":"1"})", R"({"b":"1"})",
                   [](Config& c) { c.conversion.convert_nulls = c.remove_nulls = true; }},
        NormalCase{"converted_null_cascades", R"({"a":{"b":"null"}})", "{}",
                   [](Config& c) {
                     c.conversion.convert_nulls = true;
                     c.remove_nulls = c.remove_empty_objects = true;
                   }},
        NormalCase{"conversion_after_replacement", R"({"a":"x42","b":"xyes"})",
                   R"({"a":42,"b":true})",
                   [](Config& c) {
                     convert_all(c);
                     c.value_replacements.push_back({"x", ""});
                   }},
        NormalCase{"exclusion_sees_converted_text", R"({"a":"42","b":"42x"})", R"({"b":"42x"})",
                   [](Config& c) {
                     c.conversion.convert_numbers = true;
                     c.value_exclusions.push_back("r'^42$'");
                   }},
        NormalCase{"scalars_not_converted", R"({"a":1.50,"b":null})", R"({"a":1.50,"b":null})",
                   convert_all},
        NormalCase{"bare_string_converted", R"( "42" )", "42", convert_all},
        NormalCase{"bare_string_unconverted_kept", R"("xA")", R"("xA")", convert_all}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    BareAndMalformed, Normal,
    ::testing::Values(NormalCase{"empty_text", "", "", no_change},
                      NormalCase{"whitespace_unchanged", " \t\n ", " \t\n ", all_filters},
                      NormalCase{"bare_number_trimmed", " 1.50 ", "1.50", all_filters},
                      NormalCase{"bare_literal", "null", "null", all_filters},
                      NormalCase{"bare_text_passed_through", "hello", "hello", no_change},
                      NormalCase{"bare_string_kept", R"( "a\u0041" )", R"("a\u0041")",
                                 [](Config& c) {
                                   c.value_replacements.push_back({"zz", "y"});
                                 }},
                      NormalCase{"bare_string_replaced", R"("a\u0041b")", R"("aAc")",
                                 [](Config& c) {
                                   c.value_replacements.push_back({"b", "c"});
                                 }},
                      NormalCase{"bare_empty_string_not_filtered", R"("")", R"("")", all_filters},
                      NormalCase{"key_without_value", R"({"a":})", R"({"a":})", no_change},
                      NormalCase{"scalar_after_space_not_a_token", "[1 2]", "[1]", no_change}),
    case_name);

// Documents whose keys no rule changes come out the same on both paths.
class NormalPaths : public ::testing::TestWithParam<const char*> {};

TEST_P(NormalPaths, PlainAndGeneralAgree) {
  for (const Tweak& filters : {Tweak(no_change), Tweak(all_filters)}) {
    std::string plain = normal_with(GetParam(), filters);
    std::string general = normal_with(GetParam(), [&](Config& c) {
      filters(c);
      c.handle_key_collision = true;
    });
    EXPECT_EQ(plain, general);
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, NormalPaths,
                         ::testing::Values(R"({"a":{"b":[1,{"c":2,"d":null}]},"e":""})",
                                           R"([{"a":[]},{},[[null]],"x",{"b":{"c":{}}}])",
                                           R"({"a":{"b":{"c":{"d":[null,{}]}}},"z":1})"));

struct ErrorCase {
  const char* input;
  ErrorKind kind;
  const char* message;
};

class NormalErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(NormalErrors, ReportsError) {
  EXPECT_EQ(normal_with(GetParam().input, no_change), std::string("ERROR ") + GetParam().message);
  Config config = default_config();
  ResolvedConfig resolved(config);
  EXPECT_EQ(normal_document(GetParam().input, resolved).error().kind, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, NormalErrors,
    ::testing::Values(
        ErrorCase{" {", ErrorKind::InvalidStructure, "Unclosed object or array in JSON input"},
        ErrorCase{"[1,,2]", ErrorKind::InvalidStructure, "Empty scalar value"},
        ErrorCase{"[True]", ErrorKind::InvalidStructure, "Invalid JSON value: `True`"},
        ErrorCase{"{\"a\":\"x}", ErrorKind::InvalidStructure, "Unterminated string in JSON input"},
        ErrorCase{"{} }", ErrorKind::InvalidStructure, "Unexpected closing brace in JSON input"}));

TEST(NormalLimits, TextOf4GiBIsRejectedBeforeReading) {
  const size_t size = size_t{1} << 32;
  void* pages = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  Config config = default_config();
  ResolvedConfig resolved(config);
  auto result = normal_document(std::string_view(static_cast<const char*>(pages), size), resolved);
  munmap(pages, size);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().kind, ErrorKind::InputValidation);
  EXPECT_EQ(result.error().message, "Input exceeds 4 GiB limit");
}

constexpr int kDepth = 1000000;

TEST(NormalDeep, MillionNestedObjectsOnBothPaths) {
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "{\"A\":";
  text += "null";
  text += std::string(kDepth, '}');

  EXPECT_EQ(normal_with(text, no_change), text);

  std::string lowered = text;
  for (int i = 0; i < kDepth; ++i) lowered[static_cast<size_t>(i) * 5 + 2] = 'a';
  EXPECT_EQ(normal_with(text, lowercase), lowered);

  // Every level empties once the null is dropped; the root survives as {}.
  EXPECT_EQ(normal_with(text,
                        [](Config& c) {
                          c.remove_nulls = c.remove_empty_objects = c.handle_key_collision = true;
                        }),
            "{}");
}

TEST(NormalDeep, MillionNestedArraysCascade) {
  std::string text = std::string(kDepth, '[') + "1" + std::string(kDepth, ']');
  EXPECT_EQ(normal_with(text, no_change), text);
  text[kDepth] = ' ';
  EXPECT_EQ(normal_with(text, [](Config& c) { c.remove_empty_arrays = true; }), "[]");
}

}  // namespace
}  // namespace plyfold
