// execute and execute_to_output: Python input to JSON text, one run of the
// configuration with the interpreter lock released, JSON text back to the
// Python type of the input.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "batch/driver.h"
#include "python/arguments.h"
#include "python/codecs.h"
#include "python/exceptions.h"
#include "python/json_output_type.h"
#include "python/plyfold_methods.h"
#include "python/plyfold_type.h"
#include "python/py_ref.h"
#include "python/tabular_input.h"

namespace plyfold::python {
namespace {

constexpr std::string_view kStringPrefix = "Failed to process JSON string: ";
constexpr std::string_view kDictPrefix = "Failed to process Python dict: ";
constexpr std::string_view kListPrefix = "Failed to process JSON list: ";

using RunOutcome = std::optional<Result<JsonOutput>>;

// The documents of a list input: their texts, the objects that own the texts
// (kept alive while the interpreter lock is released) and, per item, whether
// it was a str (true) or a dict (false).
struct Batch {
  std::vector<PyRef> owners;
  std::vector<std::string_view> texts;
  std::vector<bool> is_text;
};

RunOutcome run_document(PyObject* self, std::string_view text) {
  return config_cell(self).run_released<JsonOutput>(
      [text](const Config& config) { return validate_and_run(config, text); });
}

RunOutcome run_batch(PyObject* self, const std::vector<std::string_view>& texts) {
  return config_cell(self).run_released<JsonOutput>(
      [&texts](const Config& config) { return validate_and_run(config, texts); });
}

// Raises PlyfoldError "<prefix><type>: <message>" for the pending exception.
void rewrap_pending(std::string_view prefix) {
  std::string message(prefix);
  message += take_exception_text();
  raise_plyfold_error(message);
}

// Unwraps a run: the JsonOutput, or nullopt with the exception raised.
std::optional<JsonOutput> take_output(RunOutcome outcome, std::string_view prefix) {
  if (!outcome) return std::nullopt;
  if (!outcome->ok()) {
    raise_core_error(prefix, outcome->error());
    return std::nullopt;
  }
  return std::move(outcome->value());
}

bool dict_to_text(PyObject* dict, std::string_view failure_prefix, JsonText& out) {
  if (python_to_json_text(dict, out)) return true;
  rewrap_pending(failure_prefix);
  return false;
}

// Converts every item of a list input before anything is processed. The
// length is read afresh before each item and never grows past its first value.
bool collect_batch(PyObject* list, Batch& batch) {
  const Py_ssize_t initial = PyList_GET_SIZE(list);
  batch.owners.reserve(static_cast<size_t>(initial));
  batch.texts.reserve(static_cast<size_t>(initial));
  batch.is_text.reserve(static_cast<size_t>(initial));
  for (Py_ssize_t i = 0; i < initial && i < PyList_GET_SIZE(list); ++i) {
    PyRef item = PyRef::borrow(PyList_GET_ITEM(list, i));
    std::string_view text;
    if (try_take_text(item.get(), text)) {
      batch.owners.push_back(std::move(item));
      batch.texts.push_back(text);
      batch.is_text.push_back(true);
    } else if (PyDict_Check(item.get())) {
      JsonText json;
      if (!dict_to_text(item.get(), "Failed to convert dict in list: ", json)) return false;
      batch.owners.push_back(std::move(json.owner));
      batch.texts.push_back(json.text);
      batch.is_text.push_back(false);
    } else {
      PyErr_SetString(PyExc_ValueError,
                      "List items must be either JSON strings or Python dictionaries");
      return false;
    }
  }
  return true;
}

PyObject* single_result_text(std::optional<JsonOutput> output, const char* multiple_message) {
  if (!output) return nullptr;
  if (!output->is_single()) {
    PyErr_SetString(PyExc_ValueError, multiple_message);
    return nullptr;
  }
  return text_to_str(std::get<0>(output->texts));
}

PyObject* execute_string(PyObject* self, PyObject* input, std::string_view text) {
  PyRef keep = PyRef::borrow(input);  // owns the UTF-8 buffer `text` points into
  return single_result_text(take_output(run_document(self, text), kStringPrefix),
                            "Unexpected multiple results for single JSON input");
}

PyObject* execute_dict(PyObject* self, PyObject* input) {
  JsonText json;
  if (!dict_to_text(input, "Failed to convert Python dict: ", json)) return nullptr;
  std::optional<JsonOutput> output = take_output(run_document(self, json.text), kDictPrefix);
  if (!output) return nullptr;
  if (!output->is_single()) {
    PyErr_SetString(PyExc_ValueError, "Unexpected multiple results for single dict input");
    return nullptr;
  }
  PyObject* value = json_text_to_python(std::get<0>(output->texts));
  if (value == nullptr) rewrap_pending("Failed to convert to Python: ");
  return value;
}

// Runs a collected batch; the result texts, one per item, or nullopt with an
// exception set.
std::optional<std::vector<std::string>> process_batch(PyObject* self, const Batch& batch) {
  std::optional<JsonOutput> output = take_output(run_batch(self, batch.texts), kListPrefix);
  if (!output) return std::nullopt;
  if (output->is_single()) {
    PyErr_SetString(PyExc_ValueError, "Unexpected single result for multiple input");
    return std::nullopt;
  }
  std::vector<std::string>& results = std::get<1>(output->texts);
  if (results.size() != batch.texts.size()) {
    raise_internal_fault("batch result count differs from the number of documents");
    return std::nullopt;
  }
  return std::move(results);
}

PyObject* batch_results_to_list(const Batch& batch, const std::vector<std::string>& results) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(results.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < results.size(); ++i) {
    PyObject* item = nullptr;
    if (batch.is_text[i]) {
      item = text_to_str(results[i]);
    } else {
      item = json_text_to_python(results[i]);
      if (item == nullptr) rewrap_pending("Failed to convert to Python dict: ");
    }
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

PyObject* execute_list(PyObject* self, PyObject* input) {
  if (PyList_GET_SIZE(input) == 0) return PyList_New(0);
  Batch batch;
  if (!collect_batch(input, batch)) return nullptr;
  std::optional<std::vector<std::string>> results = process_batch(self, batch);
  if (!results) return nullptr;
  return batch_results_to_list(batch, *results);
}

}  // namespace

PyObject* plyfold_execute(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
  static const ParameterList parameters{
      "Plyfold.execute()", {"json_input", "normalise", "target"}, 1};
  PyObject* values[kMaxParameters];
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  PyObject* input = values[0];
  bool normalise = false;
  if (values[1] != nullptr && !convert_bool(values[1], "normalise", normalise)) return nullptr;
  std::optional<std::string_view> target;
  if (!convert_optional_text(values[2], "target", target)) return nullptr;

  if (normalise) return execute_normalised(self, input, target);
  if (target) {
    raise_plyfold_error("target is only valid when normalise=True");
    return nullptr;
  }
  if (!PyUnicode_CheckExact(input) && !PyDict_CheckExact(input) && !PyList_CheckExact(input)) {
    InputClass input_class;
    if (!classify_input(input, input_class)) return nullptr;
    if (input_class.kind != InputKind::Other) return execute_tabular(self, input, input_class);
  }
  std::string_view text;
  if (try_take_text(input, text)) return execute_string(self, input, text);
  if (PyDict_Check(input)) return execute_dict(self, input);
  if (PyList_Check(input)) return execute_list(self, input);
  PyErr_SetString(PyExc_ValueError,
                  "json_input must be a JSON string, Python dict, list of JSON strings, or list "
                  "of Python dicts");
  return nullptr;
}

PyObject* plyfold_execute_to_output(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  static const ParameterList parameters{"Plyfold.execute_to_output()", {"json_input"}, 1};
  PyObject* values[kMaxParameters];
  if (!parse_arguments(parameters, args, nargs, kwnames, values)) return nullptr;
  PyObject* input = values[0];
  PyRef keep = PyRef::borrow(input);
  std::optional<JsonOutput> output;
  std::string_view text;
  if (try_take_text(input, text)) {
    output = take_output(run_document(self, text), kStringPrefix);
  } else if (PyDict_Check(input)) {
    JsonText json;
    if (!dict_to_text(input, "Failed to convert Python dict: ", json)) return nullptr;
    output = take_output(run_document(self, json.text), kDictPrefix);
  } else if (PyList_Check(input)) {
    if (PyList_GET_SIZE(input) == 0)
      return wrap_json_output(JsonOutput{std::vector<std::string>{}});
    Batch batch;
    if (!collect_batch(input, batch)) return nullptr;
    output = take_output(run_batch(self, batch.texts), kListPrefix);
  } else {
    PyErr_SetString(PyExc_ValueError,
                    "json_input must be a JSON string, Python dict, DataFrame, Series, list of "
                    "JSON strings, or list of Python dicts");
    return nullptr;
  }
  if (!output) return nullptr;
  return wrap_json_output(std::move(*output));
}

}  // namespace plyfold::python
