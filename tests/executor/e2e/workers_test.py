#!/usr/bin/python3
"""The server runs its modules on the number of worker threads given by --workers: the simulated
station starts with few threads, its pulses reach the ADC channels' outputs, SIGTERM ends it with
status 0; a worker count of 0 is refused with the reason.

Usage: workers_test.py <path to tessarel_server> <path to config/sim> [fibers|threads]
("threads": a sanitizer build, whose tasks run on threads of their own; the thread bound is not checked)
"""
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "simstation", "e2e"))
from station import ServerRun, copy_station, wait_until  # noqa: E402

SERVER = None
SIM = None
TASKS = "fibers"


class WorkersEndToEnd(unittest.TestCase):
    def setUp(self):
        self.directory = copy_station(SIM, "workers")

    def tearDown(self):
        shutil.rmtree(self.directory, ignore_errors=True)

    def test_two_workers_serve_the_station_with_few_threads(self):
        run = ServerRun(SERVER, self.directory, ("--workers", "2"))
        try:
            if TASKS == "fibers":
                threads = len(os.listdir(f"/proc/{run.process.pid}/task"))
                # two workers, the device managers, the recorder's writer and the server's own threads
                self.assertLessEqual(threads, 40, "threads of the server")
            # the simulated board pulses by itself: three pulses reach the ADC channel's output
            amplitude, trigger = "/AdcBoard0/Channel0/amplitude", "/Server/triggerNumber"
            for pulse in range(3):
                before = run.get(amplitude)["version"]
                # a trigger number not yet published counts as none
                pulses_before = run.value(trigger) or 0
                # a new pulse, and a new output of the ADC channel (the output of the pulse counted before may
                # still arrive after the count: both are waited for)
                wait_until(lambda: (run.value(trigger) or 0) > pulses_before
                           and run.get(amplitude)["version"] != before, 60, f"the ADC channel's output of pulse {pulse}")
        finally:
            status = run.stop()
        self.assertEqual(status, 0, run.output())

    def test_no_workers_is_refused(self):
        log_path = os.path.join(self.directory, "server.log")
        with open(log_path, "w") as log:
            process = subprocess.Popen([SERVER, "--listen", "127.0.0.1:0", "--workers", "0"], cwd=self.directory,
                                       stdout=log, stderr=subprocess.STDOUT)
        self.assertEqual(process.wait(30), 1)
        with open(log_path, errors="replace") as log:
            self.assertIn('--workers: "0" is not a number of threads (1..1024)', log.read())


if __name__ == "__main__":
    SERVER, SIM = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    TASKS = sys.argv[3] if len(sys.argv) > 3 else "fibers"
    unittest.main(argv=sys.argv[:1], verbosity=2)
