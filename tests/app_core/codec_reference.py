"""Prints generated texts with what Python's urllib.parse and html make of them.

One line per case, tab-separated: the kind (encode, decode, refs), the input as hex of its UTF-8
bytes, and the expected result as hex. The rules our codecs name on top of the standard ones are
applied here, so that any other difference shows:
- encode: quote_plus with "*" and "@" kept; "~" is encoded too; a CR is dropped and a LF becomes
  CR LF (so both give %0D%0A);
- decode: unquote_plus; texts hold no "%0D" (which is dropped) and no "&#" (references are
  decoded afterwards); bytes that do not form UTF-8 are read as Windows-1252 (the five bytes
  that code page leaves undefined as the code point of the same number), as Windows reads them;
- refs: html.unescape on texts whose only "&" start references of 4 or 5 decimal digits to code
  printable code points (html.unescape drops control characters and non-characters and maps
  128-159 to Windows-1252, where our decoder gives the code point itself).
"""
import codecs
import html
import random
import urllib.parse


def windows1252(error):
    """Decode error handler: each byte that is not part of UTF-8 as its Windows-1252 character."""
    def char(b):
        try:
            return bytes([b]).decode("cp1252")
        except UnicodeDecodeError:
            return chr(b)
    return "".join(char(b) for b in error.object[error.start:error.end]), error.end


codecs.register_error("windows1252", windows1252)

rng = random.Random(18)
PIECES = list("aZ09 -._~*@+,/?=&%:;#\t\n\r\"'<>[]{}|\\^`") + ["é", "€", "中", "😀", "\x7f", "\x01"]


def text(n, pieces):
    return "".join(rng.choice(pieces) for _ in range(n))


def hexs(s):
    return s.encode("utf-8", "surrogatepass").hex()


def bhex(b):
    return b.hex()


out = []
for _ in range(200):
    s = text(rng.randint(0, 12), PIECES)
    exp = urllib.parse.quote_plus(s.replace("\r", "").replace("\n", "\r\n"), safe="*@").replace("~", "%7E")
    out.append(("encode", hexs(s), hexs(exp)))

ESCAPES = ["%41", "%7e", "%2B", "%20", "%0A", "%C3%A9", "%E2%82%AC", "%FF", "%C3", "%", "%4", "%zz", "%%", "+", "%00",
           "%FC", "%80", "%81", "%9D", "%E2%82", "%F0%9F", "%ED%A0%80", "%C0%AF"]
for _ in range(200):
    s = "".join(rng.choice(ESCAPES + list("ab +.-_%")) for _ in range(rng.randint(0, 8)))
    s = s.replace("&#", "")
    if "%0d" in s.lower():
        continue
    exp = urllib.parse.unquote_plus(s, errors="windows1252")
    out.append(("decode", hexs(s), hexs(exp)))


def ref():
    while True:
        cp = rng.choice([rng.randint(32, 126), rng.randint(160, 0xD7FF), rng.randint(0xE000, 0xFDCF),
                         rng.randint(0xFDF0, 0xFFFD), rng.randint(0x10000, 0x1FFFD)])
        digits = rng.choice([4, 5])
        if cp < 10 ** digits:
            return "&#%0*d;" % (digits, cp)


for _ in range(150):
    parts = [rng.choice([ref(), text(rng.randint(0, 3), list("ab #;1 é"))]) for _ in range(rng.randint(0, 5))]
    s = "".join(parts)
    out.append(("refs", hexs(s), hexs(html.unescape(s))))

for kind, i, e in out:
    print(kind + "\t" + i + "\t" + e)
