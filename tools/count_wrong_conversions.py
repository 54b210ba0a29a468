#!/usr/bin/env python3
"""Counts the character conversions that a recodia binary gets wrong.

Every byte 0x20..0xFF of every source encoding whose character is printable
(a letter, digit, sign or space of any kind: not a control, not private use,
not undefined) is converted to every target, with "-nta" (quotes stay
straight) and "-noaltlf", once plain, once with "-32" and once with "-nstr".
Each output is read back through the target's code page and judged by the
rule of "What happens to a character that the target lacks" in the README:

  1. printable ASCII comes out unchanged;
  2. a character that the target has comes out as itself;
  3. a character that the target lacks comes out as its substitute, the first
     of: Recodia's own fallback (when readable in the target: printable ASCII,
     Cyrillic letters that the target has, or a DOS sign glyph in a DOS
     target without "-32"); for a Cyrillic letter in a target without
     Cyrillic letters, its transliteration (or that of its fallback letters);
     its ASCII transliteration by glibc's iconv; "?". With "-nstr" only the
     first byte of the substitute (or the fallback's own one byte).

The code pages are read as Recodia defines them (tools/gen_code_pages.py, from
Python's codecs and glibc's charmaps); the fallbacks and the transliteration
are typed here from Recodia's own tables; the ASCII transliteration is asked of
iconv(1). None of it is taken from the binary under test.

Usage: python3 tools/count_wrong_conversions.py BINARY [--examples N]
"""
import argparse
import collections
import os
import subprocess
import sys
import tempfile
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_code_pages  # noqa: E402

# ---- The encodings: (source switch, target switch, page, script, DOS target) ----
ENCODINGS = [
    ("-kx", "-tokx", "kKx", "cyrillic", True),
    ("-866", "-to866", "kDos866", "cyrillic", True),
    ("-w", "-tow", "kWindows1251", "cyrillic", False),
    ("-koi8", "-tokoi8", "kKoi8r", "cyrillic", False),
    ("-855", "-to855", "kDos855", "cyrillic", True),
    ("-mac", "-tomac", "kMacCyrillic", "cyrillic", False),
    ("-iso", "-toiso", "kIso8859_5", "cyrillic", False),
    ("-koi7", "-tokoi7", "kKoi7", "cyrillic", False),
    (None, "-totl", None, "translit", False),
    ("-isoir111", "-toisoir111", "kIsoIr111", "cyrillic", False),
    ("-koi8u", "-tokoi8u", "kKoi8u", "cyrillic", False),
    ("-macu", "-tomacu", "kMacUkrainian", "cyrillic", False),
    ("-1254", "-to1254", "kWindows1254", "latin", False),
    ("-857", "-to857", "kDos857", "latin", True),
    ("-macturk", "-tomacturk", "kMacTurkish", "latin", False),
    ("-iso8859_9", "-toiso8859_9", "kIso8859_9", "latin", False),
    ("-850", "-to850", "kDos850", "latin", True),
    ("-1252", "-to1252", "kWindows1252", "latin", False),
    ("-iso8859_1", "-toiso8859_1", "kWindows1252", "latin", False),
    ("-iso8859_15", "-toiso8859_15", "kIso8859_15", "latin", False),
    ("-macroman", "-tomacroman", "kMacRoman", "latin", False),
]


def pages():
    """Each page as (read, write): byte -> character (None: undefined), and the
    characters a target writes with their bytes."""
    out = {}
    for name, read in gen_code_pages.read_tables().items():
        out[name] = (read, {c: b for b, c in enumerate(read) if c is not None})
    # KX writes Yo and yo as Ie and ie, and Zhe and zhe at 0xB0 0xB1.
    read = out["kKx"][0]
    write = {c: b for b, c in enumerate(read) if c not in ("Ё", "ё")}
    write["Ж"], write["ж"] = 0xB0, 0xB1
    out["kKx"] = (read, write)
    return out


# ---- Recodia's own substitutes --------------------------------------------------
DASH, SECTION, PARAGRAPH, BULLET = "dash", "section", "paragraph", "bullet"
SIGN_GLYPHS = {DASH: ("\x16", "-"), SECTION: ("\x15", "&"), PARAGRAPH: ("\x14", "$"), BULLET: ("\x07", ".")}

# character: (one byte, string or None)
FALLBACKS = {
    "─": ("-", None), "│": ("|", None), "⌠": ("f", None), "■": ("+", None), "⌡": ("j", None),
    "═": ("-", None), "║": ("|", None),
    "√": ("V", "sqrt "), "≈": ("=", "=~="), "≤": ("<", "<="), "≥": (">", ">="), "÷": ("/", None),
    "≠": ("\\", "=/="), "∞": ("@", "OXO"), "∂": ("d", None),
    "Ђ": ("T", "Th"), "Ѓ": ("Г", None), "Є": ("E", None), "Ѕ": ("S", None), "І": ("I", None),
    "Ї": ("I", None), "Ј": ("J", None), "Љ": ("Л", "ЛЬ"), "Њ": ("Н", "НЬ"), "Ћ": ("T", "Th"),
    "Ќ": ("K", None), "Ў": ("Y", None), "Џ": ("U", None), "№": ("N", "No."), "ђ": ("h", None),
    "ѓ": ("г", None), "є": ("e", None), "ѕ": ("s", None), "і": ("i", None), "ї": ("i", None),
    "ј": ("j", None), "љ": ("л", "ль"), "њ": ("н", "нь"), "ћ": ("h", None), "ќ": ("K", None),
    "ў": ("y", None), "џ": ("u", None), "Ґ": ("Г", None), "ґ": ("г", None),
    "‚": ("`", None), "ƒ": ("f", None), "„": ('"', None), "…": (".", "..."), "†": ("+", None),
    "‡": ("+", None), "ˆ": ("^", None), "‰": ("%", "O/oo"), "‹": ("<", None), "‘": ("`", None),
    "’": ("`", None), "“": ('"', None), "”": ('"', None), "•": (BULLET, None), "–": ("-", None),
    "—": (DASH, None), "™": ("T", "(TM)"), "›": (">", None), "¡": ("!", None), "¤": ("@", None),
    "¦": ("|", None), "§": (SECTION, None), "©": ("c", "(C)"), "ª": ("a", None), "«": ('"', "<<"),
    "¬": ("-", "(NOT)"), "®": ("R", "(R)"), "¯": (DASH, None), "°": ("o", None), "±": ("+", "+-"),
    "²": ("2", None), "³": ("3", None), "´": ("`", None), "¶": (PARAGRAPH, None), "·": (BULLET, None),
    "¸": (",", None), "¹": ("1", None), "»": ('"', ">>"), "¼": ("/", "1/4"), "½": ("/", "1/2"),
    "¾": ("/", "3/4"), "¿": ("?", None), "µ": ("m", "mu"),
    "Š": ("S", "S^"), "Œ": ("O", "OE"), "Ž": ("Z", "Z^"), "š": ("s", "s^"), "œ": ("o", "oe"),
    "ž": ("z", "z^"), "Ÿ": ("Y", None), "¢": ("c", "cents"), "£": ("L", "Pounds"), "¥": ("Y", "Y="),
    "ß": ("b", None),
    # Look-alikes that share the fallback of a similar sign.
    "º": ("o", None), "∙": (BULLET, None),
    # The Cyrillic targets without these letters (KX, KOI-7) write their neighbours.
    "Ё": ("Е", None), "ё": ("е", None), "Ъ": ("Ь", None),
}
for box in "┌┐└┘├┤┬┴┼▀▄█▌▐░▒▓╒╓╔╕╖╗╘╙╚╛╜╝╞╟╠╡╢╣╤╥╦╧╨╩╪╫╬":
    FALLBACKS[box] = ("+", None)

_CAPITALS = "A B V G D E J Z I Y K L M N O P R S T U F H C Ch Sh Sch ` Y ` E Yu Ya".split()
TRANSLITERATION = {}
for i, latin in enumerate(_CAPITALS):
    TRANSLITERATION[chr(0x410 + i)] = latin
    TRANSLITERATION[chr(0x430 + i)] = latin.lower() if latin != "`" else "`"
TRANSLITERATION.update({"Ё": "Yo", "ё": "yo", "Є": "E", "є": "e", "Ї": "I", "ї": "i", "Ў": "Y", "ў": "y"})


def iconv_transliterations(characters):
    """glibc's ASCII transliteration of each character, in the C.UTF-8 locale."""
    chars = sorted(characters)
    text = "\n".join(chars) + "\n"
    env = dict(os.environ, LC_ALL="C.UTF-8")
    out = subprocess.run(["iconv", "-f", "UTF-8", "-t", "ASCII//TRANSLIT"], input=text.encode(),
                         capture_output=True, env=env, check=True).stdout.decode("ascii")
    lines = out.split("\n")
    return dict(zip(chars, lines))


def printable(c):
    return c is not None and unicodedata.category(c) not in ("Cc", "Co", "Cn", "Cs")


def is_cyrillic_letter(c):
    return "\u0400" <= c <= "\u04ff" and c.isalpha()


class Target:
    def __init__(self, switch, page, script, dos):
        self.switch, self.script, self.dos = switch, script, dos
        self.read, self.write = page if page else (None, None)

    def has(self, c):
        if self.script == "translit":
            return c < "\x80" or c in TRANSLITERATION
        return c in self.write

    def decode(self, data):
        if self.script == "translit":
            return data.decode("latin-1")
        return "".join(self.read[b] or "\ufffd" for b in data)


def expected(c, target, mode, ascii_translit):
    """What the rule writes for a printable character, as characters."""
    special = mode != "-32"
    strings = mode != "-nstr" or target.script == "translit"
    if " " <= c <= "~":
        return c
    if target.has(c):
        return TRANSLITERATION.get(c, c) if target.script == "translit" else c
    fallback = FALLBACKS.get(c)
    if fallback:
        byte, string = fallback
        if byte in SIGN_GLYPHS:
            glyph, plain = SIGN_GLYPHS[byte]
            byte = glyph if special and target.dos else plain
        text = string if strings and string else byte
        if all(" " <= x <= "~" or (is_cyrillic_letter(x) and target.has(x)) or x in "\x07\x14\x15\x16"
               for x in text + byte):
            return "".join(TRANSLITERATION.get(x, x) for x in text) if target.script == "translit" else text
    if is_cyrillic_letter(c) and target.script != "cyrillic":
        if c in TRANSLITERATION:
            latin = TRANSLITERATION[c]
        else:
            letters = fallback[1] or fallback[0]
            latin = "".join(TRANSLITERATION.get(x, x) for x in letters)
        return latin if strings else latin[:1]
    t = ascii_translit.get(c, "?")
    if t != "?":
        return t if strings else t[:1]
    return "?"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("binary", type=os.path.abspath)
    parser.add_argument("--examples", type=int, default=0, help="print this many wrong conversions per class")
    args = parser.parse_args()
    all_pages = pages()
    targets = [Target(t, all_pages.get(p), script, dos) for _, t, p, script, dos in ENCODINGS]
    sources = [(s, all_pages[p][0]) for s, _, p, _, _ in ENCODINGS if s]
    characters = {c for _, read in sources for c in read if c and c >= "\x80"}
    ascii_translit = iconv_transliterations(characters)

    total = wrong = 0
    classes = collections.Counter()
    examples = collections.defaultdict(list)
    with tempfile.TemporaryDirectory() as folder:
        for source, read in sources:
            bytes_in = [b for b in range(0x20, 0x100) if printable(read[b])]
            with open(os.path.join(folder, "in"), "wb") as f:
                f.write(b"\n".join(bytes([b]) for b in bytes_in) + b"\n")
            for target in targets:
                for mode in ("plain", "-32", "-nstr"):
                    switches = ["-ni", "-nta", "-noaltlf", source, target.switch] + ([] if mode == "plain" else [mode])
                    subprocess.run([args.binary, *switches, "in", "out"], cwd=folder, check=True,
                                   stdout=subprocess.DEVNULL)
                    with open(os.path.join(folder, "out"), "rb") as f:
                        outputs = f.read().split(b"\n")[:-1]
                    if len(outputs) != len(bytes_in):
                        sys.exit(f"{switches}: {len(outputs)} lines for {len(bytes_in)} bytes")
                    for b, out in zip(bytes_in, outputs):
                        c = read[b]
                        want = expected(c, target, mode, ascii_translit)
                        got = target.decode(out)
                        total += 1
                        if got == want:
                            continue
                        wrong += 1
                        kind = ("ASCII" if " " <= c <= "~" else "target has it" if target.has(c)
                                else "substitute")
                        classes[kind] += 1
                        if len(examples[kind]) < args.examples:
                            examples[kind].append(f"{source} {target.switch} {mode} 0x{b:02X} {c!r}: "
                                                  f"{got!r}, rule {want!r}")
    print(f"{wrong} of {total} character conversions wrong ({100.0 * wrong / total:.1f} %)")
    for kind, n in classes.most_common():
        print(f"  {kind:15} {n}")
        for line in examples[kind]:
            print("      " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
