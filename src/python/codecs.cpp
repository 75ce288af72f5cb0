#include "python/codecs.h"

#include <atomic>
#include <mutex>

#include "python/exceptions.h"
#include "python/process_once.h"
#include "tape/json_text.h"

namespace plyfold::python {
namespace {

struct PythonCodecs {
  PyObject* fast_dumps;
  PyObject* fast_dumps_options;
  PyObject* standard_dumps;
  PyObject* fast_loads;
  PyObject* standard_loads;
};

std::atomic<PythonCodecs*> codecs_slot{nullptr};
std::mutex codecs_guard;

// Shortest run length that goes to the standard decoder.
constexpr size_t kLongDigitRun = 19;

// Builds the codec record; its references live as long as the process.
PythonCodecs* create_codecs() {
  PyRef json = PyRef::steal(PyImport_ImportModule("json"));
  if (!json) return nullptr;
  PyRef standard_dumps = PyRef::steal(PyObject_GetAttrString(json.get(), "dumps"));
  if (!standard_dumps) return nullptr;
  PyRef standard_loads = PyRef::steal(PyObject_GetAttrString(json.get(), "loads"));
  if (!standard_loads) return nullptr;
  PyRef orjson = PyRef::steal(PyImport_ImportModule("orjson"));
  if (!orjson) return nullptr;
  PyRef option = PyRef::steal(PyObject_GetAttrString(orjson.get(), "OPT_NON_STR_KEYS"));
  if (!option) return nullptr;
  PyRef options = PyRef::steal(PyDict_New());
  if (!options || PyDict_SetItemString(options.get(), "option", option.get()) < 0) return nullptr;
  PyRef fast_dumps = PyRef::steal(PyObject_GetAttrString(orjson.get(), "dumps"));
  if (!fast_dumps) return nullptr;
  PyRef fast_loads = PyRef::steal(PyObject_GetAttrString(orjson.get(), "loads"));
  if (!fast_loads) return nullptr;
  auto* codecs = new (std::nothrow)
      PythonCodecs{fast_dumps.release(), options.release(), standard_dumps.release(),
                   fast_loads.release(), standard_loads.release()};
  if (codecs == nullptr) {
    PyErr_NoMemory();
    return nullptr;
  }
  return codecs;
}

const PythonCodecs* python_codecs() {
  return get_or_create(codecs_slot, codecs_guard, create_codecs);
}

// ValueError naming the decoding error of invalid serializer output.
void raise_non_utf8(std::string_view bytes) {
  PyRef decoded = PyRef::steal(
      PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "strict"));
  std::string detail = "invalid UTF-8";
  if (!decoded) {
    PyRef value_ref = take_exception_value();
    PyRef text = value_ref ? PyRef::steal(PyObject_Str(value_ref.get())) : PyRef();
    const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (utf8 != nullptr) detail = utf8;
    PyErr_Clear();
  }
  PyErr_Format(PyExc_ValueError, "JSON serializer produced non-UTF-8 output: %s", detail.c_str());
}

// Takes a codec's result (bytes or str) as the JSON text.
bool take_codec_output(PyRef result, JsonText& out) {
  if (PyBytes_Check(result.get())) {
    std::string_view bytes(PyBytes_AS_STRING(result.get()),
                           static_cast<size_t>(PyBytes_GET_SIZE(result.get())));
    if (!is_valid_utf8(bytes)) {
      raise_non_utf8(bytes);
      return false;
    }
    out.text = bytes;
    out.owner = std::move(result);
    return true;
  }
  if (PyUnicode_Check(result.get())) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(result.get(), &size);
    if (data == nullptr) return false;
    out.text = std::string_view(data, static_cast<size_t>(size));
    out.owner = std::move(result);
    return true;
  }
  PyErr_Format(PyExc_TypeError, "JSON serializer returned %s instead of bytes or str",
               Py_TYPE(result.get())->tp_name);
  return false;
}

}  // namespace

bool has_long_digit_run(std::string_view text) {
  auto is_digit = [&](size_t at) { return text[at] >= '0' && text[at] <= '9'; };
  size_t position = 0;
  const size_t n = text.size();
  while (position < n) {
    if (!is_digit(position)) {
      position += kLongDigitRun;
      continue;
    }
    size_t first = position;
    while (first > 0 && is_digit(first - 1)) --first;
    size_t last = position;
    while (last + 1 < n && is_digit(last + 1)) ++last;
    if (last - first + 1 >= kLongDigitRun) return true;
    position = last + kLongDigitRun + 1;
  }
  return false;
}

bool python_to_json_text(PyObject* obj, JsonText& out) {
  const PythonCodecs* codecs = python_codecs();
  if (codecs == nullptr) return false;
  PyRef args = PyRef::steal(PyTuple_Pack(1, obj));
  if (!args) return false;
  PyRef result =
      PyRef::steal(PyObject_Call(codecs->fast_dumps, args.get(), codecs->fast_dumps_options));
  if (!result) {
    PyErr_Clear();
    result = PyRef::steal(PyObject_CallOneArg(codecs->standard_dumps, obj));
    if (!result) return false;
  }
  return take_codec_output(std::move(result), out);
}

PyObject* json_text_to_python(std::string_view text) {
  const PythonCodecs* codecs = python_codecs();
  if (codecs == nullptr) return nullptr;
  if (!has_long_digit_run(text)) {
    // The fast decoder reads the UTF-8 bytes in place: no str is built and
    // encoded back. It keeps no reference to them after it returns.
    PyRef view = PyRef::steal(PyMemoryView_FromMemory(
        const_cast<char*>(text.data()), static_cast<Py_ssize_t>(text.size()), PyBUF_READ));
    if (!view) return nullptr;
    PyObject* value = PyObject_CallOneArg(codecs->fast_loads, view.get());
    if (value != nullptr) return value;
    PyErr_Clear();
  }
  PyRef str = PyRef::steal(text_to_str(text));
  if (!str) return nullptr;
  return PyObject_CallOneArg(codecs->standard_loads, str.get());
}

}  // namespace plyfold::python
