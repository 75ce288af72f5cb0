// An in-memory JSON value with its reader and writer.
//
// Used only where a document is read whole (bare scalar documents). The
// reader accepts exactly one RFC 8259 value surrounded by optional
// whitespace, limits nesting to 128 levels, and reports faults with the
// messages callers wrap as E001. The writer produces compact text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "errors/core_error.h"

namespace plyfold {

struct JsonValue;
using JsonArray = std::vector<JsonValue>;
// Insertion-ordered members; a repeated key replaces the value in place.
using JsonObject = std::vector<std::pair<std::string, JsonValue>>;

struct JsonValue {
  struct Null {};
  std::variant<Null, bool, uint64_t, int64_t, double, std::string, JsonArray, JsonObject> data;
};

// Reads text as one JSON value; the error is E001 with the reader's message.
Result<JsonValue> read_json_value(std::string_view text);

// Appends the compact text of value.
void write_json_value(std::string& out, const JsonValue& value);

}  // namespace plyfold
