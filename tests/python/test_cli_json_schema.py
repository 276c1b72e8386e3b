"""--format json-schema, checked with a real validator (python3-jsonschema)."""
import json
import pathlib

import pytest

from test_cli import TOOL, run

jsonschema = pytest.importorskip("jsonschema")
Validator = jsonschema.Draft202012Validator

pytestmark = pytest.mark.skipif(not TOOL.exists(), reason="command-line tool not built")

CORPORA = pathlib.Path(__file__).resolve().parents[2] / ".." / "shared" / "corpora"


def schema_of(*args, stdin=b""):
    result = run("--format", "json-schema", *args, stdin=stdin)
    assert result.returncode == 0, result.stderr
    schema = json.loads(result.stdout)
    Validator.check_schema(schema)
    return schema


def kind(value):
    if value is None:
        return "null"
    for python_type, name in [(bool, "bool"), (int, "int"), (float, "float"), (str, "str"), (list, "array")]:
        if isinstance(value, python_type):
            return name
    return "object"


def is_homogeneous(document):
    """Every value at one path (keys, and [] for array items) has one kind."""
    kinds = {}

    def walk(value, path):
        if kinds.setdefault(path, kind(value)) != kind(value):
            return False
        if isinstance(value, list):
            return all(walk(item, path + ("[]",)) for item in value)
        if isinstance(value, dict):
            return all(walk(item, path + (key,)) for key, item in value.items())
        return True

    return walk(document, ())


def corpus_documents():
    paths = sorted((CORPORA / "jsontestsuite" / "test_parsing").glob("y_*.json"))
    paths += sorted((CORPORA / "json5-tests").rglob("*.json")) + sorted((CORPORA / "bench").glob("*.json"))
    for path in paths:
        try:
            document = json.loads(path.read_bytes())
        except ValueError:
            continue
        if is_homogeneous(document):
            yield path, document


@pytest.mark.skipif(not CORPORA.is_dir(), reason="corpora not present")
@pytest.mark.parametrize("args", [[], ["--no-examples"], ["--max-examples", "1", "--max-example-chars", "2"]])
def test_homogeneous_corpus_documents_validate_against_their_own_schema(args):
    checked = 0
    for path, document in corpus_documents():
        schema = schema_of(*args, str(path))
        errors = [error.message for error in Validator(schema).iter_errors(document)]
        assert errors == [], path
        checked += 1
    assert checked >= 100


BREAKS = [
    # (document, a document that breaks a required key or a type)
    ({"id": 1, "name": "a"}, {"name": "a"}),
    ({"id": 1, "name": "a"}, {"id": "1", "name": "a"}),
    ({"id": 1, "name": "a"}, {"id": 1.5, "name": "a"}),
    ({"id": 1.5}, {"id": "x"}),
    ({"ok": True}, {"ok": 1}),
    ({"none": None}, {"none": 0}),
    ([{"a": 1, "b": [True]}, {"a": 2, "b": []}], [{"a": 1, "b": [True]}, {"b": []}]),
    ([{"a": 1, "b": [True]}, {"a": 2, "b": []}], [{"a": 1, "b": [True, "yes"]}]),
    ({"deep": {"list": [[1, 2], [3]]}}, {"deep": {"list": [[1, "2"]]}}),
    ({"deep": {"list": [[1, 2], [3]]}}, {"deep": {"list": [1]}}),
    (["x", "y"], ["x", None]),
    ("text", 5),
]


@pytest.mark.parametrize("document, broken", BREAKS)
def test_documents_that_break_a_required_key_or_a_type_are_refused(document, broken):
    schema = schema_of(stdin=json.dumps(document).encode())
    Validator(schema).validate(document)
    assert not Validator(schema).is_valid(broken)


def test_schema_text_keeps_key_order_examples_and_required_keys():
    text = '{"b": [{"x": 1, "y": "s"}, {"x": 2}], "a": true, "e": [], "f": 1.5, "n": null, "o": {}}'
    result = run("--format", "json-schema", stdin=text.encode())
    assert result.returncode == 0
    assert result.stdout.decode() == """{
  "$schema": "https://json-schema.org/draft/2020-12/schema",
  "type": "object",
  "properties": {
    "b": {
      "type": "array",
      "items": {
        "type": "object",
        "properties": {
          "x": {
            "type": "integer",
            "examples": [1]
          },
          "y": {
            "type": "string",
            "examples": ["s"]
          }
        },
        "required": ["x"]
      }
    },
    "a": {
      "type": "boolean",
      "examples": [true]
    },
    "e": {
      "type": "array",
      "items": {}
    },
    "f": {
      "type": "number",
      "examples": [1.5]
    },
    "n": {
      "type": "null"
    },
    "o": {
      "type": "object"
    }
  },
  "required": ["b", "a", "e", "f", "n", "o"]
}
"""


@pytest.mark.parametrize(
    "text, args, expected",
    [
        ('["a\\"b", "c"]', [], {"type": "array", "items": {"type": "string", "examples": ['a"b', "c"]}}),
        ('["a\\"b", "c"]', ["--no-examples"], {"type": "array", "items": {"type": "string"}}),
        ("[1, 2, 3]", ["--max-examples", "2"],
         {"type": "array", "items": {"type": "integer", "examples": [1, 2], "$comment": "2 of 3 examples shown"}}),
        # An example that would be cut is left out, never shown cut.
        ('["abcdef", "é漢字xyz", "ab"]', ["--max-examples", "2", "--max-example-chars", "3"],
         {"type": "array", "items": {"type": "string",
                                     "$comment": "0 of 3 examples shown; 2 longer than 3 characters left out"}}),
        ('["abc", "é漢字xyz", "ab"]', ["--max-example-chars", "3"],
         {"type": "array", "items": {"type": "string", "examples": ["abc", "ab"],
                                     "$comment": "2 of 3 examples shown; 1 longer than 3 characters left out"}}),
        ("[1e300, -0.0, 2]", [], {"type": "array", "items": {"type": "number", "examples": [1e300, 0.0, 2.0]}}),
        ("[[1], [2.5]]", [], {"type": "array", "items": {"type": "array", "items": {"type": "number"}}}),
    ],
)
def test_schema_keywords(text, args, expected):
    schema = schema_of(*args, stdin=text.encode())
    assert schema == {"$schema": "https://json-schema.org/draft/2020-12/schema", **expected}


def test_lines_give_the_schema_of_one_record_that_every_line_validates_against(tmp_path):
    records = [{"id": 1, "tags": ["a"], "user": {"name": "x"}},
               {"id": 2, "tags": [], "user": {"name": "y", "mail": "m"}},
               {"id": 3, "user": {"name": "z"}, "extra": None}]
    path = tmp_path / "records.ndjson"
    path.write_text("".join(json.dumps(r) + "\n" for r in records), encoding="utf-8")
    schema = schema_of("--lines", str(path))
    assert schema["required"] == ["id", "user"]
    for record in records:
        Validator(schema).validate(record)
    assert not Validator(schema).is_valid({"id": 4})
    merged = schema_of("--merge", str(path), str(path), "--lines")
    assert merged == schema
