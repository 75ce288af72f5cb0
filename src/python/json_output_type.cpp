#include "python/json_output_type.h"

#include <atomic>
#include <mutex>
#include <new>
#include <utility>

#include "python/arguments.h"
#include "python/boundary.h"
#include "python/exceptions.h"
#include "python/plyfold_methods.h"
#include "python/process_once.h"
#include "python/py_ref.h"
#include "tape/json_text.h"

namespace plyfold::python {
namespace {

struct JsonOutputObject {
  PyObject_HEAD JsonOutput* value;
};

std::atomic<PyTypeObject*> type_slot{nullptr};
std::mutex type_guard;

const JsonOutput& value_of(PyObject* self) {
  return *reinterpret_cast<JsonOutputObject*>(self)->value;
}

const std::string& single_text(PyObject* self) { return std::get<0>(value_of(self).texts); }

const std::vector<std::string>& multiple_texts(PyObject* self) {
  return std::get<1>(value_of(self).texts);
}

PyObject* texts_to_list(const std::vector<std::string>& texts) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(texts.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < texts.size(); ++i) {
    PyObject* item = text_to_str(texts[i]);
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

bool no_arguments(const char* full_name, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) {
  const ParameterList parameters{full_name, {}, 0};
  PyObject* values[kMaxParameters];
  return parse_arguments(parameters, args, nargs, kwnames, values);
}

PyObject* get_single(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  if (!no_arguments("JsonOutput.get_single()", args, nargs, kwnames)) return nullptr;
  if (!value_of(self).is_single()) {
    PyErr_SetString(PyExc_ValueError,
                    "Result contains multiple JSON strings, use get_multiple() instead");
    return nullptr;
  }
  return text_to_str(single_text(self));
}

PyObject* get_multiple(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  if (!no_arguments("JsonOutput.get_multiple()", args, nargs, kwnames)) return nullptr;
  if (value_of(self).is_single()) {
    PyErr_SetString(PyExc_ValueError,
                    "Result contains single JSON string, use get_single() instead");
    return nullptr;
  }
  return texts_to_list(multiple_texts(self));
}

PyObject* to_python(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  if (!no_arguments("JsonOutput.to_python()", args, nargs, kwnames)) return nullptr;
  if (value_of(self).is_single()) return text_to_str(single_text(self));
  return texts_to_list(multiple_texts(self));
}

PyObject* is_single(PyObject* self, void*) { return PyBool_FromLong(value_of(self).is_single()); }

PyObject* is_multiple(PyObject* self, void*) {
  return PyBool_FromLong(!value_of(self).is_single());
}

PyObject* render_str(PyObject* self) {
  if (value_of(self).is_single()) return text_to_str(single_text(self));
  return text_to_str(render_text_list(multiple_texts(self)));
}

PyObject* render_repr(PyObject* self) {
  std::string text;
  if (value_of(self).is_single()) {
    text = "JsonOutput.Single('";
    text += single_text(self);
    text += "')";
  } else {
    text = "JsonOutput.Multiple(";
    text += render_text_list(multiple_texts(self));
    text += ")";
  }
  return text_to_str(text);
}

PyObject* json_output_str(PyObject* self) {
  return call_guarded<PyObject*>(nullptr, [self] { return render_str(self); });
}

PyObject* json_output_repr(PyObject* self) {
  return call_guarded<PyObject*>(nullptr, [self] { return render_repr(self); });
}

void json_output_dealloc(PyObject* self) {
  delete reinterpret_cast<JsonOutputObject*>(self)->value;
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

constexpr int kCallFlags = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef kMethods[] = {
    {"get_single", method_entry<get_single>(), kCallFlags,
     "get_single($self)\n--\n\n"
     "Returns the JSON text of a Single result; raises ValueError for Multiple.\n"},
    {"get_multiple", method_entry<get_multiple>(), kCallFlags,
     "get_multiple($self)\n--\n\n"
     "Returns a new list of the JSON texts of a Multiple result, in input order;\n"
     "raises ValueError for Single.\n"},
    {"to_python", method_entry<to_python>(), kCallFlags,
     "to_python($self)\n--\n\n"
     "Returns the JSON text (Single) or a new list of JSON texts (Multiple).\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef kProperties[] = {
    {"is_single", is_single, nullptr, "True when the result holds one JSON text.", nullptr},
    {"is_multiple", is_multiple, nullptr, "True when the result holds a list of JSON texts.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(json_output_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(json_output_repr)},
    {Py_tp_str, reinterpret_cast<void*>(json_output_str)},
    {Py_tp_methods, kMethods},
    {Py_tp_getset, kProperties},
    {Py_tp_doc, const_cast<char*>("Python wrapper for JsonOutput enum")},
    {0, nullptr},
};

PyType_Spec kSpec = {
    "plyfold.JsonOutput",
    sizeof(JsonOutputObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    kSlots,
};

// Decodes one UTF-8 sequence at text[i]; returns its code point and advances
// i. An invalid byte decodes as U+FFFD and advances one byte.
uint32_t next_code_point(std::string_view text, size_t& i) {
  auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  size_t extra = (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : 0;
  if (extra == 0 || i + extra >= text.size()) {
    ++i;
    return 0xFFFD;
  }
  uint32_t code = lead & (0x3F >> extra);
  for (size_t k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  i += extra + 1;
  return code;
}

// Printable: ASCII 0x20-0x7E, and beyond ASCII whatever Python's
// str.isprintable() accepts (so controls, format characters, separators
// other than the space, surrogates and unassigned code points are escaped).
bool is_printable(uint32_t code) {
  if (code < 0x80) return code >= 0x20 && code < 0x7F;
  return Py_UNICODE_ISPRINTABLE(static_cast<Py_UCS4>(code));
}

void append_quoted(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  size_t i = 0;
  while (i < text.size()) {
    uint32_t code = next_code_point(text, i);
    switch (code) {
      case '\\': out += "\\\\"; continue;
      case '"': out += "\\\""; continue;
      case '\t': out += "\\t"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\0': out += "\\0"; continue;
      default: break;
    }
    if (is_printable(code)) {
      append_utf8(out, code);
      continue;
    }
    char digits[8];
    int count = 0;
    do {
      digits[count++] = kHex[code & 0xF];
      code >>= 4;
    } while (code != 0);
    out += "\\u{";
    while (count > 0) out += digits[--count];
    out += '}';
  }
  out += '"';
}

}  // namespace

std::string render_text_list(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += ", ";
    append_quoted(out, texts[i]);
  }
  out += ']';
  return out;
}

PyTypeObject* json_output_type() {
  return get_or_create(type_slot, type_guard,
                       [] { return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kSpec)); });
}

PyObject* wrap_json_output(JsonOutput value) {
  PyTypeObject* type = json_output_type();
  if (type == nullptr) return nullptr;
  PyRef self = PyRef::steal(type->tp_alloc(type, 0));
  if (!self) return nullptr;
  // tp_alloc zero-fills, so should the allocation below throw, the object is
  // released with a null pointer, which dealloc accepts; the method boundary
  // turns the exception into MemoryError.
  reinterpret_cast<JsonOutputObject*>(self.get())->value = new JsonOutput(std::move(value));
  return self.release();
}

}  // namespace plyfold::python
