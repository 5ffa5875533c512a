#!/usr/bin/python3
"""The server runs its modules on the number of worker threads given by --workers: the simulated
station starts with few threads, its pulses reach the ADC channels' outputs, SIGTERM ends it with
status 0; a worker count of 0 is refused with the reason.

Usage: workers_test.py <path to tessarel_server> <path to config/sim> [fibers|threads]
("threads": a sanitizer build, whose tasks run on threads of their own; the thread bound is not checked)
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import unittest

import requests

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "simstation", "e2e"))
from station import copy_station, wait_until  # noqa: E402

SERVER = None
SIM = None
TASKS = "fibers"


class WorkersEndToEnd(unittest.TestCase):
    def setUp(self):
        self.directory = copy_station(SIM, "workers")
        self.log_path = os.path.join(self.directory, "server.log")

    def tearDown(self):
        shutil.rmtree(self.directory, ignore_errors=True)

    def start(self, *arguments):
        log = open(self.log_path, "w")
        process = subprocess.Popen([SERVER, "--listen", "127.0.0.1:0", *arguments], cwd=self.directory, stdout=log,
                                   stderr=subprocess.STDOUT)
        log.close()
        return process

    def output(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def test_two_workers_serve_the_station_with_few_threads(self):
        process = self.start("--workers", "2")
        try:
            def listening():
                if process.poll() is not None:
                    raise AssertionError(f"server ended with {process.returncode}:\n{self.output()}")
                return re.search(r"listening on (http://127\.0\.0\.1:\d+)/", self.output())
            base = wait_until(listening, 60, "the server to listen").group(1)
            if TASKS == "fibers":
                threads = len(os.listdir(f"/proc/{process.pid}/task"))
                # two workers, the device managers, the recorder's writer and the server's own threads
                self.assertLessEqual(threads, 40, "threads of the server")
            # the simulated board pulses by itself: three pulses reach the ADC channel's output
            amplitude = base + "/api/variables/AdcBoard0/Channel0/amplitude"
            trigger = base + "/api/variables/Server/triggerNumber"
            for pulse in range(3):
                before = requests.get(amplitude, timeout=10).json()["version"]
                pulses_before = requests.get(trigger, timeout=10).json()["value"]
                # a new pulse, and a new output of the ADC channel (the output of the pulse counted before may
                # still arrive after the count: both are waited for)
                wait_until(lambda: requests.get(trigger, timeout=10).json()["value"] > pulses_before
                           and requests.get(amplitude, timeout=10).json()["version"] != before, 20,
                           f"the ADC channel's output of pulse {pulse}")
        finally:
            process.send_signal(signal.SIGTERM)
            status = process.wait(30)
        self.assertEqual(status, 0, self.output())

    def test_no_workers_is_refused(self):
        process = self.start("--workers", "0")
        self.assertEqual(process.wait(30), 1)
        self.assertIn('--workers: "0" is not a number of threads (1..1024)', self.output())


if __name__ == "__main__":
    SERVER, SIM = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    TASKS = sys.argv[3] if len(sys.argv) > 3 else "fibers"
    unittest.main(argv=sys.argv[:1], verbosity=2)
