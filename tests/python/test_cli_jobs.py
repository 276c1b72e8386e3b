"""--jobs: --lines inputs cut into chunks and the inputs of --merge, folded on
several threads, give byte for byte what one thread gives, and what
analyze_json gives for the documents joined as one array; messages keep the
input's order and line numbers. PLOMET_CHUNK_BYTES makes the chunks small,
so that small inputs span many of them."""
import json
import os
import pathlib
import random
import subprocess

import pytest

jsonschema = pytest.importorskip("jsonschema")

from plomet import analyze_json
from test_cli import TOOL

pytestmark = pytest.mark.skipif(not TOOL.exists(), reason="command-line tool not built")

JOB_COUNTS = ["1", "2", "3"]
NESTED = b"[" * 1025
NESTED_ERROR = "Failed to parse or repair JSON: Unrepairable: nesting deeper than 1024 levels"


def run(args, stdin=b"", chunk_bytes=None):
    env = dict(os.environ)
    if chunk_bytes is not None:
        env["PLOMET_CHUNK_BYTES"] = str(chunk_bytes)
    result = subprocess.run([str(TOOL), *args], input=stdin, capture_output=True, timeout=120, env=env)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def run_with_every_job_count(args, stdin=b"", chunk_bytes=64):
    """The one result that every --jobs gives."""
    results = {jobs: run(["--jobs", jobs, *args], stdin, chunk_bytes) for jobs in JOB_COUNTS}
    for jobs in JOB_COUNTS[1:]:
        assert results[jobs] == results["1"], f"--jobs {jobs} differs from --jobs 1"
    return results["1"]


def record(rng, i):
    fields = {"id": i, "level": rng.choice(["info", "warn"]), "ms": rng.choice([rng.randint(0, 99), 0.5])}
    if i % 3 == 0:
        fields["user"] = {"id": i % 7, "tags": ["a", "b", "c"][: i % 4]}
    if i % 5 == 0:
        fields["note"] = None if i % 2 else "n" * (i % 40)
    return json.dumps(fields).encode()


def records(count, seed=1):
    rng = random.Random(seed)
    return [record(rng, i) for i in range(count)]


def long_lines():
    rng = random.Random(2)
    return [json.dumps({"k": "x" * rng.randint(100, 3000), "n": list(range(rng.randint(0, 300)))}).encode()
            if i % 4 == 0 else record(rng, i) for i in range(120)]


def with_bad_lines(lines, bad_at):
    lines = list(lines)
    for index, bad in sorted(bad_at.items()):
        lines.insert(index, bad)
    return lines


# Each input: its lines, their ending, and whether the last line has one. A
# bad line is [bytes, message, column], its message said at its line and
# the column where it goes wrong.
INPUTS = {
    "many records": (records(1500), b"\n", True),
    "lines longer than a chunk": (long_lines(), b"\n", True),
    "bad lines in several chunks": (with_bad_lines(records(400), {
        0: [NESTED, NESTED_ERROR, 1025],
        57: [b'{"id": "\xff"}', "not valid UTF-8 at byte {offset}", 9],
        58: [b"[1e999]", "Failed to parse or repair JSON: InvalidNumber: 1e999", 2],
        300: [NESTED, NESTED_ERROR, 1025],
    }), b"\n", True),
    "blank lines, CRLF, no final line feed": (
        [b"", b'{"a": [1, 2]}', b"  \t", b"7", b'{"b": "x"}', b"", b"[1, 2.5]", b'{"a": [3.5], "c": true}'] * 40,
        b"\r\n", False),
    "scalar documents first": ([b"1", b"2.5", b'"x"', b"{}", b"3", b"true", b"null"] * 30, b"\n", True),
}


def joined(lines, ending):
    return ending.join(line[0] if isinstance(line, list) else line for line in lines)


def expected_messages(name, lines, ending):
    messages = []
    offset = 0
    for number, line in enumerate(lines, 1):
        if isinstance(line, list):
            bad_byte = line[0].find(b"\xff")
            messages.append(f"{name}:{number}:{line[2]}: " + line[1].format(offset=offset + bad_byte))
            line = line[0]
        offset += len(line) + len(ending)
    return "".join(message + "\n" for message in messages)


def one_array(lines):
    """The documents of lines that read, joined as one array."""
    return "[" + ",".join(line.decode() for line in lines if not isinstance(line, list) and line.strip()) + "]"


def documents_as_one_array(lines, with_examples=True):
    return analyze_json(one_array(lines), show_examples=with_examples) + "\n"


@pytest.mark.parametrize("source", ["file", "pipe"])
@pytest.mark.parametrize("case", INPUTS)
def test_lines_give_the_outline_of_one_array_whatever_the_jobs(tmp_path, case, source):
    lines, ending, final_line_feed = INPUTS[case]
    data = joined(lines, ending) + (ending if final_line_feed else b"")
    name, args, stdin = "<stdin>", ["--lines"], data
    if source == "file":
        name, stdin = str(tmp_path / "input.ndjson"), b""
        pathlib.Path(name).write_bytes(data)
        args.append(name)
    messages = expected_messages(name, lines, ending)
    status = 1 if messages else 0
    assert run_with_every_job_count(args, stdin) == (status, documents_as_one_array(lines), messages)
    assert run_with_every_job_count(["--no-examples", *args], stdin, chunk_bytes=1) == (
        status, documents_as_one_array(lines, with_examples=False), messages)
    # Every document that reads validates against the schema of them all.
    status_, schema, messages_ = run_with_every_job_count(["--format", "json-schema", *args], stdin, chunk_bytes=200)
    assert (status_, messages_) == (status, messages)
    validator = jsonschema.Draft202012Validator(json.loads(schema))
    assert all(validator.is_valid(document) for document in json.loads(one_array(lines)))


def test_the_default_chunk_size_with_a_line_longer_than_a_chunk(tmp_path):
    lines = records(60_000) + [json.dumps({"long": "y" * (5 << 20)}).encode()] + records(60_000, seed=3)
    path = tmp_path / "big.ndjson"
    path.write_bytes(b"\n".join(lines) + b"\n")
    results = {jobs: run(["--lines", "--jobs", jobs, str(path)]) for jobs in JOB_COUNTS}
    assert results["1"] == results["2"] == results["3"]
    assert results["1"] == (0, documents_as_one_array(lines), "")


def write_inputs(tmp_path, contents):
    paths = []
    for i, content in enumerate(contents):
        path = tmp_path / f"in{i}.json"
        if content is not None:
            path.write_bytes(content)
        paths.append(str(path))
    return paths


def test_merge_of_many_files_keeps_their_order_and_messages(tmp_path):
    damaged = b"{'a': 2.5, c: [tru"
    texts = [b'{"a": 1}', NESTED, b"", None, b'{"b": [1, 2.5]}', b"7", damaged] * 6
    paths = write_inputs(tmp_path, texts)
    status, stdout, stderr = run_with_every_job_count(["--merge", *paths])
    as_read = {b"": "{}", damaged: '{"a": 2.5, "c": [true]}'}
    documents = [as_read.get(text, text.decode()) for text in texts if text not in (None, NESTED)]
    assert stdout == analyze_json("[" + ",".join(documents) + "]") + "\n"
    messages = {NESTED: "{path}:1:1025: " + NESTED_ERROR, b"": "{path}: empty input, read as an empty object",
                None: "plomet: {path}: No such file or directory"}
    expected = [messages[text].format(path=path) for path, text in zip(paths, texts) if text in messages]
    assert (status, stderr.splitlines()) == (2, expected)


def test_merge_of_line_files_numbers_each_file_from_one(tmp_path):
    first = with_bad_lines(records(30), {4: [NESTED, NESTED_ERROR, 1025]})
    second = with_bad_lines(records(25, seed=5), {0: [b"[1e999]", "Failed to parse or repair JSON: InvalidNumber: 1e999", 2],
                                                   20: [b'["\xff"]', "not valid UTF-8 at byte {offset}", 3]})
    paths = write_inputs(tmp_path, [joined(first, b"\n"), joined(second, b"\n") + b"\n"])
    status, stdout, stderr = run_with_every_job_count(["--merge", "--lines", *paths], chunk_bytes=100)
    assert stdout == documents_as_one_array(first + second)
    assert (status, stderr) == (1, expected_messages(paths[0], first, b"\n") + expected_messages(paths[1], second, b"\n"))


@pytest.mark.parametrize(
    "args, status, stdout, stderr",
    [
        # No document: nothing on standard output.
        (["--lines"], 0, "", "<stdin>: no documents (no line holds anything but blanks)\n"),
        (["--lines", "--quiet"], 0, "", ""),
        (["--merge"], 0, analyze_json("[{}]") + "\n", "<stdin>: empty input, read as an empty object\n"),
        (["--merge", "--lines"], 0, "", "<stdin>: no documents (no line holds anything but blanks)\n"),
    ],
)
def test_an_empty_input(args, status, stdout, stderr):
    assert run_with_every_job_count(args) == (status, stdout, stderr)


def test_explain_and_repaired_keep_the_order_of_lines():
    lines = b"\n".join([b'{"a": [1', b"[1e999]", b'{"b": 1}', b'{"c": "x'] * 3)
    status, _, stderr = run_with_every_job_count(["--lines", "--explain"], lines, chunk_bytes=8)
    assert status == 1
    assert stderr.splitlines() == [message for base in (0, 4, 8) for message in [
        f"<stdin>:{base + 1}: read: normalised",
        f'<stdin>:{base + 1}: normalisation: closed 2 brackets with "]}}"',
        f"<stdin>:{base + 2}:2: Failed to parse or repair JSON: InvalidNumber: 1e999",
        f"<stdin>:{base + 4}: read: normalised",
        f'<stdin>:{base + 4}: normalisation: closed the string left open at the end, closed 1 bracket with "}}"',
    ]]
    status, stdout, _ = run_with_every_job_count(["--lines", "--repaired"], lines, chunk_bytes=8)
    assert (status, stdout) == (1, '{"a":[1]}\n{"b":1}\n{"c":"x"}\n' * 3)


@pytest.mark.parametrize("value", ["0", "-1", "two", "", "1025", "99999999999999999999999"])
def test_jobs_needs_a_number_from_one_to_the_limit(value):
    assert run(["--jobs", value, "--lines"], b"{}") == (
        2, "", f"plomet: option '--jobs' needs a whole number from 1 to 1024, not '{value}'\n"
               "Try 'plomet --help' for the options.\n")
    assert run(["--jobs"])[0] == 2


TIME = "/usr/bin/time"


@pytest.mark.skipif(not pathlib.Path(TIME).exists(), reason="GNU time not installed")
def test_memory_stays_bounded_when_the_input_comes_faster_than_it_is_folded(tmp_path):
    chunk = b"\n".join(records(2000)) + b"\n"
    repeats = (160 << 20) // len(chunk)
    usage = tmp_path / "usage"
    process = subprocess.Popen([TIME, "-f", "%M", "-o", str(usage), str(TOOL), "--lines", "--jobs", "3"],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    for _ in range(repeats):
        process.stdin.write(chunk)
    process.stdin.close()
    stdout = process.stdout.read()
    assert (process.wait(), process.stderr.read()) == (0, b"")
    assert f"...  // {2000 * repeats} items".encode() in stdout
    peak = int(usage.read_text().split()[-1]) << 10
    assert peak < 64 << 20, f"peak resident memory {peak >> 20} MiB"
