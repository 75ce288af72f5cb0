"""Type conversion through the three operations: tokens, numbers, dates and settings."""

import json

import plyfold
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st


def execute_one(transformer, value):
    """Runs one string value through transformer as member "v" and returns the result member."""
    document = json.dumps({"v": value})
    return json.loads(transformer.execute(document))["v"]


def auto():
    return plyfold.Plyfold().flatten().auto_convert_types(True)


@pytest.mark.parametrize(
    ("text", "expected"),
    [
        (" yes ", True),
        ("Off", False),
        ("n", False),
        ("N/A", None),
        ("yEs", "yEs"),
        ("NaN", "NaN"),
        ("", ""),
        ("   ", "   "),
        ("0", 0),
        ("18446744073709551615", 18446744073709551615),
        ("-9223372036854775808", -9223372036854775808),
        ("1,234.56", 1234.56),
        ("USD 1,000.50", 1000.5),
        ("(1,234.56)", -1234.56),
        ("\u20ac1.234,56", 1234.56),
        ("12,34,567", 1234567),
        ("50%", 50),
        ("25bps", 0.0025),
        ("1.5K", 1500),
        ("2 3/4", 2.75),
        ("0x1F", 31),
        ("1e400", "1e400"),
        ("TRY 100", "TRY 100"),
        ("2024-01-15", "2024-01-15"),
        ("2024-01-15T10:30:00+02:00", "2024-01-15T08:30:00Z"),
        ("2024-01-15 10:30:00+0200", "2024-01-15T08:30:00Z"),
        ("20240115", "2024-01-15"),
        ("20241315", 20241315),
        ("2024-W03-2", "2024-01-16"),
        ("2024-02-30", "2024-02-30"),
    ],
)
def test_auto_convert_types_reads_every_category(text, expected):
    result = execute_one(auto(), text)
    assert result == expected
    assert type(result) is type(expected)


def test_numbers_keep_their_exact_text_in_the_json_output():
    out = auto().execute('{"a":"  007 ","b":"123456789012345678","c":"0.1","d":"1e-7","e":"-0"}')
    assert out == '{"a":7,"b":123456789012345678,"c":0.1,"d":1e-7,"e":0}'


@pytest.mark.parametrize("mode", ["flatten", "unflatten", "normal"])
def test_every_operation_converts_string_leaves_only(mode):
    transformer = getattr(plyfold.Plyfold(), mode)().auto_convert_types(True)
    document = '{"k":{"n":"N/A","list":["yes","$5",7,"x"]},"true":"keep"}'
    if mode == "unflatten":
        document = (
            '{"k.n":"N/A","k.list.0":"yes","k.list.1":"$5","k.list.2":7,'
            '"k.list.3":"x","true":"keep"}'
        )
    result = json.loads(transformer.execute(document))
    if mode == "flatten":
        assert result == {
            "k.n": None,
            "k.list.0": True,
            "k.list.1": 5,
            "k.list.2": 7,
            "k.list.3": "x",
            "true": "keep",
        }
    else:
        assert result == {"k": {"n": None, "list": [True, 5, 7, "x"]}, "true": "keep"}


def test_escaped_text_is_decoded_before_conversion():
    document = (
        '{"a":"\\u0020yes\\t","b":"\\u00a042\\u3000","c":"\\u0032\\u0030\\u0032\\u0034-01-15T10"}'
    )
    out = auto().execute(document)
    assert json.loads(out) == {"a": True, "b": 42, "c": "2024-01-15T10:00:00Z"}


def test_value_replacement_runs_before_conversion_and_filters_after():
    transformer = auto().value_replacement("missing", "N/A").remove_nulls(True).exclude_value("0")
    out = json.loads(transformer.execute('{"a":"missing","b":"0","c":"1","d":"NULL"}'))
    assert out == {"c": 1}


@pytest.mark.parametrize(
    ("configure", "cases"),
    [
        (
            lambda t: t.convert_booleans(True),
            {"null": "null", "no": False, "5": "5", "2024-01-15T10:30:00": "2024-01-15T10:30:00"},
        ),
        (
            lambda t: t.auto_convert_types(True).convert_dates(False),
            {"2024-01-15": "2024-01-15", "20240115": 20240115, "yes": True},
        ),
        (
            lambda t: t.auto_convert_types(True).convert_dates(True, assume_utc_for_naive=False),
            {
                "2024-01-15T10:30:00": "2024-01-15T10:30:00",
                "2024-01-15T10:30:00-05:00": "2024-01-15T15:30:00Z",
            },
        ),
        (
            lambda t: t.auto_convert_types(True).convert_dates(True, normalize_to_utc=False),
            {
                "2024-01-15T10:30:00": "2024-01-15T10:30:00Z",
                "2024-01-15T10:30:00-05:00": "2024-01-15T10:30:00-05:00",
            },
        ),
        (
            lambda t: t.convert_nulls(True, extra_tokens=["missing", "-1"]),
            {"missing": None, " missing ": None, "Missing": "Missing", "-1": None},
        ),
        (
            lambda t: t.auto_convert_types(True).convert_nulls(True, ["-1", "Off"]),
            {"-1": -1, "Off": False},
        ),
        (
            lambda t: t.convert_booleans(True, ["si"], ["si", "nein"]),
            {"si": True, "nein": False},
        ),
        (
            lambda t: t.convert_numbers(True, currency=False, percent=False, radix=False),
            {"$5": "$5", "50%": "50%", "0x1F": "0x1F", "1/2": 0.5, "1.5K": 1500},
        ),
    ],
)
def test_settings_select_and_extend_the_readings(configure, cases):
    transformer = configure(plyfold.Plyfold().flatten())
    for text, expected in cases.items():
        assert execute_one(transformer, text) == expected, text


def test_auto_convert_false_turns_conversion_off_but_keeps_the_sub_settings():
    transformer = plyfold.Plyfold().flatten().convert_nulls(True, ["missing"])
    transformer.auto_convert_types(True).auto_convert_types(False)
    assert execute_one(transformer, "missing") == "missing"
    assert execute_one(transformer, "N/A") == "N/A"
    transformer.convert_nulls(True)
    assert execute_one(transformer, "missing") is None


def test_parallel_batches_convert_like_single_documents():
    texts = ["yes", "1,5", "2024-01-15T10:30:00+01:00", "USD 100", "x", "N/A", "0x10"]
    documents = [json.dumps({"v": texts[i % len(texts)], "i": str(i)}) for i in range(500)]
    transformer = auto().parallel_threshold(10)
    results = transformer.execute(documents)
    assert len(results) == len(documents)
    for document, result in zip(documents, results, strict=True):
        assert result == auto().execute(document)
    assert json.loads(results[2]) == {"v": "2024-01-15T09:30:00Z", "i": 2}


def test_dict_input_gives_python_values():
    result = auto().execute({"a": {"b": "1,234.56", "c": "True", "d": ["none", "2024/01/15"]}})
    assert result == {"a.b": 1234.56, "a.c": True, "a.d.0": None, "a.d.1": "2024-01-15"}


@settings(max_examples=500, deadline=None)
@given(st.floats(allow_nan=False, allow_infinity=False))
def test_repr_of_any_finite_float_converts_back_to_it(value):
    converted = execute_one(plyfold.Plyfold().flatten().convert_numbers(True), repr(value))
    assert float(converted) == value
