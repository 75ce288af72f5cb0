#include "python/tabular_input.h"

#include "python/exceptions.h"

namespace plyfold::python {

bool classify_input(PyObject* /*input*/, InputClass& out) {
  out = InputClass{};
  return true;
}

PyObject* execute_tabular(PyObject* /*self*/, PyObject* /*input*/,
                          const InputClass& /*input_class*/) {
  raise_internal_fault("tabular input reached execute without a tabular handler");
  return nullptr;
}

PyObject* execute_normalised(PyObject* /*self*/, PyObject* /*input*/,
                             std::optional<std::string_view> /*target*/) {
  raise_plyfold_error("normalise=True is not available in this build");
  return nullptr;
}

}  // namespace plyfold::python
