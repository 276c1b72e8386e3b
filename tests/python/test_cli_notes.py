"""The command never hides what it changed or dropped: notes on standard error,
--explain naming the attempt that gave each document, and nothing on standard
output when no document was read."""
import os
import pathlib
import subprocess

import pytest

from plomet import analyze_json

TOOL = (pathlib.Path(os.environ.get("PLOMET_BUILD_DIR", "build/release")) / "plomet").resolve()

pytestmark = pytest.mark.skipif(not TOOL.exists(), reason="command-line tool not built")

RECORDS = b'{"a":1,"b":"0"}\n{"a":2,"b":"1"}\n{"a":3,"b":"2"}\n'


def run(*args, stdin=b"", stderr=subprocess.PIPE):
    return subprocess.run([str(TOOL), *args], input=stdin, stdout=subprocess.PIPE, stderr=stderr, timeout=60)


def write(tmp_path, name, content):
    path = tmp_path / name
    path.write_bytes(content)
    return path


@pytest.mark.parametrize(
    "args, note",
    [
        ([], "holds 2 more values after the first, from line 2, which are not read: only the first is; "
             "for JSON Lines use --lines"),
        (["--merge"], "holds 2 more values after the first, from line 2, which are not read: only the first is; "
                      "for JSON Lines use --lines"),
        (["--format", "json-schema"], "holds 2 more values after the first, from line 2, which are not read: "
                                      "only the first is; for JSON Lines use --lines"),
        (["--repaired"], "holds 2 more values after the first, from line 2, which are not read: only the first is; "
                         "for JSON Lines use --lines"),
    ],
)
def test_json_lines_read_as_one_document_are_said_to_be_dropped(tmp_path, args, note):
    path = write(tmp_path, "records.jsonl", RECORDS)
    result = run(*args, str(path))
    assert result.returncode == 0
    assert result.stderr.decode() == f"{path}: {note}\n"
    if not args:  # the outline itself does not change
        assert result.stdout.decode() == analyze_json(RECORDS.decode()) + "\n"
    assert run("--quiet", *args, str(path)).stderr == b""
    assert run("--lines", str(path)).stderr == b""


def test_a_line_that_holds_two_values_is_said_to_be_cut():
    result = run("--lines", stdin=b'{"a": 1}\n{"a": 2} {"a": 3}, 4\n')
    assert result.returncode == 0
    assert result.stderr == b"<stdin>:2: holds 2 more values after the first, from column 10, which are not read: " \
                            b"only the first is\n"


def test_a_text_that_reads_or_normalises_as_one_value_has_no_note():
    for text in [b'{"a": [1, 2]}', b'{"a": "x', b"[1, 2] // a comment [3]", b'"just" ']:
        assert run(stdin=text).stderr == b"", text


@pytest.mark.parametrize(
    "args, stdin, said",
    [
        # A big integer does not read; the repair that reads changes values.
        (["--explain"], b'{"n": 1234567890123456789012, "u": "http://x.y/z"}',
         ["<stdin>: read: repaired by json_repair::repair_json_add_missing_quotes, then normalised",
          "<stdin>: the document's values differ from the text's: the number '1234567890123456789012' at line 1, "
          "column 7 became the number '1.2345678901234568e+21'"]),
        # Only the attempt that gave the document speaks: not the passes whose
        # output was thrown away.
        (["--repaired", "--explain"], RECORDS,
         ["<stdin>: read: repaired by json_repair::repair_json_add_missing_quotes, then normalised",
          "<stdin>: the document's values differ from the text's: the text '0' at line 1, column 12 became the "
          "number '0'",
          "<stdin>: holds 2 more values after the first, from line 2, which are not read: only the first is; "
          "for JSON Lines use --lines"]),
        (["--explain"], b'{"a": [1, 2}', ["<stdin>: read: repaired by json_repair::repair_json_missing_closing_quotes, "
                                          "then normalised",
                                          "<stdin>: json_repair::repair_json_missing_closing_quotes: Repaired missing "
                                          "closing quotes."]),
        (["--explain"], b"{'a': [1,", ["<stdin>: read: normalised",
                                       "<stdin>: normalisation: wrote 2 single quotes as double, dropped 1 trailing "
                                       "comma, closed 2 brackets with \"]}\""]),
        (["--explain", "--strict"], b"{a: 1}", ["<stdin>: read: as it is"]),
    ],
)
def test_explain_names_the_attempt_that_gave_the_document(args, stdin, said):
    result = run(*args, stdin=stdin)
    assert result.returncode == 0
    assert result.stderr.decode().splitlines() == said
    assert "missing_commas" not in result.stderr.decode()


def test_no_document_read_writes_nothing_on_standard_output(tmp_path):
    deep = write(tmp_path, "deep1025.json", b"[" * 1025)
    failing = write(tmp_path, "failing.jsonl", b"[1e999]\n" + b"[" * 1025 + b"\n")
    cases = [
        (["--merge", "--format", "json-schema", str(tmp_path / "nofile.json")], 2),
        (["--merge", str(deep)], 1),
        (["--merge", "--lines", str(failing)], 1),
        (["--lines", str(failing)], 1),
        (["--lines", "--format", "json-schema", str(failing)], 1),
        (["--format", "json-schema", str(deep)], 1),
    ]
    for args, status in cases:
        result = run(*args)
        assert (result.returncode, result.stdout) == (status, b""), args
        assert result.stderr != b""


@pytest.mark.parametrize("answer", [b"Text only", b"I could not find any data for that.\n", b""])
def test_extract_refuses_an_answer_with_no_json(answer):
    result = run("--extract", stdin=answer)
    assert (result.returncode, result.stdout) == (1, b"")
    assert result.stderr == b"<stdin>: no JSON in the answer: no fenced block and no '{' or '['\n"


@pytest.mark.parametrize(
    "text, message",
    [
        (b"[1,\n  1e999]", "<stdin>:2:3: error parsing number: too large"),
        (b'{"a": 0x1FFFFFFFFFFFFFFFF}', "<stdin>:1:7: error parsing hex"),
        (b'["ok", "\\uD800x"]', "<stdin>:1:9: error parsing hex"),
        (b"[99999999999999999999999]", "<stdin>:1:2: error parsing integer"),
    ],
)
def test_strict_conversion_errors_say_where(text, message):
    result = run("--strict", stdin=text)
    assert (result.returncode, result.stderr.decode()) == (1, message + "\n")


def test_messages_sit_next_to_the_input_they_name(tmp_path):
    a = write(tmp_path, "a.json", b"[1]")
    missing = tmp_path / "missing.json"
    result = run(str(a), str(missing), str(a), stderr=subprocess.STDOUT)
    assert result.returncode == 2
    assert result.stdout.decode() == (f"==> {a} <==\n  [\n    1\n  ]\n"
                                      f"plomet: {missing}: No such file or directory\n"
                                      f"\n==> {a} <==\n  [\n    1\n  ]\n")


def test_repaired_merge_writes_one_stream_without_headers(tmp_path):
    first = write(tmp_path, "first.jsonl", b'{"a": 1}\n{"a": [2\n')
    second = write(tmp_path, "second.jsonl", b"[3]\n")
    whole = write(tmp_path, "whole.json", b"{b: 4}")
    result = run("--repaired", "--merge", "--lines", str(first), str(second))
    assert (result.returncode, result.stdout) == (0, b'{"a":1}\n{"a":[2]}\n[3]\n')
    result = run("--repaired", "--merge", str(first), str(whole))
    assert result.stdout == b'{"a":1}\n{"b":4}\n'
    # Without --merge each input keeps its header.
    assert run("--repaired", "--lines", str(first), str(second)).stdout.startswith(f"==> {first} <==\n".encode())
