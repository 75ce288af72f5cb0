// to_config_json, from_config_json and __reduce__: the configuration as JSON
// text, a new object built from such a text, and pickling through the pair.
#include <string>
#include <string_view>

#include "builder/config_json.h"
#include "python/arguments.h"
#include "python/exceptions.h"
#include "python/plyfold_methods.h"
#include "python/plyfold_type.h"
#include "python/py_ref.h"

namespace plyfold::python {
namespace {

// The object's configuration text (short access); nullptr with an exception.
PyObject* config_text(PyObject* self) {
  std::string text;
  if (!config_cell(self).update([&text](Config& config) { text = write_config_json(config); })) {
    return nullptr;
  }
  return text_to_str(text);
}

}  // namespace

PyObject* plyfold_to_config_json(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.to_config_json()", {}, 0};
  PyObject* values[kMaxParameters];
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  return config_text(self);
}

PyObject* plyfold_from_config_json(PyObject* /*unused*/, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.from_config_json()", {"config_json"}, 1};
  PyObject* values[kMaxParameters];
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  std::string_view text;
  if (!convert_text(values[0], "config_json", text)) return nullptr;
  Result<Config> config = read_config_json(text);
  if (!config.ok()) {
    raise_core_error("Invalid configuration: ", config.error());
    return nullptr;
  }
  return new_plyfold(std::move(config.value()));
}

PyObject* plyfold_reduce(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.__reduce__()", {}, 0};
  PyObject* values[kMaxParameters];
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  PyRef rebuild = PyRef::steal(
      PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(self)), "from_config_json"));
  if (!rebuild) return nullptr;
  PyRef text = PyRef::steal(config_text(self));
  if (!text) return nullptr;
  return Py_BuildValue("(O(O))", rebuild.get(), text.get());
}

}  // namespace plyfold::python
