"""The plomet command-line tool, through real files and standard input."""
import os
import pathlib
import subprocess

import pytest

TOOL = pathlib.Path(os.environ.get("PLOMET_BUILD_DIR", "build/release")) / "plomet"

pytestmark = pytest.mark.skipif(not TOOL.exists(), reason="command-line tool not built")


def run(*args, stdin=b""):
    return subprocess.run([str(TOOL), *args], input=stdin, capture_output=True, timeout=60)


@pytest.mark.parametrize(
    "args, stdin, status, stdout, stderr",
    [
        ([], b'{"a": [1, 2', 0, b'{\n  "a": [\n    1, 2\n  ]\n}\n', b""),
        (["--no-examples", "-"], b"[1.5]", 0, b"  [\n    float\n  ]\n", b""),
        (["--repaired"], b"{name: John, tags: [a, b]}", 0, b'{"name":"John","tags":["a","b"]}\n', b""),
        ([], b"[" * 1025, 1, b"", b"Failed to parse or repair JSON: Unrepairable: nesting deeper than 1024 levels\n"),
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
    assert result.stdout == b'{\n  "k": "v"\n}\n{\n  "a": "x"\n}\n'
    assert b"missing.json: No such file or directory" in result.stderr
    assert b"json_repair::" not in result.stderr  # normalisation alone mends the broken file
    explained = run("--explain", stdin=b'{"a": "x""}')
    assert explained.returncode == 0
    assert b"json_repair::repair_json_remove_duplicate_quotes: Removed duplicate or invalid quotes in JSON.\n" in explained.stderr


def test_help_and_version():
    assert run("--help").stdout.startswith(b"usage: plomet")
    assert run("--version").stdout == b"plomet 0.1.0\n"
