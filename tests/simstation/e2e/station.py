"""The simulated station as an operator meets it: the real server (tessarel_server) on a scratch copy of
config/sim, whose controller is the simulated board with its cavity model and whose shipped settings file gives
a working station at start. The board's virtual-lab module drives "/Server/triggerNumber" (about 10 pulses per
second); the test talks to the server over HTTP and WebSocket only. Every wait is bounded."""
import asyncio
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time

import requests
import websockets


def wait_until(predicate, timeout, what="condition"):
    """The first true value of `predicate`, asked every 20 ms; an AssertionError after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError(f"timed out after {timeout} s waiting for {what}")


def copy_station(sim, prefix):
    """A scratch directory holding a copy of the files of the station directory `sim`."""
    directory = tempfile.mkdtemp(prefix=f"tessarel-{prefix}-")
    for entry in os.listdir(sim):
        source = os.path.join(sim, entry)
        if os.path.isfile(source):
            shutil.copy2(source, directory)
    return directory


def edit_file(directory, file_name, old, new):
    """Replaces `old` by `new` in one of the files of `directory`; `old` must be there."""
    path = os.path.join(directory, file_name)
    with open(path) as f:
        text = f.read()
    assert old in text, f"{file_name} no longer holds {old}"
    with open(path, "w") as f:
        f.write(text.replace(old, new))


class ServerRun:
    """One run of the server program in a station directory (with further command-line `arguments`), logging to
    server.log there, reached over HTTP."""

    def __init__(self, program, directory, arguments=()):
        self.log_path = os.path.join(directory, "server.log")
        self.log = open(self.log_path, "a")
        self.logged_before = os.path.getsize(self.log_path)
        self.process = subprocess.Popen([program, "--listen", "127.0.0.1:0", *arguments], cwd=directory,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        self.base = wait_until(self._listening, 60, "the server to listen").group(1)

    def _listening(self):
        if self.process.poll() is not None:
            raise AssertionError(f"server ended with {self.process.returncode}:\n{self.output()}")
        return re.search(r"listening on (http://127\.0\.0\.1:\d+)/", self.output())

    def output(self):
        """What this run of the server logged."""
        with open(self.log_path, errors="replace") as log:
            log.seek(self.logged_before)
            return log.read()

    def put(self, path, value):
        response = requests.put(self.base + "/api/variables" + path, json=value, timeout=10)
        assert response.status_code == 200, f"PUT {path}: {response.status_code} {response.text}"

    def get(self, path):
        response = requests.get(self.base + "/api/variables" + path, timeout=10)
        assert response.status_code == 200, f"GET {path}: {response.text}"
        return response.json()

    def value(self, path):
        return self.get(path)["value"]

    def stop(self):
        """Ends the run with SIGTERM (SIGKILL after 30 s) and gives its exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(30)
        self.log.close()
        return self.process.returncode


def decode_array_update(message):
    """The JSON header and the elements of a binary WebSocket update (an array)."""
    length = struct.unpack_from("<I", message, 0)[0]
    header = json.loads(message[4:4 + length])
    start = 4 + length
    start += (-start) % 8
    kind = {"float": "f", "double": "d", "int32": "i", "uint32": "I", "int16": "h"}[header["dataType"]]
    return header, list(struct.unpack_from(f"<{header['nElements']}{kind}", message, start))


async def _receive(ws, deadline, what):
    """The next message of `ws`; an AssertionError (as from wait_until) once `deadline` has passed."""
    try:
        return await asyncio.wait_for(ws.recv(), max(0.0, deadline - time.monotonic()))
    except asyncio.TimeoutError:
        raise AssertionError(f"timed out waiting for {what}") from None


class Station:
    """A copy of config/sim in a scratch directory and the server running on it."""

    def __init__(self, server, sim, prefix="simstation"):
        self.program = os.path.abspath(server)
        self.directory = copy_station(sim, prefix)
        self.run = None
        self.base = None

    def edit(self, file_name, old, new):
        """Replaces `old` by `new` in one of the copy's files; `old` must be there."""
        edit_file(self.directory, file_name, old, new)

    def start(self):
        self.run = ServerRun(self.program, self.directory)
        self.base = self.run.base

    def output(self):
        return self.run.output()

    def put(self, path, value):
        self.run.put(path, value)

    def get(self, path):
        return self.run.get(path)

    def value(self, path):
        return self.run.value(path)

    def scalar(self, path):
        value = self.value(path)
        return value[0] if isinstance(value, list) else value

    def trigger(self):
        return self.scalar("/Server/triggerNumber")

    def traces(self, paths, count, timeout=30.0):
        """The next `count` updates of each of `paths` (arrays), received over one WebSocket subscription, as
        lists of (header, values) per path."""
        return asyncio.run(self._traces(paths, count, timeout))

    async def _traces(self, paths, count, timeout):
        received = {path: [] for path in paths}
        url = self.base.replace("http://", "ws://") + "/api/ws"
        async with websockets.connect(url, max_size=None) as ws:
            await ws.send(json.dumps({"subscribe": list(paths)}))
            deadline = time.monotonic() + timeout
            first = {path: True for path in paths}
            while any(len(v) < count for v in received.values()):
                message = await _receive(ws, deadline, f"{count} updates of {paths}")
                if not isinstance(message, bytes):
                    continue
                header, values = decode_array_update(message)
                if header["path"] not in received:
                    continue
                if first[header["path"]]:
                    first[header["path"]] = False  # the current value, not a new pulse's
                    continue
                if len(received[header["path"]]) < count:
                    received[header["path"]].append((header, values))
        return received

    def watch(self, paths, take, timeout=30.0):
        """Subscribes to `paths` (arrays) over one WebSocket and hands every later update to `take(header, values)`
        until it returns true; the current values sent on subscription are left out."""
        asyncio.run(self._watch(paths, take, timeout))

    async def _watch(self, paths, take, timeout):
        url = self.base.replace("http://", "ws://") + "/api/ws"
        async with websockets.connect(url, max_size=None) as ws:
            await ws.send(json.dumps({"subscribe": list(paths)}))
            deadline = time.monotonic() + timeout
            first = set(paths)
            while True:
                message = await _receive(ws, deadline, f"the awaited update of {paths}")
                if not isinstance(message, bytes):
                    continue
                header, values = decode_array_update(message)
                if header["path"] in first:
                    first.discard(header["path"])
                    continue
                if header["path"] in paths and take(header, values):
                    return

    def stop(self):
        return self.run.stop() if self.run else 0

    def remove(self):
        shutil.rmtree(self.directory, ignore_errors=True)
