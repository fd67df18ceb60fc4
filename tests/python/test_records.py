"""wdist.read_records over files of code records, and the module's counts
against the wdist program's JSON output on the same file."""

import json
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

import codes
import wdist

CLI = os.environ.get("WDIST_CLI")


def record_text(q, rows):
    return f"?{len(rows)} {len(rows[0])} {q}\n" + "".join("".join(map(str, r)) + "\n" for r in rows)


class RecordFiles(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def write(self, name, text):
        path = os.path.join(self.dir.name, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def test_records_in_order_with_their_fields(self):
        hexacode, _ = codes.hexacode()
        # Text between records is ignored; a non-digit repeats the last digit.
        path = self.write("codes.txt", "a comment\n" + record_text(4, hexacode) + "?2 5 3 trailing words\n1..20\n0-2-1\n")
        records = list(wdist.read_records(path))
        self.assertEqual([(r.number, r.q, r.k, r.n) for r in records], [(1, 4, 3, 6), (2, 3, 2, 5)])
        self.assertEqual(records[0].rows, hexacode)
        self.assertEqual(records[1].rows, [[1, 1, 1, 2, 0], [0, 0, 2, 2, 1]])
        self.assertEqual(repr(records[1]), "Record(number=2, q=3, k=2, n=5)")
        self.assertEqual(wdist.weight_distribution(records[0].rows, records[0].q), codes.hexacode()[1])

    def test_refused_records_raise_and_reading_goes_on_or_they_are_skipped(self):
        path = self.write("mixed.txt", "?1 3 6\n123\n?1 2 2\n11\n?1 2 3\n13\n?1 1 5\n4\n")
        records = wdist.read_records(pathlib.Path(path))
        with self.assertRaises(ValueError) as caught:
            next(records)
        self.assertEqual(str(caught.exception), f"{path}: record 1: q = 6, the field must be one of the prime powers up to 256")
        self.assertEqual(next(records).number, 2)
        with self.assertRaises(ValueError) as caught:
            next(records)
        self.assertEqual(str(caught.exception), f"{path}: record 3: entry 3 in row 1, column 2 is not below q = 3")
        self.assertEqual(next(records).rows, [[4]])
        self.assertRaises(StopIteration, next, records)
        self.assertEqual([r.number for r in wdist.read_records(path, skip_refused=True)], [2, 4])

    def test_truncated_missing_and_unreadable_files(self):
        path = self.write("short.txt", "?1 2 2\n11\n?2 3 2\n101\n")
        records = wdist.read_records(path)
        next(records)
        with self.assertRaises(ValueError) as caught:
            next(records)
        self.assertEqual(str(caught.exception), f"{path}: record 2: the input ends inside the record")
        self.assertRaises(StopIteration, next, records)
        with self.assertRaises(FileNotFoundError):
            wdist.read_records(os.path.join(self.dir.name, "missing.txt"))
        with self.assertRaises(IsADirectoryError):
            list(wdist.read_records(self.dir.name))
        with self.assertRaises(ValueError):
            wdist.read_records(path + "\0.txt")

    def test_a_with_block_closes_the_file(self):
        path = self.write("two.txt", "?1 1 2\n1\n?1 1 2\n1\n")
        with wdist.read_records(os.fsencode(path)) as records:
            self.assertEqual(next(records).number, 1)
        self.assertEqual(list(records), [])

    def test_messages_name_the_file_as_text_whatever_its_bytes(self):
        # A name of bytes that are not UTF-8 (given as bytes, or as the str
        # that os.fsdecode makes of them) is shown with the escapes of
        # Python's 'backslashreplace'; a name given as bytes is not shown
        # as a bytes literal.
        for raw in (b"codes.txt", b"c\xffodes.txt"):
            path = os.path.join(os.fsencode(self.dir.name), raw)
            with open(path, "w") as f:
                f.write("?1 3 6\n123\n")
            shown = os.fsdecode(path).encode("utf-8", "backslashreplace").decode("utf-8")
            for given in (path, os.fsdecode(path)):
                with self.subTest(given=given):
                    with self.assertRaises(ValueError) as caught:
                        next(wdist.read_records(given))
                    self.assertEqual(str(caught.exception),
                                     f"{shown}: record 1: q = 6, the field must be one of the prime powers up to 256")

    def test_a_head_with_a_huge_number_is_named_as_written(self):
        path = self.write("huge.txt", "?1 99999999999999999999999 2\n1\n")
        with self.assertRaises(ValueError) as caught:
            next(wdist.read_records(path))
        self.assertEqual(str(caught.exception),
                         f"{path}: record 1: n = 99999999999999999999999, the length must lie in 0 .. 2^31 - 1")


@unittest.skipUnless(CLI, "WDIST_CLI names no wdist program")
class SameAsTheProgram(unittest.TestCase):
    """The module's counts of every record of a file are those that
    `wdist --format json` writes for it."""

    def test_json_output_of_the_same_file(self):
        rng = codes.seeded(99)
        text = "".join(record_text(q, rows) for _, q, rows, _ in codes.known_codes())
        for q in codes.FIELDS:
            for k, n in ((1, 5), (3, 12), (4, 30)):
                text += record_text(q, codes.random_rows(rng, q, k, n))
        text += "?1 2 6\n10\n"  # refused by both
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "codes.txt")
            with open(path, "w") as f:
                f.write(text)
            for projective in (False, True):
                with self.subTest(projective=projective):
                    command = [CLI, "--format", "json", "--dual", "never", "--threads", "2", path]
                    run = subprocess.run(command + (["--projective"] if projective else []),
                                         capture_output=True, text=True, timeout=120)
                    self.assertEqual(run.returncode, 1, run.stderr)  # for the refused record
                    lines = [json.loads(line) for line in run.stdout.splitlines()]
                    mine = []
                    for r in wdist.read_records(path, skip_refused=True):
                        counts = wdist.weight_distribution(r.rows, r.q, projective=projective, dual="never")
                        mine.append((r.number, r.q, r.n, r.k, [[w, a] for w, a in enumerate(counts) if a]))
                    theirs = [(j["record"], j["q"], j["n"], j["k"], j["distribution"]) for j in lines]
                    self.assertEqual(len(mine), len(list(codes.known_codes())) + 3 * len(codes.FIELDS))
                    self.assertEqual(mine, theirs)


if __name__ == "__main__":
    sys.exit(unittest.main())
