"""The README's examples, run as written: each pasted output must be what the
code prints today."""
import doctest
import os
import pathlib
import re
import shlex
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
README = (ROOT / "README.md").read_text(encoding="utf-8")
TOOL = pathlib.Path(os.environ.get("PLOMET_BUILD_DIR", ROOT / "build" / "release")) / "plomet"

FENCE = re.compile(r"^```(\w*)\n(.*?)^```", re.M | re.S)
EXIT_STATUS = re.compile(r"\[exit status (\d+)\]$")
PYTHON_EXAMPLE = re.compile(r"^(plomet\.analyze_json\(.*\))\s+# -> (.+)$")


def blocks(language):
    return [body for lang, body in FENCE.findall(README) if lang == language]


def python_examples():
    for body in blocks("python"):
        for line in body.splitlines():
            match = PYTHON_EXAMPLE.match(line)
            if match:
                yield match.group(1), match.group(2)


def python_sessions():
    """The ```pycon blocks: interpreter sessions, run as doctests."""
    return blocks("pycon")


def shell_sessions():
    """(command, pasted output) for every `$ ` line of the unlabelled blocks."""
    for body in blocks(""):
        lines = body.splitlines()
        starts = [i for i, line in enumerate(lines) if line.startswith("$ ")]
        for at, start in enumerate(starts):
            end = starts[at + 1] if at + 1 < len(starts) else len(lines)
            yield lines[start][2:], "\n".join(lines[start + 1:end]).rstrip("\n")


def test_readme_has_examples_of_every_kind():
    assert len(list(python_examples())) >= 2
    assert python_sessions()
    commands = [command for command, _ in shell_sessions()]
    assert any("--explain" in c for c in commands)
    assert any("--repaired" in c for c in commands)
    assert any(c.startswith("cat ") for c in commands)


@pytest.mark.parametrize("expression, expected", list(python_examples()))
def test_python_example(expression, expected):
    import plomet

    assert eval(expression, {"plomet": plomet}) == eval(expected)


def test_python_sessions(monkeypatch):
    """The sessions run in order in one interpreter, as a reader runs them."""
    monkeypatch.chdir(ROOT)  # they read samples/
    namespace, parser, runner, report = {}, doctest.DocTestParser(), doctest.DocTestRunner(), []
    for index, session in enumerate(python_sessions()):
        test = parser.get_doctest(session, namespace, f"README session {index + 1}", str(ROOT / "README.md"), 0)
        test.globs = namespace  # get_doctest copies the dictionary; later sessions see earlier names
        runner.run(test, out=report.append, clear_globs=False)
    assert runner.tries and not runner.failures, "".join(report)


@pytest.mark.skipif(not TOOL.exists(), reason="command-line tool not built")
@pytest.mark.parametrize("command, expected", list(shell_sessions()))
def test_shell_example(command, expected):
    program, *args = shlex.split(command)
    if program == "cat":
        shown = "".join((ROOT / name).read_text(encoding="utf-8") for name in args)
    elif program == "plomet":
        result = subprocess.run([str(TOOL), *args], cwd=ROOT, capture_output=True, timeout=60)
        # A run that fails shows its status on a last line of its own.
        status = EXIT_STATUS.search(expected)
        assert result.returncode == (int(status.group(1)) if status else 0), result.stderr
        # A terminal shows the events on standard error before the outline.
        shown = (result.stderr + result.stdout).decode("utf-8")
        if status:
            shown = shown.rstrip("\n") + "\n" + status.group(0)
    else:
        pytest.fail(f"the README runs {program!r}, which this test cannot check")
    assert shown.rstrip("\n") == expected

