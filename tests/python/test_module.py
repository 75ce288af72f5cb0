import importlib.util
import pickle

import plyfold
import pytest
from conftest import run_python
from plyfold import JsonOutput, Plyfold, PlyfoldError

METHOD_SIGNATURES = {
    "flatten": "($self)",
    "unflatten": "($self)",
    "normal": "($self)",
    "separator": "($self, separator)",
    "lowercase_keys": "($self, value)",
    "remove_empty_strings": "($self, value)",
    "remove_nulls": "($self, value)",
    "remove_empty_objects": "($self, value)",
    "remove_empty_arrays": "($self, value)",
    "key_replacement": "($self, find, replace)",
    "value_replacement": "($self, find, replace)",
    "exclude_key": "($self, pattern)",
    "exclude_value": "($self, pattern)",
    "handle_key_collision": "($self, value)",
    "auto_convert_types": "($self, enable)",
    "convert_dates": "($self, enable, normalize_to_utc=None, assume_utc_for_naive=None)",
    "convert_nulls": "($self, enable, extra_tokens=None)",
    "convert_booleans": "($self, enable, extra_true_tokens=None, extra_false_tokens=None)",
    "convert_numbers": (
        "($self, enable, currency=None, percent=None, basis_points=None, suffixes=None, "
        "fractions=None, radix=None)"
    ),
    "parallel_threshold": "($self, threshold)",
    "num_threads": "($self, num_threads)",
    "nested_parallel_threshold": "($self, threshold)",
    "max_array_index": "($self, max)",
    "execute": "($self, json_input, normalise=False, target=None)",
    "execute_to_output": "($self, json_input)",
    "to_config_json": "($self)",
    "from_config_json": "(config_json)",
    "__reduce__": "($self)",
}


def test_module_attributes():
    assert plyfold.__all__ == [
        "Plyfold",
        "JsonOutput",
        "PlyfoldError",
        "__version__",
        "__author__",
        "__description__",
    ]
    assert plyfold.__version__ == "0.9.16"
    assert plyfold.__description__ == (
        "Python bindings for Plyfold - Unified JSON manipulation library with advanced "
        "collision handling and filtering"
    )
    assert isinstance(plyfold.__author__, str) and plyfold.__author__
    assert plyfold.__doc__ == "Python module definition"


def test_class_and_exception_identity():
    assert issubclass(PlyfoldError, Exception)
    assert (PlyfoldError.__module__, PlyfoldError.__qualname__) == ("plyfold", "PlyfoldError")
    assert PlyfoldError.__doc__ == "Python exception for Plyfold operations"
    assert (Plyfold.__module__, Plyfold.__qualname__) == ("plyfold", "Plyfold")
    assert (JsonOutput.__module__, JsonOutput.__qualname__) == ("plyfold", "JsonOutput")
    assert JsonOutput.__doc__ == "Python wrapper for JsonOutput enum"
    assert str(PlyfoldError("boom")) == "boom"


def test_second_module_instance_shares_the_process_wide_types():
    spec = importlib.util.find_spec("plyfold")
    again = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(again)
    assert again is not plyfold
    assert again.Plyfold is Plyfold
    assert again.JsonOutput is JsonOutput
    assert again.PlyfoldError is PlyfoldError
    assert again.__all__ == plyfold.__all__


@pytest.mark.parametrize("name,signature", METHOD_SIGNATURES.items())
def test_method_text_signatures(name, signature):
    method = getattr(Plyfold, name)
    assert method.__text_signature__ == signature
    assert "Example" in method.__doc__


def test_method_table_has_exactly_the_documented_methods():
    own = {name for name, value in vars(Plyfold).items() if callable(value) or name == "__reduce__"}
    own -= {"__new__"}
    assert own == set(METHOD_SIGNATURES)
    assert isinstance(vars(Plyfold)["from_config_json"], staticmethod)
    assert Plyfold.__text_signature__ == "()"
    assert "mixed list" in Plyfold.__doc__


@pytest.mark.parametrize(
    "name,signature",
    [("get_single", "($self)"), ("get_multiple", "($self)"), ("to_python", "($self)")],
)
def test_json_output_signatures(name, signature):
    assert getattr(JsonOutput, name).__text_signature__ == signature


def test_constructor_takes_no_arguments():
    with pytest.raises(TypeError) as info:
        Plyfold(1)
    assert str(info.value) == "Plyfold.__new__() takes 0 positional arguments but 1 was given"
    with pytest.raises(TypeError) as info:
        Plyfold(1, 2)
    assert str(info.value) == "Plyfold.__new__() takes 0 positional arguments but 2 were given"
    with pytest.raises(TypeError) as info:
        Plyfold(x=1)
    assert str(info.value) == "Plyfold.__new__() got an unexpected keyword argument 'x'"
    assert isinstance(Plyfold(), Plyfold)


def test_json_output_cannot_be_instantiated():
    with pytest.raises(TypeError):
        JsonOutput()


def test_instances_have_no_attribute_dictionary():
    t = Plyfold()
    with pytest.raises(AttributeError):
        t.mode = "flatten"
    assert not hasattr(t, "__dict__")


def test_default_object_protocols():
    a, b = Plyfold(), Plyfold()
    assert a != b and a == a
    assert hash(a) != hash(b)
    assert repr(a).startswith("<plyfold.Plyfold object at")


@pytest.mark.parametrize(
    "call,message",
    [
        (
            lambda t: t.separator(),
            "Plyfold.separator() missing 1 required positional argument: 'separator'",
        ),
        (
            lambda t: t.key_replacement(),
            "Plyfold.key_replacement() missing 2 required positional arguments: "
            "'find' and 'replace'",
        ),
        (
            lambda t: t.key_replacement(replace="x"),
            "Plyfold.key_replacement() missing 1 required positional argument: 'find'",
        ),
        (
            lambda t: t.flatten(1),
            "Plyfold.flatten() takes 0 positional arguments but 1 was given",
        ),
        (
            lambda t: t.key_replacement("a", "b", "c"),
            "Plyfold.key_replacement() takes 2 positional arguments but 3 were given",
        ),
        (
            lambda t: t.convert_nulls(True, [], 3),
            "Plyfold.convert_nulls() takes from 1 to 2 positional arguments but 3 were given",
        ),
        (
            lambda t: t.execute("{}", False, None, 4),
            "Plyfold.execute() takes from 1 to 3 positional arguments but 4 were given",
        ),
        (
            lambda t: t.remove_nulls(valu=True),
            "Plyfold.remove_nulls() got an unexpected keyword argument 'valu'",
        ),
        (
            lambda t: t.separator("-", separator="+"),
            "Plyfold.separator() got multiple values for argument 'separator'",
        ),
        (
            lambda t: Plyfold.from_config_json(),
            "Plyfold.from_config_json() missing 1 required positional argument: 'config_json'",
        ),
        (
            lambda t: t.execute_to_output("{}").get_single(1),
            "JsonOutput.get_single() takes 0 positional arguments but 1 was given",
        ),
    ],
)
def test_argument_parsing_messages(flat, call, message):
    with pytest.raises(TypeError) as info:
        call(flat)
    assert str(info.value) == message


def test_keywords_are_accepted_for_every_parameter(flat):
    assert flat.key_replacement(find="zz", replace="b") is flat
    assert flat.execute(json_input='{"a":{"b":1}}', normalise=False, target=None) == '{"a.b":1}'
    assert Plyfold.from_config_json(config_json="{}").to_config_json() == Plyfold().to_config_json()


@pytest.mark.parametrize(
    "call,error,message,parameter",
    [
        (
            lambda t: t.lowercase_keys(1),
            TypeError,
            "'int' object is not an instance of 'bool'",
            "value",
        ),
        (lambda t: t.remove_nulls(None), TypeError, "'None' is not an instance of 'bool'", "value"),
        (
            lambda t: t.separator(b"."),
            TypeError,
            "'bytes' object is not an instance of 'str'",
            "separator",
        ),
        (lambda t: t.exclude_key("\ud800"), UnicodeEncodeError, None, "pattern"),
        (lambda t: t.parallel_threshold(-1), OverflowError, None, "threshold"),
        (lambda t: t.max_array_index(2**64), OverflowError, None, "max"),
        (lambda t: t.num_threads(1.5), TypeError, None, "num_threads"),
        (lambda t: t.convert_nulls(True, "n/a"), TypeError, None, "extra_tokens"),
        (
            lambda t: t.convert_nulls(True, 5),
            TypeError,
            "'int' object is not an instance of 'Sequence'",
            "extra_tokens",
        ),
        (
            lambda t: t.convert_booleans(True, None, ["no", 0]),
            TypeError,
            "'int' object is not an instance of 'str'",
            "extra_false_tokens",
        ),
        (
            lambda t: t.convert_dates(True, normalize_to_utc=1),
            TypeError,
            "'int' object is not an instance of 'bool'",
            "normalize_to_utc",
        ),
        (
            lambda t: t.execute("{}", normalise=None),
            TypeError,
            "'None' is not an instance of 'bool'",
            "normalise",
        ),
        (
            lambda t: t.execute("{}", target=1),
            TypeError,
            "'int' object is not an instance of 'str'",
            "target",
        ),
        (
            lambda t: Plyfold.from_config_json({}),
            TypeError,
            "'dict' object is not an instance of 'str'",
            "config_json",
        ),
    ],
)
def test_conversion_failures_carry_the_parameter_note(flat, call, error, message, parameter):
    with pytest.raises(error) as info:
        call(flat)
    if message is not None:
        assert str(info.value) == message
    assert info.value.__notes__ == [f"while processing '{parameter}'"]


def test_str_subclass_and_index_objects_are_accepted(flat):
    class Text(str):
        pass

    class Count:
        def __index__(self):
            return 7

    assert flat.separator(Text("::")).parallel_threshold(Count()) is flat
    assert flat.execute(Text('{"a":{"b":1}}')) == '{"a::b":1}'


def test_numpy_bool_is_accepted_as_a_boolean(flat):
    numpy = pytest.importorskip("numpy")
    flat.remove_nulls(numpy.bool_(True))
    assert flat.execute('{"a":null,"b":1}') == '{"b":1}'
    with pytest.raises(TypeError):
        flat.remove_nulls(numpy.int64(1))


def test_pickling_goes_through_from_config_json(flat):
    reducer, arguments = flat.__reduce__()
    assert reducer == Plyfold.from_config_json
    assert arguments == (flat.to_config_json(),)
    copy = pickle.loads(pickle.dumps(flat))
    assert copy is not flat and copy.to_config_json() == flat.to_config_json()


class Recording(Plyfold):
    @staticmethod
    def from_config_json(config_json):
        return ("rebuilt", config_json)


def test_subclass_is_rebuilt_through_its_own_attribute():
    obj = Recording().normal()
    assert isinstance(obj, Recording)
    reducer, arguments = obj.__reduce__()
    assert reducer is Recording.from_config_json
    assert pickle.loads(pickle.dumps(obj)) == ("rebuilt", arguments[0])


POISON_SCRIPT = """
    import resource, plyfold
    t = plyfold.Plyfold().flatten().nested_parallel_threshold(10**12)
    document = "[" + ",".join(["1"] * 5_000_000) + "]"
    t.execute("[1]")
    with open("/proc/self/status") as status:
        size_kb = int(next(l for l in status if l.startswith("VmSize")).split()[1])
    resource.setrlimit(resource.RLIMIT_AS, (size_kb * 1024 + (64 << 20), resource.RLIM_INFINITY))
    try:
        t.execute(document)
        print("no fault")
    except Exception as error:
        print("caught as Exception", type(error).__name__)
    except BaseException as error:
        print("fault", type(error).__module__, type(error).__name__, error)
    resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
    for call in (lambda: t.remove_nulls(True), lambda: t.to_config_json(),
                 lambda: t.execute("{}"), lambda: t.execute(["{}"]), lambda: t.__reduce__()):
        try:
            call()
            print("worked")
        except BaseException as error:
            print(type(error).__name__ + ": " + str(error).replace("\\n", " | "))
    print(plyfold.Plyfold().flatten().execute('{"a":{"b":1}}'))
"""


def test_fault_while_the_lock_is_held_poisons_the_object():
    lines = run_python(POISON_SCRIPT).splitlines()
    if lines[0] == "no fault":
        pytest.skip("the memory limit did not make processing fail on this machine")
    assert lines[0].startswith("fault plyfold InternalFault ")
    poisoned = "internal config lock poisoned: poisoned lock: another task failed inside"
    assert lines[1] == "RuntimeError: " + poisoned
    assert lines[2] == "RuntimeError: " + poisoned
    assert lines[3] == (
        "PlyfoldError: Failed to process JSON string: [E005] Operation mode not configured: "
        "Python error: RuntimeError: " + poisoned + " | \U0001f4a1 Suggestion: Call .flatten() "
        "or .unflatten() on your Plyfold instance before calling .execute() to set the "
        "operation mode."
    )
    assert lines[4].startswith("PlyfoldError: Failed to process JSON list: [E005]")
    assert lines[5] == "RuntimeError: " + poisoned
    assert lines[6] == '{"a.b":1}'  # other objects are unaffected
