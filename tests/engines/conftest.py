"""The engines' tests: their shared files and the command's results, and the
skip of every test, with the reason, when the engines could not be
installed."""
import importlib.util
import sys
from pathlib import Path

import pytest

from jsonl_cases import ENGINES, run_command, write_files


def pytest_collection_modifyitems(config, items):
    missing = [name for name in ENGINES if importlib.util.find_spec(name) is None]
    if not missing:
        return
    why = Path(sys.prefix, "unavailable")
    reason = why.read_text().strip() if why.is_file() else "not installed (scripts/ensure-packages.sh --engines DIR)"
    skip = pytest.mark.skip(reason=f"{', '.join(missing)}: {reason}")
    for item in items:
        item.add_marker(skip)


@pytest.fixture(scope="session")
def jsonl_files(tmp_path_factory):
    return write_files(tmp_path_factory.mktemp("jsonl"))


@pytest.fixture(scope="session")
def command_results(jsonl_files):
    """The command's outline, outline without examples and JSON Schema of
    the files in path order, and its messages of skipped lines."""
    outline, messages = run_command(*jsonl_files)
    plain, _ = run_command("--no-examples", *jsonl_files)
    schema, _ = run_command("--format", "json-schema", *jsonl_files)
    return {"outline": outline, "plain": plain, "schema": schema, "messages": messages}
