#!/usr/bin/python3
"""End-to-end test of the pulse shape on the simulated station.

Runs the real server (tessarel_server) on a copy of config/sim and talks to it over its HTTP API as an
operator would: pulse timings change the published pulse indices, and a refused timing is written back with
the reason on "/Controller/errorMessage". Every wait is bounded.

Usage: pulse_shape_test.py <path to tessarel_server> <path to config/sim>
"""
import math
import os
import sys
import unittest

# the simulated station harness of the controller's end-to-end tests
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "controller", "e2e"))
from simstation import SimulatedStation, wait_until  # noqa: E402

SERVER = None
SIM = None

SHAPE = "/Controller/PulseShape"


class PulseShapeEndToEnd(unittest.TestCase):
    def setUp(self):
        self.station = SimulatedStation(SERVER, SIM, "pulseshape")
        self.server = self.station.start()

    def tearDown(self):
        status = self.server.stop()
        self.station.remove()
        self.assertEqual(status, 0)

    def indices(self):
        return tuple(self.server.value(f"{SHAPE}/Indices/{name}")
                     for name in ("fillingStart", "flattopStart", "decayStart"))

    def test_pulse_timings_move_the_indices_and_a_refused_timing_is_written_back(self):
        fs = wait_until(lambda: self.server.value("/Configuration/samplingFrequency"), 60,
                                "the sampling frequency")
        self.server.put(SHAPE + "/delay", 10.0)
        self.server.put(SHAPE + "/fillingDuration", 5.5)
        self.server.put(SHAPE + "/flattopDuration", 3.2)
        expected = (math.floor(fs * 10.0), math.floor((10.0 + 5.5) * fs), math.ceil((10.0 + 5.5 + 3.2) * fs))
        wait_until(lambda: self.indices() == expected, 60, f"indices {expected}")

        # a pulse longer than the tables is refused: the operator sees the last accepted value and the reason
        # (the start-up's fallback for the flat-top left another message there)
        length = 2048  # config/sim's pulseLength
        self.server.put(SHAPE + "/fillingDuration", length / fs)
        wait_until(lambda: self.server.value("/Controller/errorMessage")
                           == "Pulse shape parameters violate maximum pulse length.", 60, "the refusal of the long pulse")
        wait_until(lambda: self.server.value(SHAPE + "/fillingDuration") == 5.5, 60,
                           "the filling written back")
        self.assertEqual(self.indices(), expected)

        # a negative flat-top is refused as well
        self.server.put(SHAPE + "/flattopDuration", -1.0)
        wait_until(lambda: self.server.value("/Controller/errorMessage") == "Flattop duration must be positive.",
                           60, "the refusal on the error message")
        wait_until(lambda: self.server.value(SHAPE + "/flattopDuration") == 3.2, 60,
                           "the flat-top written back")
        self.assertEqual(self.indices(), expected)
        self.assertNotIn("module failed", self.server.output())


if __name__ == "__main__":
    SERVER, SIM = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
