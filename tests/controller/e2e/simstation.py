"""The simulated station for end-to-end tests of the controller: the real server (tessarel_server) on a copy of
config/sim whose controller board lies in POSIX shared memory (device type sharedMemoryDummy, same register
map) in place of the simulated board, so that a test reads and writes the board's registers as the firmware
would while it talks to the server over its HTTP API as an operator would. Without the simulated board nothing
drives "/Server/triggerNumber": the test writes each trigger. The copy starts without the station's shipped
settings file, from the server's own start values. Every wait is bounded."""
import os
import re
import shutil
import struct
import sys
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "simstation", "e2e"))
from station import ServerRun, copy_station, edit_file, wait_until  # noqa: E402

SEGMENT_HEADER = 128  # bytes before the register space in the shared-memory segment


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
                if "x" in n:
                    continue  # the board's own 2-D DAQ areas; the application's traces overlay their channels
                address, _, bit = address.partition(":")
                # IEEE754 registers hold single-precision floats: frac None; a bit field holds `width` bits of
                # its word from bit `bit` on
                self.registers[name] = (int(n), int(address, 0), int(width), int(frac) if frac.isdigit() else None,
                                        signed == "1", int(bit) if bit else None)
        absolute = os.path.normpath(os.path.abspath(map_path))
        self.segment = f"/dev/shm/corvane-{os.getuid()}-{instance}-{fnv1a(absolute):016x}"
        self.switches = [0] * 32  # the firmware's take-overs of a new buffer, per bit of the buffer selects

    def read(self, name):
        n, address, width, frac, _, bit = self.registers[name]
        with open(self.segment, "rb") as segment:
            segment.seek(SEGMENT_HEADER + address)
            raw = segment.read(4 * n)
        if frac is None:
            return list(struct.unpack(f"<{n}f", raw))
        if bit is not None:
            return [(w >> bit) & ((1 << width) - 1) for w in struct.unpack(f"<{n}I", raw)]
        words = struct.unpack(f"<{n}i", raw)  # words hold the value sign-extended
        return [w / (1 << frac) for w in words]

    def write(self, name, values):
        """Fixed-point registers take the raw words (sign-extended), as the firmware would write them; IEEE754
        registers take the values; a bit field changes only its bits."""
        n, address, width, frac, _, bit = self.registers[name]
        assert len(values) == n and frac in (0, None), f"{name}: {n} words or floats expected"
        with open(self.segment, "r+b") as segment:
            segment.seek(SEGMENT_HEADER + address)
            if bit is not None:
                words = struct.unpack(f"<{n}I", segment.read(4 * n))
                mask = ((1 << width) - 1) << bit
                values = [(w & ~mask) | ((v << bit) & mask) for w, v in zip(words, values)]
                segment.seek(SEGMENT_HEADER + address)
                segment.write(struct.pack(f"<{n}I", *values))
                return
            segment.write(struct.pack(f"<{n}{'f' if frac is None else 'i'}", *values))

    def take_over_tables(self):
        """What the board's firmware does at a trigger: the tables whose buffer select changed are taken over,
        and the read-back of the buffer in use follows the select. Every take-over is counted per select bit."""
        select = int(self.read("CTABLES.BIT_CTL_TABLES_BUF")[0]) & 0xffffffff
        in_use = int(self.read("CTABLES.BIT_CTL_TABLES_BUF_ACTUAL")[0]) & 0xffffffff
        if select == in_use:
            return
        self.write("CTABLES.BIT_CTL_TABLES_BUF_ACTUAL", [select - (1 << 32) if select >> 31 else select])
        for bit in range(32):
            if (select ^ in_use) >> bit & 1:
                self.switches[bit] += 1

    def switches_taken_over(self, table):
        """How often the firmware took over a new buffer of `table` (the registers' prefix up to the table's name)
        for I and for Q, once it uses the buffers now selected; None while a selected buffer waits for the take-over.
        A table written while the last one still waits replaces that one in the same buffer (the server writes
        into the buffer the firmware does not use): one switch may stand for several tables."""
        selected = [self.read(f"{table}.bufferSelect{part}")[0] for part in "IQ"]
        current = [self.read(f"{table}.bufferCurrent{part}")[0] for part in "IQ"]
        if selected != current:
            return None
        return tuple(self.switches[self.registers[f"{table}.bufferSelect{part}"][5]] for part in "IQ")


class SimulatedStation:
    """A copy of the simulated station in a scratch directory, its controller board in shared memory."""

    def __init__(self, server, sim, prefix):
        self.program = os.path.abspath(server)
        self.directory = copy_station(sim, prefix)
        dmap_path = os.path.join(self.directory, "tessarel.dmap")
        with open(dmap_path) as dmap:
            text = dmap.read()
        instance = prefix + str(os.getpid())
        simulated = re.compile(r"\(SISLDummy:ctrl\?map=controller\.map[^)]*\)")
        assert len(simulated.findall(text)) == 2, "the simulated station's controller entries changed"
        lines = [line for line in text.splitlines() if not line.startswith("CtrlBoard")]
        shared = simulated.sub(f"(sharedMemoryDummy:{instance}?map=controller.map)", "\n".join(lines)) + "\n"
        with open(dmap_path, "w") as dmap:
            dmap.write(shared)
        settings = os.path.join(self.directory, "tessarel_settings.json")
        if os.path.exists(settings):
            os.remove(settings)
        self.board = SharedBoard(instance, os.path.join(self.directory, "controller.map"))
        self.firmware = None
        self.firmware_passes = 0
        self.stopping = threading.Event()

    def start(self):
        server = ServerRun(self.program, self.directory)
        if self.firmware is None:
            # the firmware's trigger, as far as the tables' buffers go: every 20 ms the read-back of the buffer
            # in use follows the select
            def take_over():
                while not self.stopping.wait(0.02):
                    if os.path.exists(self.board.segment):
                        self.board.take_over_tables()
                        self.firmware_passes += 1
            self.firmware = threading.Thread(target=take_over, daemon=True)
            self.firmware.start()
        return server

    def after_take_overs(self):
        """Returns once the firmware looked at the buffer selects twice more: every table the server selected
        before the call is taken over by then."""
        passes = self.firmware_passes
        wait_until(lambda: self.firmware_passes >= passes + 2, 20, "two take-overs of the firmware")

    def edit(self, file_name, old, new):
        """Replaces `old` by `new` in one of the copy's files; `old` must be there."""
        edit_file(self.directory, file_name, old, new)

    def remove(self):
        self.stopping.set()
        if self.firmware is not None:
            self.firmware.join(5)
        shutil.rmtree(self.directory, ignore_errors=True)
        if os.path.exists(self.board.segment):
            os.remove(self.board.segment)


class StationTest(unittest.TestCase):
    """A test on a fresh copy of the simulated station: the server starts in setUp and must end with exit status
    0 in tearDown. Subclasses set `server_program`, `sim` and `prefix`, and may change the copy's files in
    `prepare(station)` before the server starts."""
    server_program = None
    sim = None
    prefix = "station"

    def prepare(self, station):
        pass

    def setUp(self):
        self.station = SimulatedStation(self.server_program, self.sim, self.prefix)
        self.prepare(self.station)
        self.board = self.station.board
        self.server = self.station.start()
        self.triggers = 0

    def tearDown(self):
        status = self.server.stop()
        self.station.remove()
        self.assertEqual(status, 0)

    def value(self, path):
        """A scalar's value (the first element of an array)."""
        value = self.server.value(path)
        return value[0] if isinstance(value, list) else value

    def pulse(self):
        """One macro-pulse trigger."""
        self.triggers += 1
        self.server.put("/Server/triggerNumber", self.triggers)
