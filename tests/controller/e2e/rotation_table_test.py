#!/usr/bin/python3
"""End-to-end test of the controller's rotation-and-scaling tables on the simulated station.

Runs the real server (tessarel_server) on a copy of config/sim whose controller board lies in POSIX shared
memory (device type sharedMemoryDummy, same register map), so that this test reads the board's registers as
the firmware would while it talks to the server over its HTTP API as an operator would. Every wait is bounded.

Usage: rotation_table_test.py <path to tessarel_server> <path to config/sim>
"""
import sys
import unittest

import requests

from simstation import StationTest, wait_until

TABLE = "/Controller/FeedForward/RotationTable"
REGISTERS = "ToControlSystem.Controller.FeedForward.RotationTable"


class RotationTableEndToEnd(StationTest):
    prefix = "rotation"

    def wait_for_table(self, i, q, switches_before):
        """Waits until the board holds I `i` and Q `q` everywhere in buffers the firmware switched to after
        `switches_before` (I, Q) switches, and gives the switches then."""
        step = 1.0 / (1 << self.board.registers[REGISTERS + ".I"][3])
        switches = []

        def arrived():
            taken_over = self.board.switches_taken_over(REGISTERS)
            board_i, board_q = self.board.read(REGISTERS + ".I"), self.board.read(REGISTERS + ".Q")
            switches.append(taken_over)
            return (taken_over is not None and all(now > before for now, before in zip(taken_over, switches_before))
                    and all(abs(v - i) <= step / 2 for v in board_i) and all(abs(v - q) <= step / 2 for v in board_q))
        try:
            wait_until(arrived, 60, f"I {i} and Q {q} on the board in buffers switched to after {switches_before} "
                       "switches")
        except AssertionError as timeout:
            self.fail(f"{timeout}; switches taken over last seen: {switches[-1]}")
        return switches[-1]

    def test_operator_tables_reach_the_board_and_unusable_scales_are_refused(self):
        n = self.board.registers[REGISTERS + ".I"][0]
        # the first table went to the board at start through a switch of the firmware's buffers
        switches = self.wait_for_table(0, 0, (0, 0))

        # every accepted table reaches the firmware by a switch to the buffer it did not use
        self.server.put(TABLE + "/scale", [2.0] * n)
        switches = self.wait_for_table(2, 0, switches)
        self.server.put(TABLE + "/rotation", [90.0] * n)
        switches = self.wait_for_table(0, 2, switches)
        self.assertEqual(self.server.value(TABLE + "/Q"), [2.0] * n)
        self.assertTrue(all(abs(v) < 1e-15 for v in self.server.value(TABLE + "/I")))

        # a NaN scale: the server refuses the write, and the board keeps its table and buffers
        scale = [2.0] * n
        scale[5] = "NaN"
        response = requests.put(self.server.base + "/api/variables" + TABLE + "/scale", json=scale, timeout=10)
        self.assertEqual(response.status_code, 400)
        self.assertIn("element 5: NaN is refused", response.json()["error"])
        # a scale beyond single precision passes the server but not the table: one warning, nothing changes
        scale[5] = 1e39
        self.server.put(TABLE + "/scale", scale)
        refusal = f"Table {TABLE} refused: scale[5] is 1e+39; the firmware keeps the last table"
        wait_until(lambda: refusal in self.server.output(), 60, "the refusal in the log")
        self.station.after_take_overs()
        self.assertEqual(self.board.switches_taken_over(REGISTERS), switches)
        self.assertTrue(all(abs(v) < 1e-4 for v in self.board.read(REGISTERS + ".I")))
        self.assertTrue(all(abs(v - 2.0) < 1e-4 for v in self.board.read(REGISTERS + ".Q")))
        self.assertEqual(self.server.output().count(refusal), 1)
        self.assertEqual(self.server.value(TABLE + "/Q"), [2.0] * n)
        self.assertNotIn("module failed", self.server.output())

        # the next good table goes to the other buffer
        self.server.put(TABLE + "/scale", [-1.0] * n)
        self.wait_for_table(0, -1, switches)


if __name__ == "__main__":
    StationTest.server_program, StationTest.sim = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
