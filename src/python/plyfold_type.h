// The Plyfold class: a configurable processor owning one Config.
//
// The type object is built once per process from its slot and method
// tables. Instances hold their configuration in a ConfigCell and have no
// attribute dictionary. The method bodies live in builder_methods.cpp,
// execute.cpp and config_methods.cpp; plyfold_methods.h declares them.
#pragma once

#include <Python.h>

#include "builder/config.h"
#include "python/config_cell.h"

namespace plyfold::python {

struct PlyfoldObject {
  PyObject_HEAD ConfigCell* cell;
};

// Borrowed reference to the process-wide type; nullptr with an exception set
// when it cannot be built.
PyTypeObject* plyfold_type();

// A new Plyfold instance (of the class itself) owning `config`.
PyObject* new_plyfold(Config config);

inline ConfigCell& config_cell(PyObject* self) {
  return *reinterpret_cast<PlyfoldObject*>(self)->cell;
}

// The builders' body: applies change(Config&) under the lock and returns the
// object itself, or nullptr with the lock's exception set.
template <class Change>
PyObject* change_config(PyObject* self, Change&& change) {
  if (!config_cell(self).update(change)) return nullptr;
  return Py_NewRef(self);
}

}  // namespace plyfold::python
