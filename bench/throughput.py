#!/usr/bin/env python3
"""How fast recodia converts large files, beside cat and iconv on the same files.

Generates three texts in a temporary folder (deleted afterwards): Russian prose
in Windows 1251 with CR LF line ends, straight and angle quotation marks,
dashes, numero and copyright signs and ASCII-ruled tables (the code page has no
box drawing); the same prose in UTF-8; and DOS 866 text with box-drawing
tables, CR LF and straight quotes. Then times, interleaved and repeated, cat of
each file into a file, iconv, and recodia in eight modes (with --baseline also
an earlier build in the modes it knows), and prints for each the median
throughput, the ratios to iconv and to cat, the processor time relative to
cat's, and the peak resident memory (from GNU time). With --convert-speed it also times the conversion alone
in memory (the table's wide and byte-wise loops and the reference path). Last
it runs mode 1 on a 10 MB and on a 1 GB input to show that the peak memory does
not grow with the file, and says which of the goals this one run met.

cat copies inside the kernel (copy_file_range); recodia reads and writes
through a 128 KiB buffer, so its mode "-noenc -noaltlf", which converts
nothing, shows what the reading and writing alone cost.

Usage:  cmake --build <build dir> --target bench
   or:  python3 bench/throughput.py --recodia <build dir>/recodia
            [--convert-speed <build dir>/bench/recodia_convert_speed] [--baseline <earlier build>/recodia]
            [--size-mb 256] [--repeat 5] [--big-mb 1024] [--keep]
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MB = 1_000_000

# Common words of Russian prose; capitalised at the start of a sentence.
WORDS = """
и в не на я быть он с что а по это она этот к но они мы как из у который то за
свой что весь год от так о для ты же все тот мочь вы человек такой его сказать
только или ещё бы себя один как уже до время если сам когда другой вот говорить
наш мой знать стать при чтобы дело жизнь кто первый очень два день её новый рука
даже во со раз где там под можно ну какой после их работа без самый потом надо
хотеть ли слово идти большой должен место иметь ничто то сейчас тоже стоять друг
дом теперь здесь лицо глаз можно пойти сторона тут всегда жёлтый ёлка берёза
письмо рукопись тетрадь издатель переписчик читатель сочинение глава страница
Москва Петербург река берег дорога лес поле утро вечер ночь зима весна осень лето
который потому сколько почему зачем никогда иногда наконец вдруг опять снова
разговор вопрос ответ правда история город улица окно дверь стол книга бумага
""".split()

NAMES = ["Пётр Ильич", "Анна Сергеевна", "Ю. Щербаков", "Фёдор", "Наталья Ивановна",
         "Алексей Толстой", "Елизавета", "Григорий"]


def sentence(rng, dos):
    """One sentence; DOS text keeps to what code page 866 has (no angle quotes,
    dash, ellipsis or copyright sign)."""
    words = [rng.choice(WORDS) for _ in range(rng.randint(5, 16))]
    words[0] = words[0][0].upper() + words[0][1:]
    roll = rng.random()
    if roll < 0.12 and not dos:
        words.insert(rng.randint(1, len(words) - 1), "«" + rng.choice(WORDS) + "»")
    elif roll < 0.20:
        i = rng.randint(1, len(words) - 1)
        words[i] = '"' + words[i] + '"'
    if rng.random() < 0.15:
        words.insert(rng.randint(1, len(words) - 1), "-" if dos else "—")
    if rng.random() < 0.05:
        words.append("№ " + str(rng.randint(1, 999)))
    if rng.random() < 0.02:
        words.append(("(c) " if dos else "© ") + str(rng.randint(1850, 2024)))
    if rng.random() < 0.05:
        words.append(rng.choice(NAMES))
    for _ in range(rng.randint(0, 2)):
        i = rng.randint(0, len(words) - 2)
        words[i] += ","
    text = " ".join(words)
    end = rng.choice([".", ".", ".", ".", "!", "?", "..." if dos else "…", ";"])
    if rng.random() < 0.07:
        return '"' + text + end + ('" - ' if dos else '" — ') + rng.choice(WORDS) + " " + rng.choice(NAMES) + "."
    return text + end


def wrap(paragraph, width=72):
    lines, line = [], ""
    for word in paragraph.split(" "):
        if line and len(line) + 1 + len(word) > width:
            lines.append(line)
            line = word
        else:
            line = line + " " + word if line else word
    if line:
        lines.append(line)
    return lines


def table(rng, box):
    """A small table: real box drawing for DOS text, ASCII lines otherwise."""
    if box:
        tl, tm, tr, ml, mm, mr, bl, bm, br, h, v = "╔╤╗╟┼╢╚╧╝═║"
        thin = "─"
    else:
        tl = tm = tr = ml = mm = mr = bl = bm = br = "+"
        h, v, thin = "-", "|", "-"
    widths = [rng.randint(8, 18) for _ in range(rng.randint(2, 4))]

    def row(cells):
        return v + (v if not box else "│").join(c.ljust(w)[:w] for c, w in zip(cells, widths)) + v

    rows = [tl + tm.join(h * w for w in widths) + tr]
    for r in range(rng.randint(2, 6)):
        if r:
            rows.append(ml + mm.join(thin * w for w in widths) + mr)
        rows.append(row([rng.choice(WORDS) + " " + str(rng.randint(1, 99999)) for _ in widths]))
    rows.append(bl + bm.join(h * w for w in widths) + br)
    return rows


def make_text(rng, size, codec, box):
    """About `size` bytes of text in `codec` with CR LF line ends."""
    lines = []
    length = 0
    while length < size:
        if rng.random() < 0.06:
            block = table(rng, box)
        else:
            block = wrap(" ".join(sentence(rng, box) for _ in range(rng.randint(2, 8))))
        block.append("")
        lines.extend(block)
        length += sum(len(line) + 2 for line in block)
    return ("\r\n".join(lines) + "\r\n").encode(codec)


def write_repeated(path, chunk, size):
    """Writes whole copies of `chunk` until the file holds at least `size` bytes."""
    written = 0
    with open(path, "wb") as f:
        while written < size:
            f.write(chunk)
            written += len(chunk)
    return written


def gnu_time():
    """GNU time, which reports its child's peak memory, or None."""
    path = shutil.which("time") or ("/usr/bin/time" if os.path.exists("/usr/bin/time") else None)
    if path is None:
        return None
    try:
        version = subprocess.run([path, "--version"], capture_output=True, text=True).stdout
        version += subprocess.run([path, "--version"], capture_output=True, text=True).stderr
    except OSError:
        return None
    return path if "GNU" in version else None


def run_once(argv, stdout_path, timer, memory_file):
    """Runs argv; returns (seconds, processor seconds or None, peak resident
    memory in KiB or None).

    The peak comes from GNU time, a small process that forks the program: the
    kernel counts a child's peak from its fork, so a child forked straight from
    this Python process would report Python's own memory as its peak.
    """
    command = [timer, "-f", "%M %U %S", "-o", memory_file, *argv] if timer else argv
    with open(stdout_path, "wb") as out:
        start = time.perf_counter()
        status = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL).returncode
        seconds = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{' '.join(argv)} failed with exit code {status}")
    peak = processor = None
    if timer:
        with open(memory_file) as f:
            fields = f.read().split()[-3:]
        peak = int(fields[0])
        processor = float(fields[1]) + float(fields[2])
    return seconds, processor, peak


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--recodia", required=True, help="the built program")
    parser.add_argument("--baseline", help="an earlier build of the program, timed beside it on the same files")
    parser.add_argument("--size-mb", type=int, default=256, help="size of each main input (default 256)")
    parser.add_argument("--repeat", type=int, default=5, help="timed runs of each command (default 5)")
    parser.add_argument("--big-mb", type=int, default=1024, help="size of the large memory-check input")
    parser.add_argument("--convert-speed", help="the built recodia_convert_speed, to time the conversion alone too")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    recodia = os.path.abspath(args.recodia)
    baseline = os.path.abspath(args.baseline) if args.baseline else None
    for tool in ("cat", "iconv"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} not found")

    timer = gnu_time()
    if timer is None:
        print("GNU time not found (Debian package 'time'): peak memory is not measured", file=sys.stderr)

    folder = tempfile.mkdtemp(prefix="recodia-bench-")
    try:
        rng = random.Random(1251)
        win = os.path.join(folder, "prose-1251.txt")
        dos = os.path.join(folder, "tables-866.txt")
        utf = os.path.join(folder, "prose-utf8.txt")
        out = os.path.join(folder, "out")
        sink = os.path.join(folder, "stdout")
        memory_file = os.path.join(folder, "peak")
        size = args.size_mb * MB
        print(f"generating {args.size_mb} MB of Windows 1251 prose, of the same prose in UTF-8 and of DOS 866 "
              f"text in {folder} ...", flush=True)
        win_chunk = make_text(rng, 4 * MB, "cp1251", box=False)
        dos_chunk = make_text(rng, 4 * MB, "cp866", box=True)
        win_size = write_repeated(win, win_chunk, size)
        dos_size = write_repeated(dos, dos_chunk, size)
        utf_size = write_repeated(utf, win_chunk.decode("cp1251").encode("utf-8"), size)

        def recodia_cmd(program, source, *switches):
            return [program, "-ni", *switches, source, out]

        # Each input with the cat and the iconv that its rows are measured against.
        inputs = {
            win: ("cat (1251 file)", "iconv -c CP1251 -> KOI8-R", win_size),
            dos: ("cat (866 file)", "iconv -c CP866 -> CP1251", dos_size),
            utf: ("cat (UTF-8 file)", "iconv -c UTF-8 -> KOI8-R", utf_size),
        }
        modes = [  # (label, input, switches, iconv row to compare with, or None for the input's own)
            ("1: -w -tokoi8", win, ["-w", "-tokoi8"], None),
            ("3: -w -todos", win, ["-w", "-todos"], None),
            ("4: -w -tokoi8 -html", win, ["-w", "-tokoi8", "-html"], None),
            ("5: -w -totl", win, ["-w", "-totl"], None),
            ("6: -noenc -noaltlf", win, ["-noenc", "-noaltlf"], None),
            ("7: -w -toutf8", win, ["-w", "-toutf8"], "iconv -c CP1251 -> UTF-8"),
            ("2: -866 -towin (866 file)", dos, ["-866", "-towin"], None),
            ("8: -utf8 -tokoi8 (UTF-8 file)", utf, ["-utf8", "-tokoi8"], None),
        ]
        # (label, input, argv, stdout goes to the output file, iconv row to compare with)
        commands = [
            ("cat (1251 file)", win, ["cat", win], True, None),
            ("iconv -c CP1251 -> KOI8-R", win, ["iconv", "-c", "-f", "CP1251", "-t", "KOI8-R", win], True, None),
            ("iconv -c CP1251 -> UTF-8", win, ["iconv", "-c", "-f", "CP1251", "-t", "UTF-8", win], True, None),
            ("cat (866 file)", dos, ["cat", dos], True, None),
            ("iconv -c CP866 -> CP1251", dos, ["iconv", "-c", "-f", "CP866", "-t", "CP1251", dos], True, None),
            ("cat (UTF-8 file)", utf, ["cat", utf], True, None),
            ("iconv -c UTF-8 -> KOI8-R", utf, ["iconv", "-c", "-f", "UTF-8", "-t", "KOI8-R", utf], True, None),
        ]
        def knows_utf8(program):
            probe = subprocess.run([program, "-ni", "-utf8", "-toutf8", os.devnull, out], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
            return probe.returncode == 0

        modes = [m for m in modes if knows_utf8(recodia) or not any("utf8" in s for s in m[2])]
        for label, source, switches, against in modes:
            commands.append((label, source, recodia_cmd(recodia, source, *switches), False, against))
            if baseline and (knows_utf8(baseline) or not any("utf8" in s for s in switches)):
                commands.append(("before " + label, source, recodia_cmd(baseline, source, *switches), False, against))
        times = {c[0]: [] for c in commands}
        processor_times = {c[0]: [] for c in commands}
        memory = {c[0]: 0 for c in commands}  # KiB
        for round_number in range(args.repeat):
            print(f"round {round_number + 1} of {args.repeat}", flush=True)
            # Every other round backwards, so that no command always follows
            # the same one (a file just deleted slows the next run a little).
            for label, _, argv, to_stdout, _ in commands[::1 if round_number % 2 == 0 else -1]:
                if os.path.exists(out):
                    os.remove(out)
                seconds, processor, peak = run_once(argv, out if to_stdout else sink, timer, memory_file)
                times[label].append(seconds)
                processor_times[label].append(processor or 0)
                memory[label] = max(memory[label], peak or 0)

        median = {label: statistics.median(t) for label, t in times.items()}
        processor_median = {label: statistics.median(t) for label, t in processor_times.items()}

        def references(label, source, against):
            cat_label, iconv_label, source_size = inputs[source]
            return cat_label, against or (label if label.startswith("iconv") else iconv_label), source_size

        print()
        print(f"inputs: Windows 1251 prose {win_size / MB:.0f} MB, the same in UTF-8 {utf_size / MB:.0f} MB, "
              f"DOS 866 text {dos_size / MB:.0f} MB; median of {args.repeat} interleaved runs; "
              f"MB = 10^6 bytes of input")
        print(f"{'command':36} {'MB/s':>7} {'x iconv':>8} {'time/cat':>9} {'cpu/cat':>8} {'peak RSS':>11}")
        for label, source, _, _, against in commands:
            if label.startswith(("cat (UTF-8", "iconv -c UTF-8", "iconv -c CP1251 -> UTF")) and not any(
                    "utf8" in m[2][0] or "utf8" in m[2][-1] for m in modes):
                continue
            cat_label, iconv_label, source_size = references(label, source, against)
            rate = source_size / MB / median[label]
            speed_vs_iconv = median[iconv_label] / median[label]
            time_vs_cat = median[label] / median[cat_label]
            if timer and processor_median[cat_label] > 0:
                cpu_vs_cat = f"{processor_median[label] / processor_median[cat_label]:8.2f}"
            else:
                cpu_vs_cat = "     n/a"
            peak = f"{memory[label] / 1024:7.1f} MiB" if timer else "        n/a"
            print(f"{label:36} {rate:7.0f} {speed_vs_iconv:8.2f} {time_vs_cat:9.2f} {cpu_vs_cat} {peak}")
        print("x iconv: throughput relative to iconv on the same file (for 7: iconv CP1251 -> UTF-8); time/cat:")
        print("wall-clock time relative to cat of the same file; cpu/cat: processor time (user + system) relative")
        print("to cat's")

        if args.convert_speed:
            # The conversion alone, in memory: the table's wide and byte-wise
            # loops and the byte-at-a-time reference (a slice of the file).
            print()
            print(f"{'conversion alone':36} {'table':>7} {'bytewise':>9} {'reference':>10}   (MB/s)")
            for label, source, switches, _ in modes:
                result = subprocess.run([args.convert_speed, source, *switches], capture_output=True, text=True)
                rates = {line.split()[0]: line.split()[1] for line in result.stdout.splitlines() if line.strip()}
                print(f"{label:36} {rates.get('table', '?'):>7} {rates.get('byte-wise', '?'):>9} "
                      f"{rates.get('reference', '?'):>10}")

        # Peak memory against the size of the file.
        print()
        if timer is None:
            print("peak memory against file size: not measured without GNU time")
        small = os.path.join(folder, "small.txt")
        big = os.path.join(folder, "big.txt")
        small_size = write_repeated(small, win_chunk, 10 * MB)
        if os.path.exists(out):
            os.remove(out)
        for path in (win, dos, utf):
            os.remove(path)
        big_size = write_repeated(big, win_chunk, args.big_mb * MB)
        peaks = {}
        for name, path, path_size in (("small", small, small_size), ("big", big, big_size)) if timer else ():
            best = []
            for _ in range(3):
                if os.path.exists(out):
                    os.remove(out)
                seconds, _, peak = run_once(recodia_cmd(recodia, path, "-w", "-tokoi8"), sink, timer, memory_file)
                best.append(peak or 0)
            peaks[name] = max(best)
            print(f"mode 1 on {path_size / MB:6.0f} MB: peak RSS {peaks[name] / 1024:.2f} MiB "
                  f"({peaks[name]} KiB), last run {path_size / MB / seconds:.0f} MB/s")
        difference = abs(peaks["big"] - peaks["small"]) if timer else None
        if timer:
            print(f"difference: {difference} KiB")

        # The goals, from the ratios of this one run.
        print()
        goals = []
        for label, source, _, _, against in commands:
            if not label[0].isdigit():
                continue
            cat_label, iconv_label, _ = references(label, source, against)
            factor = {"1": 5, "7": 5, "8": 3}.get(label[0], 2)
            goals.append((f"mode {label} at least {factor}x iconv", median[iconv_label] / median[label] >= factor))
            if baseline and "before " + label in median:
                goals.append((f"mode {label} no slower than before",
                              median[label] <= median["before " + label] * 1.05))
        goals.append(("mode 1 time at most 1.5x cat", median["1: -w -tokoi8"] / median["cat (1251 file)"] <= 1.5))
        if timer:
            goals.append((f"peak memory {small_size / MB:.0f} MB vs {big_size / MB:.0f} MB differs by < 1 MiB",
                          difference < 1024))
            goals.append(("peak memory under 8 MiB",
                          max(peaks.values()) < 8 * 1024 and
                          all(memory[c[0]] < 8 * 1024 for c in commands if c[0][0].isdigit())))
        for label, met in goals:
            print(f"{'met   ' if met else 'MISSED'} {label}")
    finally:
        if args.keep:
            print(f"kept {folder}")
        else:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
