"""Flatten a bundled API response and print the input and the result."""

import json
from pathlib import Path

import plyfold

document = (Path(__file__).parent / "api_response.json").read_text()
print("Input document:")
print(document)

flat = plyfold.Plyfold().flatten().execute(document)
print("Flattened (str in, str out):")
print(json.dumps(json.loads(flat), indent=2, ensure_ascii=False))

cleaned = (
    plyfold.Plyfold()
    .flatten()
    .remove_nulls(True)
    .remove_empty_objects(True)
    .remove_empty_arrays(True)
    .execute(json.loads(document))
)
print("Flattened without nulls and empty containers (dict in, dict out):")
for key, value in cleaned.items():
    print(f"  {key} = {value!r}")
