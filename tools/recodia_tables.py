"""The engine's own tables for the Python tools and benchmarks, read from the
JSON that tools/dump_tables.cpp writes (cmake --build BUILD --target
tables_json makes BUILD/recodia-tables.json), so that no tool retypes them.
"""
import functools
import json
from dataclasses import dataclass, field


@dataclass
class Encoding:
    name: str
    description: str
    script: str
    form: str
    source_switches: list
    target_switches: list
    line_ends: str
    traits: list
    detection_rank: int
    # Byte to character (None: none), as read and as written.
    read: list = field(default=None)
    written: list = field(default=None)

    @property
    def is_source(self):
        return bool(self.source_switches)

    @property
    def is_single_byte_source(self):
        return self.is_source and self.read is not None

    def writes(self):
        """{character: byte} of what a target writes as itself."""
        return {c: b for b, c in enumerate(self.written or []) if c is not None}


@dataclass
class Tables:
    encodings: list
    fallbacks: dict       # character: (single or None, single in a DOS target, text)
    transliteration: dict  # Cyrillic letter: its Latin spelling


def _text(points):
    return "".join(map(chr, points))


def _character(point):
    return None if point is None else chr(point)


@functools.cache
def load(path):
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    encodings = []
    for e in data["encodings"]:
        for key in ("read", "written"):
            if key in e:
                e[key] = [_character(c) for c in e[key]]
        encodings.append(Encoding(**e))
    fallbacks = {chr(f["character"]): (_character(f["single"]), _character(f["dos_single"]), _text(f["text"]))
                 for f in data["fallbacks"]}
    transliteration = {chr(t["character"]): _text(t["latin"]) for t in data["transliteration"]}
    return Tables(encodings, fallbacks, transliteration)
