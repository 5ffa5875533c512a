#!/usr/bin/python3
"""End-to-end test of the feed-forward and gain tables on the simulated station.

Runs the real server on the simulated station with the controller board in shared memory (simstation.py): the
test changes the operator's feed-forward correction and gain parameters over the HTTP API and reads the tables
in the board's registers, as the firmware would. Every wait is bounded.

Usage: feedforward_gain_table_test.py <path to tessarel_server> <path to config/sim>
"""
import sys
import unittest

from simstation import StationTest, wait_until

BOARD = "ToControlSystem.Controller."
FF = "/Controller/FeedForward"
GAIN = "/Controller/FeedBack/Gain"


class FeedForwardAndGainTablesEndToEnd(StationTest):
    prefix = "fftables"

    def step(self, table):
        """One step of a fixed-point table register."""
        return 1.0 / (1 << self.board.registers[BOARD + table + ".I"][3])

    def wait_for_board(self, table, i, q, what):
        half_step = self.step(table) / 2

        def arrived():
            board_i, board_q = self.board.read(BOARD + table + ".I"), self.board.read(BOARD + table + ".Q")
            return (all(abs(b - e) <= half_step for b, e in zip(board_i, i))
                    and all(abs(b - e) <= half_step for b, e in zip(board_q, q)))
        wait_until(arrived, 60, what)

    def expect_clean_log(self):
        output = self.server.output()
        self.assertNotIn("module failed", output)
        # the firmware confirmed every lock of the table mutex
        self.assertNotIn("did not confirm", output)
        self.assertEqual(self.value("/Controller/Configuration/tableBufferMode/confirmationStatus"), 0)

    def test_a_user_correction_reaches_the_feed_forward_table_registers(self):
        n = self.board.registers[BOARD + "FeedForward.TableTotal.I"][0]
        # the table went to the board at start, through a switch of the firmware's buffers
        wait_until(lambda: min(self.board.switches_taken_over(BOARD + "FeedForward.TableTotal") or (0,)) >= 1, 60,
                   "the first feed-forward table")
        self.server.put(FF + "/Correction/I", [5] * n)
        self.server.put(FF + "/Correction/Q", [-3] * n)
        self.server.put(FF + "/Correction/enableUser", True)
        wait_until(lambda: self.server.value(FF + "/Correction/Total/I") == [5] * n, 60, "the applied correction")
        generated_i, generated_q = self.server.value(FF + "/Table/I"), self.server.value(FF + "/Table/Q")
        largest = (1 << (self.board.registers[BOARD + "FeedForward.TableTotal.I"][2] - 1)) - 1

        def on_board(values, correction):
            return [max(-largest - 1, min(largest, v + correction)) for v in values]
        self.wait_for_board("FeedForward.TableTotal", on_board(generated_i, 5), on_board(generated_q, -3),
                            "generated table plus user correction on the board")
        self.assertEqual(self.server.value(FF + "/Correction/Total/Q"), [-3] * n)
        # switched off, the correction leaves the board again
        self.server.put(FF + "/Correction/enableUser", False)
        self.wait_for_board("FeedForward.TableTotal", on_board(generated_i, 0), on_board(generated_q, 0),
                            "the generated table alone on the board")
        self.expect_clean_log()

    def test_gain_parameters_reach_the_gain_table_registers(self):
        n = self.board.registers[BOARD + "FeedBack.Gain.Table.I"][0]
        # computed once the modules run, which may be after the server listens
        fs = wait_until(lambda: self.value("/Configuration/samplingFrequency_for_GainTable"), 60,
                        "the gain table's sampling frequency")
        self.assertGreater(fs, 0)
        delay, filling, flattop = 10.0, 20.0, 30.0
        self.server.put("/Controller/PulseShape/delay", delay)
        self.server.put("/Controller/PulseShape/fillingDuration", filling)
        self.server.put("/Controller/PulseShape/flattopDuration", flattop)
        self.server.put(GAIN + "/magnitude", 2.0)
        start, end = int(delay * fs), int((delay + filling + flattop) * fs)
        expected = [2.0 if start <= k < end else 0.0 for k in range(n)]
        self.wait_for_board("FeedBack.Gain.Table", expected, expected, "the pulsed gain on the board")

        # a linear ramp from 2 us to 6 us after the pulse start
        self.server.put(GAIN + "/Scheduling/stopTime", 6.0)
        self.server.put(GAIN + "/Scheduling/startTime", 2.0)
        self.server.put(GAIN + "/Scheduling/functionSelect", 2)
        ramp_start, ramp_stop = int(2.0 * fs) + start, int(6.0 * fs) + start
        ramp = list(expected)
        for k in range(start, ramp_stop):
            ramp[k] = 0.0 if k < ramp_start else (k - ramp_start) * 2.0 / (ramp_stop - ramp_start)
        self.wait_for_board("FeedBack.Gain.Table", ramp, ramp, "the ramped gain on the board")

        # a negative magnitude is refused with its message, the magnitude returns and the board keeps its table
        self.server.put(GAIN + "/magnitude", -1.0)
        wait_until(lambda: self.value("/Controller/GainTable/errorMessage") == "Gain magnitude must not be negative.",
                   60, "the refusal")
        wait_until(lambda: self.value(GAIN + "/magnitude") == 2.0, 60, "the magnitude back at 2")
        self.wait_for_board("FeedBack.Gain.Table", ramp, ramp, "the unchanged gain on the board")
        self.expect_clean_log()


if __name__ == "__main__":
    StationTest.server_program, StationTest.sim = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
