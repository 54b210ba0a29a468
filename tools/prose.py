"""Prose in the languages Recodia's encodings serve, read from the translations
that Debian packages ship (gettext .mo files), split by package into a part that
the detector's model learns from and a part held out for the benchmark.

The split is by whole translation domain (one package's catalogue), the same in
every language, and a held-out message that also occurs in a training domain
(libraries share messages) is dropped, so that the benchmark scores text the
model has never seen.
"""
import glob
import gettext
import os
import zlib

# (code, name, script, locale folders). Norwegian Bokmål and Nynorsk, and
# European and Brazilian Portuguese, share one model each.
LANGUAGES = [
    ("ru", "Russian", "cyrillic", ["ru"]),
    ("uk", "Ukrainian", "cyrillic", ["uk"]),
    ("be", "Belarusian", "cyrillic", ["be"]),
    ("bg", "Bulgarian", "cyrillic", ["bg"]),
    ("sr", "Serbian", "cyrillic", ["sr"]),
    ("mk", "Macedonian", "cyrillic", ["mk"]),
    ("tr", "Turkish", "latin", ["tr"]),
    ("fr", "French", "latin", ["fr"]),
    ("de", "German", "latin", ["de"]),
    ("es", "Spanish", "latin", ["es"]),
    ("pt", "Portuguese", "latin", ["pt", "pt_BR"]),
    ("it", "Italian", "latin", ["it"]),
    ("nl", "Dutch", "latin", ["nl"]),
    ("da", "Danish", "latin", ["da"]),
    ("sv", "Swedish", "latin", ["sv"]),
    ("no", "Norwegian", "latin", ["nb", "nn", "no"]),
    ("is", "Icelandic", "latin", ["is"]),
    ("fi", "Finnish", "latin", ["fi"]),
]

# Where the catalogues are: the system's, and LibreOffice's language packs, which
# tools/fetch_prose.sh unpacks for the languages that ship little else
# (Icelandic, Macedonian, Belarusian).
DEFAULT_ROOTS = ["/usr/share/locale", "/usr/lib/libreoffice/program/resource",
                 "/var/tmp/recodia-prose/usr/lib/libreoffice/program/resource"]


def held_out(domain):
    """A fifth of the packages, chosen by name, are kept for the benchmark."""
    return zlib.crc32(domain.encode()) % 5 == 0


def _is_prose(text, script):
    """A message of at least three words, mostly letters, mostly of the
    language's own script (program names and options aside)."""
    if len(text.split()) < 3:
        return False
    letters = [c for c in text if c.isalpha()]
    if len(letters) < 0.5 * len(text.replace(" ", "")):
        return False
    cyrillic = sum(1 for c in letters if "\u0400" <= c <= "\u04ff")
    own = cyrillic if script == "cyrillic" else len(letters) - cyrillic
    return own >= 0.7 * len(letters)


def _catalogue(path):
    try:
        with open(path, "rb") as f:
            return gettext.GNUTranslations(f)._catalog
    except Exception:  # a few packages ship catalogues in legacy encodings
        return {}


def messages(language, roots=DEFAULT_ROOTS):
    """{domain: [message, ...]} of the language's prose, domains in name order."""
    code, _, script, folders = next(l for l in LANGUAGES if l[0] == language)
    out = {}
    for root in roots:
        for folder in folders:
            for path in sorted(glob.glob(os.path.join(root, folder, "LC_MESSAGES", "*.mo"))):
                domain = os.path.basename(path)[:-3]
                if domain.startswith("iso_"):  # lists of names, not prose
                    continue
                texts = out.setdefault(domain, [])
                for key, text in sorted(_catalogue(path).items(), key=lambda kv: str(kv[0])):
                    if key and _is_prose(text, script):
                        texts.append(text.strip())
    return dict(sorted(out.items()))


def split(language, roots=DEFAULT_ROOTS):
    """(training messages, held-out messages) of one language."""
    by_domain = messages(language, roots)
    train = [t for d, ts in by_domain.items() if not held_out(d) for t in ts]
    seen = set(train)
    test = [t for d, ts in by_domain.items() if held_out(d) for t in ts if t not in seen]
    return train, test
