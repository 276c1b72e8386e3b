"""What the command makes of documents: --lines and --merge folds checked
against analyze_json of one array, example limits, --extract, --strict and
--repaired, each through the built command."""
import json
import os
import pathlib

import pytest
from hypothesis import given, settings, strategies as st

from plomet import analyze_json
from test_cli import TOOL, outline, run

pytestmark = pytest.mark.skipif(not TOOL.exists(), reason="command-line tool not built")

SHARED = pathlib.Path(__file__).resolve().parents[2] / ".." / "shared"
SUITE = SHARED / "corpora" / "jsontestsuite" / "test_parsing"


def as_one_array(texts):
    return "[" + ",".join(texts) + "]"


def lines_output(texts, *args):
    result = run("--lines", *args, stdin="\n".join(texts).encode() + b"\n")
    assert result.returncode == 0, result.stderr
    return result.stdout.decode()


# --- --lines folds lines as the items of one array --------------------------

FOLDS = [
    # The first document decides the kind; the scalar kinds gather examples
    # as array items do.
    ["1", "2", "1", "2.5", '"x"', "3"],
    ["2.5", "1", "-0.0", "0", "1.5e300", "18446744073709551616"],
    ['"a"', "1", '"b"', '"a"', "null"],
    ["true", "false", "1"],
    ["false"],
    ["null", "1", "{}"],
    ["9223372036854775808", "1", "2.5"],
    ["-9223372036854775808", "9223372036854775807", "9223372036854775808"],
    # Containers fold through the merge rules.
    ['{"a": 1, "b": {"x": [1]}}', '{"a": 2.5, "c": null}', "7", '{"b": {"y": true, "x": [2, 3, 4]}}'],
    ["[1, 2]", "[3.5]", "[]", '["s"]'],
    ["[]", "[1]", "[[2]]"],
    ['[{"a": 1}, {"b": 2}]', '[{"c": [1, {"d": 1}]}]'],
    ['{"k": [[1], [2.5]]}', '{"k": [[3], ["x"]]}'],
    ['{"s": "a\\tb", "t": "\\u0001"}', '{"s": "line\\nbreak"}'],
    ['{"b": 1, "a": 2, "b": 3}', '{"a": 1}'],
]


@pytest.mark.parametrize("texts", FOLDS, ids=lambda texts: texts[0])
@pytest.mark.parametrize("examples", [True, False])
def test_lines_outline_is_that_of_one_array(texts, examples):
    args = [] if examples else ["--no-examples"]
    assert lines_output(texts, *args) == analyze_json(as_one_array(texts), show_examples=examples) + "\n"


# Integers within the reader's range: beyond it a text needs repair, and the
# repair of one array differs from the repairs of its items one by one.
JSON_VALUES = st.recursive(
    st.none() | st.booleans() | st.integers(-(2 ** 63), 2 ** 63 - 1) | st.floats(allow_nan=False, allow_infinity=False)
    | st.text(max_size=8),
    lambda children: st.lists(children, max_size=4) | st.dictionaries(st.sampled_from("abcde"), children, max_size=4),
    max_leaves=12,
)


@settings(max_examples=60, deadline=None)
@given(documents=st.lists(JSON_VALUES, min_size=1, max_size=8), ascii_only=st.booleans())
def test_lines_fold_equals_one_array_for_any_documents(documents, ascii_only):
    texts = [json.dumps(d, ensure_ascii=ascii_only) for d in documents]
    assert lines_output(texts) == analyze_json(as_one_array(texts)) + "\n"


def test_lines_of_damaged_documents_fold_as_their_repairs(tmp_path):
    texts = ['{"a": [1, 2', "{'b': 'x',}", '{"a": [3], "c": tru', '{"a": "unclosed']
    repaired = run("--lines", "--repaired", stdin="\n".join(texts).encode())
    assert repaired.returncode == 0
    documents = repaired.stdout.decode().splitlines()
    assert len(documents) == len(texts)
    assert lines_output(texts) == analyze_json(as_one_array(documents)) + "\n"


def test_lines_reports_bad_lines_and_outlines_the_rest(tmp_path):
    path = tmp_path / "log.ndjson"
    path.write_bytes(b'{"n": 1}\n' + b"[" * 1025 + b'\n\n{"n": 2, "m": true}\r\n[1e400]\n')
    result = run("--lines", str(path))
    assert result.returncode == 1
    assert result.stdout.decode() == analyze_json('[{"n": 1}, {"n": 2, "m": true}]') + "\n"
    assert result.stderr.decode().splitlines() == [
        f"{path}:2:1025: Failed to parse or repair JSON: Unrepairable: nesting deeper than 1024 levels",
        f"{path}:5:2: Failed to parse or repair JSON: InvalidNumber: 1e400",
    ]


def test_lines_with_repaired_streams_one_document_per_line():
    result = run("--lines", "--repaired", stdin=b'{"t": "a\\tb"}\n\n[1, 2,\n{a: 1}')
    assert result.returncode == 0
    assert result.stdout == b'{"t":"a\\tb"}\n[1,2]\n{"a":1}\n'


# --- several inputs, --merge ------------------------------------------------

def write_inputs(tmp_path, texts):
    paths = []
    for i, text in enumerate(texts):
        path = tmp_path / f"in{i}.json"
        path.write_text(text, encoding="utf-8")
        paths.append(str(path))
    return paths


@pytest.mark.parametrize("texts", [
    ['{"a": 1}', '{"b": [1, 2]}', '{"a": 2.5}'],
    ["[1, 2]", "[3]", "{}"],
    ["5", "6.5", "7"],
])
def test_merge_folds_whole_inputs_as_items(tmp_path, texts):
    result = run("--merge", *write_inputs(tmp_path, texts))
    assert result.returncode == 0
    assert result.stdout.decode() == analyze_json(as_one_array(texts)) + "\n"


def test_merge_with_lines_folds_every_line_of_every_input(tmp_path):
    first = ['{"id": 1, "tags": ["a"]}', '{"id": 2}']
    second = ['{"id": 3, "extra": null}', "", '{"id": 4, "tags": []}']
    paths = write_inputs(tmp_path, ["\n".join(first), "\n".join(second) + "\n"])
    result = run("--merge", "--lines", *paths)
    assert result.returncode == 0
    every = first + [t for t in second if t]
    assert result.stdout.decode() == analyze_json(as_one_array(every)) + "\n"
    separate = run("--lines", *paths)
    assert separate.stdout.decode() == (
        f"==> {paths[0]} <==\n" + analyze_json(as_one_array(first)) + "\n\n"
        f"==> {paths[1]} <==\n" + analyze_json(as_one_array([t for t in second if t])) + "\n")


def test_merge_names_the_input_that_failed_and_keeps_the_rest(tmp_path):
    paths = write_inputs(tmp_path, ['{"a": 1}', "[" * 1025, '{"b": 2}'])
    result = run("--merge", *paths, str(tmp_path / "gone.json"))
    assert result.returncode == 2
    assert result.stdout.decode() == analyze_json('[{"a": 1}, {"b": 2}]') + "\n"
    assert result.stderr.decode().splitlines() == [
        f"{paths[1]}:1:1025: Failed to parse or repair JSON: Unrepairable: nesting deeper than 1024 levels",
        f"plomet: {tmp_path / 'gone.json'}: No such file or directory",
    ]


# --- example limits ---------------------------------------------------------

@pytest.mark.parametrize(
    "text, args, expected",
    [
        ("[1, 2, 3, 4, 5]", ["--max-examples", "2"], outline("  [", "    1, 2, ... (+3 more)", "  ]")),
        ("[1, 2, 3, 4, 5]", ["--max-examples", "5"], outline("  [", "    1, 2, 3, 4, 5", "  ]")),
        ("[1.5, 2.5]", ["--max-examples", "0"], outline("  [", "    ... (+2 more)", "  ]")),
        ('["abcdef", "é漢字xyz", "ab"]', ["--max-example-chars", "3"],
         outline("  [", '    "abc"... (+3 chars), "é漢字"... (+3 chars), "ab"', "  ]")),
        ('{"s": ["long text here", "b", "c"], "t": true}', ["--max-examples", "1", "--max-example-chars", "4"],
         outline("{", '  "s": [', '    "long"... (+10 chars), ... (+2 more)', "  ],", '  "t": true', "}")),
    ],
)
def test_example_limits_cut_and_mark(text, args, expected):
    result = run(*args, stdin=text.encode())
    assert (result.returncode, result.stdout) == (0, expected)


def test_without_limits_every_example_is_printed_as_analyze_json_does():
    text = json.dumps(list(range(5000)) + ["x" * 3000])
    assert run(stdin=text.encode()).stdout.decode() == analyze_json(text) + "\n"


# --- --extract --------------------------------------------------------------

EXTRACTS = [
    ('Sure! Here is the JSON:\n```json\n{"a": 1}\n```\nAnything else?', '{"a": 1}',
     "took the fenced block opened on line 2, marked json"),
    ("Two blocks:\n~~~~\n[1]\n~~~~\n~~~\n[2]\n~~~", "[1]", "took the fenced block opened on line 2"),
    # A block marked as JSON comes before the first block.
    ("Two blocks:\n~~~~ python\n[1]\n~~~~\n```JSON5\n{\"b\": 2}\n```", '{"b": 2}',
     "took the fenced block opened on line 5, marked JSON5"),
    ("Shell first:\n```sh\nrun {x}\n```\n\n```jsonl {.x}\n[3]\n```\n", "[3]",
     "took the fenced block opened on line 6, marked jsonl"),
    # A closing fence must be as long as the opening one.
    ("````\n[1,\n```\n2]\n````", "[1,\n```\n2]", "took the fenced block opened on line 1"),
    ("Cut off:\n   ```json\n{\"a\": [1, 2", '{"a": [1, 2]}',
     "took the fenced block opened on line 2, marked json, never closed: to the end"),
    # A byte-order mark before the answer is not part of its first line.
    ("\ufeff```\n{\"a\": 1}\n```\n", '{"a": 1}', "took the fenced block opened on line 1"),
    ('Here you go: {"name": "x", "n": [1, 2]}', '{"name": "x", "n": [1, 2]}', "dropped the 13 bytes before the first '{'"),
    ("The list is [1, 2, 3] and {}", "[1, 2, 3] and {}", "dropped the 12 bytes before the first '['"),
    ("Inline ``` fences ``` are not fences: {\"a\": true}", '{"a": true}', "dropped the 38 bytes before the first '{'"),
]


@pytest.mark.parametrize("answer, same_as, description", EXTRACTS)
def test_extract_takes_the_json_out_of_an_answer(answer, same_as, description):
    result = run("--extract", "--explain", stdin=answer.encode())
    assert result.returncode == 0
    assert result.stdout.decode() == analyze_json(same_as) + "\n"
    assert f"<stdin>: extract: {description}\n" in result.stderr.decode()


def test_extract_is_off_by_default():
    answer = 'Sure! Here is the JSON:\n```json\n{"a": 1}\n```'
    assert run(stdin=answer.encode()).stdout.decode() == analyze_json(answer) + "\n"


# --- --strict ---------------------------------------------------------------

@pytest.mark.parametrize(
    "text, args, status, stderr",
    [
        ("{a: 1, b: [0x10, +.5,], // comment\n c: 'x'}", [], 0, ""),
        ('{"a": "tab\\there"}', [], 0, ""),
        ('{"a": 1', [], 1, "<stdin>:1:8: expected ',' or '}'\n"),
        ('{\n  "a": tru\n}', [], 1, "<stdin>:2:8: expected a value\n"),
        ("", [], 1, "<stdin>:1:1: expected a value\n"),
        ('{"a": 1}\n[1,, 2]\n[3]', ["--lines"], 1, "<stdin>:2:4: expected a value\n"),
    ],
)
def test_strict_reads_json5_only(text, args, status, stderr):
    result = run("--strict", *args, stdin=text.encode())
    assert (result.returncode, result.stderr.decode()) == (status, stderr)
    if not args and status == 0:
        assert result.stdout.decode() == analyze_json(text) + "\n"


def test_strict_lines_outline_the_lines_that_read():
    result = run("--strict", "--lines", stdin=b'{"a": 1}\n[1,, 2]\n{"b": 2}\n')
    assert result.stdout.decode() == analyze_json('[{"a": 1}, {"b": 2}]') + "\n"


# --- --repaired and --explain -----------------------------------------------

@pytest.mark.parametrize(
    "text, expected",
    [
        ('{"t":"a\\tb"}', '{"t":"a\\tb"}'),
        ('{"c": "\\u0001\\u001f\\r"}', '{"c":"\\u0001\\u001f\\r"}'),
        ('{"a": "x\ty"}', '{"a":"x\\ty"}'),
        ("{'a': 'x', b: [1, 2,", '{"a":"x","b":[1,2]}'),
    ],
)
def test_repaired_keeps_string_values_as_read(text, expected):
    result = run("--repaired", stdin=text.encode())
    assert (result.returncode, result.stdout.decode()) == (0, expected + "\n")


# Every y_ number reads back equal. The exceptions are strings: the reader
# refuses a raw U+2028 or U+2029 inside a string, and the repair that then
# makes the text readable drops the character.
REPAIRED_EXCEPTIONS = {
    "y_string_u+2028_line_sep.json",
    "y_string_u+2029_par_sep.json",
}


def suite_files(prefix):
    return sorted(p for p in SUITE.glob(prefix + "*.json"))


@pytest.mark.skipif(not SUITE.is_dir(), reason="JSONTestSuite corpus not present")
def test_repaired_y_files_parse_back_to_the_same_value():
    differing = set()
    checked = 0
    for path in suite_files("y_"):
        result = run("--repaired", str(path))
        if result.returncode != 0:
            continue
        checked += 1
        original = json.loads(path.read_bytes())
        if json.loads(result.stdout) != original:
            differing.add(path.name)
    assert checked >= 90
    assert differing == REPAIRED_EXCEPTIONS


@pytest.mark.parametrize(
    "text, explained",
    [
        ('{"a": [1, 2,', 'normalisation: dropped 1 trailing comma, closed 2 brackets with "]}"'),
        ('{"a": "x\n}', "normalisation: ended 1 string at a line break"),
        ('["x" 1]', "normalisation: inserted 1 comma before a number"),
        ("{'a': 'b", 'normalisation: wrote 3 single quotes as double, closed the string left open at the end, '
                    'closed 1 bracket with "}"'),
        ('{"a": "x\\u0001"}', "json_repair::repair_json_remove_control_characters_in_value: "
                               "Removed control characters from JSON value."),
    ],
)
def test_explain_names_the_fix_ups(text, explained):
    result = run("--explain", stdin=text.encode())
    assert result.returncode == 0
    assert f"<stdin>: {explained}\n" in result.stderr.decode()


def test_explain_with_lines_names_each_line():
    result = run("--explain", "--lines", stdin=b'{"a": 1}\n{"a": [2\n')
    # A line read as it is goes unsaid: a file of clean lines explains nothing.
    assert result.stderr == b'<stdin>:2: read: normalised\n<stdin>:2: normalisation: closed 2 brackets with "]}"\n'


def test_explain_says_a_text_that_reads_was_read_as_it_is():
    assert run("--explain", stdin=b'{"a": [1, 2]}').stderr == b"<stdin>: read: as it is\n"
