#!/usr/bin/env python3
"""How often "-fix" gives back the text that a wrong decoding damaged, and how
often it touches text that was sound.

Takes the held-out part of the prose (tools/prose.py: whole packages that the
detector's model never saw) in each of its 18 languages, cuts it into samples
of 100 and 400 characters (one to a line), and damages each sample by a chain of
wrong decodings: the text written in one encoding and read as another (a byte
the reading page has no character for in 0x80..0x9F is read as the C1 control
of its number, as browsers do), one step, or two (saved as UTF-8 in between).
Each damaged file is stored as UTF-8 and as the last wrong page, and run through
`recodia -fix` (as UTF-8, or with the wrong page's source switch) into UTF-8: a
sample is recovered when its line comes back exactly. Then the lost bytes:
UTF-8 read as Windows 1251, whose 0x98 (the second byte of И and ј) arrives as
`?` or U+FFFD. Last, the sound samples, in UTF-8 and in every single-byte
source that holds the language, named by its switch: any line changed is a
false repair.

Then the speed: a sound and a damaged file of 16 MB, with and without -fix.

Usage:  cmake --build <build dir> --target bench_repair
   or:  python3 bench/repair_accuracy.py --recodia <build dir>/recodia --tables <build dir>/recodia-tables.json [--quick]
"""
import argparse
import os
import random
import subprocess
import sys
import tempfile
import time
from collections import defaultdict

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import detect_accuracy  # noqa: E402  (the held-out prose)
prose = detect_accuracy.prose
recodia_tables = detect_accuracy.recodia_tables

LENGTHS = [100, 400]
# The chains, by the registry's names: (original, read as) in the order they
# happened. One step: each script's usual suspects; two steps: UTF-8 read
# wrongly, saved as UTF-8, read wrongly again, and a code page's mix-up
# carried into UTF-8.
ONE_STEP = {
    "cyrillic": [("UTF-8", "Windows-1251"), ("UTF-8", "Windows-1252"), ("UTF-8", "CP866"), ("UTF-8", "KOI8-R"),
                 ("UTF-8", "ISO-8859-5"), ("UTF-8", "MacCyrillic"),
                 ("Windows-1251", "KOI8-R"), ("KOI8-R", "Windows-1251"), ("Windows-1251", "CP866"),
                 ("CP866", "Windows-1251"), ("KOI8-R", "CP866"), ("CP866", "KOI8-R"), ("Windows-1251", "Windows-1252"),
                 ("KOI8-R", "Windows-1252"), ("CP866", "Windows-1252"), ("ISO-8859-5", "Windows-1251"),
                 ("Windows-1251", "ISO-8859-5"), ("MacCyrillic", "Windows-1251"), ("Windows-1251", "MacCyrillic"),
                 ("KOI8-U", "Windows-1251"), ("Windows-1251", "KOI8-U")],
    "latin": [("UTF-8", "Windows-1252"), ("UTF-8", "Windows-1251"), ("UTF-8", "CP850"), ("UTF-8", "MacRoman"),
              ("UTF-8", "ISO-8859-15"), ("UTF-8", "Windows-1254"),
              ("Windows-1252", "Windows-1251"), ("Windows-1252", "CP850"), ("CP850", "Windows-1252"),
              ("Windows-1252", "MacRoman"), ("MacRoman", "Windows-1252"), ("Windows-1252", "CP866"),
              ("Windows-1254", "Windows-1252"), ("Windows-1254", "Windows-1251"), ("CP857", "Windows-1254"),
              ("Windows-1254", "CP857"), ("ISO-8859-15", "Windows-1252")],
}
TWO_STEP = {
    "cyrillic": [(("UTF-8", "Windows-1252"), ("UTF-8", "Windows-1252")),
                 (("UTF-8", "Windows-1251"), ("UTF-8", "Windows-1251")),
                 (("UTF-8", "Windows-1251"), ("UTF-8", "Windows-1252")),
                 (("UTF-8", "Windows-1252"), ("UTF-8", "Windows-1251")),
                 (("Windows-1251", "KOI8-R"), ("UTF-8", "Windows-1252")),
                 (("Windows-1251", "Windows-1252"), ("UTF-8", "Windows-1252")),
                 (("KOI8-R", "Windows-1251"), ("UTF-8", "Windows-1251"))],
    "latin": [(("UTF-8", "Windows-1252"), ("UTF-8", "Windows-1252")),
              (("UTF-8", "Windows-1252"), ("UTF-8", "Windows-1251")),
              (("UTF-8", "MacRoman"), ("UTF-8", "Windows-1252")),
              (("Windows-1252", "CP850"), ("UTF-8", "Windows-1252")),
              (("Windows-1254", "Windows-1252"), ("UTF-8", "Windows-1252"))],
}
SAMPLES = {100: 40, 400: 15}      # per language, chain and length
CLEAN_SAMPLES = {100: 250, 400: 80}  # per language and length, each in every encoding that holds it


def script_of(language):
    return next(l[2] for l in prose.LANGUAGES if l[0] == language)


class Codec:
    """An encoding of the registry (its entry in the engine's tables), or UTF-8, both ways."""

    def __init__(self, name, by_name):
        self.name = name
        self.page = by_name.get(name)
        self.reverse = self.page.writes() if self.page else None

    def encode(self, text):
        if self.page is None:
            return text.encode("utf-8")
        out = bytearray()
        for c in text:
            if c not in self.reverse:
                return None
            out.append(self.reverse[c])
        return bytes(out)

    def decode(self, data):
        """Read as a browser reads: an undefined byte in 0x80..0x9F as its C1 control."""
        if self.page is None:
            return data.decode("utf-8")
        out = []
        for b in data:
            c = self.page.read[b]
            if c is None:
                if not 0x80 <= b <= 0x9F:
                    return None
                c = chr(b)
            out.append(c)
        return "".join(out)


def damaged(text, chain, codecs):
    for original, wrong in chain:
        data = codecs[original].encode(text)
        if data is None:
            return None
        text = codecs[wrong].decode(data)
        if text is None:
            return None
    return text


def samples(language, length, count, rng):
    """Stretches of held-out prose of about `length` characters, ending at a word."""
    texts = [" ".join(t.split()) for t in detect_accuracy.held_out_texts(language)]
    rng.shuffle(texts)
    stream = " ".join(texts)
    out, at = [], 0
    while len(out) < count and at + length < len(stream):
        cut = stream.rfind(" ", at, at + length + 1)
        cut = at + length if cut <= at else cut
        out.append(stream[at:cut].strip())
        at = cut + 1
    return out


def run_fix(recodia, lines, encoding_switch, folder, data=None):
    """The lines through `recodia -fix`, into UTF-8; the lines that come out."""
    src = os.path.join(folder, "in.txt")
    dst = os.path.join(folder, "out.txt")
    with open(src, "wb") as f:
        f.write(data if data is not None else ("\n".join(lines) + "\n").encode("utf-8"))
    subprocess.run([recodia, "-fix", encoding_switch, "-toutf8", "-q", src, dst], check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(dst, "rb") as f:
        return f.read().decode("utf-8", errors="replace").split("\n")[:-1]


def switch_of(name, by_name):
    return "-utf8" if name == "UTF-8" else by_name[name].source_switches[0]


def accuracy(args, folder):
    encodings = [e for e in recodia_tables.load(args.tables).encodings if e.is_single_byte_source]
    by_name = {e.name: e for e in encodings}
    codecs = {name: Codec(name, by_name) for name in ["UTF-8"] + list(by_name)}
    rng = random.Random(22)
    scale = 0.25 if args.quick else 1
    recall = defaultdict(lambda: [0, 0])  # (steps, length, stored) -> [right, all]
    by_language = defaultdict(lambda: [0, 0])
    by_chain = defaultdict(lambda: [0, 0])
    misses = []
    languages = [l[0] for l in prose.LANGUAGES]
    for language in languages:
        script = "cyrillic" if script_of(language) == "cyrillic" else "latin"
        for length in LENGTHS:
            pool = samples(language, length, int(SAMPLES[length] * scale) * 4, rng)
            chains = [((c,), 1) for c in ONE_STEP[script]] + [(c, 2) for c in TWO_STEP[script]]
            for chain, steps in chains:
                originals, texts = [], []
                for s in pool:
                    d = damaged(s, chain, codecs)
                    if d is not None and d != s:
                        originals.append(s)
                        texts.append(d)
                    if len(texts) == int(SAMPLES[length] * scale):
                        break
                if not texts:
                    continue
                wrong = chain[-1][1]
                for stored in ("UTF-8", wrong):
                    if stored == "UTF-8":
                        out = run_fix(args.recodia, texts, "-utf8", folder)
                    else:
                        if any(codecs[wrong].encode(t) is None for t in texts):
                            continue  # C1 controls: no byte of the wrong page holds them
                        data = b"".join(codecs[wrong].encode(t) + b"\n" for t in texts)
                        out = run_fix(args.recodia, texts, switch_of(wrong, by_name), folder, data)
                    for o, got, t in zip(originals, out + [""] * len(originals), texts):
                        right = got == o
                        key = (steps, length, "UTF-8" if stored == "UTF-8" else "page")
                        recall[key][0] += right
                        recall[key][1] += 1
                        by_language[language][0] += right
                        by_language[language][1] += 1
                        name = " then ".join(f"{a} read as {b}" for a, b in chain)
                        by_chain[(script, name)][0] += right
                        by_chain[(script, name)][1] += 1
                        if not right and len(misses) < args.show:
                            misses.append((language, " then ".join(f"{a} read as {b}" for a, b in chain), t, got))
    # Lost bytes: UTF-8 read as Windows 1251, 0x98 arrived as ? or U+FFFD.
    lost = defaultdict(lambda: [0, 0])
    for language in languages:
        if script_of(language) != "cyrillic":
            continue
        pool = [s for s in samples(language, 100, 400, rng) if "\u0418" in s or "\u0458" in s][: int(40 * scale)]
        for stand_in in ("?", "\ufffd"):
            texts = [damaged(s, (("UTF-8", "Windows-1251"),), codecs).replace("\x98", stand_in) for s in pool]
            out = run_fix(args.recodia, texts, "-utf8", folder)
            for o, got in zip(pool, out + [""] * len(pool)):
                lost[stand_in][0] += got == o
                lost[stand_in][1] += 1
    # Sound text: never touched.
    false_repairs, clean_total, by_encoding = 0, 0, defaultdict(lambda: [0, 0])
    false_examples = []
    for language in languages:
        for length in LENGTHS:
            pool = samples(language, length, int(CLEAN_SAMPLES[length] * scale), rng)
            targets = ["UTF-8"] + [e.name for e in encodings if e.form != "koi7"]
            for name in targets:
                held = [s for s in pool if codecs[name].encode(s) is not None]
                if not held or (name != "UTF-8" and len(held) < len(pool) // 2):
                    continue
                if name == "UTF-8":
                    out = run_fix(args.recodia, held, "-utf8", folder)
                else:
                    data = b"".join(codecs[name].encode(t) + b"\n" for t in held)
                    out = run_fix(args.recodia, held, switch_of(name, by_name), folder, data)
                for s, got in zip(held, out + [""] * len(held)):
                    clean_total += 1
                    by_encoding[name][1] += 1
                    if got != s:
                        false_repairs += 1
                        by_encoding[name][0] += 1
                        if len(false_examples) < args.show:
                            false_examples.append((language, name, s, got))
    accuracy.by_chain = by_chain
    return recall, by_language, lost, false_repairs, clean_total, by_encoding, misses, false_examples


def speed(args, folder):
    """MB/s of a plain conversion and of -fix, on sound and on damaged text."""
    texts = detect_accuracy.held_out_texts("ru") + detect_accuracy.held_out_texts("fr")
    body = "\n".join(" ".join(t.split()) for t in texts) + "\n"
    sound = (body * (1 + (16 << 20) // len(body.encode())))
    damaged_text = sound.encode("utf-8").decode("cp1251", errors="replace")
    rows = []
    for label, text in (("sound UTF-8", sound), ("UTF-8 read as Windows-1251", damaged_text)):
        path = os.path.join(folder, "speed.txt")
        data = text.encode("utf-8")
        with open(path, "wb") as f:
            f.write(data)
        times = {}
        for mode, extra in (("plain", []), ("-fix", ["-fix"])):
            best = None
            for _ in range(3):
                start = time.perf_counter()
                subprocess.run([args.recodia, *extra, "-utf8", "-toutf8", "-q", path, os.path.join(folder, "o.txt")], check=True)
                t = time.perf_counter() - start
                best = t if best is None else min(best, t)
            times[mode] = len(data) / 1e6 / best
        rows.append((label, len(data) / 1e6, times["plain"], times["-fix"]))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--recodia", required=True)
    parser.add_argument("--tables", required=True, help="path of recodia-tables.json (the target tables_json)")
    parser.add_argument("--quick", action="store_true", help="a quarter of the samples")
    parser.add_argument("--show", type=int, default=10, help="how many misses to show")
    parser.add_argument("--no-speed", action="store_true")
    parser.add_argument("--speed-only", action="store_true")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        if args.speed_only:
            print_speed(args, folder)
            return
        recall, by_language, lost, false_repairs, clean_total, by_encoding, misses, false_examples = accuracy(args, folder)
        print("Recall: the original text back exactly\n")
        print("| Chain | Length | Stored as | Recovered | Samples |")
        print("|---|---|---|---|---|")
        for steps in (1, 2):
            right = sum(v[0] for k, v in recall.items() if k[0] == steps)
            total = sum(v[1] for k, v in recall.items() if k[0] == steps)
            for (s, length, stored), (r, n) in sorted(recall.items()):
                if s == steps:
                    print(f"| {'one step' if s == 1 else 'two steps'} | {length} | {stored} | {100 * r / n:.2f} % | {n} |")
            print(f"| **{'one step' if steps == 1 else 'two steps'}** | all | all | **{100 * right / max(total, 1):.2f} %** | {total} |")
        print("\nChains below 99 %: " + "; ".join(f"{s} {c} {100 * r / n:.1f} %" for (s, c), (r, n) in accuracy.by_chain.items() if r < 0.99 * n))
        print("\nBy language: " + ", ".join(f"{l} {100 * r / n:.1f} %" for l, (r, n) in by_language.items()))
        print("\nLost bytes (UTF-8 read as Windows-1251, 0x98 lost): " +
              ", ".join(f"as {'U+FFFD' if k != '?' else '?'}: {100 * r / max(n, 1):.1f} % of {n}" for k, (r, n) in lost.items()))
        print(f"\nFalse repairs on sound text: {false_repairs} in {clean_total}")
        for name, (bad, n) in by_encoding.items():
            if bad:
                print(f"  {name}: {bad} of {n}")
        for m in misses:
            print("miss:", m)
        for m in false_examples:
            print("false:", m)
        if not args.no_speed:
            print_speed(args, folder)


def print_speed(args, folder):
    print("\n| Text | MB | plain MB/s | -fix MB/s |")
    print("|---|---|---|---|")
    for label, mb, plain, fix in speed(args, folder):
        print(f"| {label} | {mb:.0f} | {plain:.0f} | {fix:.1f} |")


if __name__ == "__main__":
    main()
