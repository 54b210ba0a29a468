#!/usr/bin/env python3
"""Each kernel of the fast paths beside glibc's iconv and beside the floor.

Builds the program once per kernel that this processor runs (RECODIA_KERNEL,
in build folders beside the given one), generates 200 MB of Russian prose in
Windows 1251, the same prose in UTF-8 and in KOI8-R on a memory file system,
and times, alternated and repeated, each mode through each kernel, iconv in
the same conversion, and the floor: a plain read()+write() copy with a 64 KiB
buffer (dd bs=64K). Prints per mode and kernel the time as a multiple of
iconv's (x iconv: how many times faster) and of the floor's (/ floor).

Usage:  cmake --build <build dir> --target bench_kernels
   or:  python3 bench/kernels.py --build <build dir> [--size-mb 200] [--repeat 5] [--kernel-builds PREFIX]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import throughput  # noqa: E402  (the prose generator)

KERNELS = ["scalar", "portable", "avx2", "avx512", "neon"]

# (switches, input, iconv's source and target, or None where iconv has no such conversion)
MODES = [
    (["-w", "-tokoi8"], "win", ("CP1251", "KOI8-R")),
    (["-w", "-toutf8"], "win", ("CP1251", "UTF-8")),
    (["-utf8", "-tow"], "utf", ("UTF-8", "CP1251")),
    (["-utf8", "-tokoi8"], "utf", ("UTF-8", "KOI8-R")),
    (["-koi8", "-totl"], "koi", None),
    (["-w", "-tokoi8", "-html"], "win", ("CP1251", "KOI8-R")),
    (["-auto", "-toutf8"], "win", ("CP1251", "UTF-8")),
    (["-noenc"], "win", ("CP1251", "KOI8-R")),
    (["-w", "-tokoi8", "-i"], "win", ("CP1251", "KOI8-R")),
]


def build_kernel(source, prefix, kernel):
    folder = f"{prefix}{kernel}"
    subprocess.run(["cmake", "-S", source, "-B", folder, "-DCMAKE_BUILD_TYPE=Release", "-DRECODIA_BUILD_TESTS=OFF",
                    "-DRECODIA_BUILD_BENCH=OFF", f"-DRECODIA_KERNEL={kernel}"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", folder, "-j2", "--target", "recodia"], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(folder, "recodia")


def offered_kernels(engine_tests):
    """The kernels this processor runs, as the engine's tests name those it cannot."""
    out = subprocess.run([engine_tests, "--gtest_filter=FastPath.Utf8DecodingAsThePlainOneAtEveryCut"],
                         capture_output=True, text=True).stdout
    missing = set()
    for line in out.splitlines():
        if "cannot run" in line:
            missing.update(line.split(":")[-1].split())
    return [k for k in KERNELS if k not in missing]


def timed(argv, prepare=None):
    if prepare:
        prepare()
    start = time.perf_counter()
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="the build folder (with the engine's tests built)")
    parser.add_argument("--size-mb", type=int, default=200)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--kernel-builds", help="where the per-kernel builds go: this, then the kernel's name "
                        "(default: the build folder, then -kernel-)")
    args = parser.parse_args()
    source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.abspath(args.build)
    kernels = offered_kernels(os.path.join(build, "tests", "recodia_engine_tests"))
    prefix = os.path.abspath(args.kernel_builds) if args.kernel_builds else build + "-kernel-"
    programs = {k: build_kernel(source, prefix, k) for k in kernels}
    folder = tempfile.mkdtemp(prefix="recodia-kernels-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    try:
        import random
        chunk = throughput.make_text(random.Random(1251), 4 * throughput.MB, "cp1251", box=False)
        size = args.size_mb * throughput.MB
        files = {"win": os.path.join(folder, "win.txt"), "utf": os.path.join(folder, "utf.txt"),
                 "koi": os.path.join(folder, "koi.txt")}
        throughput.write_repeated(files["win"], chunk, size)
        throughput.write_repeated(files["utf"], chunk.decode("cp1251").encode("utf-8"), size)
        throughput.write_repeated(files["koi"], chunk.decode("cp1251").encode("koi8-r", "replace"), size)
        out = os.path.join(folder, "out")
        work = os.path.join(folder, "in-place.txt")
        print(f"{args.size_mb} MB inputs in {folder}; median of {args.repeat}; kernels: {' '.join(kernels)}\n")
        header = f"{'mode':<22}" + "".join(f"{k + ': x iconv / floor':>28}" for k in kernels)
        print(header)
        for switches, name, against in MODES:
            path = files[name]
            runs = {k: [] for k in kernels}
            floor, iconv = [], []
            in_place = "-i" in switches
            for _ in range(args.repeat):
                floor.append(timed(["dd", f"if={path}", f"of={out}", "bs=64K", "status=none"]))
                if against:
                    iconv.append(timed(["iconv", "-c", "-f", against[0], "-t", against[1], "-o", out, path]))
                for k in kernels:
                    if in_place:
                        runs[k].append(timed([programs[k], "-ni", *switches, work],
                                             prepare=lambda: shutil.copyfile(path, work)))
                    else:
                        runs[k].append(timed([programs[k], "-ni", *switches, path, out]))
            f, i = statistics.median(floor), statistics.median(iconv) if iconv else None
            cells = []
            for k in kernels:
                t = statistics.median(runs[k])
                times_iconv = f"{i / t:.1f}" if i else "-"
                cells.append(f"{times_iconv + ' / ' + format(t / f, '.2f'):>28}")
            print(f"{' '.join(switches):<22}" + "".join(cells), flush=True)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
