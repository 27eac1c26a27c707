#!/usr/bin/env python3
"""Check slidepack's command line: exit codes, messages, and that a failed
build leaves no archive behind. The archive rules themselves are tested in
tests/unit/slidepack_test.cpp.

Usage: test-slidepack.py SLIDEPACK

Exit status 0 when every case passes, 1 otherwise.
"""

import os
import subprocess
import sys
import tempfile

slidepack = sys.argv[1]
failures = []

with tempfile.TemporaryDirectory() as work:
    def path(name):
        return os.path.join(work, name)

    def make(name, data):
        with open(path(name), "wb") as f:
            f.write(data)
        return path(name)

    codec = make("codec.bin", b"MZ codec")
    one = make("one.jpg", b"\xff\xd8 one")
    two = make("two.jpg", b"\xff\xd8 two!")
    empty = make("empty.jpg", b"")
    png = make("picture.png", b"\x89PNG")
    long_name = make("n" * 36 + ".jpg", b"x")
    out = path("graf.bin")

    # (what, arguments, exit code, text in the output, archive left behind)
    cases = [
        ("no arguments", [], 2, "usage:", False),
        ("unknown command", ["pack", out], 2, "usage:", False),
        ("list without a file", ["list"], 2, "usage:", False),
        ("missing codec", ["build", out, path("none.dll"), one], 1, "none.dll: no such file", False),
        ("missing slide", ["build", out, codec, path("none.jpg")], 1, "none.jpg: no such file", False),
        ("no slides", ["build", out, codec], 1, "no slides given", False),
        ("slide without .jpg", ["build", out, codec, png], 1, "lacks \".jpg\"", False),
        ("empty slide", ["build", out, codec, one, empty], 1, "\"empty.jpg\" is empty", False),
        ("name too long", ["build", out, codec, long_name], 1, "is 40 bytes long", False),
        ("unwritable output", ["build", path("no/such/dir.bin"), codec, one], 1, "cannot write", False),
        ("good build", ["build", out, codec, one, two], 0, "2 slides", True),
        ("list of the good archive", ["list", out], 0, "archive layout good", True),
        ("list of a missing archive", ["list", path("none.bin")], 1, "cannot open", True),
    ]
    for what, args, code, text, archive in cases:
        run = subprocess.run([slidepack] + args, capture_output=True, text=True)
        output = run.stdout + run.stderr
        if run.returncode != code or text not in output:
            failures.append(f"{what}: exit {run.returncode} (expected {code}), output: {output.strip()!r}")
        if os.path.exists(out) != archive or os.path.exists(out + ".partial"):
            failures.append(f"{what}: archive present: {os.path.exists(out)}, expected {archive}")

    # The good archive's listing, then the same archive one byte short.
    listing = subprocess.run([slidepack, "list", out], capture_output=True, text=True).stdout
    for line in ("1  ijl10.dll", "offset       1536  size          8",
                 "2  one.jpg", "3  two.jpg", "offset       1550  size          7"):
        if line not in listing:
            failures.append(f"listing lacks {line!r}: {listing!r}")
    with open(out, "rb") as f:
        data = f.read()
    damaged = make("damaged.bin", data[:-1])
    run = subprocess.run([slidepack, "list", damaged], capture_output=True, text=True)
    if run.returncode != 1 or "damaged archive: slot 3" not in run.stderr:
        failures.append(f"damaged archive: exit {run.returncode}, stderr {run.stderr.strip()!r}")

for failure in failures:
    print("FAIL: " + failure)
print("test-slidepack: " + ("all cases pass" if not failures else f"{len(failures)} failures"))
sys.exit(1 if failures else 0)
