#!/usr/bin/env python3
"""Command line of the end-to-end tests (called by CTest, usable by hand).

  e2e.py setup PREFIX            make the throwaway prefix (p64 or p32) and its Xvfb
  e2e.py cleanup PREFIX          end its wineserver and Xvfb (by id), remove it
  e2e.py run SCENARIO PREFIX     run one scenario in a prefix made by setup
  e2e.py list                    "SCENARIO PREFIX" lines, as CTest registers them

--work DIR (default build/host/e2e) holds prefixes, state and artifacts.
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import Prefix, HarnessError, REPO, log  # noqa: E402
from winestart import require_32bit  # noqa: E402
import scenarios  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--work", default=os.path.join(REPO, "build", "host", "e2e"))
    sub = ap.add_subparsers(dest="cmd", required=True)
    for name in ("setup", "cleanup"):
        p = sub.add_parser(name)
        p.add_argument("prefix", choices=["p64", "p32"])
    p = sub.add_parser("run")
    p.add_argument("scenario", choices=sorted(scenarios.SCENARIOS))
    p.add_argument("prefix", choices=["p64", "p32"])
    sub.add_parser("list")
    args = ap.parse_args()

    if args.cmd == "list":
        for name, (_, prefixes, _) in scenarios.SCENARIOS.items():
            for px in prefixes:
                print(name, px)
        return 0
    prefix = Prefix(args.work, args.prefix)
    try:
        if args.cmd == "setup":
            prefix.setup()
            return 0
        if args.cmd == "cleanup":
            prefix.cleanup()
            return 0
        fn, allowed, starts_32bit = scenarios.SCENARIOS[args.scenario]
        if args.prefix not in allowed:
            log("%s does not run on %s" % (args.scenario, args.prefix))
            return 2
        if starts_32bit:
            require_32bit(args.scenario)
        prefix.load()
        t0 = time.time()
        log("== %s on %s: %s" % (args.scenario, args.prefix, (fn.__doc__ or "").strip().splitlines()[0]))
        rc = fn(prefix, os.path.join(args.work, "artifacts"))
        log("== %s on %s took %.1fs" % (args.scenario, args.prefix, time.time() - t0))
        return rc
    except HarnessError as exc:
        log("e2e: %s" % exc)
        return 1


if __name__ == "__main__":
    sys.exit(main())
