#!/usr/bin/env python3
"""Current directories and launches by a bare name: the Win32 stand-in against
Wine on the same folders.

Lays out the folders that fixtures/dirprobe.c expects (C:\\srprobe in the
prefix's drive C:, and a folder that the prefix's drive D: is made to stand
for while the test runs), runs the fixture dirprobe.exe there under Wine and
the host build's dirprobe_host (SetCurrentDirectoryA, _chdrive and
ShellExecuteA of winsim) on the same folders, and compares their lines: every
one must be the same.

  dircompare.py --work DIR --host PATH PREFIX    PREFIX: p64 or p32

Exit code 0 when every line agrees, 1 otherwise (each difference listed).
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import HarnessError, Prefix, log  # noqa: E402

# Where the probe and its copies go, relative to C:\srprobe.
COPIES = ("prog/dirprobe.exe", "prog/beside.exe", "prog/both.exe", "prog/sub/deep.exe",
          "cur/here.exe", "cur/both.exe", "cur/sub/deep.exe")
PROBE = r"C:\srprobe\prog\dirprobe.exe"


class Layout:
    """The probe's folders in the prefix, with drive D: pointing at a folder of its own; removed
    again, and an earlier D: put back, on leaving."""

    def __init__(self, prefix, work):
        self.drive_c = os.path.join(prefix.path, "drive_c")
        self.root = os.path.join(self.drive_c, "srprobe")
        self.drive_d = os.path.join(os.path.abspath(work), "dirprobe-%s-d" % prefix.name)
        self.link = os.path.join(prefix.path, "dosdevices", "d:")
        self.probe = prefix.tool("dirprobe.exe")
        self.earlier = None

    def __enter__(self):
        for path in (self.root, self.drive_d):
            shutil.rmtree(path, ignore_errors=True)
        for rel in COPIES:
            dst = os.path.join(self.root, *rel.split("/"))
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            shutil.copy(self.probe, dst)
        os.makedirs(os.path.join(self.drive_d, "one", "two"))
        if os.path.lexists(self.link):
            self.earlier = os.readlink(self.link)
            os.remove(self.link)
        os.symlink(self.drive_d, self.link)
        return self

    def __exit__(self, *exc):
        os.remove(self.link)
        if self.earlier is not None:
            os.symlink(self.earlier, self.link)
        for path in (self.root, self.drive_d):
            shutil.rmtree(path, ignore_errors=True)


def run_host(host, layout):
    p = subprocess.run([host, layout.drive_c, layout.drive_d], stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if p.returncode != 0:
        raise HarnessError("dirprobe_host failed (%d): %s" % (p.returncode, p.stderr.decode("utf-8", "replace")))
    return p.stdout.decode("ascii").splitlines()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--work", required=True)
    ap.add_argument("--host", required=True, help="the host build's dirprobe_host")
    ap.add_argument("prefix", choices=["p64", "p32"])
    args = ap.parse_args()
    t0 = time.time()
    try:
        prefix = Prefix(args.work, args.prefix).load()
        with Layout(prefix, args.work) as layout:
            _, out = prefix.wine([PROBE], timeout=120)
            wine = out.splitlines()
            host = run_host(os.path.abspath(args.host), layout)
    except (HarnessError, subprocess.SubprocessError, OSError, UnicodeDecodeError) as exc:
        log("dircompare: %s" % exc)
        return 1
    differences = 0
    for number in range(max(len(wine), len(host))):
        w = wine[number] if number < len(wine) else "(no line)"
        h = host[number] if number < len(host) else "(no line)"
        if w == h:
            log("  ok   %s" % w)
            continue
        differences += 1
        log("DIFF line %d" % (number + 1))
        log("  stand-in: %s" % h)
        log("  Wine:     %s" % w)
    if not wine:
        log("FAIL the probe printed nothing under Wine")
        differences += 1
    log("directory and launch compare on %s: %d lines, %d differences (%.1fs)" %
        (args.prefix, len(wine), differences, time.time() - t0))
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
