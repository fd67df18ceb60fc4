"""A computation runs without the GIL and stops for Ctrl-C: SIGINT to a
child process in the middle of a record that would take minutes, signal
handlers that do or do not raise, and other Python threads running on."""

import os
import signal
import subprocess
import sys
import tempfile
import textwrap
import threading
import time
import unittest

import codes
import wdist

# A random binary [60, 36] code counted directly on one thread: minutes.
LONG_RECORD = """
    import random, sys, wdist
    rng = random.Random(36)
    rows = [[rng.randrange(2) for _ in range(60)] for _ in range(36)]
    print("computing", flush=True)
    wdist.weight_distribution(rows, 2, dual="never", threads={threads})
"""


def long_rows(k):
    rng = codes.seeded(k)
    return codes.random_rows(rng, 2, k, 60)


class CtrlC(unittest.TestCase):
    def test_sigint_stops_a_long_record_within_a_second(self):
        for threads in (1, 2):
            with self.subTest(threads=threads), tempfile.TemporaryDirectory() as folder:
                script = os.path.join(folder, "long_record.py")
                with open(script, "w") as f:
                    f.write(textwrap.dedent(LONG_RECORD.format(threads=threads)))
                child = subprocess.Popen([sys.executable, script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                         text=True)
                try:
                    self.assertEqual(child.stdout.readline(), "computing\n")
                    time.sleep(0.5)  # well inside the computation
                    self.assertIsNone(child.poll())
                    sent = time.monotonic()
                    child.send_signal(signal.SIGINT)
                    _, err = child.communicate(timeout=30)
                    elapsed = time.monotonic() - sent
                finally:
                    child.kill()
                    child.wait()
                self.assertIn("KeyboardInterrupt", err)
                self.assertIn("wdist.weight_distribution(rows", err)  # raised by the call, in its traceback
                self.assertEqual(child.returncode, -signal.SIGINT)
                self.assertLess(elapsed, 1.0)

    def test_an_interrupt_leaves_the_module_ready_for_the_next_call(self):
        timer = threading.Timer(0.3, _interrupt_main)
        timer.start()
        started = time.monotonic()
        with self.assertRaises(KeyboardInterrupt):
            wdist.weight_distribution(long_rows(36), 2, dual="never", threads=1)
        timer.join()
        self.assertLess(time.monotonic() - started, 1.3)
        rows, expected = codes.extended_golay()
        self.assertEqual(wdist.weight_distribution(rows, 2, dual="never"), expected)

    def test_a_handler_that_does_not_raise_lets_the_computation_finish(self):
        caught = []
        previous = signal.signal(signal.SIGINT, lambda number, frame: caught.append(number))
        self.addCleanup(signal.signal, signal.SIGINT, previous)
        rows = long_rows(30)
        timer = threading.Timer(0.2, _interrupt_main)
        timer.start()
        counts = wdist.weight_distribution(rows, 2, dual="never", threads=1)
        timer.join()
        self.assertEqual(caught, [signal.SIGINT])
        self.assertEqual(sum(counts), 2 ** codes.rank(rows, 2))


def _interrupt_main():
    # What a SIGINT does, without a real signal reaching the test runner.
    import _thread
    _thread.interrupt_main()


class Gil(unittest.TestCase):
    def test_other_threads_run_while_a_record_is_computed(self):
        result = []
        worker = threading.Thread(
            target=lambda: result.append(wdist.weight_distribution(long_rows(31), 2, dual="never", threads=1)))
        ticks = 0
        worker.start()
        # Bounded (a minute), so that a computation that never ends fails.
        while worker.is_alive() and ticks < 6000:
            time.sleep(0.01)
            ticks += 1
        worker.join(timeout=1)
        self.assertFalse(worker.is_alive())
        self.assertEqual(sum(result[0]), 2 ** 31)
        # About a second of computing: a held GIL would leave a tick or two.
        self.assertGreater(ticks, 20)


if __name__ == "__main__":
    sys.exit(unittest.main())
