#!/usr/bin/python3
"""End-to-end test of the per-bunch set-points on the simulated station with per-bunch set-points configured.

Runs the real server on a copy of the simulated station (the controller tests' simstation.py) whose configuration
enables per-bunch set-points, and plays the operator on the server's HTTP API: per-bunch mode starts only once the
scalar set-point is close to the first bunch; then the bunches' amplitude reaches the board's set-point table at
their samples and the scalar set-point shows the first bunch; a lower operational limit than an amplitude in force
is refused and written back.

Usage: per_bunch_test.py <path to tessarel_server> <path to config/sim>
"""
import math
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "controller", "e2e"))
from simstation import StationTest, wait_until  # noqa: E402

PER_BUNCH = "/Controller/SetPoint/PerBunch"
SET_POINT = "/Controller/SetPoint"
REGISTERS = "ToControlSystem.Controller.SetPoint.Table."
BUNCHES, T_ZERO = 1000, 500  # nMaxBunches and tZero_samples of config/sim


class PerBunchEndToEnd(StationTest):
    prefix = "perbunch"

    def prepare(self, station):
        station.edit("tessarel_base_config.xml", 'name="enablePerBunchSetpoints" type="boolean" value="false"',
                     'name="enablePerBunchSetpoints" type="boolean" value="true"')

    def board_amplitude(self, sample):
        i = self.board.read(REGISTERS + "I")[sample]
        q = self.board.read(REGISTERS + "Q")[sample]
        return math.hypot(i, q)

    def test_bunch_tables_reach_the_board_once_per_bunch_mode_is_in_force(self):
        fs = wait_until(lambda: self.server.value("/Configuration/samplingFrequency"), 60, "the sampling frequency")
        # filling ends before bunch 0; the flat-top covers every bunch
        self.server.put("/Controller/PulseShape/delay", 10.0 / fs)
        self.server.put("/Controller/PulseShape/fillingDuration", 100.0 / fs)
        self.server.put("/Controller/PulseShape/flattopDuration", (T_ZERO + BUNCHES) / fs)
        wait_until(lambda: (self.value("/Controller/PulseShape/Indices/decayStart") or 0) >= T_ZERO + BUNCHES, 60,
                   "the pulse shape")
        digits_per_unit = (self.server.value("/Configuration/bitScaling")
                           / (1 << self.server.value("/Configuration/vectorSumBitShift")))
        self.server.put(SET_POINT + "/amplitude", 1.0)
        wait_until(lambda: abs(self.board_amplitude(T_ZERO + 10) - digits_per_unit) <= 2, 60,
                   "the scalar amplitude 1 on the board")

        # every bunch a beam bunch of amplitude 2.5 and phase 10: more than deltaScalarSP (1) from the scalar 1
        self.server.put(PER_BUNCH + "/bunchIsTransition", [False] * BUNCHES)
        self.server.put(PER_BUNCH + "/phase", [10.0] * BUNCHES)
        self.server.put(PER_BUNCH + "/amplitude", [2.5] * BUNCHES)
        self.server.put(PER_BUNCH + "/enable", True)
        mismatch = "Table mode not enabled due to setpoint mismatch with scalar mode."
        wait_until(lambda: self.server.value(PER_BUNCH + "/tablesStatus_message") == mismatch, 60, "the mismatch")
        self.assertIs(self.value(PER_BUNCH + "/enableActual"), False)
        self.assertLess(abs(self.board_amplitude(T_ZERO + 10) - digits_per_unit), 2.5)

        # close enough: per-bunch mode starts, the scalar set-point shows the first bunch and the bunches the board
        self.server.put(SET_POINT + "/amplitude", 2.0)
        self.server.put(PER_BUNCH + "/amplitude", [2.5] * BUNCHES)
        wait_until(lambda: self.value(PER_BUNCH + "/enableActual") is True, 60, "per-bunch mode")
        # amplitude and phase are variables of their own: each may arrive later than the other
        wait_until(lambda: self.value(SET_POINT + "/amplitude") == 2.5 and self.value(SET_POINT + "/phase") == 10.0,
                   60, "the first bunch as the scalar set-point")
        for bunch in (0, 400, BUNCHES - 1):
            wait_until(lambda: abs(self.board_amplitude(T_ZERO + bunch) - 2.5 * digits_per_unit) <= 2, 60,
                       f"bunch {bunch} on the board")

        # an operational limit below the amplitude in force is refused and written back
        self.server.put(SET_POINT + "/amplitudeLimitOperational", 2.0)
        refusal = "Operational amplitude limit below an active per-bunch amplitude."
        wait_until(lambda: self.server.value("/Controller/errorMessage") == refusal, 60, "the refusal of the limit")
        wait_until(lambda: self.value(SET_POINT + "/amplitudeLimitOperational") != 2.0, 60, "the limit written back")
        self.assertTrue(self.value(PER_BUNCH + "/enableActual"))
        self.assertNotIn("module failed", self.server.output())


if __name__ == "__main__":
    StationTest.server_program, StationTest.sim = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
