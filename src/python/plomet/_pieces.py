"""The shapes of the consecutive pieces of a sequence of records, as engines
fold them in parallel, and their merge in the sequence's order.

A piece is a run of records that one task folds: a piece of a file (keyed by
the file and the byte offset where it starts) or a partition of a bag (keyed
by its place). Its summary travels as bytes with the number of records it
read, so that the records it skipped can be numbered in the whole file or
bag once the pieces before it are known."""
import itertools
from typing import NamedTuple

import plomet

# The skipped records kept, in order, as plomet.Shape keeps its skipped lines.
KEPT_SKIPPED = 1000


class SkippedRecord(NamedTuple):
    """A record that did not read: its file (None when the engine does not
    know it), its line, counted from 1 in that file or in the whole
    sequence, and the message."""
    path: str | None
    line: int
    message: str


class Piece(NamedTuple):
    source: str  # the file, or "" for a bag
    start: int  # the byte offset in the file, or the place of a partition
    records: int  # the records read, blank and skipped ones included
    shape: bytes
    skipped: list[tuple[int, str]]  # (record in this piece from 1, message), the first KEPT_SKIPPED


class PieceFolder:
    """Folds the records of one piece, in calls of any size, as lines of JSON
    Lines that do not stop at a record that does not read: a record is
    skipped, and kept numbered in the piece, whatever the caller's errors
    choice, which is applied when the pieces are merged in order."""

    def __init__(self, examples):
        self.shape = plomet.Shape(examples)
        self.records = 0
        self.skipped = []

    def add_arrow(self, values):
        self._fold(lambda: self.shape.add_arrow(values, errors="skip"), lambda: len(values))

    def add_lines(self, lines):
        """Adds a list of lines, one line each."""
        self._fold(lambda: self.shape.add_lines(lines, errors="skip"), lambda: len(lines))

    def add_stream(self, stream):
        """Adds the lines of a binary file object."""
        counted = LineCounter(stream)
        self._fold(lambda: self.shape.add_lines(counted, errors="skip"), counted.lines)

    def _fold(self, add, count):
        """Runs add, then counts the records that it read."""
        before = self.shape.skipped_count
        add()
        if self.shape.skipped_count != before and len(self.skipped) < KEPT_SKIPPED:
            # The shape numbers the records of each call from 1.
            added = self.shape.skipped[min(before, KEPT_SKIPPED):]
            self.skipped += [(self.records + line, message) for line, message in added]
            del self.skipped[KEPT_SKIPPED:]
        self.records += count()

    def piece(self, source, start):
        return Piece(source, start, self.records, bytes(self.shape), self.skipped)


class LineCounter:
    """A binary file object's read(), counting the lines that pass."""

    def __init__(self, stream):
        self.stream, self.feeds, self.last = stream, 0, b"\n"

    def read(self, size):
        chunk = self.stream.read(size)
        if chunk:
            self.feeds += chunk.count(b"\n")
            self.last = chunk[-1:]
        return chunk

    def lines(self):
        return self.feeds + (self.last != b"\n")


def check_errors(errors):
    if errors not in ("raise", "skip"):
        raise ValueError(f"errors must be 'raise' or 'skip', not {errors!r}")


def concatenate(pieces):
    """One piece of the records of consecutive pieces of one source, in
    order, its skipped records numbered on from the pieces before."""
    shape = plomet.Shape.from_bytes(pieces[0].shape)
    records, skipped = pieces[0].records, list(pieces[0].skipped)
    for piece in pieces[1:]:
        if len(skipped) < KEPT_SKIPPED:
            skipped += [(records + line, message) for line, message in piece.skipped[:KEPT_SKIPPED - len(skipped)]]
        records += piece.records
        shape |= plomet.Shape.from_bytes(piece.shape)
    return Piece(pieces[0].source, pieces[0].start, records, bytes(shape), skipped)


def merge_in_order(pieces, examples, errors, skipped=None):
    """The shape of every piece's records in the order of (source, start),
    each file's lines numbered on from its pieces before. With
    errors="raise", the first record that did not read raises
    ValueError("FILE:LINE: message"), or "line N: message" for a bag; with
    "skip", the first KEPT_SKIPPED skipped records are appended to the list
    skipped, when one is given, as SkippedRecord."""
    ordered = sorted(pieces, key=lambda piece: (piece.source, piece.start))
    whole = plomet.Shape(examples)
    found = []
    for source, group in itertools.groupby(ordered, key=lambda piece: piece.source):
        piece = concatenate(list(group))
        found += [SkippedRecord(source or None, line, message) for line, message in piece.skipped]
        whole |= plomet.Shape.from_bytes(piece.shape)
    if found and errors == "raise":
        first = found[0]
        raise ValueError(f"{first.path}:{first.line}: {first.message}" if first.path
                         else f"line {first.line}: {first.message}")
    if skipped is not None:
        skipped += found[:KEPT_SKIPPED]
    return whole
