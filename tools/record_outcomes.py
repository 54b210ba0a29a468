#!/usr/bin/env python3
"""Records what a recodia binary writes for every byte of every source, to every
target, in both quotation contexts, under every combination of the switches
that change what a byte becomes; so that a later engine can be compared with
this one byte for byte (tests/legacy_test.cpp reads the record).

  python3 tools/record_outcomes.py BINARY | gzip -9n > tests/data/legacy-outcomes.txt.gz

One line per run, the runs of one source and target together: the switches,
a tab, then 512 outcomes in hex ("-" for nothing): bytes 0..255 after a line
end (where a quotation opens), then 0..255 after the letter A (where it
closes), "=" where that is what the byte wrote after the line end. LF itself
is not converted ("0a" stands in for it): it separates the outcomes, and no
switch here changes it.
"""
import concurrent.futures
import os
import subprocess
import sys
import tempfile

SOURCES = ["-kx", "-866", "-w", "-koi8", "-855", "-mac", "-iso", "-koi7", "-isoir111", "-koi8u", "-macu",
           "-1254", "-857", "-macturk", "-iso8859_9", "-850", "-1252", "-iso8859_1", "-iso8859_15", "-macroman"]
TARGETS = ["-tokx", "-to866", "-tow", "-tokoi8", "-to855", "-tomac", "-toiso", "-tokoi7", "-totl", "-toisoir111",
           "-tokoi8u", "-tomacu", "-to1254", "-to857", "-tomacturk", "-toiso8859_9", "-to850", "-to1252",
           "-toiso8859_1", "-toiso8859_15", "-tomacroman"]
QUOTES = [[], ["-nta"], ["-src"], ["-html"], ["-html", "-dhcs"]]
COMBINATIONS = [q + s + n for q in QUOTES for s in ([], ["-32"]) for n in ([], ["-nstr"])]

BYTES = [b for b in range(256) if b != 0x0A]
# Each byte on a line of its own: after the LF before it, and after an A.
INPUT = b"".join(bytes([b, 0x0A]) for b in BYTES) + b"".join(bytes([0x41, b, 0x0A]) for b in BYTES)


def record(binary, folder, switches):
    out = os.path.join(folder, "out-" + "_".join(s.strip("-") for s in switches))
    subprocess.run([binary, "-ni", "-noaltlf", *switches, os.path.join(folder, "in"), out], check=True,
                   stdout=subprocess.DEVNULL)
    with open(out, "rb") as f:
        lines = f.read().split(b"\n")[:-1]
    os.remove(out)
    if len(lines) != 2 * len(BYTES):
        raise SystemExit(f"{switches}: {len(lines)} lines")
    opening, closing = lines[:len(BYTES)], lines[len(BYTES):]
    if any(not line.startswith(b"A") for line in closing):
        raise SystemExit(f"{switches}: the letter A changed")
    opening = [o.hex() or "-" for o in opening]
    closing = [c[1:].hex() or "-" for c in closing]
    closing = ["=" if c == o else c for o, c in zip(opening, closing)]
    opening.insert(0x0A, "0a")
    closing.insert(0x0A, "=")
    return " ".join(switches) + "\t" + " ".join(opening + closing)


def main():
    binary = os.path.abspath(sys.argv[1])
    runs = []
    for s in SOURCES:
        for t in TARGETS:
            runs += [[s, t, *c] for c in COMBINATIONS]
            if t == "-totl":
                runs += [[s, t, "-nqt", *c] for c in COMBINATIONS]
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "in"), "wb") as f:
            f.write(INPUT)
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            for line in pool.map(lambda r: record(binary, folder, r), runs):
                print(line)


if __name__ == "__main__":
    main()
