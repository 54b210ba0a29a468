#!/usr/bin/env python3
"""How often the encoding detector is right, beside uchardet and enca.

Takes the held-out part of the prose (tools/prose.py: whole packages that the
model never saw) in Russian, Ukrainian, Belarusian, Bulgarian, Serbian,
Macedonian, Turkish, French, German, Spanish, Portuguese, Italian, Dutch,
Danish, Swedish, Norwegian, Icelandic and Finnish; encodes each language in
every source encoding that holds its alphabet (messages with a character the
encoding lacks are left out, except that typographic quotes, dashes and spaces
become their ASCII forms, and KX and KOI-7 write Ё as Е as Recodia does); cuts
the text into samples of 30 bytes, 100 bytes, 1 KB and 10 KB; and asks the
detector, uchardet and enca (told the language, where it knows it) about each
sample. Beside prose it makes the shapes that real files have, from the same
held-out text at 1 KB: all capitals, source code with comments in the
language, log lines, HTML, CSV, lines indented by no-break spaces, and one-line
JSON; and it runs the failure probes: binaries (an ELF program, PNG, gzip, PDF,
a gettext catalogue, random bytes), UTF-8 with one stray byte of a code page,
UTF-8 followed by Windows 1251, halves in Windows 1251 and KOI8-R, 80 KB of
ASCII and a Russian tail, a long one-line JSON ending in Russian, Turkish log
lines, and French and Russian in UTF-16 and UTF-32 of either byte order, with a
byte-order mark and without. Every answer that the detector calls sure is checked: a sure answer
that is wrong is listed, and the table of margins shows how many sure answers
would be wrong at each threshold (the calibration of "sure").

An answer is right when the sample reads as the same text through the answered
encoding as through the true one: Russian in KOI8-U without Ukrainian letters
is right as KOI8-R, French in Windows 1254 right as Windows 1252, and plain
ASCII right as "ascii". An encoding a tool names that Recodia does not know is
judged by Python's codec of that name.

Last, times the detection of 1 MB of text in four encodings.

Usage:  cmake --build <build dir> --target bench_detect
   or:  python3 bench/detect_accuracy.py --detect <build dir>/bench/recodia_detect_files
            --tables <build dir>/recodia-tables.json [--keep DIR]
The encodings and their code pages are the engine's own (the JSON of
`cmake --build <build dir> --target tables_json`).
"""
import argparse
import codecs
import functools
import glob
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
from collections import defaultdict

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import prose  # noqa: E402
import recodia_tables  # noqa: E402

SIZES = [(30, "30 B", 150), (100, "100 B", 100), (1000, "1 KB", 40), (10000, "10 KB", 8)]  # size, label, samples per language
SHAPES = ["caps", "code", "log", "html", "csv", "nbsp", "json"]
SHAPE_SAMPLES = 6  # per shape, encoding and language, at 1 KB
FALLBACKS = {"«": '"', "»": '"', "„": '"', "“": '"', "”": '"', "‘": "'", "’": "'", "‚": "'",
             "–": "-", "—": "-", "…": "...", "\u00a0": " ", "\u202f": " ", "\u2009": " ", "•": "*"}
ENCA_LANGUAGES = {"ru": "russian", "uk": "ukrainian", "be": "belarusian", "bg": "bulgarian"}
# Names that uchardet and enca give and Python's codecs do not know by that name.
CODEC_ALIASES = {"mac-cyrillic": "mac_cyrillic", "maccyrillic": "mac_cyrillic", "ibm866": "cp866",
                 "ibm855": "cp855", "ibm852": "cp852", "ibm775": "cp775", "mac-centraleurope": "mac_latin2",
                 "maccentraleurope": "mac_latin2", "x-mac-cyrillic": "mac_cyrillic", "ascii": "ascii",
                 "7bit": "ascii", "iso-8859-16": "iso8859_16", "windows-1258": "cp1258", "koi8-uni": "koi8_u"}


RUSSIAN = "ЁАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюяё"


class Encoding:
    """A single-byte source encoding of the registry, with the characters its
    bytes are read as and the byte Recodia writes for each."""

    def __init__(self, entry, fallbacks):
        self.ident = self.name = entry.name
        self.script = entry.script
        self.table = entry.read
        self.reverse = entry.writes()
        # The Russian letters it lacks (Ё in KX and KOI-7) written as Recodia writes them.
        self.stand_in = {c: fallbacks[c][0] for c in RUSSIAN
                         if c not in self.reverse and c in fallbacks and fallbacks[c][0] in self.reverse}

    def decode(self, data):
        out = [self.table[b] for b in data]
        return None if None in out else "".join(out)

    def encode(self, text):
        """The text in this encoding, or None when it holds a letter the
        encoding lacks."""
        text = "".join(self.stand_in.get(c, c) for c in text)
        out = bytearray()
        for c in text:
            if c not in self.reverse:
                c = FALLBACKS.get(c)
                if c is None or any(x not in self.reverse for x in c):
                    return None
            out += bytes(self.reverse[x] for x in c)
        return bytes(out)


def registry(path):
    """The single-byte source encodings, in the registry's order."""
    tables = recodia_tables.load(path)
    return [Encoding(e, tables.fallbacks) for e in tables.encodings if e.is_single_byte_source]


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
        if c in encoding.stand_in:
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


def shaped(shape, texts, i):
    """Held-out messages of one language laid out as a kind of file."""
    t = [x.replace("\n", " ") for x in texts]
    n = len(t)
    pick = [t[(i * 37 + k) % n] for k in range(40)]
    if shape == "caps":
        return "\n".join(x.upper() for x in pick)
    if shape == "code":
        return "\n".join(f"    # {x}\n    value_{k} = compute(items[{k}], limit={k * 3})\n    if value_{k} > 0:\n"
                         f"        log.append('{k}')" for k, x in enumerate(pick))
    if shape == "log":
        return "\n".join(f"2024-03-{k % 28 + 1:02d} 12:{k % 60:02d}:{(k * 7) % 60:02d} INFO [worker-{k % 4}] {x}"
                         for k, x in enumerate(pick))
    if shape == "html":
        return "<html><body>\n" + "\n".join(f'<p class="note">{x}</p>' for x in pick) + "\n</body></html>"
    if shape == "csv":
        return "\n".join(f'{k};{k * 13 % 97};"{x}";{k * 0.5}' for k, x in enumerate(pick))
    if shape == "nbsp":
        return "\n".join("\u00a0\u00a0\u00a0" + x for x in pick)
    if shape == "json":
        return json.dumps({"items": [{"id": k, "text": x} for k, x in enumerate(pick)]}, ensure_ascii=False)
    raise ValueError(shape)


def languages_and_encodings(encodings):
    """Each language's held-out texts with each encoding of its script that holds its letters:
    yields (code, texts, encoding)."""
    for code, _, script, _ in prose.LANGUAGES:
        texts = held_out_texts(code)
        letters = alphabet(texts)
        for e in encodings:
            if (script == "cyrillic") == (e.script == "cyrillic") and holds(e, letters):
                yield code, texts, e


def make_shapes(encodings, folder):
    """Writes the shaped samples; returns [(path, encoding, language, shape)]."""
    samples = []
    for code, texts, e in languages_and_encodings(encodings):
        for shape in SHAPES:
            if shape == "nbsp" and "\u00a0" not in e.reverse:
                continue
            for i in range(SHAPE_SAMPLES):
                text = shaped(shape, texts, i)
                data = e.encode(text.replace("\u00a0", "\x00")) if shape == "nbsp" else e.encode(text)
                if data is None:
                    # Messages the encoding cannot hold: those it can, in order.
                    data = b"\n".join(x for x in (e.encode(y) for y in text.split("\n")) if x)
                if shape == "nbsp":
                    data = data.replace(b"\x00", bytes([e.reverse["\u00a0"]]))
                data = data[:1000] if shape not in ("json", "code") else data[-1000:]
                path = os.path.join(folder, f"{e.ident}-{code}-{shape}-{i}")
                with open(path, "wb") as f:
                    f.write(data)
                samples.append((path, e, code, shape))
    return samples


def make_probes(by_ident, folder):
    """The failure probes: [(path, what, the answers that are right)]. An empty
    set of right answers means that no answer may be sure."""
    ru, tr = held_out_texts("ru"), held_out_texts("tr")
    rng = random.Random(21)
    probes = []

    def probe(name, data, right):
        path = os.path.join(folder, "probe-" + name)
        with open(path, "wb") as f:
            f.write(data)
        probes.append((path, name, right))

    for name, source in [("elf", "/bin/ls"), ("mo", sorted(glob.glob("/usr/share/locale/*/LC_MESSAGES/*.mo"))[0]),
                         ("gzip", sorted(glob.glob("/usr/share/doc/*/changelog.Debian.gz"))[0]),
                         ("png", next(iter(sorted(glob.glob("/usr/share/**/*.png", recursive=True))), None)),
                         ("pdf", next(iter(sorted(glob.glob("/usr/share/**/*.pdf", recursive=True))), None))]:
        if source:
            probe(name, open(source, "rb").read()[:200000], {"binary"})
    for n in (30, 100, 1000, 100000):
        probe(f"random-{n}", bytes(rng.randrange(256) for _ in range(n)), {"binary"} if n >= 1000 else set())
    u8 = "\n".join(ru[:60]).encode()
    probe("stray-1252", u8 + " Café ".encode().replace("é".encode(), b"\xe9") + u8, {"utf8"})
    probe("stray-1251", u8 + " тёмный ".encode("cp1251") + u8, {"utf8"})
    probe("utf8-then-1251", u8 + b"\n" + "\n".join(ru[60:160]).encode("cp1251", "replace"), {"mixed"})
    probe("halves-1251-koi8", "\n".join(ru[200:320]).encode("cp1251", "replace") + b"\n" +
          "\n".join(ru[320:440]).encode("koi8_r", "replace"), {"mixed"})
    tail = "\n".join(ru[:10])
    probe("80k-ascii-tail", ("The quick brown fox jumps over the lazy dog. " * 1800).encode()[:80000] + b"\n" +
          tail.encode("cp1251", "replace"), {"Windows-1251"})
    items = [{"id": k, "name": f"item{k}", "value": rng.random()} for k in range(450)]
    line = json.dumps({"items": items})[:-1] + ', "note": "' + ru[5].replace("\n", " ") + '"}'
    probe("json-1251", line.encode("cp1251", "replace"), {"Windows-1251"})
    probe("json-koi8", line.encode("koi8_r", "replace"), {"KOI8-R"})
    log = "\n".join(f"2024-01-{k % 28 + 1:02d} 12:{k % 60:02d}:{k % 60:02d} INFO [worker-{k % 4}] {tr[k]}"
                    for k in range(60))
    probe("turkish-log-1254", log.encode("cp1254", "replace"), {"Windows-1254", "ISO-8859-9"})
    fr = held_out_texts("fr")
    for script, text in (("latin", "\n".join(fr[:40])), ("cyrillic", "\n".join(ru[:40]))):
        for form, codec in (("UTF-16LE", "utf-16-le"), ("UTF-16BE", "utf-16-be"), ("UTF-32LE", "utf-32-le"),
                            ("UTF-32BE", "utf-32-be")):
            probe(f"{form.lower()}-{script}", text.encode(codec), {form})
            probe(f"{form.lower()}-bom-{script}", ("\ufeff" + text).encode(codec), {form})
    return probes


def make_samples(encodings, folder):
    """Writes the samples; returns [(path, encoding, language, size label)]."""
    samples = []
    for code, texts, e in languages_and_encodings(encodings):
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
    if not paths:
        return {}
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


def judge_by_language(samples, answers, by_name):
    """{(encoding name, language, size label): (right, answered, total)}."""
    table = defaultdict(lambda: [0, 0, 0])
    for path, e, code, label in samples:
        row = table[e.name, code, label]
        row[2] += 1
        read = decoder(answers.get(path, ""), by_name)
        if read is None:
            continue
        row[1] += 1
        data = open(path, "rb").read()
        row[0] += read(data) == e.decode(data)
    return table


def percent(cell):
    right, answered, total = cell
    if answered == 0:
        return "—"
    return f"{100 * right / total:.1f}"


def timing(detect, encodings, folder):
    by_ident = {e.ident: e for e in encodings}
    lines = []
    for ident, code in [("Windows-1251", "ru"), ("KOI8-R", "ru"), ("Windows-1252", "fr"), ("Windows-1254", "tr")]:
        e = by_ident[ident]
        stream = encoded_stream(e, held_out_texts(code))
        data = (stream * (1_000_000 // len(stream) + 1))[:1_000_000]
        path = os.path.join(folder, f"time-{ident}-{code}")
        open(path, "wb").write(data)
        out = subprocess.run([detect, "--time", path], capture_output=True, text=True, check=True).stdout
        lines.append(f"{e.name} ({code}): " + out.split(": ", 1)[1].strip())
    return lines


def ours_with_margins(detect, paths):
    """{path: (answer, margin, sure)} from the detector."""
    out = {}
    for path, line in run_batched([detect], paths).items():
        answer, margin, sure = line.rsplit(" ", 2)
        out[path] = (answer, int(margin), sure == "sure")
    return out


def calibration(samples, ours, by_name):
    """For each margin threshold, how many single-byte answers would be sure and how many of those wrong."""
    rows = []
    for threshold in (8, 16, 24, 32, 40, 48, 64):
        sure = wrong = 0
        for path, e, _, _ in samples:
            answer, margin, _ = ours[path]
            if answer not in by_name or margin < threshold:
                continue
            sure += 1
            data = open(path, "rb").read()
            wrong += by_name[answer].decode(data) != e.decode(data)
        rows.append((threshold, sure, wrong))
    return rows


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--detect", required=True, help="path of recodia_detect_files")
    ap.add_argument("--tables", required=True, help="path of recodia-tables.json (the target tables_json)")
    ap.add_argument("--keep", help="write the samples into this folder and keep them, with the list of\n"
                    "those the detector read wrong in wrong.txt")
    ap.add_argument("--no-others", action="store_true", help="ask neither uchardet nor enca")
    args = ap.parse_args()
    folder = args.keep or tempfile.mkdtemp(prefix="recodia-detect-")
    os.makedirs(folder, exist_ok=True)
    try:
        encodings = registry(args.tables)
        by_name = {e.name: e for e in encodings}
        by_ident = {e.ident: e for e in encodings}
        samples = make_samples(encodings, folder)
        shapes = make_shapes(encodings, folder)
        probes = make_probes(by_ident, folder)
        paths = [s[0] for s in samples]
        mine = ours_with_margins(args.detect, paths + [s[0] for s in shapes] + [p[0] for p in probes])
        ours = {p: a[0] for p, a in mine.items()}
        others = not args.no_others
        uchardet = run_batched(["uchardet"], paths) if others and shutil.which("uchardet") else {}
        enca = {}
        if others and shutil.which("enca"):
            for code in {s[2] for s in samples}:
                batch = [s[0] for s in samples if s[2] == code]
                enca.update(run_batched(["enca", "-i", "-L", ENCA_LANGUAGES.get(code, "none")], batch))
        wrong = []
        results = {tool: judge(samples, answers, by_name, wrong if tool == "recodia" else None)
                   for tool, answers in (("recodia", ours), ("uchardet", uchardet), ("enca", enca))}
        by_language = judge_by_language(samples, ours, by_name)
        shape_results = judge(shapes, ours, by_name)

        sure_wrong = []
        sure_total = 0
        for path, e, code, label in samples + shapes:
            answer, margin, sure = mine[path]
            if not sure:
                continue
            sure_total += 1
            data = open(path, "rb").read()
            read = decoder(answer, by_name)
            if read is None or read(data) != e.decode(data):
                sure_wrong.append(f"{os.path.basename(path)}: {answer} ({margin} bits)")
        if args.keep:
            with open(os.path.join(folder, "wrong.txt"), "w") as f:
                f.writelines(f"{path}: {answer}\n" for path, answer in wrong)

        print(f"{len(samples)} samples of prose; share read right, in percent (— where the tool never answers)\n")
        header = "| encoding | languages |" + "".join(f" {l}: recodia | uchardet | enca |" for _, l, _ in SIZES)
        print(header)
        print("|" + " --- |" * (2 + 3 * len(SIZES)))
        missed = []
        for e in encodings:
            langs = sorted({s[2] for s in samples if s[1] is e})
            cells = []
            for _, label, _ in SIZES:
                mine_cell = results["recodia"][e.name, label]
                cells += [percent(mine_cell), percent(results["uchardet"][e.name, label]),
                          percent(results["enca"][e.name, label])]
                goal = {"30 B": 90, "100 B": 97, "1 KB": 99.5}.get(label)
                for code in langs:
                    cell = by_language[e.name, code, label]
                    if cell[2] and goal and 100 * cell[0] / cell[2] < goal:
                        missed.append(f"{e.name} {code} at {label}: {percent(cell)} % < {goal} %")
            print(f"| {e.name} | {' '.join(langs)} |" + "".join(f" {c} |" for c in cells))
        print("\nGoals (every encoding and language: 90 % at 30 B, 97 % at 100 B, 99.5 % at 1 KB) missed: " +
              ("none" if not missed else "; ".join(missed)))

        print(f"\nShapes, {len(shapes)} samples of 1 KB; share read right, in percent\n")
        print("| encoding |" + "".join(f" {s} |" for s in SHAPES))
        print("|" + " --- |" * (1 + len(SHAPES)))
        for e in encodings:
            print(f"| {e.name} |" + "".join(f" {percent(shape_results[e.name, s])} |" for s in SHAPES))

        print("\nProbes (an answer in braces is right; with none, no answer may be sure):\n")
        print("| probe | answer | margin | sure | verdict |")
        print("| --- | --- | --- | --- | --- |")
        for path, what, right in probes:
            answer, margin, sure = mine[path]
            ok = answer in right if right else not sure
            if sure and not ok:
                sure_wrong.append(f"probe {what}: {answer}")
            print(f"| {what} | {answer} | {margin} | {'sure' if sure else 'not sure'} | {'right' if ok else 'WRONG'} |")

        print(f"\nSure answers: {sure_total + len(probes)}, of which wrong: {len(sure_wrong)}")
        for line in sure_wrong:
            print("  " + line)
        print("\nCalibration: single-byte answers on prose and shapes sure at each margin, and wrong among them")
        print("| margin (bits) | sure | wrong |")
        print("| --- | --- | --- |")
        for threshold, sure, bad in calibration(samples + shapes, mine, by_name):
            print(f"| {threshold} | {sure} | {bad} |")
        print("\nTime to decide 1 MB (median; the detector reads the first "
              "64 KiB; 'every byte' runs it on all sixteen 64 KiB pieces; the survey reads all of it):")
        for line in timing(args.detect, encodings, folder):
            print("  " + line)
    finally:
        if not args.keep:
            shutil.rmtree(folder)


if __name__ == "__main__":
    main()
