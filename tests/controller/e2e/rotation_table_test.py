#!/usr/bin/python3
"""End-to-end test of the controller's rotation-and-scaling tables on the simulated station.

Runs the real server (tessarel_server) on a copy of config/sim whose controller board lies in POSIX shared
memory (device type sharedMemoryDummy, same register map), so that this test reads the board's registers as
the firmware would while it talks to the server over its HTTP API as an operator would. Every wait is bounded.

Usage: rotation_table_test.py <path to tessarel_server> <path to config/sim>
"""
import math
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import requests

SERVER = None
SIM = None
TABLE = "/Controller/FeedForward/RotationTable"
REGISTERS = "ToControlSystem.Controller.FeedForward.RotationTable."
SEGMENT_HEADER = 128  # bytes before the register space in the shared-memory segment


def wait_until(predicate, timeout=20.0, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError(f"timed out after {timeout} s waiting for {what}")


def fnv1a(text):
    value = 0xcbf29ce484222325
    for byte in text.encode():
        value = ((value ^ byte) * 0x100000001b3) & 0xffffffffffffffff
    return value


class SharedBoard:
    """The controller board's registers as the server's shared-memory dummy device holds them."""

    def __init__(self, instance, map_path):
        self.registers = {}
        with open(map_path) as map_file:
            for line in map_file:
                fields = line.split()
                if not fields or fields[0].startswith("#"):
                    continue
                name, n, address, _, bar, width, frac, signed = fields[:8]
                assert bar == "0", "the simulated controller board has one bar"
                # IEEE754 registers are not read here: no fractional bits of their own
                self.registers[name] = (int(n), int(address, 0), int(width), int(frac) if frac.isdigit() else 0,
                                        signed == "1")
        absolute = os.path.normpath(os.path.abspath(map_path))
        self.segment = f"/dev/shm/corvane-{os.getuid()}-{instance}-{fnv1a(absolute):016x}"

    def read(self, name):
        n, address, _, frac, _ = self.registers[name]
        with open(self.segment, "rb") as segment:
            segment.seek(SEGMENT_HEADER + address)
            words = struct.unpack(f"<{n}i", segment.read(4 * n))  # words hold the value sign-extended
        return [w / (1 << frac) for w in words]


class Server:
    def __init__(self, station):
        self.station = station
        self.log_path = os.path.join(station, "server.log")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen([SERVER, "--listen", "127.0.0.1:0"], cwd=station, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        found = wait_until(lambda: self._listening(), 60, "the server to listen")
        self.base = found.group(1)

    def _listening(self):
        if self.process.poll() is not None:
            raise AssertionError(f"server ended with {self.process.returncode}:\n{self.output()}")
        return re.search(r"listening on (http://127\.0\.0\.1:\d+)/", self.output())

    def output(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def put(self, path, value):
        response = requests.put(self.base + "/api/variables" + path, json=value, timeout=10)
        assert response.status_code == 200, f"PUT {path}: {response.status_code} {response.text}"

    def value(self, path):
        response = requests.get(self.base + "/api/variables" + path, timeout=10)
        assert response.status_code == 200, response.text
        return response.json()["value"]

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(30)
        self.log.close()
        return self.process.returncode


class RotationTableEndToEnd(unittest.TestCase):
    def setUp(self):
        self.station = tempfile.mkdtemp(prefix="tessarel-rotation-")
        for entry in os.listdir(SIM):
            source = os.path.join(SIM, entry)
            if os.path.isfile(source):
                shutil.copy2(source, self.station)
        dmap_path = os.path.join(self.station, "tessarel.dmap")
        with open(dmap_path) as dmap:
            text = dmap.read()
        instance = "rotation" + str(os.getpid())
        shared = text.replace("(dummy:ctrl?map=controller.map)", f"(sharedMemoryDummy:{instance}?map=controller.map)")
        self.assertNotEqual(shared, text, "the simulated station's controller entry changed")
        with open(dmap_path, "w") as dmap:
            dmap.write(shared)
        self.board = SharedBoard(instance, os.path.join(self.station, "controller.map"))
        self.pulse_length = self.board.registers[REGISTERS + "I"][0]
        self.server = Server(self.station)

    def tearDown(self):
        status = self.server.stop()
        shutil.rmtree(self.station, ignore_errors=True)
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
