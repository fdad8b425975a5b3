#!/usr/bin/python3
"""Validates the JSON documents and log lines the test suite captured against velnor's schemas.

validate-json.py SCHEMA_DIR CAPTURE_DIR
Each captured file is named COMMAND.ANYTHING.json (one document; station's: one a line) or
log-line.ANYTHING.jsonl (one document a line); what no command's schema names (a refused command line) is an error document.
No document at all fails: the capture stopped working. A document known to be wrong is checked
first: a validator that accepts it proves nothing.
"""
import json
import pathlib
import sys

import jsonschema


def validators(schema_dir):
    schemas = {}
    for path in sorted(pathlib.Path(schema_dir).glob("*.schema.json")):
        schemas[path.name.removesuffix(".schema.json")] = json.loads(path.read_text())
    store = {schema["$id"]: schema for schema in schemas.values()}
    made = {}
    for name, schema in schemas.items():
        jsonschema.Draft202012Validator.check_schema(schema)
        resolver = jsonschema.RefResolver.from_schema(schema, store=store)
        made[name] = jsonschema.Draft202012Validator(schema, resolver=resolver)
    return made


def documents(path):
    text = path.read_text(encoding="utf-8")
    if path.suffix == ".jsonl" or path.name.startswith("station."):
        return [line for line in text.split("\n") if line]
    return [text]


def main(schema_dir, capture_dir):
    checks = validators(schema_dir)
    wrong = {"keypads": [{"keypad": {"path": "keypad-1", "location": ""}, "status": 0, "message": None,
                          "settings": {}}]}
    if checks["status"].is_valid(wrong):
        print("the validator accepts a document that is known to be wrong")
        return 1
    counts = {name: 0 for name in checks}
    failures = 0
    for path in sorted(pathlib.Path(capture_dir).glob("*.json*")):
        name = path.name.split(".")[0]
        if name not in checks or name == "common":
            name = "error"
        for number, text in enumerate(documents(path), 1):
            counts[name] += 1
            try:
                document = json.loads(text)
            except ValueError as error:
                print(f"{path.name}:{number}: not JSON: {error}")
                failures += 1
                continue
            for error in checks[name].iter_errors(document):
                print(f"{path.name}:{number}: {error.json_path}: {error.message}\n  {text.strip()[:400]}")
                failures += 1
    del counts["common"]
    if sum(counts.values()) == 0:
        print("no document was captured (the runs of velnor with --json or --log write them)")
        failures += 1
    print(", ".join(f"{name} {count}" for name, count in sorted(counts.items())), "documents checked")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
