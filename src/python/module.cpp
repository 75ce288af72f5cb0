// The extension module plyfold: multi-phase initialisation with a single
// execution step that publishes the classes, the exception and the three
// text attributes, each also listed in __all__.
#include <Python.h>

#include <string>

#include "python/boundary.h"
#include "python/exceptions.h"
#include "python/json_output_type.h"
#include "python/plyfold_type.h"
#include "python/py_ref.h"

namespace plyfold::python {
namespace {

constexpr const char kVersion[] = "0.9.16";
constexpr const char kAuthor[] = "The plyfold developers";
constexpr const char kDescription[] =
    "Python bindings for Plyfold - Unified JSON manipulation library with advanced collision "
    "handling and filtering";

// The module's __all__ list, created empty when the module has none yet.
PyObject* all_list(PyObject* module) {
  PyObject* dict = PyModule_GetDict(module);
  PyObject* existing = PyDict_GetItemString(dict, "__all__");
  if (existing != nullptr) return existing;
  PyRef created = PyRef::steal(PyList_New(0));
  if (!created || PyDict_SetItemString(dict, "__all__", created.get()) < 0) return nullptr;
  return created.get();  // the module dict keeps it alive
}

// Sets module.<name> = value and appends name to __all__. Takes a borrowed
// value; false with an exception set.
bool publish(PyObject* module, const char* name, PyObject* value) {
  if (value == nullptr) return false;
  PyObject* all = all_list(module);
  if (all == nullptr) return false;
  if (PyModule_AddObjectRef(module, name, value) < 0) return false;
  PyRef name_text = PyRef::steal(PyUnicode_FromString(name));
  return name_text && PyList_Append(all, name_text.get()) == 0;
}

bool publish_text(PyObject* module, const char* name, const char* text) {
  PyRef value = PyRef::steal(PyUnicode_FromString(text));
  return value && publish(module, name, value.get());
}

PyObject* exception_type_for_import() {
  PyObject* type = plyfold_error_type();
  if (type != nullptr) return type;
  std::string message = "Failed to initialize new exception type.: ";
  message += take_exception_text();
  raise_internal_fault(message);
  return nullptr;
}

int exec_module(PyObject* module) {
  return call_guarded<int>(-1, [module] {
    bool done = publish(module, "Plyfold", reinterpret_cast<PyObject*>(plyfold_type())) &&
                publish(module, "JsonOutput", reinterpret_cast<PyObject*>(json_output_type())) &&
                publish(module, "PlyfoldError", exception_type_for_import()) &&
                publish_text(module, "__version__", kVersion) &&
                publish_text(module, "__author__", kAuthor) &&
                publish_text(module, "__description__", kDescription);
    return done ? 0 : -1;
  });
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "plyfold",
    "Python module definition",
    0,
    nullptr,
    kSlots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace plyfold::python

PyMODINIT_FUNC PyInit_plyfold(void) { return PyModuleDef_Init(&plyfold::python::kModule); }
