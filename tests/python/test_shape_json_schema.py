"""The JSON Schema of a Shape admits every document the Shape was made from,
whatever kinds meet at a position: checked with a real validator on the
corpora and on random documents, alone, together and merged."""
import json
import math
import pathlib

import pytest

import plomet

jsonschema = pytest.importorskip("jsonschema")
hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings, strategies as st  # noqa: E402

Validator = jsonschema.Draft202012Validator
CORPORA = pathlib.Path(__file__).resolve().parents[2] / ".." / "shared" / "corpora"


def finite(value):
    """Whether every number in value is finite (a float beyond the double
    range reads as infinity in Python, and plomet refuses it)."""
    if isinstance(value, float):
        return math.isfinite(value)
    if isinstance(value, list):
        return all(finite(item) for item in value)
    if isinstance(value, dict):
        return all(finite(item) for item in value.values())
    return True


def corpus_texts():
    paths = sorted((CORPORA / "jsontestsuite" / "test_parsing").glob("y_*.json"))
    paths += sorted((CORPORA / "bench").glob("*.json"))
    for path in paths:
        data = path.read_bytes()
        try:
            document = json.loads(data)
        except ValueError:
            continue
        if finite(document):
            yield path.name, data, document


def schema_of(shape):
    schema = json.loads(shape.json_schema())
    Validator.check_schema(schema)
    return Validator(schema)


def errors_of(validator, document):
    return [f"{list(error.absolute_path)}: {error.message}" for error in validator.iter_errors(document)]


@pytest.mark.skipif(not CORPORA.is_dir(), reason="corpora not present")
def test_every_corpus_document_validates_against_its_own_schema_and_the_schema_of_all():
    everything = plomet.Shape()
    documents = []
    for name, data, document in corpus_texts():
        shape = plomet.Shape()
        try:
            shape.add(data)
        except ValueError:
            continue  # what plomet does not read (64-bit overflow) has no schema to check
        everything.add(data)
        documents.append((name, document))
        assert errors_of(schema_of(shape), document) == [], name
    assert len(documents) >= 90
    validator = schema_of(everything)
    for name, document in documents:
        assert errors_of(validator, document) == [], name


scalars = st.one_of(st.none(), st.booleans(), st.integers(-3, 3), st.sampled_from([0.5, -1.0, 2.0]),
                    st.sampled_from(["a", "b"]))
documents = st.recursive(
    scalars,
    lambda inner: st.one_of(st.lists(inner, max_size=4),
                            st.dictionaries(st.sampled_from(["k", "m", "n"]), inner, max_size=3)),
    max_leaves=12)


@settings(max_examples=300, deadline=None)
@given(st.lists(documents, min_size=1, max_size=6), st.integers(0, 6))
def test_random_documents_validate_against_the_schema_of_any_set_that_holds_them(sequence, cut):
    whole = plomet.Shape()
    left, right = plomet.Shape(), plomet.Shape()
    for at, document in enumerate(sequence):
        text = json.dumps(document)
        whole.add(text)
        (left if at < cut else right).add(text)
    merged = left | right
    assert merged.json_schema() == whole.json_schema()
    validator = schema_of(whole)
    for document in sequence:
        assert errors_of(validator, document) == [], json.dumps(document)
        assert errors_of(schema_of(_alone(document)), document) == [], json.dumps(document)


def _alone(document):
    shape = plomet.Shape()
    shape.add(json.dumps(document))
    return shape


@pytest.mark.parametrize("documents, refused", [
    # Only the kinds seen are admitted, and keys every object had are required.
    ([{"a": 1}, {"a": None}], {"a": "x"}),
    ([{"a": 1, "b": 2}, {"a": 2}], {"b": 1}),
    ([[1, 2.5], ["x"]], [True]),
    ([1, "s"], [1]),
])
def test_the_schema_still_refuses_what_no_document_had(documents, refused):
    shape = plomet.Shape()
    for document in documents:
        shape.add(json.dumps(document))
    validator = schema_of(shape)
    assert all(errors_of(validator, document) == [] for document in documents)
    assert not validator.is_valid(refused)
