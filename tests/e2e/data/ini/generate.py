#!/usr/bin/env python3
"""Writes the ini files and query lists of the ini comparison (tests/e2e/inicompare.py) into this
folder: NAME.ini with NAME.queries, a list without its .ini for a missing file, and those of ko/
for the Korean pass. The files hold bytes that editors change (CR alone, NUL, byte-order marks,
blanks at line ends, code page 949 and UTF-16 text): edit them here and run this script.

A query list has lines SECTION<TAB>KEY<TAB>SIZES (see tests/e2e/fixtures/inidump.c); a query
where Wine is known to answer otherwise than Windows carries two more fields: Windows' answer
("ret=N buf=BYTES") and why.
"""
import os
import sys

out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
os.makedirs(out, exist_ok=True)
files = {}  # name -> bytes, or None for no ini file
queries = {}  # name -> rows of fields, escapes already in text form

def crlf(*lines):
    return b"".join(l + b"\r\n" for l in lines)

def q(name, *rows):
    queries[name] = rows

B = 256
# --- case
files["case"] = crlf(b"[MixedCase]", b"KeyOne=first", b"keytwo=second", b"KEYTHREE=third",
                     b"[lower]", b"a=1", b"[\xc4rger]", b"\xd6l=oil", b"[Stra\xdfe]", b"x=y")
q("case",
  ("MixedCase", "KeyOne", "256"), ("mixedcase", "keyone", "256"), ("MIXEDCASE", "KEYONE", "256"),
  ("mIxEdCaSe", "KeyTwo", "256"), ("mixedcase", "keythree", "256"), ("LOWER", "A", "256"),
  ("MixedCase", "KeyFour", "256"), ("Mixed", "KeyOne", "256"),
  ("\\xc4rger", "\\xd6l", "256"), ("\\xe4rger", "\\xf6l", "256"), ("\\xc4RGER", "\\xd6L", "256"),
  ("STRASSE", "x", "256"), ("stra\\xdfe", "X", "256"))
# --- blanks and tabs
files["blanks"] = crlf(b"[Blanks]", b"  lead=leading blanks before name", b"trail   =blanks after name",
                       b"\tTabbed\t=\ttabbed value\t", b"spaced=   value with blanks   ", b"inner=a  b\tc",
                       b"  both  =  x  ", b"empty=", b"blankonly=   \t  ",
                       b"  [  Padded Section  ]  ", b"k=padded", b"[\tTabSection]", b"k=tab",
                       b"[Odd]", b"vt=\x0bvalue\x0b", b"ff=\x0cvalue\x0c", b"eof=\x1avalue\x1a",
                       b"us=\x1fvalue\x1f", b"fs=\x1cvalue\x1c", b"nbsp=\xa0value\xa0", b"nel=\x85value\x85",
                       b"\x0bvkey=1", b"\xa0nbspkey\xa0=2")
q("blanks",
  ("Blanks", "lead", "256"), ("Blanks", "\\x20 lead\\x20\\x20", "256"), ("Blanks", "trail", "256"),
  ("\\x20Blanks\\t", "trail", "256"), ("Blanks", "Tabbed", "256"), ("Blanks", "\\tTabbed\\t", "256"),
  ("Blanks", "spaced", "256 5 6"), ("Blanks", "inner", "256"), ("Blanks", "both", "256"),
  ("Blanks", "empty", "256"), ("Blanks", "blankonly", "256"),
  ("Padded Section", "k", "256"), ("\\x20 Padded Section\\x20\\x20", "k", "256"),
  ("TabSection", "k", "256"), ("\\tTabSection", "k", "256"),
  ("Odd", "vt", "256"), ("Odd", "ff", "256"), ("Odd", "eof", "256"), ("Odd", "us", "256"),
  ("Odd", "fs", "256"), ("Odd", "nbsp", "256"), ("Odd", "nel", "256"), ("Odd", "vkey", "256"),
  ("Odd", "nbspkey", "256"), ("Odd", "\\xa0nbspkey\\xa0", "256"))
# --- quotes
files["quotes"] = crlf(b"[Quotes]", b'dq="double"', b"sq='single'", b"mixed=\"mixed'", b"mixed2='mixed2\"",
                       b'open="unbalanced', b'close=unbalanced"', b'lone="', b"lonesq='", b'twodq=""',
                       b"twosq=''", b'inside=a "quoted" word', b'ends="a" and "b"',
                       b'spaced="  inner blanks  "', b'outside=  "trimmed first"  ', b'threedq="""',
                       b"nested=\"'x'\"", b'tab="\t"', b'blankq=" "', b'name"q"=quoted name')
q("quotes",
  ("Quotes", "dq", "256 0 1 2 5 6 7 8 9"), ("Quotes", "sq", "256 6 7 8"), ("Quotes", "mixed", "256"),
  ("Quotes", "mixed2", "256"), ("Quotes", "open", "256"), ("Quotes", "close", "256"),
  ("Quotes", "lone", "256 1 2"), ("Quotes", "lonesq", "256"), ("Quotes", "twodq", "256 1 2 3"),
  ("Quotes", "twosq", "256"), ("Quotes", "inside", "256"), ("Quotes", "ends", "256"),
  ("Quotes", "spaced", "256"), ("Quotes", "outside", "256"), ("Quotes", "threedq", "256 1 2 3 4"),
  ("Quotes", "nested", "256"), ("Quotes", "tab", "256"), ("Quotes", "blankq", "256"),
  ("Quotes", 'name"q"', "256"), ("Quotes", "nameq", "256"))
# --- long values
alpha = b"0123456789abcdefghij"
big = (b"ABCDEFGHIJKLMNOPQRSTUVWXYZ" * 50)[:1200]
files["long"] = crlf(b"[Long]", b"plain=" + alpha, b'quoted="' + alpha + b'"', b"single='" + alpha + b"'",
                     b"big=" + big, b'bigq="' + big + b'"', b'halfq="' + alpha)
q("long",
  ("Long", "plain", "256 0 1 2 10 19 20 21 22"),
  ("Long", "quoted", "256 0 1 2 3 19 20 21 22 23 24"),
  ("Long", "single", "256 19 20 21 22 23"),
  ("Long", "big", "4096 100 1199 1200 1201 1202"),
  ("Long", "bigq", "4096 1199 1200 1201 1202 1203"),
  ("Long", "halfq", "256 20 21 22"))
# --- duplicates
files["dupes"] = crlf(b"[Dup]", b"key=first", b"Key=second", b"KEY=third", b"other=one", b"other=two",
                      b"[dup]", b"key=from second section", b"onlysecond=here",
                      b"[Dup]", b"onlythird=here", b"[Other]", b"x=1", b"[other]", b"x=2", b"y=3")
q("dupes",
  ("Dup", "key", "256"), ("DUP", "KEY", "256"), ("Dup", "other", "256"), ("Dup", "onlysecond", "256"),
  ("dup", "onlythird", "256"), ("Other", "x", "256"), ("other", "y", "256"))
# --- keys before any section
files["nosection"] = crlf(b"before=no section", b"another=too", b"", b"[First]", b"before=in first")
PRESECTION = ("Wine takes the lines before the first header for a section named \"\"; Windows does not "
              "(Wine's profile tests, todo_wine: the name \"\" finds \"[]\", not those lines)")
q("nosection",
  ("", "before", "256", "ret=0 buf=\\x00", PRESECTION), ("\\x20", "before", "256", "ret=0 buf=\\x00", PRESECTION),
  ("First", "before", "256"), ("First", "another", "256"))
# --- section headers
files["headers"] = crlf(b"[Top]", b"[NoClose", b"nc=after unclosed", b"[ Inner Blanks ]", b"ib=inner",
                        b"[a]b]", b"ab=nested bracket", b"[trailing] junk after", b"tj=junk",
                        b"[]", b"empty=section", b"[[double]]", b"dd=double", b"   [indented]", b"ind=yes",
                        b"[semi;colon]", b"sc=1", b"[eq=sign]", b"es=1", b"[x]=y", b"xy=1")
q("headers",
  ("Top", "nc", "256"), ("Top", "[NoClose", "256"), ("NoClose", "nc", "256"),
  ("Inner Blanks", "ib", "256"), ("\\x20Inner Blanks\\x20", "ib", "256"),
  ("a]b", "ab", "256"), ("a", "ab", "256"), ("trailing", "tj", "256"),
  ("", "empty", "256", "ret=7 buf=section\\x00",
   "Windows finds a \"[]\" section by the name \"\"; Wine does not (todo_wine in Wine's own profile tests)"),
  ("[double]", "dd", "256"), ("[double", "dd", "256"), ("indented", "ind", "256"),
  ("semi;colon", "sc", "256"), ("eq=sign", "es", "256"), ("x", "xy", "256"), ("x]=y", "xy", "256"))
# --- keys without "=", values with "="
files["equals"] = crlf(b"[Keys]", b"novalue", b"novalue2   ", b"=nameless", b" = blanknameless",
                       b"withequals=a=b=c", b"doubleeq==x", b"spaceeq = = y", b"emptyval=", b"spaceval= ",
                       b"url=http://host/path?a=1&b=2")
q("equals",
  ("Keys", "novalue", "256"), ("Keys", "novalue2", "256"), ("Keys", "\\x20", "256"),
  ("Keys", "withequals", "256"), ("Keys", "doubleeq", "256"), ("Keys", "spaceeq", "256"),
  ("Keys", "emptyval", "256"), ("Keys", "spaceval", "256"), ("Keys", "url", "256"),
  ("Keys", "=nameless", "256"), ("Keys", "withequals=a", "256"))
# --- comments
files["comments"] = crlf(b"; leading comment", b"[Comments]", b"; a comment line",
                         b"key=value ; trailing comment stays", b";key=commented out", b"  ; indented=comment",
                         b"other=1", b"# hash=sign", b"[Comments2] ; comment after header", b"k=v",
                         b";[Commented]", b";ck=1")
q("comments",
  ("Comments", "key", "256"), ("Comments", ";key", "256"), ("Comments", "; indented", "256"),
  ("Comments", "other", "256"), ("Comments", "# hash", "256"), ("Comments2", "k", "256"),
  ("Commented", "ck", "256"), ("Comments2", ";ck", "256"))
# --- line ends
body = [b"[First]", b"a=1", b"b=2", b"[Second]", b"c=3"]
files["lineends_crlf"] = b"\r\n".join(body) + b"\r\n"
files["lineends_lf"] = b"\n".join(body)
files["lineends_cr"] = b"\r".join(body) + b"\r"
files["lineends_mixed"] = b"[First]\r\na=1\rb=2\n[Second]\n\rc=3\r\r\n\n"
for n in ("lineends_crlf", "lineends_lf", "lineends_cr", "lineends_mixed"):
    q(n, ("First", "a", "256"), ("First", "b", "256"), ("Second", "c", "256"),
      ("First]\\x0da=1\\x0db=2\\x0d[Second", "c", "256"))
# --- byte-order marks and encodings
files["bom"] = b"\xef\xbb\xbf" + crlf(b"[Bom]", b"key=value", b"utf=\xc3\xa9t\xc3\xa9", b"euro=\xe2\x82\xac",
                                       b"cjk=\xe4\xb8\xad", b"latin=\xc4\x81", b"minus=\xe2\x88\x92", b"smart=\xe2\x80\x9cq\xe2\x80\x9d", b"emoji=<\xf0\x9f\x98\x80>", "fullwidth=\uff21\uff42\u3000\uff5e\uff01".encode("utf-8"), "dashes=\u2010\u2011".encode("utf-8"),
                                       "c1=<\u0081\u0080\u008d\u009f>".encode("utf-8"), b"bad=<\xff\xc3(\xe0\x80\xaf\xed\xa0\x80\xc3>", b"[\xc3\x84rger]", b"k=v")
q("bom",
  ("Bom", "key", "256"), ("Bom", "utf", "256 2 3"), ("Bom", "euro", "256"), ("Bom", "cjk", "256"), ("Bom", "latin", "256"), ("Bom", "minus", "256"), ("Bom", "smart", "256"), ("Bom", "emoji", "256"), ("Bom", "fullwidth", "256"), ("Bom", "dashes", "256"), ("Bom", "c1", "256"), ("Bom", "bad", "256"),
  ("\\xc4rger", "k", "256"), ("\\xc3\\x84rger", "k", "256"))
bad = [b"\xe0\x80\xaf", b"\xed\xa0\x80", b"\xc3", b"\xe0\x80", b"\xf0\x80\x80\x80", b"\xf4\x90\x80\x80",
       b"\x80\x80", b"\xc0\xaf", b"\xe2\x82", b"\xf0\x9f\x98", b"\xed\xbf\xbf", b"\xf8\x88\x80\x80\x80",
       b"\xe0\xa0\x80", b"\xef\xbf\xbf", b"\xf4\x8f\xbf\xbf"]
files["bom_malformed"] = b"\xef\xbb\xbf" + crlf(b"[Bad]", *[b"k%d=<%s>" % (n, v) for n, v in enumerate(bad)]) + b"end=\xe2\x82"
q("bom_malformed", *[("Bad", "k%d" % n, "256") for n in range(len(bad))], ("Bad", "end", "256"))
files["utf8_nobom"] = crlf(b"[Plain]", b"utf=\xc3\xa9t\xc3\xa9", b"\xef\xbb\xbfkey=late mark", b"key=1")
q("utf8_nobom", ("Plain", "utf", "256 2 3"), ("Plain", "key", "256"), ("Plain", "\\xef\\xbb\\xbfkey", "256"))
files["bomonly"] = b"\xef\xbb\xbf"
q("bomonly", ("", "x", "256"), ("Any", "key", "256"))
files["utf16"] = (b"\xff\xfe" + "[Wide]\r\nkey=value\r\nutf=\u00e9t\u00e9\r\nemoji=<\U0001F600>\r\n"
                  "latin=\u0101\u0141\r\n".encode("utf-16-le") + b"lone=<\x00\x00\xd8>\x00\r\x00\n\x00odd=1\x00x")
q("utf16", ("Wide", "key", "256"), ("Wide", "utf", "256"), ("Wide", "emoji", "256"), ("Wide", "latin", "256"),
  ("Wide", "lone", "256"), ("Wide", "odd", "256"))
files["utf16be"] = b"\xfe\xff" + "[Wide]\r\nkey=value\r\nutf=\u00e9t\u00e9\r\n".encode("utf-16-be")
q("utf16be", ("Wide", "key", "256"), ("Wide", "utf", "256"))
files["ansi"] = crlf(b"[Ansi]", b"high=\x80\x81\x8d\x8f\x90\x9d\xa4\xff", b"\xe9t\xe9=summer")
q("ansi", ("Ansi", "high", "256 4"), ("Ansi", "\\xe9t\\xe9", "256"), ("Ansi", "\\xc9T\\xc9", "256"))
# --- NUL bytes
files["nulbytes"] = crlf(b"[Nul]", b"val=ab\x00cd", b"na\x00me=x", b"\x00lead=y", b"after=z",
                    b"[Sec\x00tion]", b"k=v")
q("nulbytes",
  ("Nul", "val", "256"), ("Nul", "na", "256"), ("Nul", "name", "256"), ("Nul", "lead", "256"),
  ("Nul", "after", "256"), ("Sec", "k", "256"), ("Section", "k", "256"))
# --- empty and missing files
files["empty"] = b""
q("empty", ("Any", "key", "256"), ("", "key", "256"))
files["blankfile"] = b"  \r\n\t\r\n\r\n"
q("blankfile", ("Any", "key", "256"))
files["missing"] = None
q("missing", ("Any", "key", "256 1 0"))

for name, data in files.items():
    if data is not None:
        with open(os.path.join(out, name + ".ini"), "wb") as f:
            f.write(data)
    with open(os.path.join(out, name + ".queries"), "w", newline="\n") as f:
        f.write("# SECTION<TAB>KEY<TAB>SIZES (see tests/e2e/fixtures/inidump.c)\n")
        for row in queries[name]:
            f.write("\t".join(row) + "\n")

# --- Korean system locale (code page 949): tests/e2e/data/ini/ko
ko = os.path.join(out, "ko")
os.makedirs(ko, exist_ok=True)
content = "[설치]\r\n제목=한국어 설치\r\nmixed=a한b국c\r\nquoted=\"한국\"\r\n[Setup]\r\nTitle = 설치 프로그램\r\n"
kofiles = {"hangul": b"\xef\xbb\xbf" + content.encode("utf-8"),
           "hangul16": b"\xff\xfe" + content.encode("utf-16-le"),
           "hangul_ansi": content.encode("cp949")}
def esc(text):
    return "".join("\\x%02x" % b for b in text.encode("cp949"))
rows = [
    "# Sizes that would cut a double-byte character in two are left out: there Wine counts",
    "# the whole size but leaves the cut character's bytes unwritten, no answer to compare.",
    "\t".join((esc("설치"), esc("제목"), "256 1 3 5 7 8 10")),
    "\t".join((esc("설치"), "mixed", "256 1 2 4 5 7 8")),
    "\t".join((esc("설치"), "quoted", "256 1 3 5 6")),
    "\t".join(("setup", "title", "256 3 6")),
]
for name, data in kofiles.items():
    with open(os.path.join(ko, name + ".ini"), "wb") as f:
        f.write(data)
    with open(os.path.join(ko, name + ".queries"), "w", newline="\n") as f:
        f.write("# SECTION<TAB>KEY<TAB>SIZES (see tests/e2e/fixtures/inidump.c)\n")
        f.write("\n".join(rows) + "\n")
