"""Prints (pattern, subject, options) cases with Python re's results, for the regex engine test.

Cases are generated from a fixed seed over the syntax both engines read the same way. One line
per case, tab-separated hex of the UTF-8 fields: pattern, subject, options, result. The result is
"-" for no match, else "start,end" of the match followed by ";start,end" per group (-1,-1 for a
group that took no part). Positions are character offsets from 0.
"""
import random
import re
import sys

rng = random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else 18)
COUNT = int(sys.argv[2]) if len(sys.argv) > 2 else 400

LITERALS = list("abc01")
SUBJECT_CHARS = list("abcABC01 _-.")
CLASSES = ["[ab]", "[^a]", "[a-c]", "[0-9]", "[b-c0]", r"\d", r"\w", r"\s", r"\D", r"\W", "."]
# Quantifiers that never leave a repeated atom matching the empty text forever.
QUANTIFIERS = ["", "", "", "*", "+", "?", "*?", "+?", "??", "{2}", "{1,2}", "{1,}", "{0,2}", "{2,3}?"]


def solid_atom():
    """An atom that always consumes at least one character."""
    return rng.choice(LITERALS + CLASSES)


def solid_seq(n):
    return "".join(solid_atom() + rng.choice(["", "", "+"]) for _ in range(n))


def group():
    kind = rng.choice(["cap", "cap", "non", "alt", "look", "nlook"])
    body = solid_seq(rng.randint(1, 2))
    if kind == "cap":
        return "(" + body + ")", True
    if kind == "non":
        return "(?:" + body + ")", True
    if kind == "alt":
        return "(" + body + "|" + solid_seq(rng.randint(1, 2)) + ")", True
    if kind == "look":
        return "(?=" + body + ")", False
    return "(?!" + body + ")", False


def pattern():
    parts = []
    if rng.random() < 0.2:
        parts.append("^")
    for _ in range(rng.randint(1, 4)):
        r = rng.random()
        if r < 0.35:
            g, quantifiable = group()
            parts.append(g + (rng.choice(QUANTIFIERS) if quantifiable else ""))
        elif r < 0.45:
            parts.append(r"\b")
        else:
            parts.append(solid_atom() + rng.choice(QUANTIFIERS))
    p = "".join(parts)
    if rng.random() < 0.15:
        p += "|" + solid_seq(1)
    if rng.random() < 0.2:
        p += "$"
    return p


# Back-references to groups that always take part.
FIXED = [
    (r"(a)\1", "xaay"), (r"(\w)\1", "abccd"), (r"(a|b)+\1", "abbx"), (r"([ab]+)c\1", "abcab"),
    (r"(\d+)-\1", "12-12"),
]


def hexs(s):
    return s.encode("utf-8").hex()


def result(p, s, opts):
    m = re.search(p, s, re.IGNORECASE if opts & 1 else 0)
    if not m:
        return "-"
    spans = [m.span()] + [m.span(i) for i in range(1, (m.re.groups or 0) + 1)]
    return ";".join("%d,%d" % sp for sp in spans)


cases = []
for p, s in FIXED:
    cases.append((p, s, 0))
while len(cases) < COUNT:
    p = pattern()
    s = "".join(rng.choice(SUBJECT_CHARS) for _ in range(rng.randint(0, 8)))
    cases.append((p, s, rng.choice([0, 0, 1])))
for p, s, o in cases:
    print("\t".join([hexs(p), hexs(s), str(o), hexs(result(p, s, o))]))
