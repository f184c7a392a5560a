#!/usr/bin/python3
"""Validates each line of FILE, one JSON document a line, against the JSON
Schema SCHEMA; prints one verdict a line: "valid" or "invalid: WHY"."""
import json
import sys

import jsonschema

schema_path, lines_path = sys.argv[1:]
with open(schema_path, encoding="utf-8") as schema_file:
    schema = json.load(schema_file)
jsonschema.validators.validator_for(schema).check_schema(schema)
validator = jsonschema.validators.validator_for(schema)(schema)
with open(lines_path, encoding="utf-8") as lines:
    for line in lines:
        error = jsonschema.exceptions.best_match(validator.iter_errors(json.loads(line)))
        print("valid" if error is None else "invalid: " + error.message.replace("\n", " "))
