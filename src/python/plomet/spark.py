"""plomet on Spark: the shape of JSON Lines files, or of a DataFrame's
column of records, folded on the executors and merged on the driver.

Each task folds a piece of the records. Files that every executor sees are
read by the tasks themselves, a byte range each, at the command's speed;
others go through Spark's text scan, and the records of a DataFrame too,
with mapInArrow: the values of each Arrow batch are read in place by
plomet.Shape.add_arrow, with no Python object per record. The summaries of the pieces travel to the driver as bytes and are
merged there in the documented order, whatever order the scan packed the
pieces in.

Needs pyspark (3.5 or later) and pyarrow on the driver and the executors,
and plomet on the executors too. pyarrow is imported by the tasks that read
Arrow batches only: the tasks that read files need nothing but plomet."""
import functools
import os
from urllib.parse import unquote, urlsplit

from plomet._pieces import Piece, PieceFolder, SkippedRecord, check_errors, merge_in_order

__all__ = ["infer_files", "infer", "SkippedRecord"]

PIECES_SCHEMA = ("source string, start long, records long, shape binary, "
                 "skipped_lines array<long>, skipped_messages array<string>")


def infer_files(spark, paths, *, examples=True, errors="raise", skipped=None, files_on_executors=None,
                piece_bytes=128 << 20):
    """The plomet.Shape of the JSON Lines files at paths (a path or a list
    of them, in any form that spark.read.text takes), folded as
    `plomet --lines --merge` folds the same files given in path-sorted order:
    files sorted by path, lines in file order, each line ending at "\n".

    errors="raise": a line that does not read raises
    ValueError("FILE:LINE: message"), for the first such line in that
    order. errors="skip": such lines are left out; the first 1000 are
    appended to the list skipped, when one is given, as
    SkippedRecord(path, line, message).

    files_on_executors=True: each task opens its piece of a file (of
    piece_bytes) by its local path, which every executor must see (a local
    master, or a file system that every node mounts); False: Spark's text
    scan reads the files, from any file system Spark reads, and mapInArrow
    hands its batches over; None: True when the master is local and every
    file is a local file."""
    check_errors(errors)
    lines = spark.read.option("lineSep", "\n").text(paths if isinstance(paths, (list, tuple)) else [paths])
    if files_on_executors is None:
        files_on_executors = (spark.sparkContext.master.startswith("local")
                              and all(urlsplit(uri).scheme == "file" for uri in lines.inputFiles()))
    if files_on_executors:
        return _fold_local_files(spark, lines.inputFiles(), examples, errors, skipped, piece_bytes)
    located = lines.selectExpr("value", "_metadata.file_path AS path", "_metadata.file_block_start AS start")
    return _fold(located.mapInArrow(_fold_file_pieces(examples), PIECES_SCHEMA), examples, errors, skipped)


def infer(df, column, *, examples=True, errors="raise", skipped=None):
    """The plomet.Shape of the records in a string or binary column of df,
    one record per row, in the DataFrame's order (partitions in order, rows
    in order within each). Nulls and blank values are no records. errors as
    for infer_files; a skipped record's line is its row, counted from 1, and
    its path None."""
    check_errors(errors)
    kind = df.schema[column].dataType.typeName()
    if kind not in ("string", "binary"):
        raise TypeError(f"column {column!r} must be of type string or binary, not {kind}")
    values = df.select(df[column].alias("value"))
    return _fold(values.mapInArrow(_fold_partition(examples), PIECES_SCHEMA), examples, errors, skipped)


def _fold(pieces_df, examples, errors, skipped):
    pieces = [Piece(row.source, row.start, row.records, bytes(row.shape),
                    list(zip(row.skipped_lines, row.skipped_messages)))
              for row in pieces_df.collect()]
    return merge_in_order(pieces, examples, errors, skipped)


def _fold_local_files(spark, uris, examples, errors, skipped, piece_bytes):
    if piece_bytes < 1:
        raise ValueError(f"piece_bytes must be at least 1, not {piece_bytes}")
    pieces = []
    for uri in uris:
        if urlsplit(uri).scheme != "file":
            raise ValueError(f"files_on_executors=True needs local files, not {uri}")
        path = _local_path(uri)
        size = os.path.getsize(path)
        pieces += [(path, start, min(start + piece_bytes, size)) for start in range(0, size, piece_bytes)]
    folded = spark.sparkContext.parallelize(pieces, max(len(pieces), 1)).map(functools.partial(_fold_range, examples))
    return merge_in_order(folded.collect(), examples, errors, skipped)


def _fold_range(examples, piece):
    """The Piece of the lines that start in [start, end) of the file at path:
    the line that starts before start and ends after it is the piece's
    before."""
    path, start, end = piece
    with open(path, "rb") as file:
        first, last = _line_start(file, start), _line_start(file, end)
        file.seek(first)
        folder = PieceFolder(examples)
        folder.add_stream(_ByteRange(file, last - first))
    return folder.piece(path, start)


def _line_start(file, at):
    """The offset of the first line that starts at or after at."""
    if at == 0:
        return 0
    file.seek(at - 1)
    while chunk := file.read(1 << 16):
        feed = chunk.find(b"\n")
        if feed >= 0:
            return file.tell() - len(chunk) + feed + 1
    return file.tell()


class _ByteRange:
    """The next size bytes of a binary file, as a file object."""

    def __init__(self, file, size):
        self.file, self.left = file, size

    def read(self, size):
        chunk = self.file.read(min(size, self.left))
        self.left -= len(chunk)
        return chunk


def _local_path(uri):
    """A file's name as the scan gives it, without the file: scheme of local
    files, so that paths sort and read as the caller wrote them."""
    parts = urlsplit(uri)
    return unquote(parts.path) if parts.scheme == "file" else unquote(uri)


def _piece_batch(piece):
    import pyarrow as pa

    return pa.RecordBatch.from_pydict({
        "source": [piece.source], "start": [piece.start], "records": [piece.records], "shape": [piece.shape],
        "skipped_lines": [[line for line, _ in piece.skipped]],
        "skipped_messages": [[message for _, message in piece.skipped]],
    }, schema=pa.schema([("source", pa.string()), ("start", pa.int64()), ("records", pa.int64()),
                         ("shape", pa.binary()), ("skipped_lines", pa.list_(pa.int64())),
                         ("skipped_messages", pa.list_(pa.string()))]))


def _runs(batch):
    """(path, start, values) for each run of rows of one file piece in a
    batch of (value, path, start) rows: a piece's rows are consecutive."""
    import pyarrow.compute as pc

    rows = batch.num_rows
    if rows == 0:
        return
    values, paths, starts = batch.column(0), batch.column(1), batch.column(2)
    if paths[0] == paths[rows - 1] and starts[0] == starts[rows - 1]:
        cuts = [0, rows]
    else:
        changed = pc.or_(pc.not_equal(paths.slice(1), paths.slice(0, rows - 1)),
                         pc.not_equal(starts.slice(1), starts.slice(0, rows - 1)))
        cuts = [0, *(index + 1 for index in pc.indices_nonzero(changed).to_pylist()), rows]
    for begin, end in zip(cuts, cuts[1:]):
        yield paths[begin].as_py(), starts[begin].as_py(), values.slice(begin, end - begin)


def _fold_file_pieces(examples):
    def fold(batches):
        folder, key = None, None
        for batch in batches:
            for path, start, values in _runs(batch):
                if (path, start) != key:
                    if folder is not None:
                        yield _piece_batch(folder.piece(_local_path(key[0]), key[1]))
                    folder, key = PieceFolder(examples), (path, start)
                folder.add_arrow(values)
        if folder is not None:
            yield _piece_batch(folder.piece(_local_path(key[0]), key[1]))
    return fold


def _fold_partition(examples):
    def fold(batches):
        from pyspark import TaskContext

        folder = PieceFolder(examples)
        for batch in batches:
            folder.add_arrow(batch.column(0))
        yield _piece_batch(folder.piece("", TaskContext.get().partitionId()))
    return fold
