#!/usr/bin/python3
"""End-to-end test of the set-point table on the simulated station.

Runs the real server (tessarel_server) on a copy of config/sim whose controller board lies in POSIX shared
memory, and talks to it over its HTTP API as an operator would: a set-point amplitude (or a power) reaches the
board's set-point I table as amplitude x bitScaling / 2^vectorSumBitShift digits over the flat-top, by a switch of
the firmware buffers; a refused amplitude is written back and leaves the board's table alone. Every wait is
bounded.

Usage: setpoint_table_test.py <path to tessarel_server> <path to config/sim>
"""
import os
import sys
import unittest

# the simulated station harness of the controller's end-to-end tests
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "controller", "e2e"))
from simstation import StationTest, wait_until  # noqa: E402

SET_POINT = "/Controller/SetPoint"
REGISTERS = "ToControlSystem.Controller.SetPoint.Table"


class SetPointTableEndToEnd(StationTest):
    prefix = "setpoint"

    def test_set_point_amplitude_reaches_the_board_table(self):
        wait_until(lambda: self.server.value("/Configuration/samplingFrequency"), 60, "the sampling frequency")
        self.server.put("/Controller/PulseShape/delay", 10.0)
        self.server.put("/Controller/PulseShape/fillingDuration", 5.0)
        self.server.put("/Controller/PulseShape/flattopDuration", 100.0)
        wait_until(lambda: (self.server.value("/Controller/PulseShape/Indices/decayStart") or 0) > 100, 60,
                   "the pulse shape")
        flattop = self.server.value("/Controller/PulseShape/Indices/flattopStart") + 2
        digits_per_unit = (self.server.value("/Configuration/bitScaling")
                           / (1 << self.server.value("/Configuration/vectorSumBitShift")))

        def board_holds(amplitude):
            expected = round(amplitude * digits_per_unit)
            return (abs(self.board.read(REGISTERS + ".I")[flattop] - expected) <= 1
                    and abs(self.board.read(REGISTERS + ".Q")[flattop]) <= 1)

        def switched_to(amplitude, switches_before):
            """The switches once the firmware uses a buffer it switched to after `switches_before` that holds
            `amplitude`. The server may regenerate the tables more often than asked (a start-up value arriving
            late), and tables written before the firmware took over the last share its buffer: only that at
            least one switch brought the table counts."""
            switches = self.board.switches_taken_over(REGISTERS)
            if switches is None or not all(now > before for now, before in zip(switches, switches_before)):
                return None
            return switches if board_holds(amplitude) else None

        switches = wait_until(lambda: self.board.switches_taken_over(REGISTERS), 60,
                              "the firmware using the selected buffers")
        self.server.put(SET_POINT + "/amplitude", 3.0)
        switches = wait_until(lambda: switched_to(3.0, switches), 60, "amplitude 3 in the board's set-point table")
        self.assertEqual(self.board.read(REGISTERS + ".I")[0], 0)  # before the pulse
        self.assertEqual(self.server.value(SET_POINT + "/Table/amplitude")[flattop], 3.0)
        # a new table reaches the firmware by a switch of its buffers
        self.server.put(SET_POINT + "/amplitude", 2.5)
        switches = wait_until(lambda: switched_to(2.5, switches), 60,
                              "amplitude 2.5 in the board's set-point table after a switch of the firmware buffers")

        # a power gives the amplitude of its square root (power scaling 1, the fallback of the unset 0)
        self.server.put(SET_POINT + "/power", 4.0)
        wait_until(lambda: switched_to(2.0, switches), 60, "power 4 as amplitude 2 on the board")
        wait_until(lambda: self.server.value(SET_POINT + "/amplitude") == 2.0, 60, "the derived amplitude")

        # a negative amplitude is refused with the reason and written back; the board keeps its table
        table = self.board.read(REGISTERS + ".I")
        self.server.put(SET_POINT + "/amplitude", -1.0)
        wait_until(lambda: self.server.value("/Controller/errorMessage") == "Setpoint amplitude must not be negative.",
                   60, "the refusal of the negative amplitude")
        wait_until(lambda: self.server.value(SET_POINT + "/amplitude") == 2.0, 60, "the amplitude written back")
        self.assertEqual(self.board.read(REGISTERS + ".I"), table)
        output = self.server.output()
        self.assertNotIn("Timeout acquiring", output)
        self.assertNotIn("module failed", output)


if __name__ == "__main__":
    StationTest.server_program, StationTest.sim = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
