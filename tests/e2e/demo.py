#!/usr/bin/env python3
"""`make demo`: runs examples/demo/ with the real launcher in a throwaway
64-bit Wine prefix under Xvfb and prints what happened, step by step."""

import os
import shutil
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import Prefix, Medium, HarnessError, REPO, image_colours, log, split_command, winpath  # noqa: E402
from scenarios import DialogCatcher  # noqa: E402
from winestart import checker_name, no_32bit  # noqa: E402

DEMO = os.path.join(REPO, "examples", "demo")


class Shot(DialogCatcher):
    def __init__(self, prefix, medium):
        self.prefix = prefix
        self.medium = medium
        DialogCatcher.__init__(self, self, "^Installation$", "progress-dialog")

    def screenshot_window(self, wid, label):
        path = os.path.join(self.medium.artifacts, label + ".png")
        self.prefix.screenshot(path)
        return path, None, image_colours(path), None

    def __call__(self, elapsed):
        # The driver step's dialog may be gone before the picture is taken: a blank one is taken
        # again at the next dialog.
        DialogCatcher.__call__(self, elapsed)
        if self.shot and self.shot[2] < 3:
            self.shot, self.seen_at, self.answered = None, None, False


def build_medium(prefix, work):
    m = Medium(prefix, "demo", os.path.join(work, "artifacts"))
    for root, _, files in os.walk(DEMO):
        for f in files:
            if f == "README.md":
                continue
            src = os.path.join(root, f)
            rel = os.path.relpath(src, DEMO)
            dst = os.path.join(m.dir, rel)
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            shutil.copy(src, dst)
            if f.endswith(".exe.cfg"):
                shutil.copy(prefix.tool("fakeinst.exe"), dst[:-4])
    shutil.copy(prefix.tool("e2edev.inf"), os.path.join(m.dir, "e2edev.inf"))
    m.add_launcher("stagerun.exe")
    m.add_launcher("stagerun64.exe")
    return m


def describe(events, launch, t0, launcher):
    def at(ms):
        return "[%6.2fs]" % ((ms - t0) / 1000.0)

    starts = [e for e in events if e["event"] == "start"]
    ends = {e["pid"]: e for e in events if e["event"] == "end"}
    out = ["%s %s started (pid %d) by the user" % (at(launch["time"]), launcher, launch["pid"])]
    exit_ev = next((e for e in events if e["event"] == "exit" and e["pid"] == launch["pid"]), None)
    steps = [e for e in starts if e.get("pname", "").lower() == "stagerun64.exe" and e.get("role") == "main"
             and e["name"].lower() not in ("isetup.exe",)]
    for i, s in enumerate(steps):
        nxt = steps[i + 1]["time"] if i + 1 < len(steps) else None
        params = split_command(s.get("cmd", ""))[1].strip()
        out.append("%s step: %s launched by stagerun64.exe (pid %d)" % (at(s["time"]), s["name"], s["ppid"]))
        out.append("           file       %s" % s["exe"])
        out.append("           parameters %s" % (params if params else "(none)"))
        out.append("           directory  %s" % s["cwd"])
        window_end = nxt if nxt else float("inf")
        group = [e for e in starts if s["time"] <= e["time"] < window_end]
        for g in group:
            if g is not s:
                out.append("%s   it started %s (pid %d, parent %s)" % (at(g["time"]), g["name"], g["pid"],
                                                                     g.get("pname")))
        last_end = max((ends[g["pid"]]["time"] for g in group if g["pid"] in ends), default=None)
        if s["pid"] in ends:
            out.append("%s   %s ended after %.1fs" % (at(ends[s["pid"]]["time"]), s["name"],
                                                      (ends[s["pid"]]["time"] - s["time"]) / 1000.0))
        if nxt and last_end:
            out.append("           waited %.1fs after the last of its processes ended before the next step"
                       % ((nxt - last_end) / 1000.0))
    if exit_ev:
        out.append("%s %s ended with exit code %d" % (at(exit_ev["time"]), launcher, exit_ev["code"]))
    return out


def main():
    work = os.path.join(REPO, "build", "demo")
    prefix = Prefix(work, "p64")
    t_begin = time.time()
    try:
        log("demo: making a throwaway 64-bit Wine prefix (about 20 s) ...")
        prefix.setup()
        m = build_medium(prefix, work)
        _, before = prefix.wine([prefix.tool("devtool.exe"), "add", r"ROOT\E2E_STAGERUN_DEV", "Unconfigured device"])
        log("demo: registered a test device: %s" % before.strip())
        log("demo: medium %s (in the prefix: %s)" % (m.dir, m.win))
        with open(os.path.join(m.dir, "StageRun.ini")) as f:
            log("demo: StageRun.ini\n" + "".join("    " + l for l in f.read().replace("\r", "").splitlines(True)))
        check = os.path.join(os.environ.get("E2E_DIST", os.path.join(REPO, "dist")), checker_name())
        code, report = prefix.wine([check, m.win], check=False)
        log("demo: %s %s (exit code %d)\n" % (checker_name(), m.win, code)
            + "".join("    " + l for l in report.splitlines(True)))
        shot = Shot(prefix, m)
        step_log = os.path.join(m.dir, "demo-run.log")
        launcher = "stagerun.exe"
        if no_32bit():
            launcher = "stagerun64.exe"
            log("demo: starting stagerun64.exe directly: stagerun.exe is a 32-bit program, which this machine "
                "cannot run (on 64-bit Windows it hands the run over to stagerun64.exe)")
        m.run(launcher, ["/log:" + winpath(step_log, prefix.path)], timeout=90, watcher=shot,
              extra_env={"E2E_CFGDIR": winpath(os.path.join(m.dir, "app"), prefix.path)})
        events = m.events()
        launch = next(e for e in events if e["event"] == "launch")
        log("\ndemo: timeline")
        for line in describe(events, launch, launch["time"], launcher):
            log("  " + line)
        _, after = prefix.wine([prefix.tool("devtool.exe"), "show", "E2E_STAGERUN_DEV"])
        log("\ndemo: device after the run: %s" % after.strip())
        copied = os.path.join(m.windir, "vcredist.exe")
        log("demo: kind 2 copy in the Windows directory: %s" % ("present" if os.path.exists(copied) else "MISSING"))
        if os.path.exists(step_log):
            with open(step_log, encoding="cp1252", errors="replace") as f:
                log("demo: the launcher's step log (%s /log:...)\n" % launcher
                    + "".join("    " + l for l in f.read().replace("\r", "").splitlines(True)))
        if shot.shot:
            log("demo: screenshot of the progress dialog: %s" % shot.shot[0])
        else:
            log("demo: the progress dialog was not seen, no screenshot")
        log("demo: raw fixture records: %s" % m.log_path)
        m.end_leftovers()
        return 0
    except HarnessError as exc:
        log("demo: %s" % exc)
        return 1
    finally:
        prefix.cleanup(quiet=True)
        log("demo: done in %.0fs (prefix and Xvfb removed)" % (time.time() - t_begin))


if __name__ == "__main__":
    sys.exit(main())
