"""A gigabyte of JSON Lines through --lines from a pipe: the outline is that
of the whole stream, and memory stays bounded by the longest line and the
shape, not the stream."""
import json
import pathlib
import subprocess

import pytest

from plomet import analyze_json
from test_cli import TOOL

pytestmark = pytest.mark.skipif(not TOOL.exists(), reason="command-line tool not built")

TIME = "/usr/bin/time"
STREAM_BYTES = 1 << 30
PEAK_MEMORY_LIMIT = 100 << 20


def record(i):
    return {"id": i, "user": {"name": f"user{i % 37}", "tags": [f"t{i % 5}", "x"]}, "score": i * 0.5,
            "ok": i % 3 == 0, "note": "n" * (i % 60) + "\t", f"extra{i % 4}": [i, {"k": i}] if i % 2 else None}


@pytest.mark.skipif(not pathlib.Path(TIME).exists(), reason="GNU time not installed")
def test_a_gigabyte_of_lines_from_a_pipe_in_bounded_memory(tmp_path):
    lines = [json.dumps(record(i)) for i in range(4000)]
    chunk = ("\n".join(lines) + "\n").encode()
    repeats = -(-STREAM_BYTES // len(chunk))
    # GNU time measures the command's peak: a child forked from this large
    # interpreter would count the interpreter's pages in its own peak.
    usage_file = tmp_path / "usage"
    process = subprocess.Popen([TIME, "-f", "%M", "-o", str(usage_file), str(TOOL), "--lines"],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    # The outline and any message come only once the input has ended, so
    # writing everything first cannot block on a full output pipe.
    for _ in range(repeats):
        process.stdin.write(chunk)
    process.stdin.close()
    stdout = process.stdout.read()
    stderr = process.stderr.read()
    assert (process.wait(), stderr) == (0, b"")

    # Folding the same records again changes nothing but the count.
    once = analyze_json("[" + ",".join(lines) + "]")
    assert once.count(f"...  // {len(lines)} items") == 1
    expected = once.replace(f"...  // {len(lines)} items", f"...  // {repeats * len(lines)} items")
    assert stdout.decode() == expected + "\n"
    assert repeats * len(chunk) >= STREAM_BYTES
    peak = int(usage_file.read_text().split()[-1]) * 1024  # kilobytes
    assert peak > 0
    assert peak < PEAK_MEMORY_LIMIT, f"peak resident memory {peak >> 20} MiB"
