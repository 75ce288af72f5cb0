// The method bodies of the Plyfold class, in the vectorcall form
// (self, args, nargs, kwnames). Each one starts by parsing its arguments
// with parse_arguments; plyfold_type.cpp puts them in the method table.
#pragma once

#include <Python.h>

namespace plyfold::python {

using MethodBody = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// Mode, rule and setting builders (builder_methods.cpp).
PyObject* plyfold_flatten(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_unflatten(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_normal(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_separator(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_lowercase_keys(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_remove_empty_strings(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_remove_nulls(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_remove_empty_objects(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_remove_empty_arrays(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_key_replacement(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_value_replacement(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_exclude_key(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_exclude_value(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_handle_key_collision(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_auto_convert_types(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_convert_dates(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_convert_nulls(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_convert_booleans(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_convert_numbers(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_parallel_threshold(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_num_threads(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_nested_parallel_threshold(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_max_array_index(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// Processing (execute.cpp).
PyObject* plyfold_execute(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_execute_to_output(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// Configuration text and pickling (config_methods.cpp).
PyObject* plyfold_to_config_json(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_from_config_json(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* plyfold_reduce(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

}  // namespace plyfold::python
