"""plomet.spark on real PySpark in local[2] mode, with Spark's own JVM, on the
JSON Lines files of conftest: the result equals the command's on the same
files in path order, whatever order the scan packed their pieces in."""
import os
import re
import sys

import pytest

from jsonl_cases import PIECE_BYTES, renders, run_command

pyspark_sql = pytest.importorskip("pyspark.sql")
import plomet  # noqa: E402
import plomet.spark  # noqa: E402


@pytest.fixture(scope="module")
def spark():
    # The workers run this interpreter, which has the engines and plomet.
    os.environ["PYSPARK_PYTHON"] = sys.executable
    session = (pyspark_sql.SparkSession.builder.master("local[2]").appName("plomet-tests")
               .config("spark.ui.enabled", "false")
               # Many small pieces, packed into partitions by size, and
               # batches that end inside pieces.
               .config("spark.sql.files.maxPartitionBytes", PIECE_BYTES)
               .config("spark.sql.files.openCostInBytes", 0)
               .config("spark.sql.execution.arrow.maxRecordsPerBatch", 7)
               .getOrCreate())
    session.sparkContext.setLogLevel("ERROR")
    yield session
    session.stop()


def test_the_scan_packs_pieces_out_of_path_order(spark, jsonl_files):
    """The test files make the case the merge must undo: the scan's order of
    the pieces is not the path order, and some pieces hold no record."""
    located = spark.read.option("lineSep", "\n").text(jsonl_files).selectExpr(
        "_metadata.file_path AS path", "_metadata.file_block_start AS start")
    partitions = located.rdd.glom().map(lambda rows: [(row.path, row.start) for row in rows]).collect()
    scanned = [key for rows in partitions for key in dict.fromkeys(rows)]
    assert len(scanned) > 10 and scanned != sorted(scanned)
    assert any(not rows for rows in partitions)


# The two ways of reading files: Spark's text scan, or each task reading
# its byte range of a file by its local path.
READS = {"scan": {"files_on_executors": False}, "tasks": {"files_on_executors": True, "piece_bytes": PIECE_BYTES}}


@pytest.mark.parametrize("read, paths", [("scan", "sorted"), ("scan", "reversed"), ("tasks", "reversed")])
def test_files_equal_the_command(spark, jsonl_files, command_results, read, paths):
    given = jsonl_files if paths == "sorted" else jsonl_files[::-1]
    skipped = []
    shape = plomet.spark.infer_files(spark, given, errors="skip", skipped=skipped, **READS[read])
    assert renders(shape) == {key: command_results[key] for key in ("outline", "plain", "schema")}
    # The command reports FILE:LINE: message for every skipped line; the
    # first 1000 are kept.
    assert [f"{s.path}:{s.line}: {s.message}" for s in skipped] == command_results["messages"][:1000]
    assert len(skipped) == 1000


@pytest.mark.parametrize("read", READS)
def test_a_bad_line_fails_with_the_first_message_in_order(spark, jsonl_files, command_results, read):
    with pytest.raises(ValueError) as failure:
        plomet.spark.infer_files(spark, jsonl_files, **READS[read])
    assert str(failure.value) == command_results["messages"][0]


@pytest.mark.parametrize("examples", [True, False])
def test_one_file_without_examples_and_with(spark, jsonl_files, examples):
    """With a local master and local files, the tasks read the files."""
    path = next(p for p in jsonl_files if p.endswith("b.jsonl"))
    shape = plomet.spark.infer_files(spark, path, examples=examples, piece_bytes=PIECE_BYTES)
    options = [] if examples else ["--no-examples"]
    assert (shape.examples, shape.outline() + "\n") == (examples, run_command(*options, path)[0])


@pytest.mark.parametrize("kind", ["string", "binary"])
def test_a_column_folds_in_the_frame_order(spark, kind):
    documents = ['[1]', None, '{"a": "ü"}', "", '{"a": 2, "b": [true]}', "1e999"] * 40
    frame = spark.createDataFrame([(d,) for d in documents], "doc string").repartition(5)
    frame = frame.selectExpr(f"CAST(doc AS {kind}) AS doc")
    in_order = [row.doc for row in frame.collect()]
    skipped = []
    shape = plomet.spark.infer(frame, "doc", errors="skip", skipped=skipped)
    expected = plomet.Shape()
    expected.add_lines([(d or b"" if kind == "binary" else d or "") for d in in_order], errors="skip")
    assert shape.outline() == expected.outline() and shape.documents == expected.documents == 120
    assert [(s.path, s.line) for s in skipped] == [(None, line) for line, _ in expected.skipped]
    with pytest.raises(ValueError, match=re.escape(f"line {expected.skipped[0][0]}: ")):
        plomet.spark.infer(frame, "doc")


def test_a_column_of_another_type_is_refused(spark):
    with pytest.raises(TypeError, match="must be of type string or binary, not integer"):
        plomet.spark.infer(spark.range(3).selectExpr("CAST(id AS int) AS n"), "n")
