// The argument frame shared by every method of the module's classes.
//
// parse_arguments matches positional and keyword arguments against a
// method's parameter list and raises the same TypeError messages for
// missing, surplus, duplicated and unknown arguments in every method. The
// convert_* functions turn one argument into its C++ value; on failure they
// raise with the note "while processing '<parameter>'" attached, so the
// caller only returns.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "builder/config.h"

namespace plyfold::python {

// A method's parameters: the full name used in messages ("Plyfold.execute()"),
// the parameter names in order and how many of them are required.
struct ParameterList {
  const char* full_name;
  std::vector<const char*> names;
  size_t required;
};

// No method has more parameters than this; callers size their value arrays by it.
inline constexpr size_t kMaxParameters = 8;

// Vectorcall form. Fills values[i] with a borrowed reference to the argument
// of parameter i, or nullptr when it was omitted. Returns false with a
// TypeError set.
bool parse_arguments(const ParameterList& parameters, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, PyObject** values);

// Tuple-and-dict form (constructors).
bool parse_arguments(const ParameterList& parameters, PyObject* args, PyObject* kwargs,
                     PyObject** values);

// Conversions. Each returns false with the exception and its note set.
bool convert_bool(PyObject* value, const char* parameter, bool& out);
bool convert_text(PyObject* value, const char* parameter, std::string_view& out);
bool convert_count(PyObject* value, const char* parameter, uint64_t& out);
bool convert_text_list(PyObject* value, const char* parameter, TextList& out);

// Optional forms: an omitted argument (nullptr) or None leaves `out` empty.
bool convert_optional_bool(PyObject* value, const char* parameter, std::optional<bool>& out);
bool convert_optional_text(PyObject* value, const char* parameter,
                           std::optional<std::string_view>& out);
bool convert_optional_count(PyObject* value, const char* parameter, std::optional<uint64_t>& out);
bool convert_optional_text_list(PyObject* value, const char* parameter,
                                std::optional<TextList>& out);

// Takes the value as UTF-8 text if it is a str that encodes; returns false
// and leaves no exception set otherwise. The view points into the str's own
// UTF-8 buffer and is valid while the str is alive.
bool try_take_text(PyObject* value, std::string_view& out);

}  // namespace plyfold::python
