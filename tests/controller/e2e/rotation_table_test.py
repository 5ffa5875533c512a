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

from simstation import SimulatedStation, wait_until

SERVER = None
SIM = None
TABLE = "/Controller/FeedForward/RotationTable"
REGISTERS = "ToControlSystem.Controller.FeedForward.RotationTable."


class RotationTableEndToEnd(unittest.TestCase):
    def setUp(self):
        self.station = SimulatedStation(SERVER, SIM, "rotation")
        self.board = self.station.board
        self.pulse_length = self.board.registers[REGISTERS + "I"][0]
        self.server = self.station.start()

    def tearDown(self):
        status = self.server.stop()
        self.station.remove()
        self.assertEqual(status, 0)

    def select(self):
        return self.board.read(REGISTERS + "bufferSelectI")[0], self.board.read(REGISTERS + "bufferSelectQ")[0]

    def wait_for_table(self, i, q, select):
        step = 1.0 / (1 << self.board.registers[REGISTERS + "I"][3])

        def arrived():
            board_i, board_q = self.board.read(REGISTERS + "I"), self.board.read(REGISTERS + "Q")
            return (self.select() == (select, select) and all(abs(v - i) <= step / 2 for v in board_i)
                    and all(abs(v - q) <= step / 2 for v in board_q))
        wait_until(arrived, 20, f"I {i}, Q {q} and buffer {select} on the board")

    def test_operator_tables_reach_the_board_and_unusable_scales_are_refused(self):
        n = self.pulse_length
        # the first table went to the board at start and selected buffer 1 (the firmware used 0)
        self.wait_for_table(0, 0, 1)

        self.server.put(TABLE + "/scale", [2.0] * n)
        self.wait_for_table(2, 0, 0)
        self.server.put(TABLE + "/rotation", [90.0] * n)
        self.wait_for_table(0, 2, 1)
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
        wait_until(lambda: refusal in self.server.output(), 20, "the refusal in the log")
        self.assertEqual(self.server.output().count(refusal), 1)
        self.wait_for_table(0, 2, 1)
        self.assertEqual(self.server.value(TABLE + "/Q"), [2.0] * n)
        self.assertNotIn("module failed", self.server.output())

        # the next good table goes to the other buffer
        self.server.put(TABLE + "/scale", [-1.0] * n)
        self.wait_for_table(0, -1, 0)


if __name__ == "__main__":
    SERVER, SIM = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
