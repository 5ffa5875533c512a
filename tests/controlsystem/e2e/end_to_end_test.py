#!/usr/bin/python3
"""End-to-end test of the control-system server program.

Runs the test server (tests/controlsystem/server) as a process on a free loopback port in a
temporary working directory and talks to it as a client would: HTTP with requests, WebSocket
with websockets (and a raw socket for a client that stops reading). Every wait is bounded.

Usage: end_to_end_test.py <path to cs_test_server>
"""
import asyncio
import base64
import json
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import requests
import websockets

SERVER = None
CONFIG = """<configuration>
  <module name="Settings">
    <variable name="offset" type="double" value="0.5"/>
  </module>
</configuration>
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(predicate, timeout=10.0, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError(f"timed out after {timeout} s waiting for {what}")


class ServerProcess:
    """The server program in a working directory; stopped with SIGTERM."""

    def __init__(self, workdir, args=(), env=None, port=None):
        self.workdir = workdir
        self.port = port or free_port()
        self.base = f"http://127.0.0.1:{self.port}"
        environment = dict(os.environ)
        environment.update(env or {})
        self.log = open(os.path.join(workdir, "server.log"), "ab")
        self.process = subprocess.Popen(
            [SERVER, "--listen", f"127.0.0.1:{self.port}", *args],
            cwd=workdir, env=environment, stdout=self.log, stderr=subprocess.PIPE)

    def wait_ready(self):
        def ready():
            if self.process.poll() is not None:
                raise AssertionError("server ended early: " + self.stderr_text())
            try:
                return requests.get(self.base + "/api/info", timeout=1).status_code == 200
            except requests.ConnectionError:
                return False
        wait_until(ready, 20, "the server to answer")
        return self

    def stderr_text(self):
        try:
            return self.process.stderr.read().decode(errors="replace")
        except Exception:
            return ""

    def stop(self, sig=signal.SIGTERM):
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            status = self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise AssertionError("server did not stop within 20 s")
        self.log.close()
        return status

    def get(self, path, **kwargs):
        return requests.get(self.base + "/api/variables" + path, timeout=5, **kwargs)

    def put(self, path, value=None, data=None, headers=None):
        if data is None:
            data = json.dumps(value)
        return requests.put(self.base + "/api/variables" + path, data=data, headers=headers or {}, timeout=5)

    def value(self, path):
        response = self.get(path)
        assert response.status_code == 200, response.text
        return response.json()["value"]

    def wait_value(self, path, expected, timeout=10):
        wait_until(lambda: self.value(path) == expected, timeout, f"{path} == {expected!r}")


def run_start(args=(), env=None, timeout=20):
    """Runs the server expecting it to end by itself; returns (status, stderr)."""
    workdir = tempfile.mkdtemp(prefix="cs-e2e-")
    with open(os.path.join(workdir, "cstest_base_config.xml"), "w") as f:
        f.write(CONFIG)
    environment = dict(os.environ)
    environment.update(env or {})
    done = subprocess.run([SERVER, *args], cwd=workdir, env=environment, capture_output=True, timeout=timeout)
    return done.returncode, done.stderr.decode(errors="replace") + done.stdout.decode(errors="replace")


def local_address():
    """An address of this machine beyond loopback (clients from it are not privileged), or None."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        try:
            s.connect(("192.0.2.1", 9))  # picks the outgoing interface; sends nothing
            address = s.getsockname()[0]
        except OSError:
            return None
    return None if address.startswith("127.") else address


def raw_exchange(host, port, request, timeout=5):
    """Sends raw request bytes and returns what the server answers until it closes the connection
    (or, for a WebSocket handshake, until the end of its answer's header)."""
    with socket.create_connection((host, port), timeout=timeout) as s:
        s.sendall(request)
        answer = b""
        try:
            while chunk := s.recv(65536):
                answer += chunk
                if answer.startswith(b"HTTP/1.1 101") and b"\r\n\r\n" in answer:
                    break  # a WebSocket: the connection stays open
        except socket.timeout:
            pass
    return answer


def upgrade_request(key):
    return (f"GET /api/ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n").encode()


def parse_binary_update(message):
    (length,) = struct.unpack_from("<I", message, 0)
    header = json.loads(message[4:4 + length].decode())
    offset = 4 + length
    assert offset % 8 == 0, "array data must start 8-byte aligned"
    return header, message[offset:]


async def receive_until(ws, predicate, timeout):
    """Receives messages until predicate(message) is true; returns the messages."""
    messages = []
    deadline = time.monotonic() + timeout
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            raise AssertionError(f"no matching message within {timeout} s; got {len(messages)} messages")
        message = await asyncio.wait_for(ws.recv(), left)
        messages.append(message)
        if predicate(message):
            return messages


def is_update(path, value=None):
    def check(message):
        if isinstance(message, bytes):
            header, _ = parse_binary_update(message)
            return header["path"] == path
        data = json.loads(message)
        return data.get("type") == "update" and data["path"] == path and (value is None or data["value"] == value)
    return check


class ServerTest(unittest.TestCase):
    """Tests against one running server in a fresh working directory."""

    def setUp(self):
        self.workdir = tempfile.mkdtemp(prefix="cs-e2e-")
        with open(os.path.join(self.workdir, "cstest_base_config.xml"), "w") as f:
            f.write(CONFIG)
        self.server = ServerProcess(self.workdir).wait_ready()

    def tearDown(self):
        if self.server.process.poll() is None:
            self.assertEqual(self.server.stop(), 0, "clean shutdown gives status 0")

    def restart(self, args=(), env=None):
        self.assertEqual(self.server.stop(), 0)
        self.server = ServerProcess(self.workdir, args=args, env=env).wait_ready()

    # ------------------------------------------------------------------ HTTP
    def test_list_describes_every_variable(self):
        response = requests.get(self.server.base + "/api/variables", timeout=5)
        self.assertEqual(response.status_code, 200)
        variables = {v["path"]: v for v in response.json()["variables"]}
        gain = variables["/Settings/gain"]
        self.assertEqual((gain["type"], gain["nElements"], gain["unit"], gain["writable"]), ("double", 1, "dB", True))
        self.assertEqual(gain["description"], "controller gain, 0..100")
        trace = variables["/Signal/trace"]
        self.assertEqual((trace["type"], trace["nElements"], trace["writable"]), ("float", 16384, False))
        self.assertIn("_Corvane_notPersisted", variables["/Settings/crash"]["tags"])
        self.assertFalse(variables["/Readback/gainApplied"]["writable"])
        self.assertEqual(variables["/Settings/offset"]["type"], "double")

    def test_read_scalars_and_arrays(self):
        gain = self.server.get("/Settings/gain").json()
        self.assertEqual(gain["value"], 0)
        self.assertTrue(gain["valid"])
        self.assertGreater(gain["version"], 0)
        self.assertRegex(gain["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z$")
        self.assertEqual(self.server.value("/Settings/offset"), 0.5)

        # the counter has no value before the first trace
        wait_until(lambda: (self.server.value("/Signal/counter") or 0) > 0, 60, "a first trace")
        trace = self.server.get("/Signal/trace").json()
        self.assertEqual(len(trace["value"]), 16384)
        self.assertTrue(all(-1.0 <= x <= 1.0 for x in trace["value"]))

        for kwargs in ({"params": {"format": "binary"}}, {"headers": {"Accept": "application/octet-stream"}}):
            binary = self.server.get("/Signal/trace", **kwargs)
            self.assertEqual(binary.status_code, 200)
            self.assertEqual(binary.headers["Content-Type"], "application/octet-stream")
            self.assertEqual(binary.headers["X-Corvane-Type"], "float")
            self.assertEqual(binary.headers["X-Corvane-Elements"], "16384")
            self.assertEqual(len(binary.content), 16384 * 4)
            values = struct.unpack("<16384f", binary.content)
            self.assertTrue(all(-1.0 <= x <= 1.0 for x in values))
            self.assertGreater(int(binary.headers["X-Corvane-Version"]), 0)

        self.assertEqual(self.server.get("/Readback/label", params={"format": "binary"}).status_code, 400)
        self.assertEqual(self.server.get("/No/such").status_code, 404)

    def test_writes_reach_the_application(self):
        s = self.server
        self.assertEqual(s.put("/Settings/gain", 12.5).status_code, 200)
        s.wait_value("/Readback/gainApplied", 25.5)
        self.assertEqual(s.put("/Settings/mode", {"value": 3}).status_code, 200)
        s.wait_value("/Readback/mode", 3)
        self.assertEqual(s.put("/Settings/label", "hello \u00e9").status_code, 200)
        s.wait_value("/Readback/label", "hello \u00e9")
        self.assertEqual(s.put("/Settings/enable", True).status_code, 200)
        s.wait_value("/Readback/enabled", True)
        self.assertEqual(s.put("/Settings/table", [1.5] * 16).status_code, 200)
        s.wait_value("/Readback/tableSum", 24)
        binary = struct.pack("<16f", *([0.25] * 16))
        response = s.put("/Settings/table", data=binary, headers={"Content-Type": "application/octet-stream"})
        self.assertEqual(response.status_code, 200, response.text)
        s.wait_value("/Readback/tableSum", 4)
        # the validator corrects an out-of-range gain and writes it back to the control system
        self.assertEqual(s.put("/Settings/gain", 150).status_code, 200)
        s.wait_value("/Settings/gain", 100)
        s.wait_value("/Readback/gainApplied", 200.5)

    def test_invalid_writes_are_refused_and_change_nothing(self):
        s = self.server
        self.assertEqual(s.put("/Settings/gain", 7).status_code, 200)
        self.assertEqual(s.put("/Settings/mode", 2).status_code, 200)
        s.wait_value("/Readback/mode", 2)
        before = {p: s.value(p) for p in ("/Settings/gain", "/Settings/mode", "/Settings/table", "/Settings/enable")}
        cases = [
            ("/Settings/gain", json.dumps("abc"), {}, 400, "a number is expected"),
            ("/Settings/gain", json.dumps([1, 2]), {}, 400, "has 1 element, 2 were given"),
            ("/Settings/gain", '"NaN"', {}, 400, "only finite numbers"),
            ("/Settings/gain", "{not json", {}, 400, "not valid JSON"),
            ("/Settings/gain", '{"value": 1, "extra": 2}', {}, 400, "must be a JSON value"),
            ("/Settings/mode", "1.5", {}, 400, "not an integer"),
            ("/Settings/mode", "3000000000", {}, 400, "outside the range of type int32"),
            ("/Settings/table", json.dumps([1, 2, 3]), {}, 400, "has 16 elements, 3 were given"),
            ("/Settings/table", json.dumps(5), {}, 400, "a single value was given"),
            ("/Settings/table", b"\0" * 12, {"Content-Type": "application/octet-stream"}, 400, "64 bytes"),
            ("/Settings/enable", "2", {}, 400, "true, false, 0 or 1"),
            ("/Settings/label", "5", {}, 400, "a string is expected"),
            ("/Settings/label", b'"caf\xe9"', {}, 400, "invalid UTF-8"),
            ("/Settings/mode", "-2147483649", {}, 400, "outside the range of type int32"),
            ("/Readback/gainApplied", "1", {}, 403, "not writable"),
            ("/No/such/variable", "1", {}, 404, "no process variable"),
        ]
        for path, body, headers, status, message in cases:
            with self.subTest(path=path, body=body):
                response = s.put(path, data=body, headers=headers)
                self.assertEqual(response.status_code, status, response.text)
                self.assertIn(message, response.json()["error"])
        response = requests.post(s.base + "/api/variables/Settings/gain", data="1", timeout=5)
        self.assertEqual(response.status_code, 405)
        response = requests.put(s.base + "/api/variables/Settings/gain", data=b"1" * (9 * 1024 * 1024), timeout=10)
        self.assertEqual(response.status_code, 413)
        after = {p: s.value(p) for p in before}
        self.assertEqual(before, after)
        stats = requests.get(s.base + "/api/stats", timeout=5).json()
        self.assertGreaterEqual(stats["writesRefused"], len(cases))

    # ------------------------------------------------------------- WebSocket
    def test_subscribe_and_receive(self):
        async def scenario():
            async with websockets.connect(f"ws://127.0.0.1:{self.server.port}/api/ws", max_size=None) as ws:
                await ws.send(json.dumps({"subscribe": ["/Settings/gain", "/Signal"]}))
                first = json.loads(await asyncio.wait_for(ws.recv(), 5))
                self.assertEqual(first["type"], "subscribed")
                self.assertIn("/Signal/trace", first["paths"])
                self.assertIn("/Signal/counter", first["paths"])
                # current values come first, then updates
                await receive_until(ws, is_update("/Settings/gain", 0), 5)
                messages = await receive_until(ws, lambda m: isinstance(m, bytes), 5)
                header, data = parse_binary_update(messages[-1])
                self.assertEqual((header["path"], header["dataType"], header["nElements"]), ("/Signal/trace", "float", 16384))
                self.assertEqual(len(data), 16384 * 4)
                self.assertTrue(header["valid"])
                self.assertIn("skipped", header)
                # an operator write reaches the subscriber, and so does the application's reaction
                self.assertEqual(self.server.put("/Settings/gain", 33).status_code, 200)
                await receive_until(ws, is_update("/Settings/gain", 33), 5)
                await ws.send(json.dumps({"unsubscribe": "/Signal", "subscribe": "/Readback/gainApplied"}))
                await receive_until(ws, is_update("/Readback/gainApplied", 66.5), 5)
                await ws.send(json.dumps({"subscribe": "/No/such"}))
                messages = await receive_until(ws, lambda m: isinstance(m, str) and json.loads(m)["type"] == "error", 5)
                self.assertIn("/No/such", json.loads(messages[-1])["message"])
                await ws.send("not json")
                await receive_until(ws, lambda m: isinstance(m, str) and json.loads(m)["type"] == "error", 5)
        asyncio.run(scenario())

    def test_maximum_rate_skips_and_reports(self):
        self.assertEqual(self.server.put("/Settings/traceRate", 200).status_code, 200)
        async def scenario():
            async with websockets.connect(f"ws://127.0.0.1:{self.server.port}/api/ws", max_size=None) as ws:
                await ws.send(json.dumps({"subscribe": "/Signal/counter", "maxRate": 5}))
                await receive_until(ws, is_update("/Signal/counter"), 5)
                start = time.monotonic()
                updates = []
                while time.monotonic() - start < 2.0:
                    try:
                        message = await asyncio.wait_for(ws.recv(), 0.5)
                    except asyncio.TimeoutError:
                        continue
                    data = json.loads(message)
                    if data["type"] == "update":
                        updates.append(data)
                self.assertLessEqual(len(updates), 12, "at most 5 per second (plus rounding)")
                self.assertGreaterEqual(len(updates), 6)
                self.assertTrue(all(u["skipped"] > 0 for u in updates[1:]), [u["skipped"] for u in updates])
                # what was skipped plus what was sent accounts for every value
                for a, b in zip(updates, updates[1:]):
                    self.assertEqual(b["value"] - a["value"], b["skipped"] + 1)
        asyncio.run(scenario())

    def test_client_that_stops_reading_does_not_slow_the_application(self):
        s = self.server
        self.assertEqual(s.put("/Settings/traceRate", 500).status_code, 200)
        wait_until(lambda: (s.value("/Signal/counter") or 0) > 50, 60, "the generator at speed")
        # a client that subscribes to the 64 kB trace and then never reads
        stalled = socket.create_connection(("127.0.0.1", s.port))
        stalled.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        key = base64.b64encode(os.urandom(16)).decode()
        stalled.sendall((f"GET /api/ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                         f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n").encode())
        stalled.settimeout(5)
        self.assertIn(b"101", stalled.recv(1024))
        payload = json.dumps({"subscribe": "/Signal/trace"}).encode()
        mask = os.urandom(4)
        stalled.sendall(bytes([0x81, 0x80 | len(payload)]) + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

        async def reader():
            async with websockets.connect(f"ws://127.0.0.1:{s.port}/api/ws", max_size=None) as ws:
                await ws.send(json.dumps({"subscribe": "/Signal/trace"}))
                count = 0
                start = time.monotonic()
                while time.monotonic() - start < 3.0:
                    if isinstance(await asyncio.wait_for(ws.recv(), 5), bytes):
                        count += 1
                return count

        counter_before = s.value("/Signal/counter")
        t0 = time.monotonic()
        received = asyncio.run(reader())
        counter_after = s.value("/Signal/counter")
        elapsed = time.monotonic() - t0
        rate = (counter_after - counter_before) / elapsed
        self.assertGreater(rate, 250, f"the application wrote {rate:.0f} traces/s with a stalled client (set 500)")
        self.assertGreater(received, 100, "a reading client keeps receiving")
        self.assertLess(s.value("/Signal/maxWriteMicros"), 200000, "no trace write waited for a client")
        stats = requests.get(s.base + "/api/stats", timeout=5).json()
        # the reader has gone; what is left is the stalled client, whose socket took only what the
        # kernel buffers hold while its newer values replaced one another in its slot
        self.assertEqual(len(stats["clients"]), 1, stats)
        stalled_stats = stats["clients"][0]
        self.assertGreater(stalled_stats["overwritten"], 100, stats)
        self.assertLess(stalled_stats["sent"], counter_after - counter_before, stats)
        stalled.close()
        wait_until(lambda: requests.get(s.base + "/api/stats", timeout=5).json()["webSocketClients"] == 0, 10,
                   "the server to drop the stalled client")

    # ---------------------------------------------------------- persistence
    def test_restart_finds_persisted_settings(self):
        s = self.server
        writes = {"/Settings/gain": 42.0, "/Settings/label": "kept", "/Settings/mode": -7,
                  "/Settings/table": [float(i) for i in range(16)], "/Settings/enable": True,
                  "/Settings/offset": 9.0, "/Server/triggerNumber": 1234, "/Settings/bigTable": [1.0] * 4096}
        for path, value in writes.items():
            self.assertEqual(s.put(path, value).status_code, 200, path)
        s.wait_value("/Readback/gainApplied", 93.0)
        self.restart()
        s = self.server
        for path in ("/Settings/gain", "/Settings/label", "/Settings/mode", "/Settings/table", "/Settings/enable"):
            self.assertEqual(s.value(path), writes[path], path)
        # the application started from the restored values; the configuration's value won
        s.wait_value("/Readback/gainApplied", 84.5)
        self.assertEqual(s.value("/Settings/offset"), 0.5)
        # triggers and large arrays are not persisted
        self.assertEqual(s.value("/Server/triggerNumber"), 0)
        self.assertEqual(s.value("/Settings/bigTable"), [0.0] * 4096)
        with open(os.path.join(self.workdir, "cstest_settings.json")) as f:
            saved = json.load(f)["settings"]
        self.assertNotIn("/Server/triggerNumber", saved)
        self.assertNotIn("/Settings/bigTable", saved)
        self.assertNotIn("/Settings/offset", saved)
        self.assertEqual(saved["/Settings/gain"], {"type": "double", "value": 42})

    def test_write_back_is_persisted(self):
        s = self.server
        self.assertEqual(s.put("/Settings/gain", 500).status_code, 200)
        s.wait_value("/Settings/gain", 100)
        self.restart()
        self.assertEqual(self.server.value("/Settings/gain"), 100)

    def test_damaged_file_is_set_aside(self):
        self.assertEqual(self.server.put("/Settings/gain", 5).status_code, 200)
        self.assertEqual(self.server.stop(), 0)
        path = os.path.join(self.workdir, "cstest_settings.json")
        with open(path) as f:
            text = f.read()
        with open(path, "w") as f:
            f.write(text.replace('"value":5', '"value":55'))
        self.server = ServerProcess(self.workdir).wait_ready()
        # the checksum flags the edit; the entry itself is well formed and fits, so it is used
        self.assertEqual(self.server.value("/Settings/gain"), 55, "a damaged file's sound entries are used")
        aside = [n for n in os.listdir(self.workdir) if n.startswith("cstest_settings.json.damaged-")]
        self.assertEqual(len(aside), 1)
        with open(os.path.join(self.workdir, "server.log")) as f:
            self.assertIn("is damaged", f.read())
        # a file cut inside its first line names no format: none of it is trusted
        self.assertEqual(self.server.stop(), 0)
        with open(path, "w") as f:
            f.write('{"format":"corvane-settings", truncated')
        self.server = ServerProcess(self.workdir).wait_ready()
        self.assertEqual(self.server.value("/Settings/gain"), 0)

    # ------------------------------------------------------------- security
    def test_read_only_and_token(self):
        self.restart(args=("--read-only",))
        response = self.server.put("/Settings/gain", 1)
        self.assertEqual(response.status_code, 403)
        self.assertIn("read-only", response.json()["error"])
        token_file = os.path.join(self.workdir, "token")
        with open(token_file, "w") as f:
            f.write("s3cret-token\n")
        self.restart(args=("--token-file", token_file))
        s = self.server
        self.assertEqual(s.put("/Settings/gain", 1).status_code, 403)
        self.assertEqual(s.put("/Settings/gain", 1, headers={"Authorization": "Bearer wrong"}).status_code, 403)
        self.assertEqual(s.put("/Settings/gain", 2, headers={"Authorization": "Bearer s3cret-token"}).status_code, 200)
        s.wait_value("/Settings/gain", 2)
        self.assertTrue(requests.get(s.base + "/api/info", timeout=5).json()["tokenRequired"])


    def test_websocket_handshake_needs_a_well_formed_key(self):
        good = base64.b64encode(os.urandom(16)).decode()
        cases = [
            (good, b"HTTP/1.1 101"),
            ("short", b"HTTP/1.1 400"),
            (base64.b64encode(os.urandom(15)).decode(), b"HTTP/1.1 400"),  # 15 bytes: "...=" form
            ("!" * 22 + "==", b"HTTP/1.1 400"),
            (good[:-2] + "AA", b"HTTP/1.1 400"),
        ]
        for key, status in cases:
            with self.subTest(key=key):
                answer = raw_exchange("127.0.0.1", self.server.port, upgrade_request(key))
                self.assertTrue(answer.startswith(status), answer[:200])
                if status.endswith(b"400"):
                    self.assertIn(b"Sec-WebSocket-Key", answer)

    def test_websocket_subscribed_to_nothing_is_closed(self):
        self.restart(args=("--unsubscribed-timeout", "0.5"))
        port = self.server.port

        async def scenario():
            async with websockets.connect(f"ws://127.0.0.1:{port}/api/ws") as idle, \
                    websockets.connect(f"ws://127.0.0.1:{port}/api/ws") as dropped, \
                    websockets.connect(f"ws://127.0.0.1:{port}/api/ws") as watching:
                await watching.send(json.dumps({"subscribe": "/Settings/gain"}))
                await dropped.send(json.dumps({"subscribe": "/Settings/gain"}))
                await receive_until(dropped, is_update("/Settings/gain"), 5)
                await dropped.send(json.dumps({"unsubscribe": "/Settings/gain"}))
                # answering pings does not keep a connection that subscribes to nothing
                for ws in (idle, dropped):
                    with self.assertRaises(websockets.ConnectionClosed):
                        await receive_until(ws, lambda m: False, 5)
                    self.assertEqual(ws.close_code, 1008)
                    self.assertIn("nothing subscribed", ws.close_reason)
                # a subscribed connection stays and is served
                self.assertEqual(self.server.put("/Settings/gain", 3).status_code, 200)
                await receive_until(watching, is_update("/Settings/gain", 3), 5)
        asyncio.run(scenario())

    def test_shutdown_sends_a_close_frame(self):
        async def scenario():
            async with websockets.connect(f"ws://127.0.0.1:{self.server.port}/api/ws", max_size=None) as ws:
                await ws.send(json.dumps({"subscribe": "/Signal"}))
                await receive_until(ws, lambda m: isinstance(m, bytes), 5)
                started = time.monotonic()
                self.server.process.send_signal(signal.SIGTERM)
                with self.assertRaises(websockets.ConnectionClosed):
                    await receive_until(ws, lambda m: False, 10)
                self.assertEqual(ws.close_code, 1001, "going away, not a dropped connection (1006)")
                return time.monotonic() - started
        took = asyncio.run(scenario())
        self.assertEqual(self.server.stop(), 0)
        self.assertLess(took, 5)

    def test_connections_per_address_and_the_reserve(self):
        address = local_address()
        if address is None:
            self.skipTest("this machine has no address beyond loopback")
        token_file = os.path.join(self.workdir, "token")
        with open(token_file, "w") as f:
            f.write("t0ken\n")
        self.assertEqual(self.server.stop(), 0)
        port = free_port()
        # the later --listen wins over the loopback one the test's server process is given
        self.server = ServerProcess(self.workdir, args=("--listen", f"0.0.0.0:{port}", "--token-file", token_file),
                                    port=port).wait_ready()
        info = b"GET /api/info HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
        # 16 idle connections of one address (the per-address share) ...
        held = [socket.create_connection((address, port)) for _ in range(16)]
        try:
            def refused_from_address():
                answer = raw_exchange(address, port, info)
                return answer.startswith(b"HTTP/1.1 503") and answer
            answer = wait_until(refused_from_address, 10, "a connection beyond the address's share to be refused")
            self.assertIn(f"too many connections from {address}".encode(), answer)
            # ... leave room for a client of that address that has the token (in any letter case)
            write = (b"PUT /api/variables/Settings/gain HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                     b"Authorization: bearer t0ken\r\nContent-Length: 1\r\n\r\n7")
            self.assertTrue(raw_exchange(address, port, write).startswith(b"HTTP/1.1 200"))
            # ... and for every other client
            self.assertEqual(self.server.value("/Settings/gain"), 7)
        finally:
            for s in held:
                s.close()
        wait_until(lambda: raw_exchange(address, port, info).startswith(b"HTTP/1.1 200"), 10,
                   "room again for the address")

    def test_connections_are_bounded(self):
        # 64 connections (the default bound) that send nothing hold every slot
        held = [socket.create_connection(("127.0.0.1", self.server.port)) for _ in range(64)]
        try:
            wait_until(lambda: self.connection_refused(), 10, "a connection beyond the bound to be refused")
        finally:
            for s in held:
                s.close()
        wait_until(lambda: self.server.get("/Settings/gain").status_code == 200, 10, "room for a new connection")

    def connection_refused(self):
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=5) as s:
            s.sendall(b"GET /api/info HTTP/1.1\r\nHost: x\r\n\r\n")
            answer = s.recv(4096)
            if not answer.startswith(b"HTTP/1.1 503"):
                return False
            while chunk := s.recv(4096):  # the server closes after refusing
                answer += chunk
        self.assertIn(b"too many connections", answer)
        return True


class StartupTest(unittest.TestCase):
    """The program's command line, start-up failures and exit status."""

    def test_help(self):
        status, output = run_start(["--help"])
        self.assertEqual(status, 0)
        self.assertIn("--listen ADDR:PORT", output)

    def test_failures_print_the_reason_and_exit_1(self):
        port = free_port()
        cases = [
            (["--bogus"], {}, "unknown argument"),
            (["--listen", "nonsense"], {}, "ADDR:PORT"),
            (["--listen", f"0.0.0.0:{port}"], {"CORVANE_CS_TOKEN": ""}, "needs a token"),
            (["--listen", f"127.0.0.1:{port}", "--token-file", "/nonexistent/token"], {}, "cannot read the token file"),
            (["--listen", f"127.0.0.1:{port}"], {"CS_TEST_FAIL_CONSTRUCTION": "1"}, "construction failure requested"),
            (["--listen", f"127.0.0.1:{port}"], {"CS_TEST_FAIL_INITIALISE": "1"}, "start-up failure requested"),
        ]
        for args, env, message in cases:
            with self.subTest(args=args, env=env):
                status, output = run_start(args, env)
                self.assertEqual(status, 1, output)
                self.assertIn(message, output)

    def test_port_in_use(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            s.listen(1)
            status, output = run_start(["--listen", f"127.0.0.1:{s.getsockname()[1]}"])
        self.assertEqual(status, 1)
        self.assertIn("cannot listen", output)

    def test_module_failure_ends_with_non_zero_status(self):
        workdir = tempfile.mkdtemp(prefix="cs-e2e-")
        with open(os.path.join(workdir, "cstest_base_config.xml"), "w") as f:
            f.write(CONFIG)
        server = ServerProcess(workdir).wait_ready()
        self.assertEqual(server.put("/Settings/crash", 1).status_code, 200)
        status = server.process.wait(timeout=20)
        self.assertEqual(status, 1)
        self.assertIn("crash requested", server.stderr_text())
        server.log.close()


if __name__ == "__main__":
    SERVER = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
