#!/usr/bin/env python3
"""Mutation fuzzer over the station's configuration files.

Each mutant is a scratch copy of a station directory (config/sim: configuration XML, device map,
register maps) with one to three mutations applied to its files: bytes and lines deleted,
repeated, swapped or cut off, numbers replaced by boundary values, names, types and map paths
exchanged, whole files emptied, removed, or replaced by a directory or a device. The generator
(tessarel_xmlgen, which builds the station without starting it) runs on each mutant with a time
limit. A mutant passes when the program

  - exits 0, having written the variable list, or
  - exits 1 with a message on stderr that names the file involved (the mutated file or a file it
    refers to) or a configuration key.

A signal (crash, abort), a time-out, another exit status, or an exit 1 without such a message
fails. Failures print the seed, the mutant's number and its mutations; "--only N" reruns one
mutant and "--keep DIR" keeps the failing mutants' directories.

Usage: config_fuzzer.py --program PATH --station DIR [--mutants N] [--seed S] [--jobs J]
                        [--timeout SECONDS] [--memory-limit-mb MB] [--only N] [--keep DIR]
"""

import argparse
import concurrent.futures
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile

INTERESTING_NUMBERS = [
    "0", "1", "-1", "2", "3", "4", "5", "7", "16", "17", "64", "65", "255", "256", "1000", "2047", "2049",
    "65535", "65536", "100000", "2147483647", "2147483648", "4294967295", "4294967296", "9223372036854775807",
    "18446744073709551615", "18446744073709551616", "-2147483649", "0x80000000", "0xffffffff", "0x1000000000",
    "1e9", "1e308", "-1e308", "nan", "inf", "-0", "+1", "", "abc", "0.5", "1,5",
]
TYPE_NAMES = ["int32", "uint32", "int64", "uint64", "float", "double", "string", "boolean", "int16", ""]
ACCESS_WORDS = ["RO", "RW", "WO", "INTERRUPT", "INTERRUPT:1", "INTERRUPT:x", "IEEE754", "XX"]
NUMBER = re.compile(r"(?<![A-Za-z_])(0x[0-9a-fA-F]+|-?\d+(\.\d+)?)(?![A-Za-z_])")
WORD = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")


class Mutant:
    """One station directory's files as text, and what was done to them."""

    def __init__(self, station, rng):
        self.rng = rng
        self.texts = {}
        for name in sorted(os.listdir(station)):
            path = os.path.join(station, name)
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    self.texts[name] = f.read().decode("latin-1")
        self.replaced = {}  # file name -> "missing" | "directory" | "devzero" | "fifo"
        self.log = []
        self.touched = set()

    def text_files(self):
        return [n for n in self.texts if n.endswith((".xml", ".dmap", ".map"))]

    def map_paths(self):
        """Map files named by the device map (as written there)."""
        return re.findall(r"map=([^)\s]+)", self.texts.get("tessarel.dmap", ""))

    # ---- mutations; each returns a description ----

    def delete_span(self, name):
        text = self.texts[name]
        if not text:
            return "nothing to delete"
        start = self.rng.randrange(len(text))
        length = self.rng.choice([1, 2, 5, 20, 200])
        self.texts[name] = text[:start] + text[start + length:]
        return f"deleted {length} characters at {start}"

    def insert_bytes(self, name):
        text = self.texts[name]
        at = self.rng.randrange(len(text) + 1)
        piece = self.rng.choice(["<", ">", "\"", "/", "#", "\x00", "\n", " ", "&", "]]>", "<!--", "\xff\xfe", "x" * 300,
                                 "<module name=\"Configuration\">", "</module>", "(", ")", "?", "="])
        self.texts[name] = text[:at] + piece + text[at:]
        return f"inserted {piece[:20]!r} at {at}"

    def truncate(self, name):
        text = self.texts[name]
        at = self.rng.randrange(len(text) + 1)
        self.texts[name] = text[:at]
        return f"cut off after {at} characters"

    def line_edit(self, name):
        lines = self.texts[name].split("\n")
        i = self.rng.randrange(len(lines))
        j = self.rng.randrange(len(lines))
        kind = self.rng.choice(["delete", "repeat", "swap", "move"])
        if kind == "delete":
            del lines[i]
        elif kind == "repeat":
            lines.insert(i, lines[i])
        elif kind == "swap":
            lines[i], lines[j] = lines[j], lines[i]
        else:
            lines.insert(j, lines.pop(i))
        self.texts[name] = "\n".join(lines)
        return f"line {kind} {i + 1} ({j + 1})"

    def replace_number(self, name):
        text = self.texts[name]
        found = list(NUMBER.finditer(text))
        if not found:
            return "no number"
        m = self.rng.choice(found)
        value = self.rng.choice(INTERESTING_NUMBERS)
        self.texts[name] = text[:m.start()] + value + text[m.end():]
        return f"number {m.group(0)!r} at {m.start()} -> {value!r}"

    def replace_word(self, name):
        text = self.texts[name]
        found = list(WORD.finditer(text))
        if not found:
            return "no word"
        m = self.rng.choice(found)
        if name.endswith(".xml"):
            value = self.rng.choice(TYPE_NAMES + [w.group(0) for w in self.rng.sample(found, min(5, len(found)))])
        elif name.endswith(".map"):
            value = self.rng.choice(ACCESS_WORDS + [w.group(0) for w in self.rng.sample(found, min(5, len(found)))])
        else:
            value = self.rng.choice(["dummy", "sharedMemoryDummy", "zorbel", "nosuchbackend", "Adc0", "Adc1",
                                     "Controller", "map", "adc.map", "controller.map"])
        self.texts[name] = text[:m.start()] + value + text[m.end():]
        return f"word {m.group(0)!r} at {m.start()} -> {value!r}"

    def dmap_path(self, name):
        text = self.texts[name]
        found = list(re.finditer(r"map=([^)\s]+)", text))
        if not found:
            return "no map path"
        m = self.rng.choice(found)
        value = self.rng.choice(["/dev/zero", "/dev/null", ".", "missing.map", "adc.map", "controller.map",
                                 "tessarel_base_config.xml", "tessarel.dmap", "fifo.map", ""])
        if value == "fifo.map":
            self.replaced["fifo.map"] = "fifo"
        self.texts[name] = text[:m.start(1)] + value + text[m.end(1):]
        return f"map path {m.group(1)!r} -> {value!r}"

    def xml_attribute(self, name):
        text = self.texts[name]
        found = list(re.finditer(r"(name|type|value|i|v)=\"([^\"]*)\"", text))
        if not found:
            return "no attribute"
        m = self.rng.choice(found)
        kind = m.group(1)
        if kind == "type":
            value = self.rng.choice(TYPE_NAMES)
        elif kind == "name":
            value = self.rng.choice(["", "..", "a/b", "nChannels", "pulseLength", "AdcBoard0", "AdcBoard1",
                                     "Configuration", "x y", m.group(2) + "x"])
        else:
            value = self.rng.choice(INTERESTING_NUMBERS + ["true", "false", "MV/m"])
        replacement = f"{kind}=\"{value}\"" if self.rng.random() < 0.85 else ""
        self.texts[name] = text[:m.start()] + replacement + text[m.end():]
        return f"attribute {m.group(0)!r} -> {replacement!r}"

    def replace_file(self, name):
        kind = self.rng.choice(["empty", "comments", "missing", "directory", "devzero", "fifo", "binary"])
        if kind == "empty":
            self.texts[name] = ""
        elif kind == "comments":
            self.texts[name] = "<!-- nothing -->\n" if name.endswith(".xml") else "# nothing\n# at all\n"
        elif kind == "binary":
            self.texts[name] = "".join(chr(self.rng.randrange(256)) for _ in range(300))
        else:
            self.replaced[name] = kind
        return f"whole file -> {kind}"

    def mutate(self):
        count = self.rng.choice([1, 1, 1, 2, 3])
        for _ in range(count):
            name = self.rng.choice(self.text_files())
            if name in self.replaced:
                continue
            if self.rng.random() < 0.05:
                operation = self.replace_file
            else:
                operations = [self.delete_span, self.insert_bytes, self.truncate, self.line_edit, self.replace_number,
                              self.replace_number, self.replace_word]
                if name.endswith(".xml"):
                    operations += [self.xml_attribute] * 4
                if name.endswith(".dmap"):
                    operations += [self.dmap_path] * 3
                if name.endswith(".map"):
                    operations += [self.replace_number] * 3
                operation = self.rng.choice(operations)
            self.touched.add(name)
            self.log.append(f"{name}: {operation(name)}")

    def write(self, directory):
        for name, text in self.texts.items():
            path = os.path.join(directory, name)
            kind = self.replaced.get(name)
            if kind == "missing":
                continue
            if kind == "directory":
                os.mkdir(path)
            elif kind == "devzero":
                os.symlink("/dev/zero", path)
            elif kind == "fifo":
                os.mkfifo(path)
            else:
                with open(path, "wb") as f:
                    f.write(text.encode("latin-1"))
                if name.endswith(".py"):
                    os.chmod(path, 0o755)
        if self.replaced.get("fifo.map") == "fifo":
            os.mkfifo(os.path.join(directory, "fifo.map"))

    def involved_names(self):
        """Names an error message may give to point at the damage."""
        names = set(self.touched)
        for name in self.touched:
            if name.endswith(".dmap"):
                names.update(os.path.basename(p) for p in self.map_paths() if p)
                names.update(self.map_paths())
        return {n for n in names if n}


def command(arguments):
    """The program, under an address-space limit when one is given (through the shell: no Python
    code may run between fork and exec while other threads run)."""
    if arguments.memory_limit_mb <= 0:
        return [arguments.program]
    return ["/bin/sh", "-c", f"ulimit -v {arguments.memory_limit_mb * 1024} && exec \"$0\"", arguments.program]


def run_mutant(arguments, index):
    rng = random.Random(f"{arguments.seed}:{index}")
    mutant = Mutant(arguments.station, rng)
    mutant.mutate()
    directory = tempfile.mkdtemp(prefix="tessarel-fuzz-")
    try:
        mutant.write(directory)
        process = subprocess.Popen(command(arguments), cwd=directory, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, start_new_session=True)
        try:
            out, err = process.communicate(timeout=arguments.timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            out, err = process.communicate()
            return verdict(arguments, index, mutant, directory, f"no end within {arguments.timeout} s", out, err)
        err_text = err.decode("utf-8", "replace")
        status = process.returncode
        if status == 0:
            if not os.path.isfile(os.path.join(directory, "tessarel.xml")):
                return verdict(arguments, index, mutant, directory, "exit 0 without tessarel.xml", out, err)
            return None
        if status < 0:
            return verdict(arguments, index, mutant, directory, f"killed by signal {-status}", out, err)
        if status != 1:
            return verdict(arguments, index, mutant, directory, f"exit status {status}", out, err)
        names = mutant.involved_names()
        if any(n in err_text for n in names) or re.search(r"key \"[A-Za-z]+/", err_text):
            return None
        return verdict(arguments, index, mutant, directory,
                       "exit 1 without naming " + " or ".join(sorted(names)) + " or a key", out, err)
    finally:
        shutil.rmtree(directory, ignore_errors=True)


def verdict(arguments, index, mutant, directory, what, out, err):
    report = [f"mutant {index} (seed {arguments.seed}): {what}"]
    report += ["  " + line for line in mutant.log]
    report.append("  stdout: " + out.decode("utf-8", "replace")[-400:].strip())
    report.append("  stderr: " + err.decode("utf-8", "replace")[-800:].strip())
    if arguments.keep:
        kept = os.path.join(arguments.keep, f"mutant-{arguments.seed}-{index}")
        shutil.rmtree(kept, ignore_errors=True)
        shutil.copytree(directory, kept, symlinks=True, ignore_dangling_symlinks=True,
                        ignore=lambda d, names: [n for n in names if n == "fifo.map" or
                                                 mutant.replaced.get(n) == "fifo"])
        report.append(f"  kept in {kept}")
    report.append(f"  rerun: {sys.argv[0]} --program {arguments.program} --station {arguments.station} "
                  f"--seed {arguments.seed} --only {index}")
    return "\n".join(report)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the generator (tessarel_xmlgen)")
    parser.add_argument("--station", required=True, help="station directory to mutate (config/sim)")
    parser.add_argument("--mutants", type=int, default=300)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=3)
    parser.add_argument("--timeout", type=float, default=20.0, help="seconds per run")
    parser.add_argument("--memory-limit-mb", type=int, default=2048, help="address-space limit per run; 0: none")
    parser.add_argument("--only", type=int, help="run just this mutant")
    parser.add_argument("--keep", help="copy failing mutants' directories below this directory")
    arguments = parser.parse_args()
    arguments.program = os.path.abspath(arguments.program)
    arguments.station = os.path.abspath(arguments.station)

    indices = [arguments.only] if arguments.only is not None else range(arguments.mutants)
    failures = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, arguments.jobs)) as pool:
        for result in pool.map(lambda i: run_mutant(arguments, i), indices):
            if result:
                failures.append(result)
                print(result, flush=True)
    print(f"{len(indices)} mutants (seed {arguments.seed}), {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
