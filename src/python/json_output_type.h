// The JsonOutput class: the raw JSON texts of one execution, immutable.
//
// Instances come only from Plyfold.execute_to_output; Python code cannot
// create them. Single holds one text, Multiple a list of texts in input order.
#pragma once

#include <Python.h>

#include <string>
#include <string_view>
#include <vector>

#include "batch/driver.h"

namespace plyfold::python {

// Borrowed reference to the process-wide type; nullptr with an exception set
// when it cannot be built.
PyTypeObject* json_output_type();

// A new JsonOutput instance holding `value`.
PyObject* wrap_json_output(JsonOutput value);

// The list rendering of Multiple: ["a", "b"] with the texts quoted and escaped.
std::string render_text_list(const std::vector<std::string>& texts);

}  // namespace plyfold::python
