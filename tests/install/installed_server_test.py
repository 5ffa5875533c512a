#!/usr/bin/python3
"""Installs this build into a temporary prefix and runs what was installed.

Checks that the programs, libraries and the operator page (with its plotting library) land under
the prefix, that the installed programs load the installed libraries (not the build tree's), that
the installed server started from a copy of the simulated station serves its page and plotting
library without any environment variable, and that a missing plotting library is a warning at
start naming the folder looked in. Every wait is bounded.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import requests

ARGS = None
STARTUP_LIMIT = 60  # seconds until the server listens
STOP_LIMIT = 20     # seconds until it has ended after SIGTERM


class InstalledServer:
    """The installed server, started in `station` with its output in a file."""

    def __init__(self, program, station, environment):
        self.log_path = os.path.join(station, "server.log")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen([program, "--listen", "127.0.0.1:0"], cwd=station, env=environment,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + STARTUP_LIMIT
        self.base = None
        while time.monotonic() < deadline and self.base is None:
            if self.process.poll() is not None:
                raise AssertionError(f"the installed server ended with status {self.process.returncode}:\n{self.output()}")
            found = re.search(r"listening on (http://127\.0\.0\.1:\d+)/", self.output())
            if found:
                self.base = found.group(1)
            else:
                time.sleep(0.05)
        if self.base is None:
            self.stop()
            raise AssertionError(f"the installed server did not listen within {STARTUP_LIMIT} s:\n{self.output()}")

    def output(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def get(self, path):
        return requests.get(self.base + path, timeout=10)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(STOP_LIMIT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(STOP_LIMIT)
        self.log.close()
        return self.process.returncode


class InstalledServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tessarel-install-")
        cls.prefix = os.path.join(cls.work, "prefix")
        result = subprocess.run([ARGS.cmake, "--install", ARGS.build_dir, "--prefix", cls.prefix],
                                capture_output=True, text=True, timeout=240)
        if result.returncode != 0:
            raise AssertionError(f"cmake --install failed:\n{result.stdout}\n{result.stderr}")
        cls.web = os.path.join(cls.prefix, "share", "corvane-cs", "web")
        cls.plot_dir = os.path.join(cls.web, "node_modules", "uplot", "dist")
        # nothing from the environment points the programs anywhere
        cls.environment = {k: v for k, v in os.environ.items()
                           if not k.startswith("CORVANE_CS_") and k != "LD_LIBRARY_PATH"}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def station(self, name):
        directory = os.path.join(self.work, name)
        shutil.copytree(ARGS.station, directory)
        return directory

    def program(self, name):
        return os.path.join(self.prefix, "bin", name)

    def test_1_everything_lands_under_the_prefix(self):
        for part in ["bin/tessarel_server", "bin/tessarel_xmlgen", "lib/libcorvane.so", "lib/libcorvane-cs.so",
                     "lib/libcorvane-cs-main.so", "lib/libtessarel.so", "share/corvane-cs/web/index.html",
                     "share/corvane-cs/web/app.js", "share/corvane-cs/web/style.css",
                     "share/corvane-cs/web/node_modules/uplot/dist/uPlot.iife.min.js",
                     "share/corvane-cs/web/node_modules/uplot/dist/uPlot.min.css"]:
            self.assertTrue(os.path.isfile(os.path.join(self.prefix, part)), part)
        # the browser driver of the page's test is not part of the page
        self.assertFalse(os.path.exists(os.path.join(self.web, "node_modules", "playwright-core")))

    def test_2_installed_programs_load_the_installed_libraries(self):
        build_dir = os.path.realpath(ARGS.build_dir)
        for name in ["tessarel_server", "tessarel_xmlgen"]:
            libraries = subprocess.run(["ldd", self.program(name)], capture_output=True, text=True, timeout=30,
                                       env=self.environment).stdout
            ours = re.findall(r"lib(?:corvane|tessarel|fennick)\S*\.so => (\S+)", libraries)
            self.assertTrue(ours, libraries)
            for found in ours:
                self.assertEqual(os.path.dirname(os.path.realpath(found)), os.path.realpath(os.path.join(self.prefix, "lib")),
                                 f"{name}: {found}")
                self.assertNotIn(build_dir, found, f"{name}: {found}")

    def test_3_installed_server_serves_its_page_and_plotting_library(self):
        server = InstalledServer(self.program("tessarel_server"), self.station("station"), self.environment)
        try:
            page = server.get("/")
            self.assertEqual(page.status_code, 200)
            self.assertIn('<script src="/app.js">', page.text)
            self.assertEqual(server.get("/app.js").status_code, 200)
            plot = server.get("/vendor/uplot/uPlot.iife.min.js")
            self.assertEqual(plot.status_code, 200)
            with open(os.path.join(ARGS.web_sources, "node_modules", "uplot", "dist", "uPlot.iife.min.js"), "rb") as f:
                self.assertEqual(plot.content, f.read())
            self.assertEqual(server.get("/vendor/uplot/uPlot.min.css").status_code, 200)
            self.assertEqual(server.get("/api/variables").json()["application"], "tessarel")
            self.assertNotIn("WARNING [ControlSystemServer]", server.output())
        finally:
            status = server.stop()
        self.assertEqual(status, 0, server.output())

    def test_4_installed_generator_writes_the_lists(self):
        station = self.station("generator")
        result = subprocess.run([self.program("tessarel_xmlgen")], cwd=station, env=self.environment,
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        for name in ["tessarel.xml", "tessarel.dot"]:
            self.assertGreater(os.path.getsize(os.path.join(station, name)), 0, name)

    def test_5_a_missing_plotting_library_is_a_warning_naming_the_folder(self):
        shutil.rmtree(os.path.join(self.web, "node_modules"))
        server = InstalledServer(self.program("tessarel_server"), self.station("without-plots"), self.environment)
        try:
            self.assertEqual(server.get("/").status_code, 200)
            self.assertEqual(server.get("/vendor/uplot/uPlot.iife.min.js").status_code, 404)
            warnings = [line for line in server.output().splitlines() if "WARNING [ControlSystemServer]" in line]
            self.assertEqual(len(warnings), 1, server.output())
            self.assertIn(f"no plotting library (uPlot.iife.min.js) in {self.plot_dir}", warnings[0])
        finally:
            status = server.stop()
        self.assertEqual(status, 0, server.output())


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--station", required=True)
    parser.add_argument("--web-sources", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
