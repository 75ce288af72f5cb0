#include "python/plyfold_type.h"

#include <atomic>
#include <mutex>
#include <new>

#include "python/arguments.h"
#include "python/boundary.h"
#include "python/plyfold_methods.h"
#include "python/process_once.h"
#include "python/py_ref.h"

namespace plyfold::python {
namespace {

std::atomic<PyTypeObject*> type_slot{nullptr};
std::mutex type_guard;

constexpr const char kClassDoc[] =
    "Plyfold()\n--\n\n"
    "The single entry point for flattening, unflattening and cleaning JSON.\n"
    "\n"
    "Choose a mode with flatten(), unflatten() or normal(), add cleaning rules with\n"
    "the builder methods (each returns the same object, so calls chain) and run the\n"
    "configuration with execute().\n"
    "\n"
    "Input and output types of execute():\n"
    "    str            -> str\n"
    "    dict           -> dict\n"
    "    list of str    -> list of str\n"
    "    list of dict   -> list of dict\n"
    "    mixed list     -> list where every item keeps the type it had\n"
    "\n"
    "Examples:\n"
    "    Basic flatten:\n"
    "        >>> Plyfold().flatten().execute('{\"a\": {\"b\": 1}}')\n"
    "        '{\"a.b\":1}'\n"
    "\n"
    "    Basic unflatten:\n"
    "        >>> Plyfold().unflatten().execute('{\"a.b\": 1}')\n"
    "        '{\"a\":{\"b\":1}}'\n"
    "\n"
    "    Chained configuration with collision handling:\n"
    "        >>> (Plyfold().flatten()\n"
    "        ...     .key_replacement(\"r'^(user|admin)_'\", \"\")\n"
    "        ...     .handle_key_collision(True)\n"
    "        ...     .execute({\"user_name\": \"a\", \"admin_name\": \"b\"}))\n"
    "        {'name': ['a', 'b']}\n"
    "\n"
    "    Batch of strings:\n"
    "        >>> Plyfold().flatten().execute(['{\"a\": {\"b\": 1}}', '{\"c\": [2]}'])\n"
    "        ['{\"a.b\":1}', '{\"c.0\":2}']\n";

constexpr int kCallFlags = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef kMethods[] = {
    {"flatten", method_entry<plyfold_flatten>(), kCallFlags,
     "flatten($self)\n--\n\n"
     "Sets the operation mode to flatten: nested objects and arrays become one flat\n"
     "object whose keys are the joined paths of the leaves.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().execute('{\"a\": {\"b\": [1, 2]}}')\n"
     "    '{\"a.b.0\":1,\"a.b.1\":2}'\n"},
    {"unflatten", method_entry<plyfold_unflatten>(), kCallFlags,
     "unflatten($self)\n--\n\n"
     "Sets the operation mode to unflatten: flat keys are split on the separator and\n"
     "nested objects and arrays are rebuilt.\n\n"
     "Example:\n"
     "    >>> Plyfold().unflatten().execute('{\"a.b\": 1, \"a.c.0\": 2}')\n"
     "    '{\"a\":{\"b\":1,\"c\":[2]}}'\n"},
    {"normal", method_entry<plyfold_normal>(), kCallFlags,
     "normal($self)\n--\n\n"
     "Sets the operation mode to normal: the cleaning rules apply and the nesting\n"
     "stays as it is.\n\n"
     "Example:\n"
     "    >>> Plyfold().normal().remove_nulls(True).execute('{\"a\": {\"b\": null}}')\n"
     "    '{\"a\":{}}'\n"},
    {"separator", method_entry<plyfold_separator>(), kCallFlags,
     "separator($self, separator)\n--\n\n"
     "Sets the text placed between key segments when flattening and split on when\n"
     "unflattening (default \".\").\n\n"
     "Args:\n"
     "    separator (str): any non-empty text; an empty one raises ValueError.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().separator(\"::\").execute('{\"a\": {\"b\": 1}}')\n"
     "    '{\"a::b\":1}'\n"},
    {"lowercase_keys", method_entry<plyfold_lowercase_keys>(), kCallFlags,
     "lowercase_keys($self, value)\n--\n\n"
     "Lowercases every key when True (default False).\n\n"
     "Args:\n"
     "    value (bool): switch.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().lowercase_keys(True).execute('{\"A\": {\"B\": 1}}')\n"
     "    '{\"a.b\":1}'\n"},
    {"remove_empty_strings", method_entry<plyfold_remove_empty_strings>(), kCallFlags,
     "remove_empty_strings($self, value)\n--\n\n"
     "Drops members whose value is the empty string when True (default False).\n\n"
     "Args:\n"
     "    value (bool): switch.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().remove_empty_strings(True).execute('{\"a\": \"\", \"b\": 1}')\n"
     "    '{\"b\":1}'\n"},
    {"remove_nulls", method_entry<plyfold_remove_nulls>(), kCallFlags,
     "remove_nulls($self, value)\n--\n\n"
     "Drops members whose value is null when True (default False).\n\n"
     "Args:\n"
     "    value (bool): switch.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().remove_nulls(True).execute('{\"a\": null, \"b\": 1}')\n"
     "    '{\"b\":1}'\n"},
    {"remove_empty_objects", method_entry<plyfold_remove_empty_objects>(), kCallFlags,
     "remove_empty_objects($self, value)\n--\n\n"
     "Drops members whose value is an empty object when True (default False).\n\n"
     "Args:\n"
     "    value (bool): switch.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().remove_empty_objects(True).execute('{\"a\": {}, \"b\": 1}')\n"
     "    '{\"b\":1}'\n"},
    {"remove_empty_arrays", method_entry<plyfold_remove_empty_arrays>(), kCallFlags,
     "remove_empty_arrays($self, value)\n--\n\n"
     "Drops members whose value is an empty array when True (default False).\n\n"
     "Args:\n"
     "    value (bool): switch.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().remove_empty_arrays(True).execute('{\"a\": [], \"b\": 1}')\n"
     "    '{\"b\":1}'\n"},
    {"key_replacement", method_entry<plyfold_key_replacement>(), kCallFlags,
     "key_replacement($self, find, replace)\n--\n\n"
     "Adds a rule that replaces text in keys. Rules apply in the order they were\n"
     "added. A pattern written r'...' is a regular expression; anything else is\n"
     "literal text.\n\n"
     "Args:\n"
     "    find (str): literal text or r'regex'.\n"
     "    replace (str): replacement text (may use $1 or ${name} with a regex).\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().key_replacement(\"user_\", \"\").execute('{\"user_id\": 1}')\n"
     "    '{\"id\":1}'\n"},
    {"value_replacement", method_entry<plyfold_value_replacement>(), kCallFlags,
     "value_replacement($self, find, replace)\n--\n\n"
     "Adds a rule that replaces text in string values. Rules apply in the order\n"
     "they were added; r'...' marks a regular expression.\n\n"
     "Args:\n"
     "    find (str): literal text or r'regex'.\n"
     "    replace (str): replacement text.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().value_replacement(\"@old.com\", \"@new.com\").execute(\n"
     "    ...     '{\"mail\": \"a@old.com\"}')\n"
     "    '{\"mail\":\"a@new.com\"}'\n"},
    {"exclude_key", method_entry<plyfold_exclude_key>(), kCallFlags,
     "exclude_key($self, pattern)\n--\n\n"
     "Adds a key exclusion: a key that matches the pattern is dropped with its\n"
     "whole value. r'...' marks a regular expression.\n\n"
     "Args:\n"
     "    pattern (str): literal key or r'regex'.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().exclude_key(\"password\").execute(\n"
     "    ...     '{\"user\": \"a\", \"password\": \"x\"}')\n"
     "    '{\"user\":\"a\"}'\n"},
    {"exclude_value", method_entry<plyfold_exclude_value>(), kCallFlags,
     "exclude_value($self, pattern)\n--\n\n"
     "Adds a value exclusion: a member whose scalar value matches the pattern is\n"
     "dropped. r'...' marks a regular expression.\n\n"
     "Args:\n"
     "    pattern (str): literal value or r'regex'.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().exclude_value(\"N/A\").execute('{\"a\": \"N/A\", \"b\": 1}')\n"
     "    '{\"b\":1}'\n"},
    {"handle_key_collision", method_entry<plyfold_handle_key_collision>(), kCallFlags,
     "handle_key_collision($self, value)\n--\n\n"
     "When True, values whose keys become equal (after replacement or\n"
     "lowercasing) are gathered into an array instead of overwriting each other.\n\n"
     "Args:\n"
     "    value (bool): switch (default False).\n\n"
     "Example:\n"
     "    >>> (Plyfold().flatten().lowercase_keys(True).handle_key_collision(True)\n"
     "    ...     .execute('{\"A\": 1, \"a\": 2}'))\n"
     "    '{\"a\":[1,2]}'\n"},
    {"auto_convert_types", method_entry<plyfold_auto_convert_types>(), kCallFlags,
     "auto_convert_types($self, enable)\n--\n\n"
     "Switches null, boolean, date and number conversion on or off at once; the\n"
     "settings of each category stay as they are.\n\n"
     "Args:\n"
     "    enable (bool): switch for all four categories.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().auto_convert_types(True).execute('{\"a\": \"42\", \"b\": "
     "\"true\"}')\n"
     "    '{\"a\":42,\"b\":true}'\n"},
    {"convert_dates", method_entry<plyfold_convert_dates>(), kCallFlags,
     "convert_dates($self, enable, normalize_to_utc=None, assume_utc_for_naive=None)\n--\n\n"
     "Switches date conversion on or off and optionally changes its settings.\n\n"
     "Args:\n"
     "    enable (bool): switch.\n"
     "    normalize_to_utc (bool | None): convert datetimes to UTC (default True);\n"
     "        None keeps the current setting.\n"
     "    assume_utc_for_naive (bool | None): treat datetimes without offset as\n"
     "        UTC (default True); None keeps the current setting.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().convert_dates(True, normalize_to_utc=False)\n"},
    {"convert_nulls", method_entry<plyfold_convert_nulls>(), kCallFlags,
     "convert_nulls($self, enable, extra_tokens=None)\n--\n\n"
     "Switches conversion of null-like strings (\"null\", \"N/A\", ...) on or off.\n\n"
     "Args:\n"
     "    enable (bool): switch.\n"
     "    extra_tokens (list[str] | None): replaces the list of extra null tokens;\n"
     "        None keeps the current list, [] clears it.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().convert_nulls(True, extra_tokens=[\"missing\"])\n"},
    {"convert_booleans", method_entry<plyfold_convert_booleans>(), kCallFlags,
     "convert_booleans($self, enable, extra_true_tokens=None, extra_false_tokens=None)\n--\n\n"
     "Switches conversion of boolean-like strings (\"yes\", \"false\", ...) on or off.\n\n"
     "Args:\n"
     "    enable (bool): switch.\n"
     "    extra_true_tokens (list[str] | None): replaces the extra true tokens;\n"
     "        None keeps the current list.\n"
     "    extra_false_tokens (list[str] | None): replaces the extra false tokens;\n"
     "        None keeps the current list.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().convert_booleans(True, extra_true_tokens=[\"si\"])\n"},
    {"convert_numbers", method_entry<plyfold_convert_numbers>(), kCallFlags,
     "convert_numbers($self, enable, currency=None, percent=None, basis_points=None, "
     "suffixes=None, fractions=None, radix=None)\n--\n\n"
     "Switches conversion of numeric strings on or off and optionally enables or\n"
     "disables its sub-formats (all enabled by default).\n\n"
     "Args:\n"
     "    enable (bool): switch.\n"
     "    currency, percent, basis_points, suffixes, fractions, radix (bool | None):\n"
     "        sub-format switches; None keeps the current setting.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().convert_numbers(True, currency=False)\n"},
    {"parallel_threshold", method_entry<plyfold_parallel_threshold>(), kCallFlags,
     "parallel_threshold($self, threshold)\n--\n\n"
     "Sets the smallest batch size processed on worker threads (default 100).\n\n"
     "Args:\n"
     "    threshold (int): non-negative count.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().parallel_threshold(1000)\n"},
    {"num_threads", method_entry<plyfold_num_threads>(), kCallFlags,
     "num_threads($self, num_threads)\n--\n\n"
     "Sets the number of worker threads for parallel work; None means one per\n"
     "logical CPU. 0 is refused when the object executes.\n\n"
     "Args:\n"
     "    num_threads (int | None): thread count, or None for the system default.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().num_threads(4)\n"},
    {"nested_parallel_threshold", method_entry<plyfold_nested_parallel_threshold>(), kCallFlags,
     "nested_parallel_threshold($self, threshold)\n--\n\n"
     "Sets the number of top-level entries above which one document is flattened\n"
     "on several threads (default 100).\n\n"
     "Args:\n"
     "    threshold (int): non-negative count.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().nested_parallel_threshold(500)\n"},
    {"max_array_index", method_entry<plyfold_max_array_index>(), kCallFlags,
     "max_array_index($self, max)\n--\n\n"
     "Sets the largest array index that unflattening accepts (default 100000).\n\n"
     "Args:\n"
     "    max (int): non-negative count.\n\n"
     "Example:\n"
     "    >>> Plyfold().unflatten().max_array_index(1000)\n"},
    {"execute", method_entry<plyfold_execute>(), kCallFlags,
     "execute($self, json_input, normalise=False, target=None)\n--\n\n"
     "Runs the configuration over the input and returns a result of the same shape:\n"
     "str in, str out; dict in, dict out; list in, list out (each item keeps its\n"
     "type).\n\n"
     "Args:\n"
     "    json_input: a JSON string, a dict, or a list of JSON strings and dicts.\n"
     "    normalise (bool): return one wide DataFrame of the flattened documents.\n"
     "    target (str | None): DataFrame library for normalise=True.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().execute({\"a\": {\"b\": 1}})\n"
     "    {'a.b': 1}\n"},
    {"execute_to_output", method_entry<plyfold_execute_to_output>(), kCallFlags,
     "execute_to_output($self, json_input)\n--\n\n"
     "Runs the configuration like execute() but returns the raw JSON texts in a\n"
     "JsonOutput (Single for a str or dict, Multiple for a list).\n\n"
     "Args:\n"
     "    json_input: a JSON string, a dict, or a list of JSON strings and dicts.\n\n"
     "Example:\n"
     "    >>> Plyfold().flatten().execute_to_output({\"a\": {\"b\": 1}}).get_single()\n"
     "    '{\"a.b\":1}'\n"},
    {"to_config_json", method_entry<plyfold_to_config_json>(), kCallFlags,
     "to_config_json($self)\n--\n\n"
     "Returns the configuration as compact JSON text, readable by\n"
     "from_config_json().\n\n"
     "Example:\n"
     "    >>> Plyfold().unflatten().to_config_json()[:20]\n"
     "    '{\"mode\":\"unflatten\",'\n"},
    {"from_config_json", method_entry<plyfold_from_config_json>(), kCallFlags | METH_STATIC,
     "from_config_json(config_json)\n--\n\n"
     "Builds a new Plyfold object from configuration text written by\n"
     "to_config_json() (or by hand). Missing members keep their defaults.\n\n"
     "Args:\n"
     "    config_json (str): the configuration text.\n\n"
     "Example:\n"
     "    >>> Plyfold.from_config_json('{\"mode\": \"flatten\", \"separator\": \"_\"}')\n"},
    {"__reduce__", method_entry<plyfold_reduce>(), kCallFlags,
     "__reduce__($self)\n--\n\n"
     "Pickling support: the object is rebuilt from its configuration text through\n"
     "from_config_json().\n\n"
     "Example:\n"
     "    >>> pickle.loads(pickle.dumps(Plyfold().flatten()))\n"},
    {nullptr, nullptr, 0, nullptr},
};

// Allocates an instance of `type` owning `config`.
PyObject* allocate(PyTypeObject* type, Config config) {
  PyRef self = PyRef::steal(type->tp_alloc(type, 0));
  if (!self) return nullptr;
  // tp_alloc zero-fills, so should the allocation below throw, the object is
  // released with a null pointer, which dealloc accepts; the method boundary
  // turns the exception into MemoryError.
  reinterpret_cast<PlyfoldObject*>(self.get())->cell = new ConfigCell(std::move(config));
  return self.release();
}

PyObject* plyfold_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return call_guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static const ParameterList parameters{"Plyfold.__new__()", {}, 0};
    PyObject* values[kMaxParameters];
    if (!parse_arguments(parameters, args, kwargs, values)) return nullptr;
    return allocate(type, default_config());
  });
}

void plyfold_dealloc(PyObject* self) {
  delete reinterpret_cast<PlyfoldObject*>(self)->cell;
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(plyfold_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(plyfold_dealloc)},
    {Py_tp_methods, kMethods},
    {Py_tp_doc, const_cast<char*>(kClassDoc)},
    {0, nullptr},
};

PyType_Spec kSpec = {
    "plyfold.Plyfold",
    sizeof(PlyfoldObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_IMMUTABLETYPE,
    kSlots,
};

}  // namespace

PyTypeObject* plyfold_type() {
  return get_or_create(type_slot, type_guard,
                       [] { return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kSpec)); });
}

PyObject* new_plyfold(Config config) {
  PyTypeObject* type = plyfold_type();
  if (type == nullptr) return nullptr;
  return allocate(type, std::move(config));
}

}  // namespace plyfold::python
