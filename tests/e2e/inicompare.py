#!/usr/bin/env python3
"""Ini reading of the Win32 stand-in against Wine on the same files.

Runs the queries of every tests/e2e/data/ini/NAME.queries on NAME.ini (a list
without its .ini asks about a missing file; those of ini/ko/ under a Korean
system locale) twice: with the host build's inidump_host (GetPrivateProfileStringA
of winsim) and with the fixture inidump.exe inside a Wine prefix made by
`e2e.py setup`. Both print one line per query (return value, buffer bytes,
guard); the lines must be the same. A query that carries Windows' answer and
the reason (two more TAB-separated fields) is one where Wine is known to answer
otherwise than Windows: there the stand-in must give that answer, and Wine's
line is only shown. The files come from data/ini/generate.py.

  inicompare.py --work DIR --host PATH PREFIX    PREFIX: p64 or p32

Exit code 0 when every line agrees, 1 otherwise (each disagreement listed).
"""

import argparse
import glob
import os
import re
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import DATA, HarnessError, Prefix, log, winpath  # noqa: E402

INI_DATA = os.path.join(DATA, "ini")
# (folder of ini files and query lists, Wine's locale, the stand-in's system locale): Windows-1252,
# and Korean (code page 949) for ini/ko.
PASSES = [(INI_DATA, "C.UTF-8", "0x0409"), (os.path.join(INI_DATA, "ko"), "ko_KR.UTF-8", "0x0412")]
LINE = re.compile(r"^\[.*\] .* #\d+: ret=\d+ buf=.* rest=\d+ guard=(ok|OVERRUN)$")
ANSWER = re.compile(r" (ret=\d+ buf=.*) rest=\d+ guard=\w+$")
KNOWN = re.compile(r"^ret=\d+ buf=.*$")


def read_queries(path):
    """One entry per query of a list (a SECTION<TAB>KEY<TAB>SIZES line asks one per size): None,
    or for a query where Wine is known to answer otherwise than Windows, (Windows' answer as
    "ret=N buf=BYTES", why)."""
    out = []
    with open(path, "rb") as f:
        for number, raw in enumerate(f.read().decode("ascii").splitlines(), 1):
            if not raw or raw.startswith("#"):
                continue
            fields = raw.split("\t")
            sizes = fields[2].split()
            if len(fields) == 3:
                out += [None] * len(sizes)
            elif len(fields) == 5 and len(sizes) == 1 and KNOWN.match(fields[3]):
                out.append((fields[3], fields[4]))
            else:
                raise HarnessError("%s:%d: expected SECTION<TAB>KEY<TAB>SIZES, or one size with "
                                   "<TAB>ret=N buf=BYTES<TAB>WHY" % (path, number))
    return out


def cases(folder):
    """(name, ini path, queries path) of every query list, ini files without a list refused."""
    lists = sorted(glob.glob(os.path.join(folder, "*.queries")))
    names = {os.path.splitext(os.path.basename(p))[0] for p in lists}
    for ini in glob.glob(os.path.join(folder, "*.ini")):
        if os.path.splitext(os.path.basename(ini))[0] not in names:
            raise HarnessError("%s has no query list" % ini)
    return [(os.path.splitext(os.path.basename(p))[0], p[:-len(".queries")] + ".ini", p) for p in lists]


def run_host(host, files, lcid):
    args = [host, "--locale", lcid]
    for _, ini, queries in files:
        args += [ini, queries]
    p = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       timeout=60)
    if p.returncode != 0:
        raise HarnessError("inidump_host failed (%d): %s" % (p.returncode, p.stderr.decode("utf-8", "replace")))
    return p.stdout.decode("ascii").splitlines()


def run_wine(prefix, files, locale):
    args = [prefix.tool("inidump.exe")]
    for _, ini, queries in files:
        args += [winpath(ini, prefix.path), winpath(queries, prefix.path)]
    _, out = prefix.wine(args, extra_env={"LC_ALL": locale}, timeout=120)
    return out.splitlines()


def sections(lines, what):
    """Splits the output at its "== NAME.queries" headers: {name: [lines]}."""
    out = {}
    current = None
    for line in lines:
        if line.startswith("== "):
            current = line[3:]
            if current in out:
                raise HarnessError("%s printed %s twice" % (what, current))
            out[current] = []
        elif current is None or not LINE.match(line):
            raise HarnessError("%s printed an unexpected line: %r" % (what, line))
        else:
            out[current].append(line)
    return out


def compare(files, host, wine):
    """Compares the answers of one pass; returns (queries, known differences, failures)."""
    failures = 0
    total = 0
    known = 0
    for name, ini, queries in files:
        key = os.path.basename(queries)
        try:
            expected = read_queries(queries)
        except HarnessError as exc:
            log("FAIL %s" % exc)
            failures += 1
            continue
        h, w = host.get(key, []), wine.get(key, [])
        if len(h) != len(expected) or len(w) != len(expected):
            log("FAIL %s: %d queries, the stand-in answered %d, Wine %d" % (key, len(expected), len(h), len(w)))
            failures += 1
            continue
        total += len(expected)
        bad = 0
        for a, b, windows in zip(h, w, expected):
            if windows is None and a == b:
                continue
            if windows is not None:
                # Wine is no reference here: the stand-in must give Windows' answer.
                known += 1
                answer = ANSWER.search(a)
                log("KNOWN %s: %s" % (name, windows[1]))
                log("  Wine:     %s" % b)
                if answer and answer.group(1) == windows[0]:
                    log("  stand-in: %s (as Windows)" % a)
                    continue
                log("  stand-in: %s" % a)
                log("  FAIL the stand-in should answer %s, as Windows does" % windows[0])
            else:
                log("DIFF %s%s" % (name, "" if os.path.exists(ini) else " (no ini file)"))
                log("  stand-in: %s" % a)
                log("  Wine:     %s" % b)
            bad += 1
        failures += bad
        log("  %-4s %s: %d queries%s" % ("ok" if not bad else "FAIL", name, len(expected),
                                           ", %d wrong" % bad if bad else ""))
    return total, known, failures


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--work", required=True)
    ap.add_argument("--host", required=True, help="the host build's inidump_host")
    ap.add_argument("prefix", choices=["p64", "p32"])
    args = ap.parse_args()
    t0 = time.time()
    counts = [0, 0, 0, 0]  # files, queries, known differences, failures
    try:
        prefix = Prefix(args.work, args.prefix).load()
        for folder, locale, lcid in PASSES:
            files = cases(folder)
            if not files:
                raise HarnessError("no query lists in %s" % folder)
            log("-- %s under %s" % (os.path.relpath(folder, DATA), locale))
            host = sections(run_host(os.path.abspath(args.host), files, lcid), "inidump_host")
            wine = sections(run_wine(prefix, files, locale), "inidump.exe")
            total, known, failures = compare(files, host, wine)
            counts = [counts[0] + len(files), counts[1] + total, counts[2] + known, counts[3] + failures]
    except (HarnessError, subprocess.SubprocessError, OSError, UnicodeDecodeError) as exc:
        log("inicompare: %s" % exc)
        return 1
    log("ini compare on %s: %d files, %d queries (%d where Wine is known to differ from Windows), "
        "%d disagreements (%.1fs)" % (args.prefix, counts[0], counts[1], counts[2], counts[3], time.time() - t0))
    return 1 if counts[3] else 0


if __name__ == "__main__":
    sys.exit(main())
