#!/usr/bin/env python3
"""How often the encoding detector is right, beside uchardet and enca.

Takes the held-out part of the prose (tools/prose.py: whole packages that the
model never saw) in Russian, Ukrainian, Belarusian, Bulgarian, Serbian,
Macedonian, Turkish, French, German, Spanish, Portuguese, Italian, Dutch,
Danish, Swedish, Norwegian, Icelandic and Finnish; encodes each language in
every source encoding that holds its alphabet (messages with a character the
encoding lacks are left out, except that typographic quotes, dashes and spaces
become their ASCII forms, and KX and KOI-7 write Ё as Е as Recodia does); cuts
the text into samples of 100 bytes, 1 KB and 10 KB; and asks the detector,
uchardet and enca (told the language, where it knows it) about each sample.

An answer is right when the sample reads as the same text through the answered
encoding as through the true one: Russian in KOI8-U without Ukrainian letters
is right as KOI8-R, French in Windows 1254 right as Windows 1252, and plain
ASCII right as "ascii". An encoding a tool names that Recodia does not know is
judged by Python's codec of that name.

Last, times the detection of 1 MB of text in four encodings.

Usage:  cmake --build <build dir> --target bench_detect
   or:  python3 bench/detect_accuracy.py --detect <build dir>/bench/recodia_detect_files [--keep DIR]
"""
import argparse
import codecs
import functools
import os
import re
import shutil
import subprocess
import sys
import tempfile
from collections import defaultdict

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import gen_code_pages  # noqa: E402
import prose  # noqa: E402

SIZES = [(100, "100 B", 100), (1000, "1 KB", 40), (10000, "10 KB", 8)]  # size, label, samples per language
FALLBACKS = {"«": '"', "»": '"', "„": '"', "“": '"', "”": '"', "‘": "'", "’": "'", "‚": "'",
             "–": "-", "—": "-", "…": "...", "\u00a0": " ", "\u202f": " ", "\u2009": " ", "•": "*"}
ENCA_LANGUAGES = {"ru": "russian", "uk": "ukrainian", "be": "belarusian", "bg": "bulgarian"}
# Names that uchardet and enca give and Python's codecs do not know by that name.
CODEC_ALIASES = {"mac-cyrillic": "mac_cyrillic", "maccyrillic": "mac_cyrillic", "ibm866": "cp866",
                 "ibm855": "cp855", "ibm852": "cp852", "ibm775": "cp775", "mac-centraleurope": "mac_latin2",
                 "maccentraleurope": "mac_latin2", "x-mac-cyrillic": "mac_cyrillic", "ascii": "ascii",
                 "7bit": "ascii", "iso-8859-16": "iso8859_16", "windows-1258": "cp1258", "koi8-uni": "koi8_u"}


class Encoding:
    """A source encoding of the registry, with its byte-to-character table
    built here from the same published sources as the code pages."""

    def __init__(self, ident, name, script, page):
        self.ident, self.name, self.script = ident, name, script
        tables = gen_code_pages.read_tables()
        self.table = list(tables[ident] if ident in ("kKx", "kKoi7") else tables[page])
        self.reverse = {}
        # KOI-7 writes 0x20..0x3F in the Cyrillic half, and KX Zh zh at 0xB0 0xB1, as Recodia does.
        order = range(255, -1, -1) if ident in ("kKoi7", "kKx") else range(256)
        for b in order:
            if self.table[b] is not None and self.table[b] not in self.reverse:
                self.reverse[self.table[b]] = b

    def decode(self, data):
        out = [self.table[b] for b in data]
        return None if None in out else "".join(out)

    def encode(self, text):
        """The text in this encoding, or None when it holds a letter the
        encoding lacks."""
        if self.ident in ("kKx", "kKoi7"):
            text = text.replace("Ё", "Е").replace("ё", "е")
        out = bytearray()
        for c in text:
            if c not in self.reverse:
                c = FALLBACKS.get(c)
                if c is None or any(x not in self.reverse for x in c):
                    return None
            out += bytes(self.reverse[x] for x in c)
        return bytes(out)


def registry():
    """The source encodings, in the registry's order."""
    text = open(os.path.join(ROOT, "src/convert/registry.hpp"), encoding="utf-8").read()
    out = []
    for m in re.finditer(r'\{(k\w+), "([^"]+)", "(?:[^"\\]|\\.)*", Script::(\w+),\s*switches\(([^)]*)\),'
                         r'.*?(?:&code_pages::(\w+)|nullptr),[^}]*\}', text, re.S):
        ident, name, script, sources, page = m.groups()
        if sources.strip() and script != "unicode":
            out.append(Encoding(ident, name, script, page))
    return out


def alphabet(texts):
    """The letters of a language: those with a share of at least 1/2000 of its text's letters."""
    counts = defaultdict(int)
    for t in texts:
        for c in t:
            if c.isalpha():
                counts[c] += 1
    total = sum(counts.values())
    return {c for c, n in counts.items() if n * 2000 >= total}


def holds(encoding, letters):
    for c in letters:
        if encoding.ident in ("kKx", "kKoi7") and c in "Ёё":
            continue
        if c not in encoding.reverse:
            return False
    return True


@functools.cache
def held_out_texts(code):
    """A language's held-out prose, read once for the samples and the timing."""
    return prose.split(code)[1]


def encoded_stream(e, texts):
    """The texts that encoding `e` can hold, in it, one after another."""
    return b"\n".join(x for x in (e.encode(t) for t in texts) if x is not None)


def make_samples(encodings, folder):
    """Writes the samples; returns [(path, encoding, language, size label)]."""
    samples = []
    for code, name, script, _ in prose.LANGUAGES:
        texts = held_out_texts(code)
        letters = alphabet(texts)
        for e in encodings:
            if (script == "cyrillic") != (e.script == "cyrillic") or not holds(e, letters):
                continue
            stream = encoded_stream(e, texts)
            for size, label, wanted in SIZES:
                count = min(wanted, len(stream) // size)
                stride = len(stream) // max(count, 1)
                for i in range(count):
                    path = os.path.join(folder, f"{e.ident}-{code}-{size}-{i}")
                    with open(path, "wb") as f:
                        f.write(stream[i * stride:i * stride + size])
                    samples.append((path, e, code, label))
    return samples


def run_batched(command, paths, batch=2000):
    """{path: answer} from a tool that prints `PATH: ANSWER...` per file."""
    answers = {}
    for i in range(0, len(paths), batch):
        out = subprocess.run(command + paths[i:i + batch], capture_output=True, text=True).stdout
        for line in out.splitlines():
            path, _, answer = line.partition(": ")
            answers[path] = answer.strip()
    return answers


def decoder(answer, by_name):
    """A function from bytes to text (None when it cannot be read) for an answer."""
    if answer in by_name:
        return by_name[answer].decode
    key = answer.split()[0].lower() if answer else ""
    if key in ("utf8", "utf-8"):
        key = "utf-8"
    if key == "ascii" or key == "7bit":
        key = "ascii"
    key = CODEC_ALIASES.get(key, key)
    try:
        codecs.lookup(key)
    except LookupError:
        return None

    def decode(data):
        try:
            return data.decode(key)
        except UnicodeDecodeError:
            return None
    return decode


def judge(samples, answers, by_name, wrong=None):
    """{(encoding name, size label): (right, answered, total)}; the samples
    read wrong go to `wrong` as (path, answer)."""
    table = defaultdict(lambda: [0, 0, 0])
    for path, e, _, label in samples:
        row = table[e.name, label]
        row[2] += 1
        answer = answers.get(path, "")
        read = decoder(answer, by_name)
        if read is None:
            continue
        row[1] += 1
        data = open(path, "rb").read()
        if read(data) == e.decode(data):
            row[0] += 1
        elif wrong is not None:
            wrong.append((path, answer))
    return table


def percent(cell):
    right, answered, total = cell
    if answered == 0:
        return "—"
    return f"{100 * right / total:.1f}"


def timing(detect, encodings, folder):
    by_ident = {e.ident: e for e in encodings}
    lines = []
    for ident, code in [("kWindows1251", "ru"), ("kKoi8r", "ru"), ("kWindows1252", "fr"), ("kWindows1254", "tr")]:
        e = by_ident[ident]
        stream = encoded_stream(e, held_out_texts(code))
        data = (stream * (1_000_000 // len(stream) + 1))[:1_000_000]
        path = os.path.join(folder, f"time-{ident}-{code}")
        open(path, "wb").write(data)
        out = subprocess.run([detect, "--time", path], capture_output=True, text=True, check=True).stdout
        lines.append(f"{e.name} ({code}): " + out.split(": ", 1)[1].strip())
    return lines


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--detect", required=True, help="path of recodia_detect_files")
    ap.add_argument("--keep", help="write the samples into this folder and keep them, with the list of\n"
                    "those the detector read wrong in wrong.txt")
    args = ap.parse_args()
    folder = args.keep or tempfile.mkdtemp(prefix="recodia-detect-")
    os.makedirs(folder, exist_ok=True)
    try:
        encodings = registry()
        by_name = {e.name: e for e in encodings}
        samples = make_samples(encodings, folder)
        paths = [s[0] for s in samples]
        ours = run_batched([args.detect], paths)
        ours = {p: a.rsplit(" ", 1)[0] for p, a in ours.items()}
        uchardet = run_batched(["uchardet"], paths) if shutil.which("uchardet") else {}
        enca = {}
        if shutil.which("enca"):
            for code in {s[2] for s in samples}:
                batch = [s[0] for s in samples if s[2] == code]
                enca.update(run_batched(["enca", "-i", "-L", ENCA_LANGUAGES.get(code, "none")], batch))
        wrong = []
        results = {tool: judge(samples, answers, by_name, wrong if tool == "recodia" else None)
                   for tool, answers in (("recodia", ours), ("uchardet", uchardet), ("enca", enca))}
        if args.keep:
            with open(os.path.join(folder, "wrong.txt"), "w") as f:
                f.writelines(f"{path}: {answer}\n" for path, answer in wrong)

        print(f"{len(samples)} samples; share read right, in percent (— where the tool never answers)\n")
        header = "| encoding | languages |" + "".join(f" {l}: recodia | uchardet | enca |" for _, l, _ in SIZES)
        print(header)
        print("|" + " --- |" * (2 + 3 * len(SIZES)))
        missed = []
        for e in encodings:
            langs = sorted({s[2] for s in samples if s[1] is e})
            cells = []
            for _, label, _ in SIZES:
                mine = results["recodia"][e.name, label]
                cells += [percent(mine), percent(results["uchardet"][e.name, label]),
                          percent(results["enca"][e.name, label])]
                goal = {"100 B": 95, "1 KB": 99}.get(label)
                if mine[2] and goal and 100 * mine[0] / mine[2] < goal:
                    missed.append(f"{e.name} at {label}: {percent(mine)} % < {goal} %")
                for tool in ("uchardet", "enca"):
                    theirs = results[tool][e.name, label]
                    if theirs[1] and theirs[0] > mine[0]:
                        missed.append(f"{e.name} at {label}: behind {tool}")
            print(f"| {e.name} | {' '.join(langs)} |" + "".join(f" {c} |" for c in cells))
        print("\nGoals missed: " + ("none" if not missed else "; ".join(missed)))
        print("\nTime to decide 1 MB (median; the detector reads the first "
              "64 KiB; 'every byte' runs it on all sixteen 64 KiB pieces):")
        for line in timing(args.detect, encodings, folder):
            print("  " + line)
    finally:
        if not args.keep:
            shutil.rmtree(folder)


if __name__ == "__main__":
    main()
