// Hooks for tabular inputs (DataFrame and Series objects) and for the wide
// DataFrame output of execute(normalise=True).
//
// execute() asks classify_input about every input whose type is not exactly
// str, dict or list; a DataFrame or Series goes to execute_tabular. Every call
// with normalise=True goes to execute_normalised. This build recognises no
// tabular input and has no wide-DataFrame output: classify_input reports
// every object as "other", and execute_normalised raises PlyfoldError.
#pragma once

#include <Python.h>

#include <optional>
#include <string_view>

namespace plyfold::python {

enum class InputKind { Other, DataFrame, Series };
enum class TabularLibrary { Pandas, Polars, Pyarrow, Pyspark, Generic };

struct InputClass {
  InputKind kind = InputKind::Other;
  TabularLibrary library = TabularLibrary::Generic;
};

// Returns false with the exception met while inspecting `input`.
bool classify_input(PyObject* input, InputClass& out);

// execute() on a DataFrame or a Series: the Python result, or nullptr with an
// exception set.
PyObject* execute_tabular(PyObject* self, PyObject* input, const InputClass& input_class);

// execute(input, normalise=True, target=...): the wide DataFrame, or nullptr
// with an exception set.
PyObject* execute_normalised(PyObject* self, PyObject* input,
                             std::optional<std::string_view> target);

}  // namespace plyfold::python
