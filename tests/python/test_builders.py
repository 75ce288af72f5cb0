import pytest
from conftest import config_of
from plyfold import Plyfold, PlyfoldError

BUILDER_CALLS = [
    ("flatten", ()),
    ("unflatten", ()),
    ("normal", ()),
    ("separator", ("::",)),
    ("lowercase_keys", (True,)),
    ("remove_empty_strings", (True,)),
    ("remove_nulls", (True,)),
    ("remove_empty_objects", (True,)),
    ("remove_empty_arrays", (True,)),
    ("key_replacement", ("a", "b")),
    ("value_replacement", ("a", "b")),
    ("exclude_key", ("x",)),
    ("exclude_value", ("x",)),
    ("handle_key_collision", (True,)),
    ("auto_convert_types", (True,)),
    ("convert_dates", (True,)),
    ("convert_nulls", (True,)),
    ("convert_booleans", (True,)),
    ("convert_numbers", (True,)),
    ("parallel_threshold", (5,)),
    ("num_threads", (2,)),
    ("nested_parallel_threshold", (5,)),
    ("max_array_index", (5,)),
]


@pytest.mark.parametrize("name,args", BUILDER_CALLS)
def test_every_builder_returns_the_object_itself(name, args):
    t = Plyfold()
    assert getattr(t, name)(*args) is t


def test_defaults():
    config = config_of(Plyfold())
    assert config["mode"] is None
    assert config["separator"] == "."
    assert config["parallel_threshold"] == 100
    assert config["nested_parallel_threshold"] == 100
    assert config["max_array_index"] == 100000
    assert config["num_threads"] is None
    switches = [k for k, v in config.items() if isinstance(v, bool)]
    assert switches and not any(config[k] for k in switches)
    assert all(config["number_conversion_config"].values())
    assert all(config["date_conversion_config"].values())


@pytest.mark.parametrize(
    "build,expected",
    [
        (lambda t: t.flatten(), {"mode": "flatten"}),
        (lambda t: t.flatten().normal(), {"mode": "normal"}),
        (lambda t: t.unflatten(), {"mode": "unflatten"}),
        (lambda t: t.separator("→|"), {"separator": "→|"}),
        (lambda t: t.lowercase_keys(True).lowercase_keys(False), {"lowercase_keys": False}),
        (lambda t: t.remove_empty_strings(True), {"remove_empty_strings": True}),
        (lambda t: t.remove_nulls(True), {"remove_nulls": True}),
        (lambda t: t.remove_empty_objects(True), {"remove_empty_objects": True}),
        (lambda t: t.remove_empty_arrays(True), {"remove_empty_arrays": True}),
        (lambda t: t.handle_key_collision(True), {"handle_key_collision": True}),
        (
            lambda t: t.key_replacement("a", "b").key_replacement("a", "b"),
            {"key_replacements": [["a", "b"], ["a", "b"]]},
        ),
        (
            lambda t: t.value_replacement("r'^x$'", "").value_replacement("", "y"),
            {"value_replacements": [["r'^x$'", ""], ["", "y"]]},
        ),
        (
            lambda t: t.exclude_key("p").exclude_key("q").exclude_key("r"),
            {"key_exclusions": ["p", "q", "r"]},
        ),
        (lambda t: t.exclude_value(""), {"value_exclusions": [""]}),
        (lambda t: t.parallel_threshold(0), {"parallel_threshold": 0}),
        (
            lambda t: t.nested_parallel_threshold(2**64 - 1),
            {"nested_parallel_threshold": 2**64 - 1},
        ),
        (lambda t: t.max_array_index(True), {"max_array_index": 1}),
        (lambda t: t.num_threads(3), {"num_threads": 3}),
        (lambda t: t.num_threads(3).num_threads(None), {"num_threads": None}),
        (
            lambda t: t.auto_convert_types(True),
            {
                "convert_dates": True,
                "convert_nulls": True,
                "convert_booleans": True,
                "convert_numbers": True,
            },
        ),
        (
            lambda t: t.convert_numbers(False, currency=False).auto_convert_types(True),
            {
                "convert_numbers": True,
                "convert_dates": True,
                "convert_nulls": True,
                "convert_booleans": True,
                "number_conversion_config": {
                    "currency": False,
                    "percent": True,
                    "basis_points": True,
                    "suffixes": True,
                    "fractions": True,
                    "radix": True,
                },
            },
        ),
        (
            lambda t: t.convert_numbers(True, None, False, radix=False),
            {
                "convert_numbers": True,
                "number_conversion_config": {
                    "currency": True,
                    "percent": False,
                    "basis_points": True,
                    "suffixes": True,
                    "fractions": True,
                    "radix": False,
                },
            },
        ),
        (
            lambda t: t.convert_dates(True, assume_utc_for_naive=False).convert_dates(False),
            {
                "convert_dates": False,
                "date_conversion_config": {"normalize_to_utc": True, "assume_utc_for_naive": False},
            },
        ),
        (
            lambda t: t.convert_nulls(True, extra_tokens=["missing"]).convert_nulls(True),
            {"convert_nulls": True, "null_conversion_config": {"extra_tokens": ["missing"]}},
        ),
        (
            lambda t: t.convert_nulls(True, ["missing"]).convert_nulls(False, extra_tokens=[]),
            {"convert_nulls": False, "null_conversion_config": {"extra_tokens": []}},
        ),
        (
            lambda t: t.convert_booleans(True, ("si", "ja"), None).convert_booleans(
                True, extra_false_tokens=["nein"]
            ),
            {
                "convert_booleans": True,
                "boolean_conversion_config": {
                    "extra_true_tokens": ["si", "ja"],
                    "extra_false_tokens": ["nein"],
                },
            },
        ),
    ],
)
def test_builder_effects(build, expected):
    t = Plyfold()
    before = config_of(t)
    build(t)
    after = config_of(t)
    for key, value in expected.items():
        assert after[key] == value, key
    untouched = {k: v for k, v in before.items() if k not in expected}
    assert {k: after[k] for k in untouched} == untouched


def test_auto_convert_types_leaves_category_settings_alone():
    t = Plyfold().convert_nulls(False, ["nil"]).auto_convert_types(True).auto_convert_types(False)
    config = config_of(t)
    assert config["null_conversion_config"] == {"extra_tokens": ["nil"]}
    assert not config["convert_nulls"]


@pytest.mark.parametrize(
    "call,error",
    [
        (lambda t: t.separator(""), ValueError),
        (lambda t: t.convert_dates(True, normalize_to_utc=1), TypeError),
        (lambda t: t.convert_booleans(True, extra_true_tokens="si"), TypeError),
        (lambda t: t.convert_numbers(True, True, True, True, True, True, "no"), TypeError),
        (lambda t: t.convert_nulls(True, ["a", None]), TypeError),
        (lambda t: t.key_replacement("a", 1), TypeError),
        (lambda t: t.num_threads(-1), OverflowError),
    ],
)
def test_failed_builder_leaves_the_record_unchanged(call, error):
    t = Plyfold().separator("/").convert_booleans(False, ["y"])
    before = t.to_config_json()
    with pytest.raises(error):
        call(t)
    assert t.to_config_json() == before


def test_empty_separator_message():
    with pytest.raises(ValueError, match="^Separator cannot be empty$"):
        Plyfold().separator("")


def test_num_threads_zero_is_refused_at_execution():
    t = Plyfold().flatten().num_threads(0)
    with pytest.raises(PlyfoldError) as info:
        t.execute('{"a":1}')
    assert "num_threads must be at least 1. Use None for system default" in str(info.value)
    assert t.execute([]) == []
    assert t.num_threads(None).execute('{"a":{"b":1}}') == '{"a.b":1}'


def test_num_threads_argument_is_required():
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'num_threads'"):
        Plyfold().num_threads()


def test_builders_take_effect_on_the_next_execution():
    t = Plyfold().flatten()
    assert t.execute('{"A":{"b":null}}') == '{"A.b":null}'
    t.remove_nulls(True).lowercase_keys(True).separator("_")
    assert t.execute('{"A":{"b":null,"c":1}}') == '{"a_c":1}'
