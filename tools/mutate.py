#!/usr/bin/env python3
"""Checks that the test suite catches deliberate faults.

Usage: python3 tools/mutate.py [--build DIR] [--only NAME,...] [--list] [--jobs N] [--windows]

Reads tools/mutations.txt: blocks separated by blank lines, each

    name: a short name
    file: src/... (relative to the repository)
    find: text that occurs exactly once in the file (may span lines; end it with a line "----")
    ----
    into: the text that replaces it (end it with a line "----")
    ----

For each mutation the file is changed in place, the tests are built in DIR
(default build-mutate, configured once, no benchmarks) and run with ctest; the
file is restored afterwards whatever happens. A mutation is "caught" when the
build fails or a test fails, "missed" when everything passes. Prints one line
per mutation and a summary; exits 1 when any was missed.

Mutations whose name begins with "win:" concern the Windows program: with
--windows they are built with mingw-w64 (in DIR-windows) and the tests of DIR
run against that program under wine, as CI does; without it they are skipped.
"""
import argparse
import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent


def parse(text):
    mutations = []
    lines = text.splitlines()
    i = 0
    current = {}
    while i < len(lines):
        line = lines[i]
        if not line.strip() or line.startswith("#"):
            i += 1
            continue
        key, _, value = line.partition(":")
        key = key.strip()
        if key in ("find", "into"):
            body = [value[1:] if value.startswith(" ") else value] if value.strip() else []
            i += 1
            while i < len(lines) and lines[i] != "----":
                body.append(lines[i])
                i += 1
            current[key] = "\n".join(body)
            i += 1
            if key == "into":
                mutations.append(current)
                current = {}
            continue
        current[key] = value.strip()
        i += 1
    return mutations


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build-mutate")
    ap.add_argument("--only", default="")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--jobs", default="2")
    ap.add_argument("--mutations", default=str(ROOT / "tools" / "mutations.txt"))
    ap.add_argument("--windows", action="store_true")
    args = ap.parse_args()
    mutations = parse(pathlib.Path(args.mutations).read_text(encoding="utf-8"))
    if not args.windows:
        mutations = [m for m in mutations if not m["name"].startswith("win:")]
    if args.only:
        wanted = set(args.only.split(","))
        mutations = [m for m in mutations if m["name"] in wanted]
    for m in mutations:
        text = (ROOT / m["file"]).read_text(encoding="utf-8")
        count = text.count(m["find"])
        if count != 1:
            sys.exit(f"{m['name']}: the text to change occurs {count} times in {m['file']}")
    if args.list:
        for m in mutations:
            print(f"{m['name']:32} {m['file']}")
        return 0
    build = ROOT / args.build
    if not (build / "CMakeCache.txt").exists():
        r = run(["cmake", "-S", ".", "-B", str(build), "-DRECODIA_BUILD_BENCH=OFF"])
        if r.returncode:
            sys.exit(r.stdout)
    r = run(["cmake", "--build", str(build), "-j", args.jobs])
    if r.returncode:
        sys.exit("the unchanged tree does not build:\n" + r.stdout[-3000:])
    windows = pathlib.Path(str(build) + "-windows")
    test_env = dict(os.environ, GTEST_BRIEF="1")
    if any(m["name"].startswith("win:") for m in mutations):
        if not (windows / "CMakeCache.txt").exists():
            r = run(["cmake", "-S", ".", "-B", str(windows), "-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake",
                     "-DRECODIA_BUILD_TESTS=OFF", "-DRECODIA_BUILD_BENCH=OFF"])
            if r.returncode:
                sys.exit(r.stdout)
        prefix = tempfile.mkdtemp(prefix="recodia-mutate-wine.")
        wine_env = dict(test_env, WINEPREFIX=prefix, WINEDEBUG="-all", LC_ALL="C.UTF-8",
                        RECODIA_TEST_PROGRAM="wine " + str(windows / "recodia.exe"))
        subprocess.run(["wineserver", "-p"], env=wine_env, check=True)
        subprocess.run(["wine", "wineboot", "--init"], env=wine_env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    missed = []
    for m in mutations:
        path = ROOT / m["file"]
        original = path.read_text(encoding="utf-8")
        start = time.time()
        try:
            path.write_text(original.replace(m["find"], m["into"], 1), encoding="utf-8")
            on_windows = m["name"].startswith("win:")
            b = run(["cmake", "--build", str(windows if on_windows else build), "-j", args.jobs]
                    + (["--target", "recodia"] if on_windows else []))
            if b.returncode:
                verdict = "caught (build)"
            else:
                # The Windows program is run by the whole-program tests, as CI runs it.
                t = run(["ctest", "--test-dir", str(build), "-j", args.jobs, "--stop-on-failure", "--timeout", "300"]
                        + (["-L", "program", "-E", r"^(Packaging|Seam)\."] if on_windows else []),
                        env=wine_env if on_windows else test_env)
                if re.search(r"\*\*\*Timeout", t.stdout):
                    # A hang says nothing of the mutation: wine now and then waits for its server forever.
                    verdict = "TIMED OUT (not counted as caught)"
                    missed.append(m["name"])
                elif t.returncode:
                    # The tests in the order they failed (the summary at the end
                    # also lists those that the stop cut short).
                    failed = re.findall(r"Test +#\d+: (\S+) \.*\*+Failed", t.stdout)
                    verdict = "caught by " + (", ".join(failed[:3]) or "a failing test")
                else:
                    verdict = "MISSED"
                    missed.append(m["name"])
        finally:
            path.write_text(original, encoding="utf-8")
            os.utime(path)
        print(f"{m['name']:32} {verdict}  ({time.time() - start:.0f} s)", flush=True)
    run(["cmake", "--build", str(build), "-j", args.jobs])
    if any(m["name"].startswith("win:") for m in mutations):
        run(["cmake", "--build", str(windows), "-j", args.jobs, "--target", "recodia"])
        subprocess.run(["wineserver", "-k"], env=wine_env)
        shutil.rmtree(prefix, ignore_errors=True)
    print(f"\n{len(mutations) - len(missed)} of {len(mutations)} mutations caught")
    if missed:
        print("missed: " + ", ".join(missed))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
