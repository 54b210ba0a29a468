#!/usr/bin/env python3
"""UTF-16 in and out, beside glibc's iconv on the same files with the same output.

Generates, in a temporary folder (deleted afterwards), Russian prose and German
prose of about 60 MB each in UTF-16LE with a byte-order mark and CR LF line
ends, as Windows writes it, and the same texts in UTF-8. Then times,
interleaved and repeated, for each text:

    iconv -f UTF-16 -t UTF-8          recodia -utf16 -toutf8 -noaltlf
    iconv -f UTF-8 -t UTF-16LE        recodia -utf8 -toutf16 -noaltlf

(-noaltlf keeps the line ends, as iconv does; recodia's output is checked to
be iconv's byte for byte, with the byte-order mark that -toutf16 writes first),
and recodia with the targets' own line ends (-toutf8 writes LF, -toutf16 CR LF).
Prints the median throughput in MB of input per second, the ratio to iconv's
time, the ratio to iconv's processor time (user and system, from GNU time: the
fairer measure where other work shares the machine), and the peak resident
memory; last, recodia's peak memory on a tenth of the input, to show that it
does not grow with the file.

Usage:  cmake --build <build dir> --target bench_unicode_forms
   or:  python3 bench/unicode_forms.py --recodia <build dir>/recodia [--size-mb 60] [--repeat 7]
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from throughput import gnu_time, make_text, run_once  # noqa: E402  (the prose and the timing of the throughput benchmark)

GERMAN = """
der die das und ist nicht ein eine zu den von mit sich des auf für im dem
Straße Größe schön Mädchen Bäcker fährt über Tür Brötchen heißt Äpfel Öl
Jürgen Müller Käse grün müssen können würde hätte wäre während außerdem
Haus Garten Stadt Brief Großmutter Woche Abend Morgen Wasser Wald Feld
""".split()


def german_text(rng, size):
    """About `size` characters of German prose, lines of 72, CR LF."""
    lines, length, line = [], 0, ""
    while length < size:
        word = rng.choice(GERMAN)
        if rng.random() < 0.1:
            word += rng.choice([",", ".", ";", ":"])
        if rng.random() < 0.03:
            word = "„" + word + "“"
        if len(line) + 1 + len(word) > 72:
            lines.append(line)
            length += len(line) + 2
            line = word
        else:
            line = line + " " + word if line else word
    return "\r\n".join(lines) + "\r\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--recodia", required=True, help="the built program")
    parser.add_argument("--size-mb", type=int, default=60, help="size of each UTF-16 input (default 60)")
    parser.add_argument("--repeat", type=int, default=7, help="timed runs of each command (default 7)")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    recodia = os.path.abspath(args.recodia)
    if shutil.which("iconv") is None:
        sys.exit("iconv not found")
    timer = gnu_time()
    folder = tempfile.mkdtemp(prefix="recodia-utf16-")
    try:
        rng = random.Random(20)
        chars = args.size_mb * 1_000_000 // 2
        texts = {
            "Russian": make_text(rng, chars, "utf-8", False).decode("utf-8"),
            "German": german_text(rng, chars),
        }
        inputs = []
        for name, text in texts.items():
            utf16, utf8 = os.path.join(folder, name + ".utf16"), os.path.join(folder, name + ".utf8")
            with open(utf16, "wb") as f:
                f.write(b"\xff\xfe" + text.encode("utf-16-le"))
            with open(utf8, "wb") as f:
                f.write(text.encode("utf-8"))
            small = os.path.join(folder, name + ".small.utf16")
            with open(small, "wb") as f:
                f.write(b"\xff\xfe" + text[: len(text) // 10].encode("utf-16-le"))
            inputs.append((name, utf16, utf8, small))
        out = os.path.join(folder, "out")

        def commands(utf16, utf8):
            """(label, argv, input, reference label) in the order they are timed."""
            return [
                ("iconv -f UTF-16 -t UTF-8", ["iconv", "-f", "UTF-16", "-t", "UTF-8", utf16, "-o", out], utf16, None),
                ("recodia -utf16 -toutf8 -noaltlf", [recodia, "-ni", "-utf16", "-toutf8", "-noaltlf", utf16, out], utf16, 0),
                ("recodia -utf16 -toutf8 (LF)", [recodia, "-ni", "-utf16", "-toutf8", utf16, out], utf16, 0),
                ("iconv -f UTF-8 -t UTF-16LE", ["iconv", "-f", "UTF-8", "-t", "UTF-16LE", utf8, "-o", out], utf8, None),
                ("recodia -utf8 -toutf16 -noaltlf", [recodia, "-ni", "-utf8", "-toutf16", "-noaltlf", utf8, out], utf8, 3),
                ("recodia -utf8 -toutf16 (CR LF)", [recodia, "-ni", "-utf8", "-toutf16", utf8, out], utf8, 3),
            ]

        # The same output as iconv's, byte for byte.
        for name, utf16, utf8, _ in inputs:
            for iconv_at, ours_at, mark in ((0, 1, b""), (3, 4, b"\xff\xfe")):
                cmds = commands(utf16, utf8)
                reference = subprocess.run(cmds[iconv_at][1][:-2] + ["-o", "/dev/stdout"], capture_output=True, check=True).stdout
                subprocess.run(cmds[ours_at][1], capture_output=True, check=True)
                with open(out, "rb") as f:
                    if f.read() != mark + reference:
                        sys.exit(f"{name}: {cmds[ours_at][0]} wrote other bytes than {cmds[iconv_at][0]}")

        print(f"{'text':8} {'command':34} {'MB/s':>6} {'x iconv':>8} {'cpu x iconv':>12} {'peak RSS':>10}")
        for name, utf16, utf8, small in inputs:
            cmds = commands(utf16, utf8)
            seconds = [[] for _ in cmds]
            processor = [[] for _ in cmds]
            peaks = [0] * len(cmds)
            for _ in range(args.repeat):
                for k, (_, argv, _, _) in enumerate(cmds):
                    if os.path.exists(out):
                        os.remove(out)
                    s, cpu, peak = run_once(argv, os.devnull, timer, os.path.join(folder, "time"))
                    seconds[k].append(s)
                    processor[k].append(cpu or 0.0)
                    peaks[k] = max(peaks[k], peak or 0)
            medians = [statistics.median(s) for s in seconds]
            cpu = [statistics.median(p) for p in processor]
            for k, (label, _, source, reference) in enumerate(cmds):
                mb = os.path.getsize(source) / 1e6
                at = reference if reference is not None else k
                ratio = medians[at] / medians[k]
                cpu_ratio = f"{cpu[at] / cpu[k]:12.2f}" if cpu[k] > 0 else f"{'-':>12}"
                print(f"{name:8} {label:34} {mb / medians[k]:6.0f} {ratio:8.2f} {cpu_ratio} {peaks[k] / 1024:7.1f} MiB")
            _, _, small_peak = run_once([recodia, "-ni", "-utf16", "-toutf8", small, out], os.devnull, timer,
                                        os.path.join(folder, "time"))
            if small_peak:
                print(f"{name:8} recodia -utf16 -toutf8 on a tenth of the input: peak RSS {small_peak / 1024:.1f} MiB")
    finally:
        if args.keep:
            print("files kept in", folder)
        else:
            shutil.rmtree(folder)


if __name__ == "__main__":
    main()
