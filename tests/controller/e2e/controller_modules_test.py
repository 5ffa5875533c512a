#!/usr/bin/python3
"""End-to-end test of the controller's enables, coefficient sets and DAQ channels on the simulated station.

Runs the real server on the simulated station with the controller board in shared memory (simstation.py): the
test plays the firmware on the board's registers and the operator on the server's HTTP API, and restarts the
server in the same station to see what every start does.

Usage: controller_modules_test.py <path to tessarel_server> <path to config/sim>
"""
import math
import struct
import sys
import unittest

from simstation import StationTest, wait_until

BOARD = "ToControlSystem.Controller."
MIMO = "/Controller/FeedBack/MimoCoefficients"
ELEMENTS = ["11", "12", "21", "22"]
# the set's inputs in order, and where each lies on the board: (array, element)
COEFFICIENTS = [(f"{kind}{e}_{k}", f"{kind}{e}", k - 1 if kind == "A" else k)
                for e in ELEMENTS for kind, indices in (("A", (1, 2)), ("B", (0, 1, 2))) for k in indices]


class ControllerModulesEndToEnd(StationTest):
    prefix = "ctrlmodules"

    def restart(self):
        self.assertEqual(self.server.stop(), 0)
        self.server = self.station.start()

    def board_coefficients(self, set_path):
        registers = BOARD + set_path[len("/Controller/"):].replace("/", ".") + "."
        arrays = {name: self.board.read(registers + name) for name in {array for _, array, _ in COEFFICIENTS}}
        return [arrays[array][element] for _, array, element in COEFFICIENTS]

    def actual(self, set_path):
        return [self.value(f"{set_path}/Actual/{name}") for name, _, _ in COEFFICIENTS]

    def test_both_controllers_are_off_after_every_start(self):
        for controller in ("FeedForward", "FeedBack"):
            wait_until(lambda: self.board.read(BOARD + controller + ".enable_actual") == [0], 60,
                       f"{controller} off on the board")
            self.assertFalse(self.value(f"/Controller/{controller}/enable"))
        for controller in ("FeedForward", "FeedBack"):
            self.server.put(f"/Controller/{controller}/enable", True)
            wait_until(lambda: self.board.read(BOARD + controller + ".enable_actual") == [1], 60,
                       f"{controller} on on the board")
        # the requests are persisted settings: the next start restores them on and turns them off again
        self.restart()
        for controller in ("FeedForward", "FeedBack"):
            wait_until(lambda: self.board.read(BOARD + controller + ".enable_actual") == [0], 60,
                       f"{controller} off on the board after the restart")
            wait_until(lambda: self.value(f"/Controller/{controller}/enable") is False, 60,
                       f"{controller} request off after the restart")

    def test_an_applied_set_reaches_the_board_and_an_unusable_one_is_refused_whole(self):
        wait_until(lambda: self.board.read(BOARD + "FeedBack.MimoCoefficients.valid") == [1], 60, "a valid set")
        good = [0.1 * (k + 1) for k in range(len(COEFFICIENTS))]
        for (name, _, _), value in zip(COEFFICIENTS, good):
            self.server.put(f"{MIMO}/{name}", value)
        # edited inputs do not reach the board before "apply"
        self.assertEqual(self.board_coefficients(MIMO), [0.0] * len(COEFFICIENTS))
        self.server.put(f"{MIMO}/apply", 0)
        wait_until(lambda: self.actual(MIMO) == good, 60, "the applied set in Actual")
        as_float = [struct_float(v) for v in good]
        wait_until(lambda: self.board_coefficients(MIMO) == as_float, 60, "the applied set on the board")
        self.assertEqual(self.board.read(BOARD + "FeedBack.MimoCoefficients.valid"), [1])
        # the Smith predictor's set is another set
        self.assertEqual(self.board_coefficients("/Controller/FeedBack/SmithCoefficients"), [0.0] * len(COEFFICIENTS))

        self.server.put(f"{MIMO}/B21_1", 1e39)
        self.server.put(f"{MIMO}/A11_1", 7.0)
        self.server.put(f"{MIMO}/apply", 1)
        refusal = "apply refused, B21_1 is 1e+39; the last applied coefficients stay in the board"
        wait_until(lambda: refusal in self.server.output(), 60, "the refusal in the log")
        self.assertEqual(self.actual(MIMO), good)
        self.assertEqual(self.board_coefficients(MIMO), as_float)
        self.assertEqual(self.board.read(BOARD + "FeedBack.MimoCoefficients.valid"), [1])
        self.assertNotIn("module failed", self.server.output())

        # the next start loads the last applied set again, not the refused inputs
        self.board.write(BOARD + "FeedBack.MimoCoefficients.A11", [0.0, 0.0])
        self.restart()
        wait_until(lambda: self.board_coefficients(MIMO) == as_float, 60, "the restored set on the board")
        self.assertEqual(self.actual(MIMO), good)

    def test_daq_channels_publish_amplitude_and_phase_and_the_error_monitor_compares_them(self):
        n = self.board.registers[BOARD + "SetPoint.DAQ.I"][0]
        scaling = self.value("/Configuration/bitScaling")
        # the firmware's traces: set point (3000, 4000), vector sum 10 % lower in amplitude, same phase
        for channel, (i, q) in (("SetPoint", (3000, 4000)), ("VectorSum", (2700, 3600)),
                                ("Output.Total", (-4000, 3000))):
            self.board.write(BOARD + channel + ".DAQ.I", [i] * n)
            self.board.write(BOARD + channel + ".DAQ.Q", [q] * n)
        self.pulse()

        # each channel is a module of its own: wait for every trace that is checked
        def trace_is(path, expected, tolerance):
            def arrived():
                trace = self.server.value(path)
                return trace is not None and len(trace) == n and all(abs(v - expected) < tolerance for v in trace)
            wait_until(arrived, 60, f"{path} at {expected}")
        trace_is("/Controller/SetPoint/DAQ/amplitude", 5000 / scaling, 1e-6 * 5000 / scaling)
        trace_is("/Controller/SetPoint/DAQ/phase", math.degrees(math.atan2(4000, 3000)), 1e-3)
        trace_is("/Controller/Output/Total/DAQ/phase", math.degrees(math.atan2(3000, -4000)), 1e-3)
        def sampled_amplitude_arrived():
            amplitude = self.value("/Controller/VectorSum/DAQ/Samples/amplitude")
            return amplitude is not None and abs(amplitude - 4500 / scaling) < 1e-5 * 4500 / scaling
        wait_until(sampled_amplitude_arrived, 60, "the vector sum's sampled amplitude")
        # the monitor grades pulses after the first (whose samples are its initial values): pulse until it has

        def graded():
            self.pulse()
            error = self.value("/Controller/AmplitudePhaseError/amplitude")
            return error is not None and abs(error - 10.0) < 1e-3
        wait_until(graded, 60, "an amplitude error of 10 %")
        self.assertAlmostEqual(self.value("/Controller/AmplitudePhaseError/phase"), 0.0, places=3)
        # a channel without amplitude and phase still gives the raw samples
        self.assertEqual(self.value("/Controller/FeedForward/DAQ/Samples/I"), 0.0)


def struct_float(value):
    """`value` as the board's single-precision register holds it."""
    return struct.unpack("<f", struct.pack("<f", value))[0]


if __name__ == "__main__":
    StationTest.server_program, StationTest.sim = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
