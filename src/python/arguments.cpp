#include "python/arguments.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "python/process_once.h"
#include "python/py_ref.h"

namespace plyfold::python {
namespace {

std::atomic<PyObject*> sequence_abc_slot{nullptr};
std::mutex sequence_abc_guard;

const char* plural_verb(Py_ssize_t count) { return count == 1 ? "was" : "were"; }

void raise_too_many_positional(const ParameterList& parameters, Py_ssize_t given) {
  size_t count = parameters.names.size();
  if (parameters.required == count) {
    PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given",
                 parameters.full_name, count, given, plural_verb(given));
  } else {
    PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given",
                 parameters.full_name, parameters.required, count, given, plural_verb(given));
  }
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_name_list(const std::vector<const char*>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() == 2) {
        text += " and ";
      } else {
        text += i + 1 == names.size() ? ", and " : ", ";
      }
    }
    text += '\'';
    text += names[i];
    text += '\'';
  }
  return text;
}

bool check_required(const ParameterList& parameters, PyObject** values) {
  std::vector<const char*> missing;
  size_t index = 0;
  for (const char* name : parameters.names) {
    if (index < parameters.required && values[index] == nullptr) missing.push_back(name);
    ++index;
  }
  if (missing.empty()) return true;
  PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", parameters.full_name,
               missing.size(), missing.size() == 1 ? "argument" : "arguments",
               quoted_name_list(missing).c_str());
  return false;
}

// Places one keyword argument; false with a TypeError for an unknown name or a
// parameter that already has a value.
bool place_keyword(const ParameterList& parameters, PyObject* name, PyObject* value,
                   PyObject** values) {
  size_t index = 0;
  for (const char* candidate : parameters.names) {
    if (PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, candidate) == 0) {
      if (values[index] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                     parameters.full_name, candidate);
        return false;
      }
      values[index] = value;
      return true;
    }
    ++index;
  }
  PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", parameters.full_name,
               name);
  return false;
}

bool place_positional(const ParameterList& parameters, PyObject* const* args, Py_ssize_t nargs,
                      PyObject** values) {
  for (size_t i = 0; i < parameters.names.size(); ++i) values[i] = nullptr;
  if (static_cast<size_t>(nargs) > parameters.names.size()) {
    raise_too_many_positional(parameters, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) values[i] = args[i];
  return true;
}

// Adds "while processing '<parameter>'" to the pending exception.
void attach_note(const char* parameter) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr) {
    if (traceback != nullptr) PyException_SetTraceback(value, traceback);
    PyRef note = PyRef::steal(PyUnicode_FromFormat("while processing '%s'", parameter));
    PyRef done =
        note ? PyRef::steal(PyObject_CallMethod(value, "add_note", "O", note.get())) : PyRef();
    if (!done) PyErr_Clear();  // keep the conversion's own error
  }
  PyErr_Restore(type, value, traceback);
}

void raise_wrong_type(PyObject* value, const char* expected) {
  if (value == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    return;
  }
  PyRef name = PyRef::steal(PyType_GetName(Py_TYPE(value)));
  if (!name) return;
  PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", name.get(), expected);
}

// numpy's scalar boolean: a type named bool_ or bool whose module is numpy.
bool is_numpy_bool(PyObject* value) {
  PyTypeObject* type = Py_TYPE(value);
  PyRef name = PyRef::steal(PyType_GetName(type));
  if (!name) {
    PyErr_Clear();
    return false;
  }
  if (PyUnicode_CompareWithASCIIString(name.get(), "bool_") != 0 &&
      PyUnicode_CompareWithASCIIString(name.get(), "bool") != 0) {
    return false;
  }
  PyRef module =
      PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
  if (!module) {
    PyErr_Clear();
    return false;
  }
  return PyUnicode_Check(module.get()) &&
         PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0;
}

bool bool_value(PyObject* value, bool& out) {
  if (value == Py_True || value == Py_False) {
    out = value == Py_True;
    return true;
  }
  if (value != Py_None && is_numpy_bool(value)) {
    int truth = PyObject_IsTrue(value);
    if (truth < 0) return false;
    out = truth == 1;
    return true;
  }
  raise_wrong_type(value, "bool");
  return false;
}

bool text_value(PyObject* value, std::string_view& out) {
  if (!PyUnicode_Check(value)) {
    raise_wrong_type(value, "str");
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) return false;
  out = std::string_view(data, static_cast<size_t>(size));
  return true;
}

bool count_value(PyObject* value, uint64_t& out) {
  PyRef index = PyRef::steal(PyNumber_Index(value));
  if (!index) return false;
  unsigned long long number = PyLong_AsUnsignedLongLong(index.get());
  if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  out = number;
  return true;
}

PyObject* sequence_abc() {
  return get_or_create(sequence_abc_slot, sequence_abc_guard, []() -> PyObject* {
    PyRef module = PyRef::steal(PyImport_ImportModule("collections.abc"));
    if (!module) return nullptr;
    return PyObject_GetAttrString(module.get(), "Sequence");
  });
}

// 1 for a sequence, 0 for anything else, -1 with an exception set.
int is_sequence(PyObject* value) {
  if (PySequence_Check(value)) return 1;
  PyObject* abc = sequence_abc();
  if (abc == nullptr) return -1;
  return PyObject_IsInstance(value, abc);
}

bool text_list_value(PyObject* value, TextList& out) {
  if (PyUnicode_Check(value)) {
    PyErr_SetString(PyExc_TypeError,
                    "a str cannot be taken as a list of strings; pass a list or tuple of str");
    return false;
  }
  int sequence = is_sequence(value);
  if (sequence < 0) return false;
  if (sequence == 0) {
    raise_wrong_type(value, "Sequence");
    return false;
  }
  Py_ssize_t size = PySequence_Size(value);
  if (size < 0) return false;
  TextList items;
  items.reserve(static_cast<size_t>(size));
  for (Py_ssize_t i = 0; i < size; ++i) {
    PyRef item = PyRef::steal(PySequence_GetItem(value, i));
    if (!item) return false;
    std::string_view text;
    if (!text_value(item.get(), text)) return false;
    items.emplace_back(text);
  }
  out = std::move(items);
  return true;
}

template <class Convert>
bool with_note(const char* parameter, Convert&& convert) {
  if (convert()) return true;
  attach_note(parameter);
  return false;
}

}  // namespace

bool parse_arguments(const ParameterList& parameters, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, PyObject** values) {
  nargs = PyVectorcall_NARGS(nargs);
  if (!place_positional(parameters, args, nargs, values)) return false;
  Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t i = 0; i < keywords; ++i) {
    if (!place_keyword(parameters, PyTuple_GET_ITEM(kwnames, i), args[nargs + i], values)) {
      return false;
    }
  }
  return check_required(parameters, values);
}

bool parse_arguments(const ParameterList& parameters, PyObject* args, PyObject* kwargs,
                     PyObject** values) {
  Py_ssize_t nargs = args == nullptr ? 0 : PyTuple_GET_SIZE(args);
  PyObject* const* items = nargs == 0 ? nullptr : &PyTuple_GET_ITEM(args, 0);
  if (!place_positional(parameters, items, nargs, values)) return false;
  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* name = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &name, &value)) {
      if (!place_keyword(parameters, name, value, values)) return false;
    }
  }
  return check_required(parameters, values);
}

bool convert_bool(PyObject* value, const char* parameter, bool& out) {
  return with_note(parameter, [&] { return bool_value(value, out); });
}

bool convert_text(PyObject* value, const char* parameter, std::string_view& out) {
  return with_note(parameter, [&] { return text_value(value, out); });
}

bool convert_count(PyObject* value, const char* parameter, uint64_t& out) {
  return with_note(parameter, [&] { return count_value(value, out); });
}

bool convert_text_list(PyObject* value, const char* parameter, TextList& out) {
  return with_note(parameter, [&] { return text_list_value(value, out); });
}

bool convert_optional_bool(PyObject* value, const char* parameter, std::optional<bool>& out) {
  out.reset();
  if (value == nullptr || value == Py_None) return true;
  bool result = false;
  if (!convert_bool(value, parameter, result)) return false;
  out = result;
  return true;
}

bool convert_optional_text(PyObject* value, const char* parameter,
                           std::optional<std::string_view>& out) {
  out.reset();
  if (value == nullptr || value == Py_None) return true;
  std::string_view result;
  if (!convert_text(value, parameter, result)) return false;
  out = result;
  return true;
}

bool convert_optional_count(PyObject* value, const char* parameter, std::optional<uint64_t>& out) {
  out.reset();
  if (value == nullptr || value == Py_None) return true;
  uint64_t result = 0;
  if (!convert_count(value, parameter, result)) return false;
  out = result;
  return true;
}

bool convert_optional_text_list(PyObject* value, const char* parameter,
                                std::optional<TextList>& out) {
  out.reset();
  if (value == nullptr || value == Py_None) return true;
  TextList result;
  if (!convert_text_list(value, parameter, result)) return false;
  out = std::move(result);
  return true;
}

bool try_take_text(PyObject* value, std::string_view& out) {
  if (!PyUnicode_Check(value)) return false;
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) {
    PyErr_Clear();
    return false;
  }
  out = std::string_view(data, static_cast<size_t>(size));
  return true;
}

}  // namespace plyfold::python
