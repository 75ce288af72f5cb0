// The C++/Python boundary of every method: no C++ exception crosses it.
//
// guarded<body> wraps a method body: an allocation failure becomes
// MemoryError, any other C++ exception the InternalFault exception. (Faults
// while a configuration lock is held are caught inside ConfigCell, which also
// poisons the lock.)
#pragma once

#include <Python.h>

#include <exception>
#include <new>

#include "python/exceptions.h"
#include "python/plyfold_methods.h"

namespace plyfold::python {

// Runs body() and translates a C++ exception into a Python one; `failed` is
// the value returned in that case (nullptr or -1).
template <class Result, class Body>
Result call_guarded(Result failed, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    raise_internal_fault(error.what());
  } catch (...) {
    raise_internal_fault("unknown internal error");
  }
  return failed;
}

template <MethodBody body>
PyObject* guarded(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept {
  return call_guarded<PyObject*>(nullptr, [&] { return body(self, args, nargs, kwnames); });
}

// The method table's entry for a vectorcall body.
template <MethodBody body>
PyCFunction method_entry() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&guarded<body>));
}

}  // namespace plyfold::python
