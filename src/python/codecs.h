// Conversion between Python objects and JSON text through orjson and json.
//
// The codecs (orjson.dumps with OPT_NON_STR_KEYS, json.dumps, orjson.loads,
// json.loads) are looked up once per process on first use; a failed lookup
// (orjson missing, say) is raised to the caller and retried next time.
// Dumping tries orjson first and falls back to json; loading does the same,
// except that texts holding a run of 19 or more digits go straight to json,
// whose integers have no size limit.
#pragma once

#include <Python.h>

#include <string_view>

#include "python/py_ref.h"

namespace plyfold::python {

// JSON text produced by a codec; `text` points into `owner` (bytes or str).
struct JsonText {
  PyRef owner;
  std::string_view text;
};

// Serialises obj. Returns false with the codec's exception set (or ValueError
// for output that is not UTF-8).
bool python_to_json_text(PyObject* obj, JsonText& out);

// Parses JSON text into a new Python object; nullptr with an exception set.
PyObject* json_text_to_python(std::string_view text);

// True when the text holds 19 or more consecutive ASCII digits. Probes about
// one byte in nineteen.
bool has_long_digit_run(std::string_view text);

}  // namespace plyfold::python
