"""The plomet command-line tool, through real files and standard input."""
import os
import pathlib
import pty
import signal
import subprocess
import time

import pytest

TOOL = (pathlib.Path(os.environ.get("PLOMET_BUILD_DIR", "build/release")) / "plomet").resolve()

pytestmark = pytest.mark.skipif(not TOOL.exists(), reason="command-line tool not built")


def run(*args, stdin=b"", cwd=None):
    return subprocess.run([str(TOOL), *args], input=stdin, capture_output=True, timeout=60, cwd=cwd)


def outline(*lines):
    return ("\n".join(lines) + "\n").encode()


@pytest.mark.parametrize(
    "args, stdin, status, stdout, stderr",
    [
        ([], b'{"a": [1, 2', 0, b'{\n  "a": [\n    1, 2\n  ]\n}\n', b""),
        (["--no-examples", "-"], b"[1.5]", 0, b"  [\n    float\n  ]\n", b""),
        (["--repaired"], b"{name: John, tags: [a, b]}", 0, b'{"name":"John","tags":["a","b"]}\n', b""),
        ([], b"[" * 1025, 1, b"",
         b"<stdin>:1:1025: Failed to parse or repair JSON: Unrepairable: nesting deeper than 1024 levels\n"),
        ([], b'{"a": \xff}', 2, b"", b"plomet: <stdin>: not valid UTF-8 at byte 6\n"),
        (["--bogus"], b"", 2, b"", None),
    ],
)
def test_exit_status_and_output(args, stdin, status, stdout, stderr):
    result = run(*args, stdin=stdin)
    assert result.returncode == status
    assert result.stdout == stdout
    if stderr is not None:
        assert result.stderr == stderr


def test_files_explain_and_a_missing_file(tmp_path):
    good = tmp_path / "good.json"
    good.write_text('{"k": "v"}', encoding="utf-8")
    broken = tmp_path / "broken.json"
    broken.write_text('{"a": "x', encoding="utf-8")
    result = run("--explain", str(good), str(broken), str(tmp_path / "missing.json"))
    assert result.returncode == 2
    assert result.stdout == (f'==> {good} <==\n{{\n  "k": "v"\n}}\n\n'
                             f'==> {broken} <==\n{{\n  "a": "x"\n}}\n').encode()
    assert b"missing.json: No such file or directory" in result.stderr
    assert b"json_repair::" not in result.stderr  # normalisation alone mends the broken file
    assert f'{broken}: normalisation: closed the string left open at the end, closed 1 bracket with "}}"\n'.encode() \
        in result.stderr
    explained = run("--explain", stdin=b'{"a": "x""}')
    assert explained.returncode == 0
    assert b"json_repair::repair_json_remove_duplicate_quotes: Removed duplicate or invalid quotes in JSON.\n" in explained.stderr


def test_help_lists_every_option_and_exit_status():
    text = run("--help").stdout.decode()
    assert text.startswith("usage: plomet")
    for option in ["--lines", "--merge", "--format outline", "--format json-schema", "--extract",
                   "--max-examples N", "--max-example-chars N", "--repaired", "--explain", "--strict",
                   "--quiet", "--no-examples", "--help", "--version"]:
        assert option in text, option
    statuses = text[text.index("Exit status:"):]
    for status in ["0 ", "1 ", "2 ", "130 ", "141 "]:
        assert f"\n  {status}" in statuses, status
    assert run("--version").stdout == b"plomet 0.1.0\n"


def test_readme_documents_every_option():
    readme = (pathlib.Path(__file__).resolve().parents[2] / "README.md").read_text(encoding="utf-8")
    options = {line.split()[0] for line in run("--help").stdout.decode().splitlines() if line.startswith("  --")}
    assert len(options) == 14
    undocumented = {o for o in options - {"--help", "--version"} if f"`{o}" not in readme}
    assert undocumented == set()


@pytest.mark.parametrize(
    "args, message",
    [
        (["--format", "xml"], "unknown format 'xml' (outline or json-schema)"),
        (["--format"], "option '--format' needs a value"),
        (["--max-examples", "two"], "option '--max-examples' needs a whole number, not 'two'"),
        (["--max-example-chars=-1"], "option '--max-example-chars' needs a whole number, not '-1'"),
        (["--lines=yes"], "option '--lines' takes no value"),
        (["--repaired", "--format", "json-schema"],
         "--repaired prints documents, not outlines: it does not go with --format"),
        (["--max-examples", "1", "--repaired"],
         "--repaired prints documents, not outlines: it does not go with --max-examples"),
        (["--repaired", "--max-example-chars=1"],
         "--repaired prints documents, not outlines: it does not go with --max-example-chars"),
        (["--repaired", "--no-examples"], "--repaired prints documents, not outlines: it does not go with --no-examples"),
        (["--extract", "--lines"], "--lines reads one document per line: it does not go with --extract"),
        (["--no-examples", "--max-examples", "2"], "--no-examples shows no examples: it does not go with --max-examples"),
        (["--max-example-chars", "2", "--no-examples"],
         "--no-examples shows no examples: it does not go with --max-example-chars"),
        (["-x"], "unknown option '-x'"),
    ],
)
def test_usage_errors(args, message):
    result = run(*args, stdin=b"{}")
    assert result.returncode == 2
    assert result.stdout == b""
    assert result.stderr == f"plomet: {message}\nTry 'plomet --help' for the options.\n".encode()


def test_option_values_after_equals_and_after_double_dash(tmp_path):
    (tmp_path / "--lines").write_text("[1, 2, 3]", encoding="utf-8")
    result = run("--max-examples=1", "--", "--lines", cwd=tmp_path)
    assert result.returncode == 0
    assert result.stdout == outline("  [", "    1, ... (+2 more)", "  ]")


# --- several inputs ---------------------------------------------------------

def test_several_inputs_have_headers_and_errors_name_their_input(tmp_path):
    a = tmp_path / "a.json"
    a.write_text("[1]", encoding="utf-8")
    bad = tmp_path / "bad.json"
    bad.write_bytes(b"[1, \xc3]")
    broken = tmp_path / "broken.json"
    broken.write_text("[" * 1025, encoding="utf-8")
    b = tmp_path / "b.json"
    b.write_text('"x"', encoding="utf-8")
    result = run(str(a), str(bad), str(broken), str(tmp_path), str(b))
    assert result.returncode == 2
    assert result.stdout == (f"==> {a} <==\n  [\n    1\n  ]\n\n==> {b} <==\n  \"x\"\n").encode()
    assert result.stderr.decode().splitlines() == [
        f"plomet: {bad}: not valid UTF-8 at byte 4",
        f"{broken}:1:1025: Failed to parse or repair JSON: Unrepairable: nesting deeper than 1024 levels",
        f"plomet: {tmp_path}: Is a directory",
    ]


def test_one_document_that_fails_exits_one_and_the_others_are_printed(tmp_path):
    good = tmp_path / "good.json"
    good.write_text("{}", encoding="utf-8")
    broken = tmp_path / "broken.json"
    broken.write_text("[" * 1025, encoding="utf-8")
    result = run(str(broken), str(good))
    assert result.returncode == 1
    assert result.stdout == f"==> {good} <==\n{{\n}}\n".encode()


# --- bad input --------------------------------------------------------------

@pytest.mark.parametrize(
    "content, args, status, stdout, stderr",
    [
        # invalid UTF-8: the offset in the whole input, also with --lines
        (b'{"a": "\xe2\x82"}', [], 2, b"", "plomet: {f}: not valid UTF-8 at byte 7\n"),
        (b'{"a": 1}\r\n\n{"a": "\xed\xa0\x80"}\n{"a": 2}\n', ["--lines"], 1,
         outline("  [", "    {", '      "a": 1', "    },", "  ...  // 2 items", "  ]"),
         "{f}:3:8: not valid UTF-8 at byte 18\n"),
        # UTF-16 and UTF-32 with a byte-order mark: a whole input is transcoded,
        # and --lines, which streams, names the encoding
        ('{"a": "é𝄞"}'.encode("utf-16"), [], 0, outline("{", '  "a": "é𝄞"', "}"), ""),
        (b"\xfe\xff" + '[1]'.encode("utf-16-be"), ["--explain"], 0, outline("  [", "    1", "  ]"),
         "{f}: encoding: read as UTF-16BE (it starts with a byte-order mark), transcoded to UTF-8\n"
         "{f}: read: as it is\n"),
        ('{"a": "é𝄞"}'.encode("utf-32"), [], 0, outline("{", '  "a": "é𝄞"', "}"), ""),
        (b"\x00\x00\xfe\xff" + '[1]'.encode("utf-32-be"), [], 0, outline("  [", "    1", "  ]"), ""),
        (b"\xff\xfe" + b"[\x00\x00\xd8]\x00", [], 2, b"",
         "plomet: {f}: not valid UTF-16LE at byte 2 (after its byte-order mark)\n"),
        (b"\xfe\xff" + '{"a": 1}\n{}\n'.encode("utf-16-be"), ["--lines"], 2, b"",
         "plomet: {f}: not valid UTF-8 at byte 0: it is UTF-16BE (it starts with a UTF-16 byte-order mark), which "
         "--lines does not read; convert it to UTF-8 first, for example with iconv -f UTF-16 -t UTF-8\n"),
        ('{"a": 1}\n'.encode("utf-32"), ["--lines"], 2, b"",
         "plomet: {f}: not valid UTF-8 at byte 0: it is UTF-32LE (it starts with a UTF-32 byte-order mark), which "
         "--lines does not read; convert it to UTF-8 first, for example with iconv -f UTF-32 -t UTF-8\n"),
        # a UTF-8 byte-order mark is whitespace to the reader
        (b'\xef\xbb\xbf{"a": 1}', [], 0, outline("{", '  "a": 1', "}"), ""),
        # empty input: an empty object, as analyze_json(""), with a note
        (b"", [], 0, outline("{", "}"), "{f}: empty input, read as an empty object\n"),
        (b"", ["--quiet"], 0, outline("{", "}"), ""),
        (b"\n  \n\t\n", ["--lines"], 0, b"", "{f}: no documents (no line holds anything but blanks)\n"),
        # a UTF-8 byte-order mark is dropped in every mode
        (b"\xef\xbb\xbf", [], 0, outline("{", "}"), "{f}: empty input, read as an empty object\n"),
        (b'\xef\xbb\xbf\n[1]\n"a"\n', ["--lines"], 0, outline("  [", "    [", "      1", "    ]", "  ]"), ""),
        (b'\xef\xbb\xbf{"a": \xff}', [], 2, b"", "plomet: {f}: not valid UTF-8 at byte 9\n"),
        # empty lines are skipped but counted
        (b'\n\n   \n{"a": [1, 2\n\n' + b"[" * 1025 + b"\n", ["--lines"], 1,
         outline("  [", "    {", '      "a": [', "        1, 2", "      ]", "    }", "  ]"),
         "{f}:6:1025: Failed to parse or repair JSON: Unrepairable: nesting deeper than 1024 levels\n"),
    ],
)
def test_bad_input(tmp_path, content, args, status, stdout, stderr):
    path = tmp_path / "input.json"
    path.write_bytes(content)
    result = run(*args, str(path))
    assert (result.returncode, result.stdout, result.stderr.decode()) == (status, stdout, stderr.format(f=path))


def test_unreadable_inputs(tmp_path):
    # Reading a process's memory at offset 0 fails, whoever runs the test.
    result = run("/proc/self/mem")
    assert (result.returncode, result.stdout) == (2, b"")
    assert result.stderr == b"plomet: /proc/self/mem: Input/output error\n"
    directory_as_stdin = os.open(tmp_path, os.O_RDONLY)
    try:
        result = subprocess.run([str(TOOL), "--lines"], stdin=directory_as_stdin, capture_output=True, timeout=60)
    finally:
        os.close(directory_as_stdin)
    assert (result.returncode, result.stdout, result.stderr) == (2, b"", b"plomet: <stdin>: Is a directory\n")


@pytest.mark.skipif(os.geteuid() == 0, reason="root reads files whatever their mode")
def test_a_file_without_read_permission(tmp_path):
    path = tmp_path / "secret.json"
    path.write_text("{}", encoding="utf-8")
    path.chmod(0)
    result = run(str(path))
    assert (result.returncode, result.stderr) == (2, f"plomet: {path}: Permission denied\n".encode())


def test_a_broken_pipe_ends_the_command_quietly(tmp_path):
    path = tmp_path / "many.ndjson"
    path.write_bytes(b'{"name": "a fairly long value to fill the pipe quickly", "n": [1, 2, 3]}\n' * 200_000)
    process = subprocess.Popen([str(TOOL), "--lines", "--repaired", str(path)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert process.stdout.read(100).startswith(b'{"name":')
    process.stdout.close()
    stderr = process.stderr.read()
    assert process.wait(timeout=60) == 141
    assert stderr == b""


def test_ctrl_c_stops_at_once_with_status_130():
    # Standard input stays open and empty, so the command waits in a read.
    process = subprocess.Popen([str(TOOL), "--lines"], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    process.stdin.write(b'{"a": 1}\n')
    process.stdin.flush()
    time.sleep(0.3)
    process.send_signal(signal.SIGINT)
    assert process.wait(timeout=10) == 130
    assert process.stdout.read() == b""
    process.stdin.close()


# --- progress ---------------------------------------------------------------

def run_with_stderr_on_a_terminal(*args):
    controller, terminal = pty.openpty()
    try:
        result = subprocess.run([str(TOOL), *args], stdout=subprocess.PIPE, stderr=terminal, timeout=120)
    finally:
        os.close(terminal)
    shown = b""
    while True:
        try:
            chunk = os.read(controller, 65536)
        except OSError:  # the terminal's other side is closed: all is read
            break
        if not chunk:
            break
        shown += chunk
    os.close(controller)
    return result, shown


@pytest.fixture(scope="module")
def large_lines(tmp_path_factory):
    path = tmp_path_factory.mktemp("large") / "large.ndjson"
    line = b'{"id": 12345, "name": "progress", "tags": ["a", "b"]}\n'
    count = (65 << 20) // len(line) + 1
    path.write_bytes(line * count)
    return path, count


def test_progress_is_shown_on_a_terminal_and_cleared(large_lines):
    path, count = large_lines
    result, shown = run_with_stderr_on_a_terminal("--lines", "--no-examples", str(path))
    assert result.returncode == 0
    assert result.stdout.endswith(b"  ]\n")
    text = shown.decode()
    assert text.startswith(f"\r{path}: ")
    assert " of 65.0 MiB (" in text and "/s, " in text and " lines" in text
    assert text.endswith("\r\x1b[K")  # the line is erased at the end


@pytest.mark.parametrize("args", [["--quiet"], ["--quiet", "--explain"]])
def test_progress_is_silent_with_quiet(large_lines, args):
    path, _ = large_lines
    result, shown = run_with_stderr_on_a_terminal("--lines", *args, str(path))
    assert result.returncode == 0
    assert shown == b""


def test_progress_is_silent_when_standard_error_is_not_a_terminal(large_lines):
    path, count = large_lines
    result = run("--lines", str(path))
    assert (result.returncode, result.stderr) == (0, b"")
    assert f"...  // {count} items".encode() in result.stdout


def test_small_inputs_show_no_progress(tmp_path):
    path = tmp_path / "small.json"
    path.write_text('{"a": 1}', encoding="utf-8")
    result, shown = run_with_stderr_on_a_terminal(str(path))
    assert (result.returncode, shown) == (0, b"")
