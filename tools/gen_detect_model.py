#!/usr/bin/env python3
"""Writes src/convert/detect_model.hpp: the language model by which the detector
judges how naturally a text reads through each candidate encoding.

Usage: sh tools/fetch_prose.sh && python3 tools/gen_detect_model.py > src/convert/detect_model.hpp

Every character becomes a symbol: a letter of the languages' alphabets, case
folded (a..z, the accented Latin letters of the Turkish and West-European
languages, the Cyrillic letters), or one of a few classes (space, no-break space, digit,
sentence end, eight groups of ASCII punctuation, typographic punctuation, sign, rare sign, graphic such as
box drawing and mathematics, control or undefined, any other letter). For each
language the model holds the cost, in eighths of a bit, of each symbol after
each other symbol (-log2 of a letter-pair probability, Witten-Bell smoothed),
over the language's own letters; the letters it rarely uses share one slot
(Latin letters in a Cyrillic language share another), and a symbol's cost
within its shared slot is kept apart. A second small table gives the cost of
the case of a letter after the case of the character before it (an upper case
letter inside a lower case word is what a wrong code page often gives). Each
language also has the cost of each symbol on its own (its share of the text),
and one figure gives the cost of a letter's being upper case: the detector's
whole-text survey weighs blocks by these, a lookup per byte.

The prose is the training part of the translations that Debian packages ship
(see tools/prose.py: a fifth of the packages is held out for the benchmark).
The characters are those of the code pages (tools/gen_code_pages.py), so
that every byte of every code page has its symbol.
"""
import glob
import math
import os
import re
import subprocess
import sys
import unicodedata
import urllib.parse
from collections import Counter

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_code_pages  # noqa: E402
import prose  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCALE = 8        # costs are in eighths of a bit
MAX_COST = 255   # and fit a byte
SHARE = 2e-5     # a letter with a smaller share of a language's letters is foreign to it

# ASCII punctuation in groups that prose uses alike.
ASCII_PUNCTUATION = [("quote", "kQuote", "'\"`"), ("opening", "kOpening", "([{<"), ("closing", "kClosing", ")]}>"),
                     ("pause", "kPause", ",;:"), ("dash", "kDash", "-_"), ("slash", "kSlash", "/\\|"),
                     ("operator", "kOperator", "+=*^~"), ("mark", "kMark", "#$%&@")]
CLASSES = ["break", "no-break space", "digit", "sentence end"] + [p[0] for p in ASCII_PUNCTUATION] + [
    "typographic", "sign", "rare sign", "graphic", "control", "other letter"]
CLASS_NAMES = ["kBreak", "kNoBreakSpace", "kDigit", "kSentenceEnd"] + [p[1] for p in ASCII_PUNCTUATION] + [
    "kTypographic", "kSign", "kRareSign", "kGraphic", "kControl", "kOtherLetter"]
BREAK, NO_BREAK_SPACE, DIGIT, SENTENCE_END = range(4)
TYPOGRAPHIC, SIGN, RARE_SIGN, GRAPHIC, CONTROL, OTHER_LETTER = range(4 + len(ASCII_PUNCTUATION), len(CLASSES))
# Signs of the code pages that prose hardly uses: where they appear between
# letters, a wrong code page put them there.
RARE_SIGNS = "¤¢¦¨¬¯´¸¹ˆˇ˘˙˚˛˜˝†‡‰ƒ‗⁄"
LATIN = "abcdefghijklmnopqrstuvwxyz"
LATIN_EXTENDED = "àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþÿßğışœ"
CYRILLIC = "абвгдежзийклмнопрстуфхцчшщъыьэюяёђѓєѕіїјљњћќўџґ"
LETTERS = LATIN + LATIN_EXTENDED + CYRILLIC
FIRST_LETTER = len(CLASSES)
SYMBOL_COUNT = FIRST_LETTER + len(LETTERS)
TYPOGRAPHIC_CHARS = "«»‘’‚“”„‹›–—…•·¡¿"
NO_CASE, LOWER, UPPER = 0, 1, 2


def fold(c):
    if c == "İ":
        return "i"
    low = c.lower()
    return low if len(low) == 1 else c


def classify(c):
    """(symbol, case) of one character."""
    cat = unicodedata.category(c)
    if c in "\u00a0\u2007\u202f":
        return NO_BREAK_SPACE, NO_CASE  # between words it is rare; where a space belongs, a misreading
    if c in "\t\n\r" or cat == "Zs":
        return BREAK, NO_CASE
    if c in ".!?":
        return SENTENCE_END, NO_CASE
    if cat == "Nd":
        return DIGIT, NO_CASE
    if cat in ("Cc", "Cf", "Cs", "Co", "Cn"):  # the soft hyphen too
        return CONTROL, NO_CASE
    for i, (_, _, chars) in enumerate(ASCII_PUNCTUATION):
        if c in chars:
            return SENTENCE_END + 1 + i, NO_CASE
    if c in TYPOGRAPHIC_CHARS:
        return TYPOGRAPHIC, NO_CASE
    if c in RARE_SIGNS:
        return RARE_SIGN, NO_CASE
    if 0x2190 <= ord(c) <= 0x23FF or 0x2500 <= ord(c) <= 0x25FF or 0x0370 <= ord(c) <= 0x03FF:
        return GRAPHIC, NO_CASE  # arrows, mathematics, box drawing, blocks, Greek
    if cat.startswith("L") and c not in "µƒªº" and cat not in ("Lm", "Lo"):
        f = fold(c)
        case = UPPER if f != c else LOWER
        if f in LETTERS:
            return FIRST_LETTER + LETTERS.index(f), case
        return OTHER_LETTER, case
    return SIGN, NO_CASE


def unnatural(text):
    """Box drawing and controls are what a wrong code page makes of letters; the
    few messages that draw trees with them are left out, so that the model
    takes them for what they almost always are."""
    return any(classify(c)[0] in (GRAPHIC, CONTROL) for c in text if c not in "\t\n\r")


def symbol_name(s):
    return CLASSES[s] if s < FIRST_LETTER else LETTERS[s - FIRST_LETTER]


class Language:
    def __init__(self, code, name, script, texts):
        self.code, self.name, self.script = code, name, script
        self.chars = sum(len(t) for t in texts)
        self.unigram = Counter()
        self.bigram = Counter()
        self.case = Counter()
        prev, prev_case = BREAK, NO_CASE
        for c in "\n".join(t for t in texts if not unnatural(t)) + "\n":
            s, case = classify(c)
            self.unigram[s] += 1
            self.bigram[prev, s] += 1
            if case != NO_CASE:
                self.case[prev_case, case] += 1
            prev, prev_case = s, case
        self.build_slots()
        self.build_costs()

    def build_slots(self):
        """The language's own letters get a slot each; Latin letters in a
        Cyrillic language share one; every other letter is foreign."""
        letters = sum(n for s, n in self.unigram.items() if s >= FIRST_LETTER)
        own = [s for s in range(FIRST_LETTER, SYMBOL_COUNT) if self.unigram[s] >= SHARE * letters]
        cyrillic = self.script == "cyrillic"
        latin = [FIRST_LETTER + i for i in range(len(LATIN))]
        if cyrillic:
            own = [s for s in own if s not in latin]
        else:
            own = sorted(set(own) | set(latin))
        self.slot_names = list(CLASSES) + (["latin"] if cyrillic else []) + [symbol_name(s) for s in own]
        self.slot = [0] * SYMBOL_COUNT
        for s in range(SYMBOL_COUNT):
            if s < OTHER_LETTER:
                self.slot[s] = s
            elif s in own:
                self.slot[s] = len(CLASSES) + (1 if cyrillic else 0) + own.index(s)
            elif cyrillic and s in latin:
                self.slot[s] = len(CLASSES)
            else:
                self.slot[s] = OTHER_LETTER
        self.slots = len(self.slot_names)

    def build_costs(self):
        total_symbols = sum(self.unigram.values())
        self.alone = [cost((self.unigram[s] + 0.5) / (total_symbols + 0.5 * SYMBOL_COUNT)) for s in range(SYMBOL_COUNT)]
        members = Counter(self.slot)
        slot_count = Counter()
        for s, n in self.unigram.items():
            slot_count[self.slot[s]] += n
        # The cost of a symbol within a slot that it shares with others.
        self.within = []
        for s in range(SYMBOL_COUNT):
            k = self.slot[s]
            if members[k] == 1:
                self.within.append(0)
            else:
                p = (self.unigram[s] + 0.5) / (slot_count[k] + 0.5 * members[k])
                self.within.append(cost(p))
        pairs = Counter()
        for (a, b), n in self.bigram.items():
            pairs[self.slot[a], self.slot[b]] += n
        total = sum(slot_count.values())
        unigram = [(slot_count[k] + 0.5) / (total + 0.5 * self.slots) for k in range(self.slots)]
        self.pair = []
        for a in range(self.slots):
            after = sum(pairs[a, b] for b in range(self.slots))
            kinds = sum(1 for b in range(self.slots) if pairs[a, b])
            for b in range(self.slots):
                if after == 0:
                    p = unigram[b]
                else:
                    p = (pairs[a, b] + kinds * unigram[b]) / (after + kinds)
                self.pair.append(cost(p))


def cost(p):
    return min(MAX_COST, max(0, round(-math.log2(p) * SCALE)))


def char_literal(cp):
    """A character as itself where it is visible, else by its hexadecimal value."""
    c = chr(cp)
    if c in "'\\":
        return f"U'\\{c}'"
    if unicodedata.category(c) in ("Cc", "Cf", "Zs") or cp == 0x7F:
        return f"U'\\x{cp:02X}'"
    return f"U'{c}'"


CASE_NAMES = ["kNoCase", "kLower", "kUpper"]


def input_packages():
    """The Debian packages whose catalogues the prose came from, as "name version",
    sorted: the system's own by dpkg's file lists, the unpacked language packs
    by their .deb files' names."""
    owner = {}
    for listing in glob.glob("/var/lib/dpkg/info/*.list"):
        package = os.path.basename(listing)[:-5].split(":")[0]
        with open(listing, encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.endswith(".mo\n"):
                    owner[line[:-1]] = package
    used = set()
    for code, _, _, folders in prose.LANGUAGES:
        for root in prose.DEFAULT_ROOTS:
            for folder in folders:
                for path in glob.glob(os.path.join(root, folder, "LC_MESSAGES", "*.mo")):
                    if path in owner:
                        used.add(owner[path])
    versions = {}
    if used:
        out = subprocess.run(["dpkg-query", "-W", "-f=${Package} ${Version}\\n"] + sorted(used),
                             capture_output=True, text=True).stdout
        versions = dict(line.split(" ", 1) for line in out.splitlines() if " " in line)
    packs = []
    for deb in glob.glob("/var/tmp/recodia-prose/*.deb"):
        name, version, _ = urllib.parse.unquote(os.path.basename(deb)).split("_")
        packs.append(f"{name} {version}")
    return sorted(f"{p} {versions.get(p, '?')}" for p in used) + sorted(packs)


def emit(languages, case_cost, upper_cost):
    w = sys.stdout.write
    w("// Generated by: sh tools/fetch_prose.sh && python3 tools/gen_detect_model.py > src/convert/detect_model.hpp\n")
    w("// Do not edit by hand; change the generator and run it again.\n//\n")
    w("// Its inputs, the packages whose translations it read (name, version):\n")
    line = "//  "
    for p in input_packages():
        if len(line) + len(p) + 2 > 110:
            w(line.rstrip(",") + "\n")
            line = "//  "
        line += f" {p},"
    w(line.rstrip(",") + "\n//\n")
    w("// The language model of the encoding detector: letter-pair costs per language,\n")
    w("// in eighths of a bit, learnt from the translations that Debian packages ship\n")
    w("// (training part; a fifth of the packages is held out for the benchmark):\n")
    for l in languages:
        w(f"//   {l.name}: {l.chars} characters of prose, {l.slots} slots\n")
    w("#pragma once\n\n#include <array>\n#include <cstdint>\n\n")
    w("namespace recodia::detect_model {\n\n")
    w("// Symbols: the classes, then the case-folded letters.\n")
    w("enum Symbol : std::uint8_t {\n")
    for i, n in enumerate(CLASS_NAMES):
        w(f"  {n} = {i},\n")
    w(f"  kFirstLetter = {FIRST_LETTER},  // {LETTERS}\n}};\n")
    w(f"inline constexpr int kSymbolCount = {SYMBOL_COUNT};\n\n")
    w("enum LetterCase : std::uint8_t { kNoCase, kLower, kUpper };\n\n")
    w("struct CharClass {\n  char32_t character;\n  std::uint8_t symbol;\n  LetterCase letter_case;\n};\n\n")

    def entry(cp, literal):
        s, case = classify(chr(cp))
        sym = CLASS_NAMES[s] if s < FIRST_LETTER else f"kFirstLetter + {s - FIRST_LETTER}"
        return f"{{{literal}, {sym}, {CASE_NAMES[case]}}}"

    w("// ASCII, by byte.\ninline constexpr std::array<CharClass, 128> kAscii = {{\n")
    for row in range(0, 128, 4):
        w("    " + " ".join(entry(cp, char_literal(cp)) + "," for cp in range(row, row + 4)) + "\n")
    w("}};\n\n")
    chars = [cp for cp in gen_code_pages.page_characters() if cp >= 0x80]
    w("// Every character of the code pages above ASCII, in code point order.\n")
    w(f"inline constexpr std::array<CharClass, {len(chars)}> kNonAscii = {{{{\n")
    for cp in chars:
        w(f"    {entry(cp, char_literal(cp))},\n")
    w("}};\n\n")
    w("// The cost of a character's case after the case of the one before it.\n")
    w("inline constexpr std::array<std::array<std::uint8_t, 3>, 3> kCaseCost = {{\n")
    for a in range(3):
        w("    {" + ", ".join(str(case_cost[a][b]) for b in range(3)) + "},\n")
    w("}};\n\n")
    w("// The cost of a letter's being upper case, on its own.\n")
    w(f"inline constexpr std::uint8_t kUpperCaseCost = {upper_cost};\n\n")
    for l in languages:
        w(f"// {l.name}: slots {' '.join(n.replace(' ', '_') for n in l.slot_names)}\n")
        w(f"inline constexpr std::array<std::uint8_t, {l.slots * l.slots}> k{l.code.capitalize()}Pairs = {{\n")
        for a in range(l.slots):
            w("    " + ", ".join(str(v) for v in l.pair[a * l.slots:(a + 1) * l.slots]) + ",\n")
        w("};\n")
    w("\nstruct Language {\n  int slots;\n")
    w("  std::array<std::uint8_t, kSymbolCount> slot;    // symbol to slot\n")
    w("  std::array<std::uint8_t, kSymbolCount> within;  // the symbol's cost within a shared slot\n")
    w("  const std::uint8_t* pair_cost;                   // slots x slots, after x next\n")
    w("  std::array<std::uint8_t, kSymbolCount> alone;   // each symbol's cost on its own\n};\n\n")
    w(f"inline constexpr std::array<Language, {len(languages)}> kLanguages = {{{{\n")
    for l in languages:
        w(f"    // {l.name}\n    {{{l.slots},\n")
        w("     {" + ", ".join(map(str, l.slot)) + "},\n")
        w("     {" + ", ".join(map(str, l.within)) + "},\n")
        w(f"     k{l.code.capitalize()}Pairs.data(),\n")
        w("     {" + ", ".join(map(str, l.alone)) + "}},\n")
    w("}};\n\n}  // namespace recodia::detect_model\n")


def main():
    languages = []
    for code, name, script, _ in prose.LANGUAGES:
        train, _ = prose.split(code)
        if not train:
            sys.exit(f"no prose in {name}: install its translations or run tools/fetch_prose.sh")
        languages.append(Language(code, name, script, train))
        print(f"{name}: {languages[-1].chars} characters, {languages[-1].slots} slots", file=sys.stderr)
    case = Counter()
    for l in languages:
        case.update(l.case)
    # The case of a letter after the case of the character before it; a
    # character that is no letter costs nothing here.
    case_cost = []
    for a in range(3):
        after = case[a, LOWER] + case[a, UPPER]
        case_cost.append([0] + [cost((case[a, b] + 1) / (after + 2)) for b in (LOWER, UPPER)])
    letters = sum(case[a, b] for a in range(3) for b in (LOWER, UPPER))
    upper_cost = cost((sum(case[a, UPPER] for a in range(3)) + 1) / (letters + 2))
    emit(languages, case_cost, upper_cost)


if __name__ == "__main__":
    main()
