import json
import threading
import time
from collections import OrderedDict, UserDict

import pytest
from conftest import BULB, E005_SUGGESTION, E006_SUGGESTION, run_python
from plyfold import JsonOutput, Plyfold, PlyfoldError

NESTED = '{"a":{"b":1,"c":[2,3]}}'
FLAT = '{"a.b":1,"a.c.0":2,"a.c.1":3}'


class Text(str):
    pass


class Items(list):
    pass


@pytest.mark.parametrize(
    "given,expected",
    [
        (NESTED, FLAT),
        (Text(NESTED), FLAT),
        ({"a": {"b": 1, "c": [2, 3]}}, {"a.b": 1, "a.c.0": 2, "a.c.1": 3}),
        (OrderedDict(a={"b": 1}), {"a.b": 1}),
        ([], []),
        ([NESTED, NESTED], [FLAT, FLAT]),
        ([{"a": {"b": 1}}, {"c": [True]}], [{"a.b": 1}, {"c.0": True}]),
        (['{"a":{"b":1}}', {"b": {"c": 2}}], ['{"a.b":1}', {"b.c": 2}]),
        (Items([{"x": {"y": None}}, "{}"]), [{"x.y": None}, "{}"]),
    ],
)
def test_output_keeps_the_shape_of_the_input(flat, given, expected):
    result = flat.execute(given)
    assert result == expected
    assert type(result) is type(expected)
    if isinstance(expected, list):
        assert [type(item) for item in result] == [type(item) for item in expected]


def test_empty_list_is_returned_without_validation():
    assert Plyfold().execute([]) == []
    assert Plyfold().separator("x").num_threads(0).execute([]) == []


@pytest.mark.parametrize(
    "given,message",
    [
        (
            (1, 2),
            "json_input must be a JSON string, Python dict, list of JSON strings, or list "
            "of Python dicts",
        ),
        (
            5,
            "json_input must be a JSON string, Python dict, list of JSON strings, or list of "
            "Python dicts",
        ),
        (
            b"{}",
            "json_input must be a JSON string, Python dict, list of JSON strings, or list "
            "of Python dicts",
        ),
        (
            UserDict(a=1),
            "json_input must be a JSON string, Python dict, list of JSON strings, "
            "or list of Python dicts",
        ),
        (
            "\ud800",
            "json_input must be a JSON string, Python dict, list of JSON strings, or "
            "list of Python dicts",
        ),
        ([1], "List items must be either JSON strings or Python dictionaries"),
        (["{}", None], "List items must be either JSON strings or Python dictionaries"),
        (["\udc00"], "List items must be either JSON strings or Python dictionaries"),
    ],
)
def test_unsupported_inputs(flat, given, message):
    with pytest.raises(ValueError) as info:
        flat.execute(given)
    assert str(info.value) == message


def test_target_requires_normalise():
    with pytest.raises(PlyfoldError, match="^target is only valid when normalise=True$"):
        Plyfold().execute("{}", target="pandas")
    with pytest.raises(PlyfoldError, match="^target is only valid when normalise=True$"):
        Plyfold().flatten().execute([], normalise=False, target="polars")


def test_normalise_is_reported_as_unavailable(flat):
    with pytest.raises(PlyfoldError, match="normalise=True is not available"):
        flat.execute('{"a":1}', normalise=True)


def test_unset_mode_message_for_a_string():
    with pytest.raises(PlyfoldError) as info:
        Plyfold().execute('{"a":1}')
    assert str(info.value) == (
        "Failed to process JSON string: [E005] Operation mode not configured: Operation mode "
        "not set. Call .flatten(), .unflatten(), or .normal() before .execute()\n"
        f"{BULB} Suggestion: {E005_SUGGESTION}"
    )
    assert info.value.args == (str(info.value),)


@pytest.mark.parametrize(
    "given,prefix",
    [
        ('{"a":1}', "Failed to process JSON string: "),
        ({"a": 1}, "Failed to process Python dict: "),
        (['{"a":1}', {"b": 2}], "Failed to process JSON list: "),
    ],
)
@pytest.mark.parametrize("method", ["execute", "execute_to_output"])
def test_core_errors_carry_the_prefix_of_the_input_kind(given, prefix, method):
    t = Plyfold().flatten().separator("x")
    t2 = Plyfold.from_config_json('{"mode":"flatten","separator":""}')
    with pytest.raises(PlyfoldError) as info:
        getattr(t2, method)(given)
    message = str(info.value)
    assert message.startswith(prefix + "[E005] Operation mode not configured: Separator cannot")
    assert message.endswith(f"\n{BULB} Suggestion: {E005_SUGGESTION}")
    assert getattr(t, method)(given) is not None


def test_parse_error_display(flat):
    with pytest.raises(PlyfoldError) as info:
        flat.execute("not json")
    first, second = str(info.value).split("\n")
    assert first.startswith("Failed to process JSON string: [E001] JSON parsing failed: ")
    assert second.startswith(f"{BULB} Suggestion: Verify your JSON syntax")


@pytest.mark.parametrize("threshold", [1000, 1])  # sequential and parallel
def test_batch_failure_names_the_failing_index(flat, threshold):
    documents = [json.dumps({"i": i}) for i in range(300)]
    documents[137] = '{"broken":'
    flat.parallel_threshold(threshold)
    with pytest.raises(PlyfoldError) as info:
        flat.execute(documents)
    assert str(info.value) == (
        "Failed to process JSON list: [E006] Batch processing failed at index 137: "
        f"Failed to process item at index 137\n{BULB} Suggestion: {E006_SUGGESTION}"
    )


@pytest.mark.parametrize("threads", [None, 3])
def test_parallel_batch_results_are_in_input_order(flat, threads):
    documents = []
    for i in range(2000):
        if i % 3:
            documents.append({"id": i, "deep": {"v": [i] * (i % 7)}})
        else:
            documents.append(json.dumps({"id": i, "deep": {"v": "x" * (i % 50)}}))
    flat.parallel_threshold(10).num_threads(threads)
    results = flat.execute(documents)
    for i, result in enumerate(results):
        value = result if isinstance(result, dict) else json.loads(result)
        assert value["id"] == i
        assert isinstance(result, str) == isinstance(documents[i], str)


def test_other_threads_run_while_a_batch_is_processed(flat):
    document = json.dumps({f"k{i}": {"a": [1, 2, {"b": "x"}]} for i in range(20000)})
    batch = [document] * 40
    flat.parallel_threshold(1000)  # sequential, so the call takes a while
    window = {}

    def work():
        window["start"] = time.perf_counter()
        window["result"] = flat.execute(batch)
        window["end"] = time.perf_counter()

    stamps = []
    worker = threading.Thread(target=work)
    worker.start()
    while worker.is_alive():
        stamps.append(time.perf_counter())
    worker.join()
    start, end = window["start"], window["end"]
    quarter = (end - start) / 4
    during = [s for s in stamps if start + quarter < s < end - quarter]
    assert during, "no other Python thread ran while the batch was processed"
    assert len(window["result"]) == 40


def test_calls_on_one_object_from_many_threads(flat):
    errors = []

    def work(n):
        try:
            for i in range(50):
                given = {"t": {"n": n, "i": i}}
                assert flat.execute(given) == {"t.n": n, "t.i": i}
                flat.remove_nulls(bool(i % 2))
        except BaseException as error:  # noqa: BLE001 - reported below
            errors.append(error)

    threads = [threading.Thread(target=work, args=(n,)) for n in range(6)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert errors == []


def test_list_grown_during_conversion_is_read_to_its_first_length(flat):
    items = ["{}"]

    class Growing(dict):
        def items(self):  # called by the standard codec, after the fast one refuses 2**70
            items.extend(["{}"] * 5)
            return super().items()

    items.append(Growing(big=2**70))
    result = flat.execute(items)
    assert len(items) == 7
    assert result == ["{}", {"big": 2**70}]


@pytest.mark.parametrize(
    "value",
    [10**20, -(10**20), 2**64 - 1, "12345678901234567890123", 1.5, "é\u200b\U0001f600"],
)
def test_values_survive_the_dict_round_trip(value):
    t = Plyfold().normal()
    assert t.execute({"v": value, "w": [value]}) == {"v": value, "w": [value]}


def test_unserialisable_values(flat):
    with pytest.raises(PlyfoldError) as info:
        flat.execute({"a": object()})
    assert str(info.value).startswith("Failed to convert Python dict: TypeError: ")
    with pytest.raises(PlyfoldError) as info:
        flat.execute(["{}", {"a": {1, 2}}])
    assert str(info.value).startswith("Failed to convert dict in list: TypeError: ")


def test_non_string_keys_are_serialised(flat):
    assert flat.execute({1: {"x": True}, None: 2}) == {"1.x": True, "null": 2}


def test_without_orjson_dicts_fail_and_strings_work():
    output = run_python(
        """
        import sys
        sys.modules["orjson"] = None
        import plyfold
        t = plyfold.Plyfold().flatten()
        print(t.execute('{"a":{"b":1}}'))
        print(t.execute(['{"a":1}']))
        try:
            t.execute({"a": 1})
        except plyfold.PlyfoldError as error:
            print(error)
        del sys.modules["orjson"]
        print(t.execute({"a": {"b": 1}}))
        """
    )
    lines = output.splitlines()
    assert lines[0] == '{"a.b":1}'
    assert lines[1] == "['{\"a\":1}']"
    assert lines[2].startswith("Failed to convert Python dict: ModuleNotFoundError: ")
    assert lines[3] == "{'a.b': 1}"  # the codecs are created on the next use


class TestExecuteToOutput:
    def test_string_and_dict_give_single(self, flat):
        for given in ('{"a":1}', {"a": 1}):
            out = flat.execute_to_output(given)
            assert type(out) is JsonOutput
            assert out.is_single and not out.is_multiple
            assert out.get_single() == '{"a":1}'
            assert out.to_python() == '{"a":1}'

    def test_lists_give_multiple(self, flat):
        out = flat.execute_to_output(['{"a":{"b":1}}', {"c": {"d": 2}}])
        assert out.is_multiple and not out.is_single
        assert out.get_multiple() == ['{"a.b":1}', '{"c.d":2}']
        assert out.get_multiple() is not out.get_multiple()
        assert out.to_python() == ['{"a.b":1}', '{"c.d":2}']
        empty = Plyfold().execute_to_output([])
        assert empty.is_multiple and empty.get_multiple() == []

    def test_accessor_misuse(self, flat):
        single = flat.execute_to_output("{}")
        multiple = flat.execute_to_output(["{}"])
        with pytest.raises(
            ValueError,
            match="^Result contains single JSON string, use "
            r"get_single\(\) instead$",
        ):
            single.get_multiple()
        with pytest.raises(
            ValueError,
            match="^Result contains multiple JSON strings, use "
            r"get_multiple\(\) instead$",
        ):
            multiple.get_single()

    def test_rejects_what_execute_rejects(self, flat):
        with pytest.raises(ValueError) as info:
            flat.execute_to_output(3)
        assert str(info.value) == (
            "json_input must be a JSON string, Python dict, DataFrame, Series, list of JSON "
            "strings, or list of Python dicts"
        )
        with pytest.raises(ValueError, match="^List items must be"):
            flat.execute_to_output([3])

    def test_properties_are_read_only(self, flat):
        out = flat.execute_to_output("{}")
        with pytest.raises(AttributeError):
            out.is_single = False

    @pytest.mark.parametrize(
        "texts,rendered",
        [
            (['{"a":1}'], r'["{\"a\":1}"]'),
            (['{"a":"\\\\"}', "{}"], r'["{\"a\":\"\\\\\"}", "{}"]'),
            (['{"a":"é\u200b\x85"}'], '["{\\"a\\":\\"é\\u{200b}\\u{85}\\"}"]'),
        ],
    )
    def test_multiple_rendering(self, texts, rendered):
        out = Plyfold().normal().execute_to_output(texts)
        assert out.get_multiple() == texts
        assert str(out) == rendered
        assert repr(out) == "JsonOutput.Multiple(" + rendered + ")"

    def test_single_rendering(self):
        out = Plyfold().normal().execute_to_output('{"a":"it\'s"}')
        assert str(out) == '{"a":"it\'s"}'
        assert repr(out) == 'JsonOutput.Single(\'{"a":"it\'s"}\')'

    def test_empty_multiple_rendering(self):
        out = Plyfold().execute_to_output([])
        assert str(out) == "[]" and repr(out) == "JsonOutput.Multiple([])"
