"""Unflatten mode through the Python interface: nesting rebuilt from flat keys."""

import json

import plyfold
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st


def unflatten(*steps):
    """A Plyfold in unflatten mode with the builder calls (name, *args) applied."""
    t = plyfold.Plyfold().unflatten()
    for name, *args in steps:
        getattr(t, name)(*args)
    return t


@pytest.mark.parametrize(
    ("steps", "document", "expected"),
    [
        ([], '{"a.b":1,"a.c.0":2,"a.c.1":3}', '{"a":{"b":1,"c":[2,3]}}'),
        ([], '{"b.x":1,"a":2,"b.y":3}', '{"b":{"x":1,"y":3},"a":2}'),
        ([], '{"a.0":1,"a.2":3}', '{"a":[1,null,3]}'),
        ([("remove_nulls", True)], '{"a.0":1,"a.2":3}', '{"a":[1,3]}'),
        ([], '{"a.0":1,"a.x":2}', '{"a":{"0":1,"x":2}}'),
        ([], '{"0":"x","1":"y"}', '{"0":"x","1":"y"}'),
        ([], '{"a.b":{"c" : 1.50}}', '{"a":{"b":{"c" : 1.50}}}'),
        ([("separator", "::")], '{"a::b":1,"a:b":2}', '{"a":{"b":1},"a:b":2}'),
        ([("separator", "/")], '{"a/0/b":1}', '{"a":[{"b":1}]}'),
        ([("lowercase_keys", True)], '{"A.B":1}', '{"a":{"b":1}}'),
        ([("key_replacement", "_", ".")], '{"a_b":1}', '{"a":{"b":1}}'),
        (
            [("key_replacement", "r'^user_(\\d+)_'", "users.$1.")],
            '{"user_0_id":7}',
            '{"users":[{"id":7}]}',
        ),
        ([("exclude_key", "secret")], '{"a.secret":1,"a.ok":2}', '{"a":{"ok":2}}'),
        ([], '{"a":1,"a":2}', '{"a":2}'),
        ([("handle_key_collision", True)], '{"a.k":1,"b":0,"a.k":2}', '{"a":{"k":[1,2]},"b":0}'),
        ([("value_replacement", "N/A", "")], '{"a":"N/A"}', '{"a":""}'),
        (
            [("auto_convert_types", True)],
            '{"a.n":"42","a.t":"yes","a.z":"N/A"}',
            '{"a":{"n":42,"t":true,"z":null}}',
        ),
        ([("remove_nulls", True), ("remove_empty_objects", True)], '{"a.b":null,"c":1}', '{"c":1}'),
        (
            [("remove_empty_strings", True), ("remove_empty_arrays", True)],
            '{"a.0":"","b":[]}',
            "{}",
        ),
        ([("exclude_value", '"x"')], '{"a.0":"x","a.1":"y"}', '{"a":["y"]}'),
        ([], "[1,2]", "{}"),
        ([], "   ", "{}"),
        ([], '"text"', '"text"'),
        ([], "42", "42"),
    ],
)
def test_documents(steps, document, expected):
    assert unflatten(*steps).execute(document) == expected


@pytest.mark.parametrize(
    ("steps", "document", "message"),
    [
        (
            [],
            '{"a":1,"a.b":2}',
            "[E004] Invalid JSON structure: "
            "Cannot navigate into non-object/non-array value at key: a",
        ),
        ([], '{"a.0":1,"a.0.b":2}', "Array element at index 0 has incompatible type"),
        (
            [("max_array_index", 5)],
            '{"a.6":1}',
            "[E007] Input validation failed: Array index 6 exceeds maximum allowed index (5). "
            "Use max_array_index() to increase the limit.",
        ),
        ([], '{"a":,"b":1}', "Empty scalar value"),
        ([], '{"a":1', "Unclosed object or array in JSON input"),
    ],
)
def test_errors(steps, document, message):
    with pytest.raises(plyfold.PlyfoldError) as raised:
        unflatten(*steps).execute(document)
    assert "Failed to process JSON string: " in str(raised.value)
    assert message in str(raised.value)


def test_index_at_the_limit_is_accepted():
    result = unflatten(("max_array_index", 3)).execute({"a.3": 1})
    assert result == {"a": [None, None, None, 1]}


def test_dict_and_batch_inputs_keep_their_shape():
    t = unflatten()
    assert t.execute({"a.b": [1, 2], "c": None}) == {"a": {"b": [1, 2]}, "c": None}
    batch = ['{"x.0":1}', {"y.z": True}] * 60
    t.parallel_threshold(10)
    assert t.execute(batch) == ['{"x":[1]}', {"y": {"z": True}}] * 60


def test_failing_batch_item_is_named():
    with pytest.raises(plyfold.PlyfoldError, match="index 1"):
        unflatten().execute(['{"a":1}', '{"a":1,"a.b":2}'])


def test_deep_key_gives_a_result():
    depth = 200_000
    result = unflatten().execute('{"' + "k." * depth + 'v":1}')
    assert result == '{"k":' * depth + '{"v":1' + "}" * (depth + 1)


# Documents for the round trip: keys without the separator, objects below
# the root that are not keyed by indices alone (those come back as arrays),
# and no empty key at the root, where flatten writes no separator after it.
def _is_index(key):
    return key == "0" or (key.isascii() and key.isdigit() and key[0] != "0")


_keys = st.text(max_size=6).filter(lambda k: "." not in k)
_scalars = (
    st.none()
    | st.booleans()
    | st.integers(-(2**63), 2**64 - 1)
    | st.floats(allow_nan=False, allow_infinity=False)
    | st.text(max_size=8)
)


def _containers(children):
    objects = st.dictionaries(_keys, children, max_size=4).filter(
        lambda d: not d or not all(_is_index(k) for k in d)
    )
    return st.lists(children, max_size=4) | objects


_documents = st.dictionaries(
    _keys.filter(bool), st.recursive(_scalars, _containers, max_leaves=20), max_size=5
)


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(_documents)
def test_unflatten_inverts_flatten(document):
    flat = plyfold.Plyfold().flatten().execute(document)
    assert unflatten().execute(flat) == document
    text = json.dumps(document)
    flat_text = plyfold.Plyfold().flatten().execute(text)
    assert json.loads(unflatten().execute(flat_text)) == document
