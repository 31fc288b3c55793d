#!/usr/bin/env python3
"""How the end-to-end tests, the demo, check-medium and the bench start Wine.

Debian's `wine` wrapper prefers Wine's 32-bit loader, an i386 program, even for a 64-bit prefix,
and a kernel without 32-bit emulation cannot run it. So that loader is run once: when it does not
work, 64-bit prefixes are started with the 64-bit loader directly (named in WINELOADER, with which
Wine starts further programs) and whatever needs a 32-bit program is skipped. STAGERUN_NO_32BIT=1
makes any machine behave so.

  winestart.py         says in one line (on stderr) when this machine runs no 32-bit program
  winestart.py shell   also prints WINE, CHECKER (and WINELOADER) as shell assignments
"""

import errno
import os
import subprocess
import sys

LOADER32 = "/usr/lib/wine/wine"
LOADER64 = "/usr/lib/wine/wine64"
SKIP_CODE = 77  # the end-to-end tests' SKIP_RETURN_CODE (tests/e2e/e2e.cmake)
_found = []  # [None] once this machine is known to run 32-bit programs, else [why not]


def no_32bit():
    """Why this machine runs no 32-bit program, or None when it does. Found out on the first call,
    which says so in one line."""
    if not _found:
        why = None
        if os.environ.get("STAGERUN_NO_32BIT") == "1":
            why = "STAGERUN_NO_32BIT=1"
        else:
            try:
                code = subprocess.run([LOADER32, "--version"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL, timeout=120).returncode
                if code != 0:
                    why = "%s --version exits with %d" % (LOADER32, code)
            except OSError as exc:
                why = ("the kernel's 32-bit emulation is off" if exc.errno == errno.ENOEXEC
                       else "Wine's 32-bit loader (wine32) is not installed" if exc.errno == errno.ENOENT
                       else "%s: %s" % (LOADER32, exc.strerror))
        _found.append(why)
        if why:
            print("this machine runs no 32-bit program (%s): 32-bit end-to-end tests are skipped" % why,
                  file=sys.stderr, flush=True)
    return _found[0]


def wine_command(winearch):
    """The command that starts Wine for a prefix of WINEARCH, and what it needs in the environment."""
    if winearch == "win64" and no_32bit():
        return [LOADER64], {"WINELOADER": LOADER64}
    return ["wine"], {}


def checker_name():
    """The medium checker this machine can run."""
    return "stagerun-check64.exe" if no_32bit() else "stagerun-check.exe"


def require_32bit(what):
    """Ends the running test as skipped when WHAT needs a 32-bit program and this machine runs none."""
    if no_32bit():
        print("skipped: %s needs a 32-bit program" % what, flush=True)
        raise SystemExit(SKIP_CODE)


def main():
    no_32bit()
    if sys.argv[1:] == ["shell"]:
        command, env = wine_command("win64")
        print("WINE=%s" % command[0])
        if env:
            print("export WINELOADER=%s" % env["WINELOADER"])
        print("CHECKER=%s" % checker_name())
    return 0


if __name__ == "__main__":
    sys.exit(main())
