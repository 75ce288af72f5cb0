// PyRef: an owned reference to a Python object.
//
// Every new reference the module receives from the C API goes into a PyRef,
// which releases it when it goes out of scope, on every return path. A PyRef
// may be empty (nullptr), which is how C API failures show up. release()
// hands the reference to a caller that takes ownership (a return value or a
// "stealing" API call). The interpreter lock must be held whenever a
// non-empty PyRef is destroyed or reset.
#pragma once

#include <Python.h>

#include <utility>

namespace plyfold::python {

class PyRef {
 public:
  PyRef() = default;
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      PyObject* old = object_;
      object_ = other.object_;
      other.object_ = nullptr;
      Py_XDECREF(old);
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(object_); }

  // Takes over a new reference (or nullptr from a failed call).
  static PyRef steal(PyObject* object) { return PyRef(object); }
  // Adds a reference to a borrowed object.
  static PyRef borrow(PyObject* object) {
    Py_XINCREF(object);
    return PyRef(object);
  }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // Gives up ownership to the caller.
  PyObject* release() { return std::exchange(object_, nullptr); }
  // Returns a new reference for a caller that keeps its own.
  PyObject* new_reference() const {
    Py_XINCREF(object_);
    return object_;
  }
  void reset(PyObject* object = nullptr) {
    PyObject* old = object_;
    object_ = object;
    Py_XDECREF(old);
  }

 private:
  explicit PyRef(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace plyfold::python
