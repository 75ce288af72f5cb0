#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "batch/resolved_config.h"
#include "tape/json_value.h"
#include "unflatten/unflatten.h"

namespace plyfold {
namespace {

using Tweak = std::function<void(Config&)>;

void no_change(Config&) {}

// The output text, or "E00n message" for an error.
std::string unflatten_with(const std::string& text, const Tweak& tweak) {
  Config config = default_config();
  config.mode = OperationMode::Unflatten;
  tweak(config);
  ResolvedConfig resolved(config);
  auto result = unflatten_document(text, resolved);
  if (result.ok()) return result.value();
  return std::string(error_code(result.error().kind)) + " " + result.error().message;
}

struct UnflattenCase {
  const char* name;
  const char* input;
  const char* expected;
  Tweak tweak = no_change;
};

std::string case_name(const ::testing::TestParamInfo<UnflattenCase>& info) {
  return info.param.name;
}

class Unflatten : public ::testing::TestWithParam<UnflattenCase> {};

TEST_P(Unflatten, GivesExpectedText) {
  EXPECT_EQ(unflatten_with(GetParam().input, GetParam().tweak), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Nesting, Unflatten,
    ::testing::Values(
        UnflattenCase{"objects", R"({"a.b":1,"a.c":2})", R"({"a":{"b":1,"c":2}})"},
        UnflattenCase{"first_insertion_order", R"({"b.x":1,"a":2,"b.y":3})",
                      R"({"b":{"x":1,"y":3},"a":2})"},
        UnflattenCase{"array", R"({"a.0":1,"a.1":2})", R"({"a":[1,2]})"},
        UnflattenCase{"gap", R"({"a.0":1,"a.2":3})", R"({"a":[1,null,3]})"},
        UnflattenCase{"leading_gap", R"({"a.1":"x"})", R"({"a":[null,"x"]})"},
        UnflattenCase{"out_of_order_indices", R"({"a.2":3,"a.0":1})", R"({"a":[1,null,3]})"},
        UnflattenCase{"mixed_segments_make_object", R"({"a.0":1,"a.x":2})",
                      R"({"a":{"0":1,"x":2}})"},
        UnflattenCase{"leading_zero_is_a_name", R"({"a.01":1})", R"({"a":{"01":1}})"},
        UnflattenCase{"signed_is_a_name", R"({"a.+1":1,"a.-1":2})", R"({"a":{"+1":1,"-1":2}})"},
        UnflattenCase{"root_never_shaped", R"({"0":"x","1":"y"})", R"({"0":"x","1":"y"})"},
        UnflattenCase{"nested_arrays", R"({"m.0.0":1,"m.0.1":2,"m.1.0":3})",
                      R"({"m":[[1,2],[3]]})"},
        UnflattenCase{"objects_in_array", R"({"a.0.b":1,"a.1.b":2,"a.1.c":3})",
                      R"({"a":[{"b":1},{"b":2,"c":3}]})"},
        UnflattenCase{"huge_index_is_a_member", R"({"a.99999999999999999999":1})",
                      R"({"a":{"99999999999999999999":1}})"},
        UnflattenCase{"empty_middle_segment", R"({"a..b":1})", R"({"a":{"":{"b":1}}})"},
        UnflattenCase{"empty_first_segment", R"({".a":1})", R"({"":{"a":1}})"},
        UnflattenCase{"empty_last_segment", R"({"a.":1})", R"({"a":{"":1}})"},
        UnflattenCase{"empty_first_then_array", R"({".a.0":1})", R"({"":{"a":[1]}})"},
        UnflattenCase{"array_meets_name", R"({"a.0":1,"a.":2})", R"({"a":{"0":1,"":2}})"},
        UnflattenCase{"array_meets_name_skips_gaps", R"({"a.2":1,"a.":2,"a.5":3})",
                      R"({"a":{"2":1,"":2,"5":3}})"},
        UnflattenCase{"wide_array_meets_name",
                      R"({"a.0":0,"a.1":1,"a.2":2,"a.3":3,"a.4":4,"a.5":5,"a.6":6,"a.7":7,)"
                      R"("a.8":8,"a.10":10,"a.":"x","a.9":9})",
                      R"({"a":{"0":0,"1":1,"2":2,"3":3,"4":4,"5":5,"6":6,"7":7,"8":8,"10":10,)"
                      R"("":"x","9":9}})"},
        UnflattenCase{"long_separator", R"({"a::b":1,"a:c":2})", R"({"a":{"b":1},"a:c":2})",
                      [](Config& c) { c.separator = "::"; }},
        UnflattenCase{"separator_matches_do_not_overlap", R"({"xaaay":1})", R"({"x":{"ay":1}})",
                      [](Config& c) { c.separator = "aa"; }},
        UnflattenCase{"later_leaf_replaces_subtree", R"({"a.b":2,"a":1})", R"({"a":1})"},
        UnflattenCase{"later_leaf_replaces_element", R"({"a.0.b":2,"a.0":1})", R"({"a":[1]})"},
        UnflattenCase{"replaced_member_keeps_place", R"({"a.b":1,"c":2,"a":3})",
                      R"({"a":3,"c":2})"},
        UnflattenCase{"many_members_keep_order",
                      R"({"o.k1":1,"o.k2":2,"o.k3":3,"o.k4":4,"o.k5":5,"o.k6":6,"o.k7":7,)"
                      R"("o.k8":8,"o.k9":9,"o.k10":10,"o.k3":33,"o.k11":11})",
                      R"({"o":{"k1":1,"k2":2,"k3":33,"k4":4,"k5":5,"k6":6,"k7":7,"k8":8,)"
                      R"("k9":9,"k10":10,"k11":11}})"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Values, Unflatten,
    ::testing::Values(
        UnflattenCase{"embedded_container_verbatim", R"({"a.b":{"c" : 1}, "d" : [ 1 , 2 ]})",
                      R"({"a":{"b":{"c" : 1}},"d":[ 1 , 2 ]})"},
        UnflattenCase{"numbers_as_written", R"({"x":1.50,"y":1e3,"z":-0})",
                      R"({"x":1.50,"y":1e3,"z":-0})"},
        UnflattenCase{"string_escapes_kept", R"({"s":"a\"b\u00e9\n"})", R"({"s":"a\"b\u00e9\n"})"},
        UnflattenCase{"escaped_key_decoded", R"({"caf\u00e9.x":1,"t\tab":2})",
                      "{\"caf\xC3\xA9\":{\"x\":1},\"t\\tab\":2}"},
        UnflattenCase{"control_bytes_in_keys", R"({"\b\f\u0001":1})",
                      R"({"\u0008\u000c\u0001":1})"},
        UnflattenCase{"lone_surrogate_key_kept", R"({"\ud800.x":1})", R"({"\ud800":{"x":1}})"},
        UnflattenCase{"escaped_separator_splits", R"({"a\u002eb":1})", R"({"a":{"b":1}})"},
        UnflattenCase{"value_replacement", R"({"a":"xyx","b":"q"})", R"({"a":"\"y\"","b":"q"})",
                      [](Config& c) {
                        c.value_replacements.push_back({"x", "\""});
                      }},
        UnflattenCase{"replacement_sees_decoded_value", R"({"a":"\u0078"})", R"({"a":"y"})",
                      [](Config& c) {
                        c.value_replacements.push_back({"x", "y"});
                      }},
        UnflattenCase{"replacement_leaves_numbers", R"({"a":11})", R"({"a":11})",
                      [](Config& c) {
                        c.value_replacements.push_back({"1", "2"});
                      }},
        UnflattenCase{"conversion", R"({"a.n":"42","a.b":"true","a.z":"hello"})",
                      R"({"a":{"n":42,"b":true,"z":"hello"}})",
                      [](Config& c) {
                        c.conversion.convert_numbers = true;
                        c.conversion.convert_booleans = true;
                      }},
        UnflattenCase{"conversion_after_replacement", R"({"a":"1x"})", R"({"a":1})",
                      [](Config& c) {
                        c.value_replacements.push_back({"x", ""});
                        c.conversion.convert_numbers = true;
                      }},
        UnflattenCase{"converted_null_removed", R"({"a.b":"N/A","a.c":1})", R"({"a":{"c":1}})",
                      [](Config& c) {
                        c.conversion.convert_nulls = true;
                        c.remove_nulls = true;
                      }}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    KeyRules, Unflatten,
    ::testing::Values(
        UnflattenCase{"lowercase", R"({"A.B":1,"\u00c4B":2})",
                      "{\"a\":{\"b\":1},\"\xC3\x84\x62\":2}",
                      [](Config& c) { c.lowercase_keys = true; }},
        UnflattenCase{"replacement_changes_nesting", R"({"a_b":1})", R"({"a":{"b":1}})",
                      [](Config& c) {
                        c.key_replacements.push_back({"_", "."});
                      }},
        UnflattenCase{"regex_replacement", R"({"user_0_name":"x"})", R"({"user":[{"name":"x"}]})",
                      [](Config& c) {
                        c.key_replacements.push_back({"r'_'", "."});
                      }},
        UnflattenCase{"lowercase_before_replacement", R"({"Key":1})", R"({"key":1})",
                      [](Config& c) {
                        c.lowercase_keys = true;
                        c.key_replacements.push_back({"Key", "x"});
                      }},
        UnflattenCase{"exclusion_sees_whole_key", R"({"a.secret":1,"a.b":{"secret":2}})",
                      R"({"a":{"b":{"secret":2}}})",
                      [](Config& c) { c.key_exclusions.push_back("secret"); }},
        UnflattenCase{"exclusion_sees_final_key", R"({"A.X":1,"b":2})", R"({"b":2})",
                      [](Config& c) {
                        c.lowercase_keys = true;
                        c.key_exclusions.push_back("a.x");
                      }},
        UnflattenCase{"excluded_key_skips_container", R"({"x":{"y":"k"},"k":1})", R"({"k":1})",
                      [](Config& c) { c.key_exclusions.push_back("x"); }},
        UnflattenCase{"last_value_wins", R"({"a":1,"a":2})", R"({"a":2})"},
        UnflattenCase{"last_value_wins_at_first_place", R"({"a.x":1,"b":0,"a.x":2})",
                      R"({"a":{"x":2},"b":0})"},
        UnflattenCase{"lowercase_collision", R"({"A":1,"a":2})", R"({"a":2})",
                      [](Config& c) { c.lowercase_keys = true; }},
        UnflattenCase{"collision_array", R"({"a":1,"b":2,"a":3})", R"({"a":[1,3],"b":2})",
                      [](Config& c) { c.handle_key_collision = true; }},
        UnflattenCase{"collision_array_unfiltered", R"({"a.k":"","a.k":"x","b":null})",
                      R"({"a":{"k":["","x"]}})",
                      [](Config& c) {
                        c.handle_key_collision = true;
                        c.remove_empty_strings = true;
                        c.remove_nulls = true;
                      }},
        UnflattenCase{"collision_among_many_siblings",
                      R"({"o.a":1,"o.b":2,"o.c":3,"o.d":4,"o.e":5,"o.f":6,"o.g":7,"o.h":8,)"
                      R"("o.i":9,"o.j":10,"o.c":30,"o.j":100})",
                      R"({"o":{"a":1,"b":2,"c":[3,30],"d":4,"e":5,"f":6,"g":7,"h":8,"i":9,)"
                      R"("j":[10,100]}})",
                      [](Config& c) { c.handle_key_collision = true; }},
        UnflattenCase{"collision_single_key_plain", R"({"a":1,"b":2})", R"({"a":1,"b":2})",
                      [](Config& c) { c.handle_key_collision = true; }}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Filters, Unflatten,
    ::testing::Values(
        UnflattenCase{"gaps_removed", R"({"a.0":1,"a.2":3})", R"({"a":[1,3]})",
                      [](Config& c) { c.remove_nulls = true; }},
        UnflattenCase{"cascade_objects", R"({"a.b":null,"c.d":"","e":1})", R"({"e":1})",
                      [](Config& c) {
                        c.remove_nulls = true;
                        c.remove_empty_strings = true;
                        c.remove_empty_objects = true;
                      }},
        UnflattenCase{"cascade_to_root", R"({"a.b":null})", "{}",
                      [](Config& c) {
                        c.remove_nulls = true;
                        c.remove_empty_objects = true;
                      }},
        UnflattenCase{"no_cascade_without_filter", R"({"a.b":null})", R"({"a":{}})",
                      [](Config& c) { c.remove_nulls = true; }},
        UnflattenCase{"cascade_arrays", R"({"a.0.0":null,"a.1":1,"b.1":null})", R"({"a":[1]})",
                      [](Config& c) {
                        c.remove_nulls = true;
                        c.remove_empty_arrays = true;
                      }},
        UnflattenCase{"cascade_mixed", R"({"a.0.x":"","b":2})", R"({"b":2})",
                      [](Config& c) {
                        c.remove_empty_strings = true;
                        c.remove_empty_objects = true;
                        c.remove_empty_arrays = true;
                      }},
        UnflattenCase{"exact_empty_texts_only", R"({"a.b":{},"a.c":{ },"a.d":[],"a.e":[ ]})",
                      R"({"a":{"c":{ },"e":[ ]}})",
                      [](Config& c) {
                        c.remove_empty_objects = true;
                        c.remove_empty_arrays = true;
                      }},
        UnflattenCase{"all_filters_keep_falsy",
                      R"({"a":"","b":null,"c":{},"d":[],"e":0,"f":false,"g":" "})",
                      R"({"e":0,"f":false,"g":" "})",
                      [](Config& c) {
                        c.remove_empty_strings = c.remove_nulls = true;
                        c.remove_empty_objects = c.remove_empty_arrays = true;
                      }},
        UnflattenCase{"replaced_to_empty_removed", R"({"a.s":"x"})", "{}",
                      [](Config& c) {
                        c.value_replacements.push_back({"x", ""});
                        c.remove_empty_strings = true;
                        c.remove_empty_objects = true;
                      }},
        UnflattenCase{"exclusion_sees_json_text", R"({"a":"secret","b":"x","c":7})", R"({"b":"x"})",
                      [](Config& c) {
                        c.value_exclusions.push_back("secret");
                        c.value_exclusions.push_back("r'^7$'");
                      }},
        UnflattenCase{"anchored_exclusion_misses_quoted", R"({"a":"secret"})", R"({"a":"secret"})",
                      [](Config& c) { c.value_exclusions.push_back("r'^secret$'"); }},
        UnflattenCase{"exclusion_drops_gaps", R"({"a.1":1})", R"({"a":[1]})",
                      [](Config& c) { c.value_exclusions.push_back("null"); }},
        UnflattenCase{"exclusion_cascades", R"({"a.b":"x"})", "{}",
                      [](Config& c) {
                        c.value_exclusions.push_back("x");
                        c.remove_empty_objects = true;
                      }}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Documents, Unflatten,
    ::testing::Values(
        UnflattenCase{"empty_text", "", "{}"}, UnflattenCase{"whitespace", " \t\r\n", "{}"},
        UnflattenCase{"empty_object", "{}", "{}"},
        UnflattenCase{"spaced_empty_object", " { } trailing", "{}"},
        UnflattenCase{"empty_array", "[]", "{}"}, UnflattenCase{"array", "[1,2", "{}"},
        UnflattenCase{"bare_string", R"( "text" )", R"("text")"},
        UnflattenCase{"bare_string_rules", R"("a\bx")", R"("a\by")",
                      [](Config& c) {
                        c.value_replacements.push_back({"x", "y"});
                      }},
        UnflattenCase{"bare_string_converted", R"("12")", "12",
                      [](Config& c) { c.conversion.convert_numbers = true; }},
        UnflattenCase{"bare_number", "42", "42"}, UnflattenCase{"bare_float", "1.50", "1.5"},
        UnflattenCase{"bare_null_not_filtered", "null", "null",
                      [](Config& c) { c.remove_nulls = true; }},
        UnflattenCase{"missing_value", R"({"a":})", "{}"},
        UnflattenCase{"key_without_colon", R"({"a","b":1})", R"({"a":null,"b":1})"},
        UnflattenCase{"stray_tokens_skipped", R"({1,"a":2})", R"({"a":2})"},
        UnflattenCase{"text_after_root_ignored", R"({"a":1} {"b":2})", R"({"a":1})"},
        UnflattenCase{"mismatched_close_accepted", R"({"a.b":1])", R"({"a":{"b":1}})"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Errors, Unflatten,
    ::testing::Values(
        UnflattenCase{"through_leaf", R"({"a":1,"a.b":2})",
                      "E004 Cannot navigate into non-object/non-array value at key: a"},
        UnflattenCase{"through_deep_leaf", R"({"x.a":1,"x.a.b":2})",
                      "E004 Cannot navigate into non-object/non-array value at key: a"},
        UnflattenCase{"through_element", R"({"a.0":1,"a.0.b":2})",
                      "E004 Array element at index 0 has incompatible type"},
        UnflattenCase{"name_below_element", R"({"a.0.0":1,"a.0.":2})",
                      "E004 Expected array index but got: "},
        UnflattenCase{"index_at_limit", R"({"a.3":1})", R"({"a":[null,null,null,1]})",
                      [](Config& c) { c.max_array_index = 3; }},
        UnflattenCase{"index_above_limit", R"({"a.100001":1})",
                      "E007 Array index 100001 exceeds maximum allowed index (100000). Use "
                      "max_array_index() to increase the limit."},
        UnflattenCase{"zero_limit", R"({"a.0":1,"b.1":2})",
                      "E007 Array index 1 exceeds maximum allowed index (0). Use "
                      "max_array_index() to increase the limit.",
                      [](Config& c) { c.max_array_index = 0; }},
        UnflattenCase{"index_beyond_memory", R"({"a.18446744073709551615":1})",
                      "E007 Array index 18446744073709551615 needs more memory than is "
                      "available. Use max_array_index() to lower the limit.",
                      [](Config& c) { c.max_array_index = UINT64_MAX; }},
        UnflattenCase{"empty_scalar", R"({"a":,"b":1})", "E004 Empty scalar value"},
        UnflattenCase{"unclosed", "{", "E004 Unclosed object or array in JSON input"},
        UnflattenCase{"unterminated", R"({"a":"x)", "E004 Unterminated string in JSON input"}),
    case_name);

TEST(UnflattenErrors, BareScalarReaderFaultIsE001) {
  std::string result = unflatten_with("tru", no_change);
  EXPECT_EQ(result.rfind("E001 ", 0), 0u) << result;
  result = unflatten_with("1 2", no_change);
  EXPECT_EQ(result.rfind("E001 JSON has non-whitespace trailing characters", 0), 0u) << result;
}

TEST(UnflattenLimits, HighestDefaultIndexIsMaterialised) {
  std::string result = unflatten_with(R"({"a.100000":1})", no_change);
  auto parsed = read_json_value(result);
  ASSERT_TRUE(parsed.ok()) << result;
  const auto& root = std::get<JsonObject>(parsed.value().data);
  const auto& array = std::get<JsonArray>(root.at(0).second.data);
  ASSERT_EQ(array.size(), 100001u);
  EXPECT_TRUE(std::holds_alternative<JsonValue::Null>(array[99999].data));
  EXPECT_EQ(std::get<uint64_t>(array[100000].data), 1u);
}

// A key with a million separators builds and writes a million levels
// without recursion.
TEST(UnflattenLimits, MillionSegmentKey) {
  constexpr size_t kDepth = 1000000;
  std::string key;
  key.reserve(2 * kDepth + 1);
  for (size_t i = 0; i < kDepth; ++i) key += "k.";
  key += 'v';
  std::string result = unflatten_with("{\"" + key + "\":1}", no_change);
  std::string expected;
  for (size_t i = 0; i < kDepth; ++i) expected += "{\"k\":";
  expected += "{\"v\":1";
  expected.append(kDepth + 1, '}');
  EXPECT_TRUE(result == expected) << result.substr(0, 200);

  std::string indices;
  for (size_t i = 0; i < kDepth; ++i) indices += "0.";
  indices += '0';
  result = unflatten_with("{\"a." + indices + "\":null}", [](Config& c) {
    c.remove_nulls = true;
    c.remove_empty_arrays = true;
  });
  EXPECT_EQ(result, "{}");
}

}  // namespace
}  // namespace plyfold
