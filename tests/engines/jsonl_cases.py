"""The JSON Lines files that the engines' tests share, and the command's
fold of them, the expected result."""
import json
import os
import re
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
COMMAND = Path(os.environ.get("PLOMET_BUILD_DIR", ROOT / "build" / "release")) / "plomet"
ENGINES = ("pyspark", "pyarrow", "pandas", "dask", "distributed")
# A line longer than a Spark split, a Dask block and the 1 MiB that the
# folds gather at a time.
LONG_LINE_CHARS = 3 << 19
# Splits and blocks small enough that the files make many pieces.
PIECE_BYTES = 32 << 10


def record(index):
    return {"id": index, "name": f"client {index} Zürich 東京 🚀", "tags": ["a", "ü"][: index % 3],
            **({"note": None} if index % 7 == 0 else {}), "score": index / 4}


def write_files(folder):
    """The files, named so that path order differs from size order: the
    smallest sorts first and its first document is an array, so it decides
    the kind only when the pieces are merged in path order."""
    files = {
        "a first.jsonl": '[1, "é"]\n{"k": 1}\n',
        "b.jsonl": "".join(json.dumps(record(i), ensure_ascii=i % 2 == 0) + ("\r\n" if i % 5 == 0 else "\n")
                           + ("\n   \n" if i % 50 == 0 else "") for i in range(4000)),
        "c bad.jsonl": "".join(json.dumps(record(i)) + "\n" for i in range(100))
        + "1e999\n" * 8000 + "".join(json.dumps(record(i)) + "\n" for i in range(100)),
        "d empty.jsonl": "",
        "e long.jsonl": json.dumps(record(1)) + "\n" + json.dumps({"long": "x" * LONG_LINE_CHARS, "ok": "日本"})
        + "\n" + json.dumps(record(2)),
    }
    for name, text in files.items():
        (folder / name).write_text(text, encoding="utf-8")
    return sorted(str(folder / name) for name in files)


def run_command(*arguments):
    """What `plomet --lines --merge` prints for arguments: (output, the
    messages of skipped lines as FILE:LINE: message). The command names the
    column too; the engines name the file and line."""
    result = subprocess.run([str(COMMAND), "--lines", "--merge", "--quiet", *arguments], capture_output=True,
                            text=True, encoding="utf-8")
    assert result.returncode in (0, 1), result.stderr
    return result.stdout, [re.sub(r":(\d+):\d+: ", r":\1: ", line, count=1) for line in result.stderr.splitlines()]


def renders(shape):
    """A shape rendered as the command prints it, a line feed after each."""
    return {"outline": shape.outline() + "\n", "plain": shape.outline(show_examples=False) + "\n",
            "schema": shape.json_schema() + "\n"}
