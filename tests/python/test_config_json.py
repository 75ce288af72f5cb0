import json
import pickle
import re

import pytest
from conftest import BULB, config_of, run_python
from hypothesis import given, settings
from hypothesis import strategies as st
from plyfold import Plyfold, PlyfoldError

CONFIG_NAMES = [
    "mode",
    "separator",
    "lowercase_keys",
    "key_replacements",
    "value_replacements",
    "key_exclusions",
    "value_exclusions",
    "remove_empty_strings",
    "remove_nulls",
    "remove_empty_objects",
    "remove_empty_arrays",
    "handle_key_collision",
    "auto_convert_types",
    "convert_dates",
    "date_conversion_config",
    "convert_nulls",
    "null_conversion_config",
    "convert_booleans",
    "boolean_conversion_config",
    "convert_numbers",
    "number_conversion_config",
    "parallel_threshold",
    "num_threads",
    "nested_parallel_threshold",
    "max_array_index",
]
TYPE_SUGGESTION = (
    "Ensure your input is a valid JSON string, Python dict, or list of JSON strings/dicts."
)
OTHER_SUGGESTION = "Check that your input format matches the expected type for the operation."


def read_failure(text):
    with pytest.raises(PlyfoldError) as info:
        Plyfold.from_config_json(text)
    return str(info.value)


def test_default_text():
    text = Plyfold().to_config_json()
    assert text.startswith('{"mode":null,"separator":".",')
    assert '"auto_convert_types":null' in text
    assert list(json.loads(text)) == CONFIG_NAMES
    assert " " not in text
    assert Plyfold().unflatten().to_config_json().startswith('{"mode":"unflatten",')


CONFIGURED = [
    lambda: Plyfold(),
    lambda: Plyfold().flatten().separator("::").remove_nulls(True).handle_key_collision(True),
    lambda: (
        Plyfold()
        .normal()
        .key_replacement("r'^(\\w+)_id$'", "$1")
        .key_replacement("a", "")
        .value_replacement('"q"', "\\")
        .exclude_key("\x08\x0c\t\n\r\x01\x7f")
        .exclude_value("é😀")
    ),
    lambda: (
        Plyfold()
        .unflatten()
        .convert_dates(True, False, False)
        .convert_nulls(True, ["nil"])
        .convert_booleans(False, ["si"], ["no", "non"])
        .convert_numbers(True, radix=False)
    ),
    lambda: (
        Plyfold()
        .auto_convert_types(True)
        .parallel_threshold(0)
        .num_threads(7)
        .nested_parallel_threshold(2**64 - 1)
        .max_array_index(0)
        .lowercase_keys(True)
        .remove_empty_arrays(True)
        .remove_empty_objects(True)
        .remove_empty_strings(True)
    ),
]


@pytest.mark.parametrize("build", CONFIGURED)
def test_text_reads_back_to_the_same_configuration(build):
    original = build()
    text = original.to_config_json()
    rebuilt = Plyfold.from_config_json(text)
    assert rebuilt.to_config_json() == text
    assert json.loads(text) == config_of(rebuilt)


@pytest.mark.parametrize(
    "text,expected",
    [
        ("{}", {}),
        (' \n{ "mode" : "normal" }\t\r\n', {"mode": "normal"}),
        ('{"mode":null,"separator":null,"remove_nulls":null,"num_threads":null}', {}),
        ('{"key_replacements":[["a","b"]]}', {"key_replacements": [["a", "b"]]}),
        ('{"separator":"\\u00e9\\ud83d\\ude00\\n\\/\\"\\\\"}', {"separator": 'é😀\n/"\\'}),
        ('{"separator":""}', {"separator": ""}),
        (
            '{"num_threads":0,"parallel_threshold":-0,"max_array_index":18446744073709551615}',
            {"num_threads": 0, "parallel_threshold": 0, "max_array_index": 2**64 - 1},
        ),
        (
            '{"auto_convert_types":true}',
            {
                "convert_dates": True,
                "convert_nulls": True,
                "convert_booleans": True,
                "convert_numbers": True,
            },
        ),
        (
            '{"auto_convert_types":true,"date_conversion_config":{}}',
            {"convert_nulls": True, "convert_booleans": True, "convert_numbers": True},
        ),
        (
            '{"auto_convert_types":true,"date_conversion_config":{},"convert_dates":true}',
            {
                "convert_dates": True,
                "convert_nulls": True,
                "convert_booleans": True,
                "convert_numbers": True,
            },
        ),
        (
            '{"null_conversion_config":{"extra_tokens":["n/a"]}}',
            {"null_conversion_config": {"extra_tokens": ["n/a"]}},
        ),
        (
            '{"convert_numbers":true,"number_conversion_config":{"radix":false,"percent":null}}',
            {
                "convert_numbers": True,
                "number_conversion_config": {
                    "currency": True,
                    "percent": True,
                    "basis_points": True,
                    "suffixes": True,
                    "fractions": True,
                    "radix": False,
                },
            },
        ),
        (
            '{"date_conversion_config":[false,null],"convert_dates":true}',
            {
                "convert_dates": True,
                "date_conversion_config": {"normalize_to_utc": False, "assume_utc_for_naive": True},
            },
        ),
        (
            '{"boolean_conversion_config":[["ja"]],"null_conversion_config":[]}',
            {"boolean_conversion_config": {"extra_true_tokens": ["ja"], "extra_false_tokens": []}},
        ),
        ('{"number_conversion_config":null,"date_conversion_config":null}', {}),
    ],
)
def test_reading(text, expected):
    config = config_of(Plyfold.from_config_json(text))
    defaults = config_of(Plyfold())
    assert config == {**defaults, **expected}


def test_array_form_of_the_whole_record():
    values = list(json.loads(Plyfold().normal().separator("/").to_config_json()).values())
    rebuilt = Plyfold.from_config_json(json.dumps(values))
    assert config_of(rebuilt) == config_of(Plyfold().normal().separator("/"))


def test_unknown_mode():
    assert read_failure('{"mode":"Flatten"}') == (
        "Invalid configuration: [E005] Operation mode not configured: unknown mode 'Flatten': "
        "expected 'flatten', 'unflatten', or 'normal'\n"
        f"{BULB} Suggestion: Call .flatten() or .unflatten() on your Plyfold instance before "
        "calling .execute() to set the operation mode."
    )


def test_reader_message_layout():
    assert read_failure('{"remove_nulls":"yes"}') == (
        "Invalid configuration: [E007] Input validation failed: invalid config JSON: invalid "
        'type: string "yes", expected a boolean at line 1 column 21\n'
        f"{BULB} Suggestion: {TYPE_SUGGESTION}"
    )
    assert read_failure("") == (
        "Invalid configuration: [E007] Input validation failed: invalid config JSON: EOF while "
        f"parsing a value at line 1 column 0\n{BULB} Suggestion: {OTHER_SUGGESTION}"
    )
    assert "at line 3 column 16\n" in read_failure('{\n  "mode": "flatten",\n  "separator": 1}')


@pytest.mark.parametrize(
    "text,message",
    [
        ("{} x", "trailing characters"),
        ("{}{}", "trailing characters"),
        (
            '{"modes":"flatten"}',
            "unknown field `modes`, expected one of " + ", ".join(f"`{n}`" for n in CONFIG_NAMES),
        ),
        ('{"mode":"flatten","mode":"normal"}', "duplicate field `mode`"),
        ('{"max_array_index":-1}', "invalid value: integer `-1`, expected usize"),
        ('{"parallel_threshold":1.5}', "invalid type: floating point `1.5`, expected usize"),
        ('{"num_threads":"2"}', 'invalid type: string "2", expected usize'),
        ('{"key_replacements":null}', "invalid type: null, expected a sequence"),
        ('{"key_exclusions":{}}', "invalid type: map, expected a sequence"),
        ('{"key_exclusions":[null]}', "invalid type: null, expected a string"),
        ('{"key_replacements":[["a"]]}', "invalid length 1, expected a tuple of size 2"),
        ('{"key_replacements":[["a","b","c"]]}', "trailing characters"),
        ('{"key_replacements":["ab"]}', 'invalid type: string "ab", expected a tuple of size 2'),
        ('{"lowercase_keys":[]}', "invalid type: sequence, expected a boolean"),
        ('{"lowercase_keys":0}', "invalid type: integer `0`, expected a boolean"),
        ('{"mode":true}', "invalid type: boolean `true`, expected a string"),
        ('{"separator":5}', "invalid type: integer `5`, expected a string"),
        ('{"extra_tokens":[]}', "unknown field `extra_tokens`, expected one of `mode`"),
        (
            '{"null_conversion_config":{"tokens":[]}}',
            "unknown field `tokens`, expected `extra_tokens`",
        ),
        (
            '{"date_conversion_config":{"utc":true}}',
            "unknown field `utc`, expected `normalize_to_utc` or `assume_utc_for_naive`",
        ),
        (
            '{"number_conversion_config":{"cash":true}}',
            "unknown field `cash`, expected one of `currency`, `percent`, `basis_points`, "
            "`suffixes`, `fractions`, `radix`",
        ),
        (
            '{"date_conversion_config":{"radix":true,"radix":true}}',
            "unknown field `radix`, expected `normalize_to_utc` or `assume_utc_for_naive`",
        ),
        ('{"number_conversion_config":{"radix":true,"radix":true}}', "duplicate field `radix`"),
        (
            '{"null_conversion_config":{"extra_tokens":null}}',
            "invalid type: null, expected a sequence",
        ),
        (
            '{"date_conversion_config":5}',
            "invalid type: integer `5`, expected struct DateConversionConfigWire",
        ),
        (
            '{"date_conversion_config":[true]}',
            "invalid length 1, expected struct DateConversionConfigWire with 2 elements",
        ),
        (
            '{"number_conversion_config":[]}',
            "invalid length 0, expected struct NumberConversionConfigWire with 6 elements",
        ),
        ('{"null_conversion_config":[[],[]]}', "trailing characters"),
        ('["flatten"]', "invalid length 1, expected struct Config with 25 elements"),
        ("5", "invalid type: integer `5`, expected struct Config"),
        ("null", "invalid type: null, expected struct Config"),
        ('"x"', 'invalid type: string "x", expected struct Config'),
        ('{"mode" "flatten"}', "expected `:`"),
        ('{"mode":"flatten" "x"}', "expected `,` or `}`"),
        ('{"key_exclusions":["a" "b"]}', "expected `,` or `]`"),
        ('{"remove_nulls":tru}', "expected ident"),
        ('{"remove_nulls":nul}', "expected ident"),
        ('{"remove_nulls":x}', "expected value"),
        ("{mode:1}", "key must be a string"),
        ('{"mode":"flatten",}', "trailing comma"),
        ('{"key_exclusions":["a",]}', "trailing comma"),
        ('{"separator":"\\q"}', "invalid escape"),
        ('{"separator":"\\u12"}', "unexpected end of hex escape"),
        ('{"separator":"\\ud800"}', "lone leading surrogate in hex escape"),
        ('{"separator":"\\ud800\\u0041"}', "lone leading surrogate in hex escape"),
        ('{"separator":"\\udc00"}', "invalid unicode code point"),
        (
            '{"separator":"a\tb"}',
            "control character (\\u0000-\\u001F) found while parsing a string",
        ),
        ('{"parallel_threshold":1e999}', "number out of range"),
        ('{"parallel_threshold":-}', "invalid number"),
        ('{"parallel_threshold":1.}', "invalid number"),
        ('{"parallel_threshold":01}', "expected `,` or `}`"),
        ('{"key_exclusions":[', "EOF while parsing a list"),
        ('{"mode":"flatten"', "EOF while parsing an object"),
        ('{"separator":"abc', "EOF while parsing a string"),
        ('{"mode":', "EOF while parsing a value"),
    ],
)
def test_reader_faults(text, message):
    failure = read_failure(text)
    pattern = (
        r"Invalid configuration: \[E007\] Input validation failed: invalid config JSON: "
        + re.escape(message)
        + r".* at line \d+ column \d+\n"
    )
    assert re.match(pattern, failure), failure
    expected_suggestion = TYPE_SUGGESTION if "type" in failure.split("\n")[0] else OTHER_SUGGESTION
    assert failure.endswith(f"{BULB} Suggestion: {expected_suggestion}")


def test_deeply_nested_text_fails_cleanly():
    failure = read_failure('{"key_exclusions":' + "[" * 1_000_000 + "]" * 1_000_000 + "}")
    assert "invalid type: sequence, expected a string" in failure


def test_restored_empty_separator_fails_at_execution():
    t = Plyfold.from_config_json('{"mode":"flatten","separator":""}')
    with pytest.raises(PlyfoldError, match="Separator cannot be empty. Use"):
        t.execute("{}")


def test_pickled_copy_behaves_the_same_and_is_independent():
    original = (
        Plyfold()
        .flatten()
        .separator("_")
        .lowercase_keys(True)
        .remove_nulls(True)
        .key_replacement("r'^x_'", "")
        .exclude_value("drop")
    )
    copy = pickle.loads(pickle.dumps(original))
    documents = ['{"X_A":{"B":null,"C":"drop","D":[1,{"E":2}]}}', '{"k":"v"}']
    assert copy.execute(documents) == original.execute(documents)
    copy.separator(".")
    assert original.execute('{"a":{"b":1}}') == '{"a_b":1}'
    assert copy.execute('{"a":{"b":1}}') == '{"a.b":1}'


def test_unset_thread_count_reads_back_as_the_reading_process_default():
    output = run_python(
        """
        import plyfold
        print(plyfold.Plyfold.from_config_json('{"num_threads":null}').to_config_json())
        print(plyfold.Plyfold.from_config_json('{"num_threads":2}').to_config_json())
        """,
        env={"PLYFOLD_NUM_THREADS": "5", "PLYFOLD_MAX_ARRAY_INDEX": "+9"},
    )
    first, second = output.splitlines()
    assert '"num_threads":5,' in first and '"max_array_index":9}' in first
    assert '"num_threads":2,' in second


JSONISH = st.text(alphabet='{}[]":,\\ \n-+.eE0123456789abfilnrstuxz_', max_size=80)


@given(JSONISH)
@settings(max_examples=400, deadline=None)
def test_any_text_gives_an_object_or_a_configuration_error(text):
    try:
        obj = Plyfold.from_config_json(text)
    except PlyfoldError as error:
        assert str(error).startswith("Invalid configuration: [E00")
    else:
        assert Plyfold.from_config_json(obj.to_config_json()).to_config_json() == (
            obj.to_config_json()
        )


@given(st.data())
@settings(max_examples=200, deadline=None)
def test_damaged_configuration_texts_never_escape_as_other_errors(data):
    text = CONFIGURED[3]().to_config_json()
    position = data.draw(st.integers(0, len(text) - 1))
    replacement = data.draw(st.sampled_from(["", "x", "]", "}", ",", '"', "null", "[", "\\"]))
    damaged = text[:position] + replacement + text[position + 1 :]
    try:
        Plyfold.from_config_json(damaged)
    except PlyfoldError as error:
        assert str(error).startswith("Invalid configuration: ")


WORDS = st.text(st.characters(blacklist_categories=("Cs",)), max_size=6)
STEPS = st.lists(
    st.one_of(
        st.tuples(st.just("separator"), WORDS.filter(bool)),
        st.tuples(st.sampled_from(["key_replacement", "value_replacement"]), WORDS, WORDS),
        st.tuples(st.sampled_from(["exclude_key", "exclude_value"]), WORDS),
        st.tuples(
            st.sampled_from(
                ["lowercase_keys", "remove_nulls", "auto_convert_types", "handle_key_collision"]
            ),
            st.booleans(),
        ),
        st.tuples(st.just("convert_nulls"), st.booleans(), st.lists(WORDS, max_size=3)),
        st.tuples(st.just("convert_numbers"), st.booleans(), st.none() | st.booleans()),
        st.tuples(
            st.sampled_from(["parallel_threshold", "max_array_index"]), st.integers(0, 2**64 - 1)
        ),
        st.tuples(st.just("num_threads"), st.none() | st.integers(0, 64)),
        st.tuples(st.sampled_from(["flatten", "unflatten", "normal"])),
    ),
    max_size=12,
)


@given(STEPS)
@settings(max_examples=200, deadline=None)
def test_builder_configurations_survive_text_and_pickling(steps):
    original = Plyfold()
    for name, *args in steps:
        getattr(original, name)(*args)
    text = original.to_config_json()
    assert Plyfold.from_config_json(text).to_config_json() == text
    assert pickle.loads(pickle.dumps(original)).to_config_json() == text
