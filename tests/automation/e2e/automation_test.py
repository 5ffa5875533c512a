#!/usr/bin/python3
"""End-to-end test of the RF automation on the simulated station with the automation switched on.

Runs the real server on a copy of the simulated station whose controller board lies in shared memory (the
controller tests' simstation.py) and whose configuration enables the automation: the test plays the operator on
the server's HTTP API and the firmware on the board's registers.

Usage: automation_test.py <path to tessarel_server> <path to config/sim>
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "controller", "e2e"))
from simstation import StationTest, wait_until  # noqa: E402

BOARD = "ToControlSystem.Controller."
OFF, MANUAL, ERROR = 0, 1, 4
SWITCH_OFF, CLEAR_ERROR = 5, 4


class AutomationEndToEnd(StationTest):
    prefix = "automation"

    def prepare(self, station):
        station.edit("tessarel_base_config.xml", 'name="enableAutomation" type="int32" value="0"',
                     'name="enableAutomation" type="int32" value="1"')

    def mode_is(self, mode):
        wait_until(lambda: self.value("/Automation/currentMode") == mode, 20, f"current mode {mode}")

    def board_reads(self, register, value):
        wait_until(lambda: self.board.read(BOARD + register) == [value], 20, f"{register} at {value} on the board")

    def test_requests_reach_the_controller_through_the_interlock_detection(self):
        self.mode_is(OFF)
        # an unknown request: the error state with its message, until the operator clears it
        self.server.put("/Automation/requestMode", 2)
        self.mode_is(ERROR)
        self.assertEqual(self.value("/Automation/errorMessage"), "Unknown mode requested: 2")
        self.server.put("/Automation/requestMode", CLEAR_ERROR)
        self.mode_is(OFF)
        self.assertEqual(self.value("/Automation/errorMessage"), "")

        # manual mode hands the operator's feed-forward switch to the board
        self.server.put("/Automation/requestMode", MANUAL)
        self.mode_is(MANUAL)
        self.server.put("/Automation/FeedForward/enable", True)
        self.board_reads("FeedForward.enable_actual", 1)

        # the firmware latches an interlock: at the next pulse the controller goes off, manual mode stays
        self.board.write(BOARD + "InterlockLatcher.ilockLatchStatus", [2])
        self.pulse()
        self.board_reads("FeedForward.enable_actual", 0)
        wait_until(lambda: self.value("/InterlockDetection/interlockDetected") is True, 20, "the interlock")
        self.assertEqual(self.value("/InterlockDetection/interlockFirmwareStatus"), 2)
        self.assertEqual(self.value("/Automation/currentMode"), MANUAL)

        # leaving manual mode needs both switches off
        self.server.put("/Automation/requestMode", SWITCH_OFF)
        refusal = "*** Cannot switch off manual mode, since RF is still on."
        wait_until(lambda: refusal in self.server.output(), 20, "the refusal in the log")
        self.assertEqual(self.value("/Automation/currentMode"), MANUAL)
        self.server.put("/Automation/FeedForward/enable", False)
        self.board.write(BOARD + "InterlockLatcher.ilockLatchStatus", [0])
        self.server.put("/Automation/requestMode", SWITCH_OFF)
        self.mode_is(OFF)
        # the off state resets the latched interlock: a pulse on the firmware's reset register
        self.board_reads("InterlockLatcher.ilockLatchReset", 1)
        wait_until(lambda: self.value("/InterlockDetection/interlockDetected") is False, 20, "the reset")
        self.assertNotIn("module failed", self.server.output())


if __name__ == "__main__":
    StationTest.server_program, StationTest.sim = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1])
