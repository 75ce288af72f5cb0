"""Throughput of plyfold against plain-Python and PyPI flatteners.

Prints one table per operation: MB/s of input processed (best of several
runs) and each row's speed relative to orjson.loads + orjson.dumps of the
same document, the floor for any dict-in/dict-out path.
"""

import argparse
import json
import time
from pathlib import Path

import orjson
import plyfold

try:
    import flatten_json
except ImportError:  # optional comparison
    flatten_json = None
try:
    import flatten_dict
except ImportError:  # optional comparison
    flatten_dict = None


def python_flatten(document, separator="."):
    """A straightforward recursive flattener, the baseline a user would write."""
    out = {}

    def walk(value, prefix):
        if isinstance(value, dict) and value:
            for key, child in value.items():
                walk(child, f"{prefix}{separator}{key}" if prefix else str(key))
        elif isinstance(value, list) and value:
            for index, child in enumerate(value):
                walk(child, f"{prefix}{separator}{index}" if prefix else str(index))
        else:
            out[prefix] = value

    walk(document, "")
    return out


def best_seconds(fn, budget=0.6, min_runs=3):
    """Best wall time of fn over at least min_runs runs or budget seconds."""
    best = float("inf")
    runs = 0
    started = time.perf_counter()
    while runs < min_runs or time.perf_counter() - started < budget:
        t0 = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - t0)
        runs += 1
        if runs >= 200:
            break
    return best


def load_documents(path):
    """A file's documents as (texts, dicts): one per line for .ndjson."""
    raw = path.read_text(encoding="utf-8")
    if path.suffix == ".ndjson":
        texts = [line for line in raw.splitlines() if line.strip()]
    else:
        texts = [raw]
    return texts, [orjson.loads(t) for t in texts]


def run_case(fn, items):
    if len(items) == 1:
        item = items[0]
        return lambda: fn(item)
    return lambda: fn(items)


def table(title, rows):
    print(f"\n{title}")
    notes = list(NOTES)
    NOTES.clear()
    header = f"{'file':<26}{'MB':>7}  " + "".join(f"{name:>22}" for name, _ in rows[0][2])
    print(header)
    print("-" * len(header))
    for name, size, results in rows:
        floor = dict(results).get("orjson loads+dumps")
        cells = []
        for _, mbs in results:
            if mbs is None:
                cells.append(f"{'n/a':>22}")
            elif floor:
                cells.append(f"{mbs:>10.1f} MB/s ({mbs / floor:>4.2f}x)")
            else:
                cells.append(f"{mbs:>15.1f} MB/s")
        print(f"{name:<26}{size / 1e6:>7.2f}  " + "".join(cells))
    for note in notes:
        print(f"  n/a: {note}")


NOTES = []  # why a cell reads n/a
CURRENT = {"file": ""}


def measure(fn, size):
    try:
        seconds = best_seconds(fn)
    except Exception as error:  # a comparison library may refuse a document
        NOTES.append(f"{CURRENT['file']}: {error.__class__.__name__}: {str(error)[:90]}")
        return None
    return size / seconds / 1e6


def orjson_roundtrip(texts):
    if len(texts) == 1:
        return lambda: orjson.dumps(orjson.loads(texts[0]))
    return lambda: [orjson.dumps(orjson.loads(t)) for t in texts]


def flatten_rows(files):
    flat = plyfold.Plyfold().flatten()
    rows = []
    for path in files:
        CURRENT["file"] = path.name
        texts, dicts = load_documents(path)
        size = sum(len(t.encode()) for t in texts)
        batch = len(texts) > 1
        results = [
            ("plyfold str->str", measure(run_case(flat.execute, texts), size)),
            ("plyfold dict->dict", measure(run_case(flat.execute, dicts), size)),
            ("orjson loads+dumps", measure(orjson_roundtrip(texts), size)),
            (
                "python recursive",
                measure(lambda dicts=dicts: [python_flatten(d) for d in dicts], size),
            ),
            (
                "flatten_json",
                measure(lambda dicts=dicts: [flatten_json.flatten(d, ".") for d in dicts], size)
                if flatten_json
                else None,
            ),
        ]
        rows.append((path.name + (" (batch)" if batch else ""), size, results))
    table("flatten", rows)


def unflatten_rows(files):
    unflat = plyfold.Plyfold().unflatten()
    flat = plyfold.Plyfold().flatten()
    rows = []
    for path in files:
        CURRENT["file"] = path.name
        texts, _ = load_documents(path)
        flat_texts = [flat.execute(t) for t in texts]
        flat_dicts = [orjson.loads(t) for t in flat_texts]
        size = sum(len(t.encode()) for t in flat_texts)
        results = [
            ("plyfold str->str", measure(run_case(unflat.execute, flat_texts), size)),
            ("plyfold dict->dict", measure(run_case(unflat.execute, flat_dicts), size)),
            ("orjson loads+dumps", measure(orjson_roundtrip(flat_texts), size)),
            (
                "flatten_json",
                measure(
                    lambda flat_dicts=flat_dicts: [
                        flatten_json.unflatten_list(d, ".") for d in flat_dicts
                    ],
                    size,
                )
                if flatten_json
                else None,
            ),
            (
                "flatten-dict",
                measure(
                    lambda flat_dicts=flat_dicts: [
                        flatten_dict.unflatten(d, splitter="dot") for d in flat_dicts
                    ],
                    size,
                )
                if flatten_dict
                else None,
            ),
        ]
        rows.append((path.name, size, results))
    table("unflatten (input: the flattened document)", rows)


def rules_rows(files):
    configs = [
        ("flatten no rules", plyfold.Plyfold().flatten()),
        ("flatten auto_convert", plyfold.Plyfold().flatten().auto_convert_types(True)),
        ("normal no rules", plyfold.Plyfold().normal()),
        (
            "normal 3 regex",
            plyfold.Plyfold()
            .normal()
            .key_replacement("r'^(user|admin)_'", "")
            .value_replacement(r"r'\s+'", " ")
            .exclude_key("r'_id$'"),
        ),
        (
            "flatten 3 regex",
            plyfold.Plyfold()
            .flatten()
            .key_replacement("r'^(user|admin)_'", "")
            .value_replacement(r"r'\s+'", " ")
            .exclude_key("r'_id$'"),
        ),
    ]
    rows = []
    for path in files:
        CURRENT["file"] = path.name
        texts, _ = load_documents(path)
        size = sum(len(t.encode()) for t in texts)
        results = [("orjson loads+dumps", measure(orjson_roundtrip(texts), size))]
        for name, obj in configs:
            results.append((name, measure(run_case(obj.execute, texts), size)))
        rows.append((path.name, size, results))
    table("rules, conversion and normal mode (str->str)", rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--data", default="../shared/data/bench")
    parser.add_argument("--only", nargs="*", help="file names to include")
    args = parser.parse_args()
    files = sorted(p for p in Path(args.data).iterdir() if p.suffix in (".json", ".ndjson"))
    if args.only:
        files = [p for p in files if p.name in args.only]
    print(f"plyfold {plyfold.__version__}; sizes in MB of input text; ratios vs orjson")
    flatten_rows(files)
    for section in (unflatten_rows, rules_rows):
        try:
            section(files)
        except plyfold.PlyfoldError as error:
            print(f"\n{section.__name__}: skipped ({str(error).splitlines()[0]})")


if __name__ == "__main__":
    json.dumps({})  # the standard codec is imported for plyfold's fallback path
    main()
