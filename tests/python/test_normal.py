"""Normal mode through the Python interface: rules applied without reshaping."""

import json

import plyfold
import pytest


def normal(*steps):
    """A Plyfold in normal mode with the builder calls (name, *args) applied."""
    t = plyfold.Plyfold().normal()
    for name, *args in steps:
        getattr(t, name)(*args)
    return t


ALL_FILTERS = [
    ("remove_empty_strings", True),
    ("remove_nulls", True),
    ("remove_empty_objects", True),
    ("remove_empty_arrays", True),
]


@pytest.mark.parametrize(
    ("steps", "document", "expected"),
    [
        ([], '{ "a" : { "b" : [ 1.50 , { "c" : 2 } ] } }', '{"a":{"b":[1.50,{"c":2}]}}'),
        (
            [("key_replacement", "r'^User_'", ""), ("lowercase_keys", True)],
            '{"User_Name":"x","Other":{"User_ID":1}}',
            '{"name":"x","other":{"id":1}}',
        ),
        ([("lowercase_keys", True)], '{"A":1,"a":2}', '{"a":1,"a":2}'),
        (
            [("lowercase_keys", True), ("handle_key_collision", True)],
            '{"A":1,"b":0,"a":{"c":2}}',
            '{"a":[1,{"c":2}],"b":0}',
        ),
        (
            [("handle_key_collision", True), ("remove_nulls", True)],
            '{"a":null,"b":1,"a":null}',
            '{"b":1}',
        ),
        ([("lowercase_keys", True)], '{"\\u00c4B":1,"ΟΔΟΣ":2}', '{"äb":1,"οδος":2}'),
        ([], '{"caf\\u00e9":1}', '{"caf\\u00e9":1}'),
        (
            ALL_FILTERS,
            '{"a":"","b":null,"c":{},"d":[],"e":0,"f":false,"g":" "}',
            '{"e":0,"f":false,"g":" "}',
        ),
        ([("remove_nulls", True)], '{"a":{"b":null}}', '{"a":{}}'),
        (ALL_FILTERS, '{"a":{"b":[null,{"c":""}]}}', "{}"),
        (ALL_FILTERS, "[[],{},null]", "[]"),
        ([("remove_nulls", True)], "[1,null,2]", "[1,2]"),
        ([("exclude_key", "internal")], '{"internal":{"a":1},"b":2}', '{"b":2}'),
        ([("exclude_key", "r'^b$'")], '{"internal":{"a":1},"b":2}', '{"internal":{"a":1}}'),
        (
            [("value_replacement", "r'^N/?A$'", ""), ("remove_empty_strings", True)],
            '{"a":"NA","b":["N/A","x"]}',
            '{"b":["x"]}',
        ),
        ([("exclude_value", "r'^secret'")], '{"a":"secret-1","b":"ok"}', '{"b":"ok"}'),
        ([("convert_numbers", True)], '{"n":"42","s":"x"}', '{"n":42,"s":"x"}'),
        (
            [("convert_nulls", True), ("remove_nulls", True)],
            '{"a":"N/A","b":"1"}',
            '{"b":"1"}',
        ),
        ([("auto_convert_types", True)], ' "42" ', "42"),
        ([], "hello", "hello"),
        (ALL_FILTERS, "   ", "   "),
        ([], "", ""),
    ],
)
def test_string_documents(steps, document, expected):
    assert normal(*steps).execute(document) == expected


def test_dict_and_batch_inputs_keep_their_shape():
    t = normal(("lowercase_keys", True), ("handle_key_collision", True), ("remove_nulls", True))
    # The group of "name" is formed before its null is dropped, so it stays an array.
    assert t.execute({"Name": "a", "name": None, "x": {"Y": 1, "y": 2}}) == {
        "name": ["a"],
        "x": {"y": [1, 2]},
    }
    batch = ['{"A":null}', {"B": [None, 1]}, "[1]"]
    assert t.execute(batch) == ["{}", {"b": [1]}, "[1]"]


def test_parallel_batch_matches_sequential_in_order():
    docs = [json.dumps({"K": i, "k": None, "n": {"E": ""}}) for i in range(300)]
    sequential = normal(("lowercase_keys", True), *ALL_FILTERS).execute(docs)
    parallel = normal(("lowercase_keys", True), *ALL_FILTERS).parallel_threshold(10).execute(docs)
    assert parallel == sequential == [f'{{"k":{i}}}' for i in range(300)]


@pytest.mark.parametrize(
    ("document", "message"),
    [
        ('{"a":1', "Unclosed object or array in JSON input"),
        ("[1,,2]", "Empty scalar value"),
        ("[True]", "Invalid JSON value: `True`"),
    ],
)
def test_structural_faults_raise(document, message):
    with pytest.raises(plyfold.PlyfoldError) as caught:
        normal().execute(document)
    assert str(caught.value).startswith("Failed to process JSON string: [E004] ")
    assert message in str(caught.value)


def test_million_levels_deep():
    depth = 1_000_000
    document = '{"a":' * depth + "null" + "}" * depth
    assert normal().execute(document) == document
    dropped = normal(("remove_nulls", True), ("remove_empty_objects", True))
    assert dropped.execute(document) == "{}"
