#include "python/exceptions.h"

#include <atomic>
#include <mutex>

#include "python/process_once.h"
#include "python/py_ref.h"

namespace plyfold::python {
namespace {

std::atomic<PyObject*> plyfold_error_slot{nullptr};
std::mutex plyfold_error_guard;
std::atomic<PyObject*> internal_fault_slot{nullptr};
std::mutex internal_fault_guard;

// The text of one exception value: "<qualname>: <str>".
std::string describe_exception(PyObject* value) {
  std::string text;
  PyRef qualname = PyRef::steal(PyType_GetQualName(Py_TYPE(value)));
  const char* name = qualname ? PyUnicode_AsUTF8(qualname.get()) : nullptr;
  if (name == nullptr) {
    PyErr_Clear();
    name = Py_TYPE(value)->tp_name;
  }
  text += name;
  text += ": ";
  PyRef rendered = PyRef::steal(PyObject_Str(value));
  Py_ssize_t size = 0;
  const char* utf8 = rendered ? PyUnicode_AsUTF8AndSize(rendered.get(), &size) : nullptr;
  if (utf8 == nullptr) {
    PyErr_Clear();
    text += "<exception str() failed>";
  } else {
    text.append(utf8, static_cast<size_t>(size));
  }
  return text;
}

}  // namespace

PyObject* plyfold_error_type() {
  return get_or_create(plyfold_error_slot, plyfold_error_guard, [] {
    return PyErr_NewExceptionWithDoc("plyfold.PlyfoldError",
                                     "Python exception for Plyfold operations", PyExc_Exception,
                                     nullptr);
  });
}

PyObject* internal_fault_type() {
  return get_or_create(internal_fault_slot, internal_fault_guard, [] {
    return PyErr_NewExceptionWithDoc(
        "plyfold.InternalFault",
        "Raised when plyfold meets a broken internal assumption. It derives from "
        "BaseException; an object whose configuration was in use at that moment stays "
        "unusable afterwards.",
        PyExc_BaseException, nullptr);
  });
}

PyObject* text_to_str(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

void raise_plyfold_error(std::string_view message) {
  PyObject* type = plyfold_error_type();
  if (type == nullptr) return;
  PyRef text = PyRef::steal(text_to_str(message));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

void raise_core_error(std::string_view prefix, const CoreError& error) {
  std::string message(prefix);
  message += error.display();
  raise_plyfold_error(message);
}

void raise_internal_fault(std::string_view message) {
  PyObject* type = internal_fault_type();
  if (type == nullptr) return;
  PyRef text = PyRef::steal(text_to_str(message));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

void raise_poisoned_lock() {
  PyErr_SetString(PyExc_RuntimeError, std::string(kPoisonedLockMessage).c_str());
}

PyRef take_exception_value() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef type_ref = PyRef::steal(type);
  PyRef traceback_ref = PyRef::steal(traceback);
  return PyRef::steal(value);
}

std::string take_exception_text() {
  PyRef value = take_exception_value();
  if (!value) return "SystemError: <no exception set>";
  std::string text = describe_exception(value.get());
  PyErr_Clear();
  return text;
}

}  // namespace plyfold::python
