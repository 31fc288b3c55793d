"""End-to-end scenarios: each builds a small medium, runs the real launcher in
a Wine prefix and checks from outside what happened. Every timing check bounds
its gap from both sides, with room for scheduling: from below by what the
launcher must wait (the settle rounds, 20 x 300 ms, say), from above by what it
may take at most, so that neither a wait too short nor one the wrong way round
(a negative gap) passes."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from harness import (Checks, HarnessError, Medium, REPO, DATA, log, starts, end_of, split_command, timeline,
                     image_colours, winpath)
from winestart import LOADER64, checker_name

LAUNCHER = {"p64": "stagerun64.exe", "p32": "stagerun.exe"}
SETTLE_MIN = 5.5      # 20 settle rounds of 300 ms, less scheduling slack
SW_SHOW = 5
NO_SETTLE_MAX = 2.5   # a dialog step goes on about 1 s after its last process
RUNONCE_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce"
DEVICE_DESC_INSTALLED = "StageRun E2E Test Device (driver installed)"

SCENARIOS = {}


def scenario(prefixes, starts_32bit=False):
    """STARTS_32BIT: the scenario starts stagerun.exe on a 64-bit prefix."""
    def wrap(fn):
        SCENARIOS[fn.__name__] = (fn, prefixes, starts_32bit)
        return fn
    return wrap


def secs(ms):
    return ms / 1000.0


class Run:
    """Shared plumbing of one scenario."""

    def __init__(self, prefix, name, artifacts):
        self.prefix = prefix
        self.name = name
        self.medium = Medium(prefix, name, artifacts)
        self.checks = Checks("%s on %s" % (name, prefix.name))
        self.launch = None
        self.exit = None
        self.background = []

    # -- observation helpers ------------------------------------------------
    def events(self):
        return self.medium.events()

    def run(self, exe=None, args=(), timeout=60, watcher=None, extra_env=None, cwd=None):
        exe = exe or LAUNCHER[self.prefix.name]
        self.medium.run(exe, args, timeout=timeout, watcher=watcher, extra_env=extra_env, cwd=cwd)
        evs = self.events()
        launches = [e for e in evs if e["event"] == "launch"]
        self.launch = launches[-1] if launches else None
        ends = [e for e in evs if e["event"] in ("exit", "timeout")]
        self.exit = ends[-1] if ends else None
        return evs

    def one(self, name, role=None):
        s = starts(self.events(), name, role)
        self.checks.check(len(s) >= 1, "%s was started" % name, "(found %d starts)" % len(s))
        return s[0] if s else None

    def params(self, ev):
        return split_command(ev.get("cmd", ""))[1] if ev else None

    def check_child_of_launcher(self, ev, launcher_pid=None):
        pid = launcher_pid if launcher_pid is not None else (self.launch or {}).get("pid")
        if ev:
            self.checks.check(ev.get("ppid") == pid, "%s runs as a child of the launcher" % ev["name"],
                              "(parent %s %s, launcher %s)" % (ev.get("ppid"), ev.get("pname"), pid))

    def check_exit(self, code=0, within=None):
        ok = self.exit is not None and self.exit["event"] == "exit" and self.exit.get("code") == code
        self.checks.check(ok, "launcher ended by itself with exit code %d" % code, "(%r)" % self.exit)
        if ok and within is not None:
            self.check_gap(self.exit, (self.launch or {}).get("time"), 0, within,
                           "launcher ended within %.0fs" % within)

    def check_gap(self, later, earlier_ms, at_least, at_most, what):
        """later's record came at least at_least and at most at_most seconds after earlier_ms."""
        if later is None or earlier_ms is None:
            self.checks.check(False, what, "(missing record)")
            return
        gap = secs(later["time"] - earlier_ms)
        self.checks.check(at_least <= gap <= at_most,
                          "%s (gap %.2fs, expected %s..%s s)" % (what, gap, at_least, at_most))

    def check_shown(self, ev):
        """The launcher started the installer to come up in view."""
        if ev:
            self.checks.check(ev.get("show") == str(SW_SHOW), "%s was started shown (SW_SHOW)" % ev["name"],
                              "(show state %s)" % ev.get("show"))

    def add_runonce_marker(self):
        """A RunOnce entry that the prefix runs only when it restarts: Wine's
        ExitWindowsEx(EWX_REBOOT) runs `wineboot --kill`, which ends every
        process of the prefix and then performs the restart-time work."""
        marker = self.medium.add_installer("marker/restarted.exe", run_ms=100)
        self.prefix.wine(["reg", "add", RUNONCE_KEY, "/v", "e2e_" + self.name, "/d",
                          winpath(marker, self.prefix.path), "/f"], extra_env=self.medium.env())

    def remove_runonce_marker(self):
        self.prefix.wine(["reg", "delete", RUNONCE_KEY, "/v", "e2e_" + self.name, "/f"], check=False)

    def start_sentinel(self, seconds=120):
        p = self.prefix.wine_bg([self.prefix.tool("e2etool.exe"), "sentinel", str(seconds)],
                                extra_env=self.medium.env())
        self.background.append(p)
        self.wait_for(lambda: any(e["event"] == "sentinel-up" for e in self.events()), 20, "sentinel window")
        return p

    def wait_for(self, cond, timeout, what):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if cond():
                return True
            time.sleep(0.2)
        raise HarnessError("timed out waiting for " + what)

    def screenshot_window(self, wid, label):
        path = os.path.join(self.medium.artifacts, label + ".png")
        self.prefix.screenshot(path)
        x, y, w, h = self.prefix.window_geometry(wid)
        whole = image_colours(path)
        region = image_colours(path, "%dx%d+%d+%d" % (w, h, x, y))
        return path, (x, y, w, h), whole, region

    def finish(self):
        left = self.medium.end_leftovers()
        for p in self.background:
            if p.poll() is None:
                p.kill()
            p.wait()
        log("timeline of %s:" % self.name)
        for line in timeline(self.events()):
            log(line)
        if left:
            log("ended leftover fixture processes: %s" % ", ".join("%s(%d)" % (p["name"], p["pid"]) for p in left))
        return self.checks.done()


class DialogCatcher:
    """Watcher for Medium.run: screenshots a window the first time it appears
    and optionally answers it with a key."""

    def __init__(self, run, title_regex, label, key=None, settle=0.6):
        self.run = run
        self.title = title_regex
        self.label = label
        self.key = key
        self.settle = settle
        self.seen_at = None
        self.shot = None
        self.answered = False

    def __call__(self, elapsed):
        if self.answered:
            return
        wid = self.run.prefix.find_window(self.title)
        if not wid:
            return
        if self.seen_at is None:
            self.seen_at = elapsed
            time.sleep(self.settle)  # let it paint
            try:
                self.shot = self.run.screenshot_window(wid, self.label)
            except Exception as exc:  # keep answering even when the shot fails
                log("screenshot failed: %s" % exc)
        if self.key:
            self.run.prefix.press_key_on(wid, self.key)
        self.answered = True


class Multi:
    def __init__(self, *watchers):
        self.watchers = watchers

    def __call__(self, elapsed):
        for w in self.watchers:
            w(elapsed)


# ---------------------------------------------------------------------------

@scenario(["p64"])
def typical(prefix, artifacts):
    """The typical run: driver step, installer in a subfolder held by a "~"
    wait list, setup program with -f1/-f2 under the dialog, restart flag;
    the restart question is answered No."""
    r = Run(prefix, "typical", artifacts)
    m = r.medium
    m.add_launcher(LAUNCHER[prefix.name])
    shutil.copy(prefix.tool("e2edev.inf"), os.path.join(m.dir, "e2edev.inf"))
    _, out = prefix.wine([prefix.tool("devtool.exe"), "add", r"ROOT\E2E_STAGERUN_DEV", "Unconfigured E2E device"])
    m.add_installer("driver/setup.exe", run_ms=1500, child="isetup.exe")
    m.add_installer("driver/isetup.exe", run_ms=3000)
    m.add_installer("app/setup2.exe", run_ms=2000)
    m.write_file("app/setup.iss", "[InstallShield Silent]\n")
    m.write_ini([("SetupList", [
        "0,e2edev.inf,e2e_stagerun_dev",
        r"1,driver\setup.exe, ,isetup.exe",
        r'1,app\setup2.exe,-s -f1"%curdir%\app\setup.iss" -f2"%windir%\setup.log", ,1',
    ])])
    r.add_runonce_marker()
    r.start_sentinel()
    question = DialogCatcher(r, "^System Rebooting$", "restart-question-en", key="n")
    try:
        evs = r.run(timeout=60, watcher=question)
    finally:
        r.remove_runonce_marker()
    c = r.checks
    c.check(r.launch is not None, "launcher started")

    _, dev = prefix.wine([prefix.tool("devtool.exe"), "show", "E2E_STAGERUN_DEV"])
    c.check("desc=" + DEVICE_DESC_INSTALLED in dev, "driver step installed the INF's driver (description)", dev)
    c.check("driver={" in dev, "driver step gave the device a driver key", dev)

    setup = r.one("setup.exe")
    isetup = r.one("isetup.exe")
    setup2 = r.one("setup2.exe")
    if setup:
        c.check(setup["cwd"].lower() == (m.win + r"\driver").lower(), "setup.exe ran in its own folder",
                "(cwd %s)" % setup["cwd"])
        c.check(r.params(setup).strip() == "", "setup.exe got no parameters", "(%r)" % r.params(setup))
        r.check_child_of_launcher(setup)
        r.check_shown(setup)
    if isetup and setup:
        c.check(isetup["ppid"] == setup["pid"], "isetup.exe runs as the child of setup.exe, not of the launcher",
                "(parent %s)" % isetup["ppid"])
    if isetup and setup2:
        r.check_gap(setup2, end_of(evs, isetup["pid"])["time"] if end_of(evs, isetup["pid"]) else None,
                    at_least=SETTLE_MIN, at_most=12,
                    what="third step waited for isetup.exe (wait list) and the settle rounds")
    if setup2:
        expect = r'-s -F1"%s\APP\SETUP.ISS" -F2"C:\windows\temp\SETUP.LOG"' % m.win
        got = r.params(setup2)
        c.check(got == " " + expect, "setup2.exe got the rewritten -f1/-f2 parameters",
                "(got %r, expected %r)" % (got, " " + expect))
        c.check(setup2["cwd"].lower() == (m.win + r"\app").lower(), "setup2.exe ran in its own folder",
                "(cwd %s)" % setup2["cwd"])
        r.check_child_of_launcher(setup2)
        r.check_shown(setup2)
    c.check(question.seen_at is not None, "restart question shown at the end")
    if question.shot:
        c.check(question.shot[3] >= 3, "restart question screenshot is not blank", "(%d colours)" % question.shot[3])
    r.check_exit(3010)  # the restart was needed and answered No
    c.check(not starts(r.events(), "restarted.exe"), "answer No: no restart happened")
    c.check(not any(e["event"].startswith("sentinel-") and "end-session" in e["event"] for e in r.events()),
            "answer No: no end-session sent to other programs")
    c.check(r.background[0].poll() is None, "answer No: other programs keep running")
    return r.finish()


@scenario(["p64"])
def waiting(prefix, artifacts):
    """Waiting rules of direct launches, with the parents Windows gives: a
    *.tmp pattern, a same-named process another program started (does not
    hold), a program the installer leaves running unlisted (does not hold),
    the one faked parent (a start through the consent service: holds), an
    orphan three levels down, and a self-restarting installer."""
    r = Run(prefix, "waiting", artifacts)
    m = r.medium
    m.add_launcher(LAUNCHER[prefix.name])
    m.add_installer("pat/setup.exe", run_ms=800, child="_isdel.tmp")
    m.add_installer("pat/_isdel.tmp", run_ms=4000)
    m.add_installer("other/setup.exe", run_ms=800)
    outsider = m.add_installer("outside/worker.exe", run_ms=45000)
    m.add_installer("tray/setup.exe", run_ms=800, child="tray.exe")
    m.add_installer("tray/tray.exe", run_ms=25000)
    m.add_installer("rc/setup.exe", run_ms=800, child="worker2.exe", child_reparent=1)
    m.add_installer("rc/worker2.exe", run_ms=3500)
    m.add_installer("deep/setup.exe", run_ms=500, child="mid.exe")
    m.add_installer("deep/mid.exe", run_ms=500, child="deep.exe")
    m.add_installer("deep/deep.exe", run_ms=4000)
    m.add_installer("rs/setup.exe", run_ms=800, restart_gap_ms=2000, restart_run_ms=3000)
    m.add_installer("end/done.exe", run_ms=200)
    m.write_ini([("SetupList", [
        r"1,pat\setup.exe, ,*.tmp",
        r"1,other\setup.exe, ,worker.exe",
        r"1,tray\setup.exe, , ",
        r"1,rc\setup.exe, ,absent.exe~worker2.exe",
        r"1,deep\setup.exe, ,deep.exe",
        r"1,rs\setup.exe, ,",
        r"1,end\done.exe, ,",
    ])])
    r.background.append(prefix.wine_bg([outsider], extra_env=m.env()))
    r.wait_for(lambda: starts(r.events(), "worker.exe"), 20, "worker.exe started outside the run")
    evs = r.run(timeout=150)
    c = r.checks
    setups = {e["cwd"].rsplit("\\", 1)[-1].lower(): e for e in starts(evs, "setup.exe", "main")}
    tmp = r.one("_isdel.tmp")
    worker = r.one("worker.exe")
    tray = r.one("tray.exe")
    worker2 = r.one("worker2.exe")
    mid = r.one("mid.exe")
    deep = r.one("deep.exe")
    relauncher = r.one("setup.exe", role="relauncher")
    restarted = r.one("setup.exe", role="restarted")
    done = r.one("done.exe")
    for key in ("pat", "other", "tray", "rc", "deep", "rs"):
        c.check(key in setups, "setup.exe in %s was started" % key)
        r.check_shown(setups.get(key))
        r.check_child_of_launcher(setups.get(key))

    def ended(ev):
        e = ev and end_of(evs, ev["pid"])
        return e and e["time"]

    if tmp and "other" in setups:
        c.check(tmp["ppid"] == setups["pat"]["pid"], "_isdel.tmp is the child of its setup.exe")
        r.check_gap(setups["other"], ended(tmp), at_least=SETTLE_MIN, at_most=12,
                    what="*.tmp held the step while _isdel.tmp ran, then the settle rounds")
    if worker and "other" in setups and "tray" in setups:
        c.check(worker["ppid"] != r.launch["pid"] and worker["time"] < setups["other"]["time"],
                "worker.exe was started by another program, before the step")
        r.check_gap(setups["tray"], ended(setups["other"]), at_least=SETTLE_MIN, at_most=10,
                    what="a same-named process another program started (worker.exe) did not hold the step")
        c.check(not ended(worker) or ended(worker) > setups["tray"]["time"],
                "next step began while the other program's worker.exe still ran")
    if tray and "tray" in setups and "rc" in setups:
        c.check(tray["ppid"] == setups["tray"]["pid"], "tray.exe is the child of its setup.exe")
        r.check_gap(setups["rc"], ended(setups["tray"]), at_least=SETTLE_MIN, at_most=10,
                    what="a program the installer left running, unlisted (tray.exe), did not hold the step")
        c.check(not ended(tray) or ended(tray) > setups["rc"]["time"], "next step began while tray.exe still ran")
    if worker2 and "deep" in setups:
        r.check_child_of_launcher(worker2)
        r.check_gap(setups["deep"], ended(worker2), at_least=SETTLE_MIN, at_most=12,
                    what="absent.exe~worker2.exe held the step while the reparented worker2.exe ran")
    if mid and deep and "rs" in setups:
        c.check(mid["ppid"] == setups["deep"]["pid"] and deep["ppid"] == mid["pid"],
                "deep.exe was started by mid.exe, which setup.exe started")
        c.check(ended(mid) is not None and ended(mid) < ended(deep), "mid.exe ended before deep.exe (an orphan)")
        r.check_gap(setups["rs"], ended(deep), at_least=SETTLE_MIN, at_most=12,
                    what="deep.exe three levels down held the step, then the settle rounds")
    if relauncher and restarted and done:
        c.check(relauncher["ppid"] == setups["rs"]["pid"] and restarted["ppid"] == relauncher["pid"],
                "each copy of the restarting installer was started by the one before")
        r.check_gap(restarted, ended(setups["rs"]), 1.5, 8,
                    what="the restarted copy appeared about 2 s after the first one had gone")
        r.check_gap(done, ended(restarted), at_least=SETTLE_MIN, at_most=12,
                    what="the restarted installer held the step, then the settle rounds")
    r.check_exit()
    return r.finish()


@scenario(["p64"])
def kind2_copy(prefix, artifacts):
    """Kind "2": the installer is copied into the Windows directory and run
    from there, once without and once with arguments."""
    r = Run(prefix, "kind2_copy", artifacts)
    m = r.medium
    m.add_launcher(LAUNCHER[prefix.name])
    for name in ("e2etool_a.exe", "e2etool_b.exe"):
        stale = os.path.join(m.windir, name)
        if os.path.exists(stale):
            os.remove(stale)
    m.add_installer("e2etool_a.exe", run_ms=500)
    m.add_installer("e2etool_b.exe", run_ms=500)
    m.write_ini([("SetupList", [
        "2,e2etool_a.exe, ,",
        "2,e2etool_b.exe,/quiet /norestart",
    ])])
    evs = r.run(timeout=60)
    c = r.checks
    for name, params in (("e2etool_a.exe", ""), ("e2etool_b.exe", "/quiet /norestart")):
        ev = r.one(name)
        c.check(os.path.exists(os.path.join(m.windir, name)), "%s was copied into the Windows directory" % name)
        if ev:
            c.check(ev["exe"].lower() == ("C:\\windows\\" + name).lower(), "%s ran from the copy" % name,
                    "(%s)" % ev["exe"])
            c.check(r.params(ev).strip() == params, "%s got %r" % (name, params), "(%r)" % r.params(ev))
            c.check(ev["cwd"].lower() == m.win.lower(), "%s ran in the launcher's current directory" % name,
                    "(%s)" % ev["cwd"])
            r.check_child_of_launcher(ev)
            r.check_shown(ev)
    a = starts(evs, "e2etool_a.exe")
    b = starts(evs, "e2etool_b.exe")
    if a and b:
        a_end = end_of(evs, a[0]["pid"])
        r.check_gap(b[0], a_end and a_end["time"], at_least=SETTLE_MIN, at_most=12,
                    what="copied installer watched by its name")
    r.check_exit()
    return r.finish()


def _build_msi(dest, wxs="e2epkg.wxs", cwd=DATA):
    """wixl takes a File's Source from the folder it runs in (CWD) and refuses an absolute one."""
    p = subprocess.run(["wixl", "-o", dest, os.path.join(DATA, wxs)], cwd=cwd, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT)
    if p.returncode != 0:
        raise HarnessError("wixl failed: " + p.stdout.decode("utf-8", "replace"))


@scenario(["p64"])
def dialog_and_msi(prefix, artifacts):
    """A dialog step with a "*" wait list (English dialog screenshot), then a
    real .msi package installed through its file association."""
    r = Run(prefix, "dialog_and_msi", artifacts)
    m = r.medium
    m.add_launcher(LAUNCHER[prefix.name])
    m.add_installer("dlg/setup.exe", run_ms=1000, child=["helper.exe", "late.exe"])
    m.add_installer("dlg/helper.exe", run_ms=2000)
    m.add_installer("dlg/late.exe", run_ms=4500)
    m.add_installer("after/mark.exe", run_ms=200)
    os.makedirs(os.path.join(m.dir, "pkg"))
    _build_msi(os.path.join(m.dir, "pkg", "e2epkg.msi"))
    for pf in ("Program Files", "Program Files (x86)"):
        shutil.rmtree(os.path.join(prefix.path, "drive_c", pf, "StageRunE2E"), ignore_errors=True)
    m.write_ini([("SetupList", [
        r"1,dlg\setup.exe,/S /v/qn,helper.exe*late.exe",
        r"1,pkg\e2epkg.msi,/qn,msiexec.exe",
        r"1,after\mark.exe, ,",
    ])])
    dialog = DialogCatcher(r, "^Installation$", "progress-dialog-en")
    evs = r.run(timeout=60, watcher=dialog)
    c = r.checks
    setup = r.one("setup.exe")
    late = r.one("late.exe")
    mark = r.one("mark.exe")
    if setup and late:
        c.check(late["ppid"] == setup["pid"], "late.exe is the child of setup.exe")
    if setup:
        c.check(r.params(setup) == " /S /v/qn", "dialog step passed its arguments unchanged",
                "(%r)" % r.params(setup))
        r.check_child_of_launcher(setup)
        r.check_shown(setup)
    c.check(dialog.seen_at is not None, "progress dialog 'Installation' was shown")
    if dialog.shot:
        path, geo, whole, region = dialog.shot
        log("  progress dialog screenshot: %s (window %dx%d at %d,%d)" % (path, geo[2], geo[3], geo[0], geo[1]))
        c.check(whole >= 3 and region >= 3, "dialog screenshot is not blank",
                "(%d colours, %d in the dialog)" % (whole, region))
        c.check(100 <= geo[2] <= 600 and 40 <= geo[3] <= 300, "dialog has a plausible size", "(%r)" % (geo,))
    installed = any(os.path.exists(os.path.join(prefix.path, "drive_c", pf, "StageRunE2E", "e2e-payload.txt"))
                    for pf in ("Program Files", "Program Files (x86)"))
    c.check(installed, ".msi step installed the package's file")
    if late and mark:
        late_end = end_of(evs, late["pid"])
        c.check(late_end is not None, "late.exe ended")
        # The .msi step lies between: after late.exe has gone, at least its poll pause and two step
        # timers; at most the package's install and no settle rounds.
        r.check_gap(mark, late_end and late_end["time"], at_least=1.5, at_most=NO_SETTLE_MAX + 8,
                    what="the dialog step waited for late.exe (second wait-list name), then no settle "
                    "rounds (bounded by the .msi step)")
    r.check_exit()
    return r.finish()


@scenario(["p64"])
def dialog_no_settle(prefix, artifacts):
    """A dialog step ends at the first poll after its last process: no
    settle rounds (compare with the direct launch's 6 s)."""
    r = Run(prefix, "dialog_no_settle", artifacts)
    m = r.medium
    m.add_launcher(LAUNCHER[prefix.name])
    m.add_installer("dlg/setup.exe", run_ms=1500)
    m.add_installer("after/mark.exe", run_ms=200)
    m.write_ini([("SetupList", [r"1,dlg\setup.exe,/quiet", r"1,after\mark.exe, ,"])])
    evs = r.run(timeout=40)
    setup = r.one("setup.exe")
    mark = r.one("mark.exe")
    r.check_shown(setup)
    if setup and mark:
        end = end_of(evs, setup["pid"])
        r.check_gap(mark, end and end["time"], at_least=0.3, at_most=NO_SETTLE_MAX,
                    what="next step soon after the dialog step's installer ended")
    r.check_exit()
    return r.finish()


@scenario(["p64"])
def msiexec_ended(prefix, artifacts):
    """Three running msiexec.exe: the two first are ended before the launch
    (exit code other than 259), the third is left running."""
    r = Run(prefix, "msiexec_ended", artifacts)
    m = r.medium
    m.add_launcher(LAUNCHER[prefix.name])
    fake = m.add_installer("tools/msiexec.exe", run_ms=-1)
    m.add_installer("a/setup.exe", run_ms=500)
    m.write_ini([("SetupList", [r"1,a\setup.exe, ,"])])
    sp = prefix.wine_bg([prefix.tool("e2etool.exe"), "spawn", "3", winpath(fake, prefix.path)], extra_env=m.env())
    r.background.append(sp)
    r.wait_for(lambda: len(starts(r.events(), "msiexec.exe")) == 3, 30, "three fake msiexec.exe")
    evs = r.run(timeout=40)
    c = r.checks
    setup = r.one("setup.exe")
    reaped = [e for e in evs if e["event"] == "reaped"]
    before = [e for e in reaped if setup and r.launch and r.launch["time"] <= e["time"] <= setup["time"]]
    c.check(len(before) == 2, "two msiexec.exe ended after the launcher started and before the installer",
            "(%d)" % len(before))
    for e in before:
        c.check(e["code"] != 259, "ended msiexec.exe %d has an exit code other than 259" % e["pid"],
                "(code %d)" % e["code"])
    c.check(len(reaped) == 2, "the third msiexec.exe was left running", "(%d ended)" % len(reaped))
    r.check_exit()
    left = {p["pid"] for p in prefix.processes() if p["name"].lower() == "msiexec.exe"}
    spawned = {e["pid"] for e in evs if e["event"] == "spawned"}
    c.check(len(left & spawned) == 1, "one fake msiexec.exe still runs after the launcher ended")
    return r.finish()


@scenario(["p64"])
def msi_busy(prefix, artifacts):
    """An msiexec.exe that owns Global\\_MSIExecute (an installation under way, started before the
    launcher) is not ended: the launcher waits until the mutex is released, then launches."""
    r = Run(prefix, "msi_busy", artifacts)
    m = r.medium
    c = r.checks
    m.add_launcher(LAUNCHER[prefix.name])
    fake = m.add_installer("tools/msiexec.exe", run_ms=0, mutex=r"Global\_MSIExecute", until_file="done")
    m.add_installer("a/setup.exe", run_ms=500)
    m.write_ini([("SetupList", [r"1,a\setup.exe, ,"])])
    sp = prefix.wine_bg([prefix.tool("e2etool.exe"), "spawn", "1", winpath(fake, prefix.path)], extra_env=m.env())
    r.background.append(sp)
    r.wait_for(lambda: starts(r.events(), "msiexec.exe"), 30, "the busy msiexec.exe")
    path = os.path.join(m.artifacts, "run.log")
    first_step = []

    def end_installation(elapsed):
        # 3 s after the launcher came to its first step, however long Wine took to start it.
        if not first_step and os.path.exists(path) and b"step 1: " in open(path, "rb").read():
            first_step.append(elapsed)
        if first_step and elapsed - first_step[0] >= 3:
            open(os.path.join(m.dir, "tools", "done"), "w").close()
    evs = r.run(args=['/log:"%s"' % winpath(path)], timeout=40, watcher=end_installation)
    setup = r.one("setup.exe")
    release = ([e for e in evs if e["event"] == "release" and e.get("owned") == "1"] or [None])[0]
    reaped = [e["code"] for e in evs if e["event"] == "reaped"]
    c.check(release is not None and reaped == [0], "msiexec.exe released the mutex and ended by itself, "
            "with its own exit code 0", "(exit codes %s)" % reaped)
    r.check_gap(setup, release and release["time"], 0, 3, "setup.exe started only after the mutex was released")
    text = open(path, "rb").read().decode("ascii", "replace") if os.path.exists(path) else ""
    c.check(re.search(r"step 1: Windows Installer is busy.*step 1: Windows Installer became free", text, re.S),
            "the step log says that step 1 waited for the busy Windows Installer")
    r.check_exit()
    log("step log:\n" + text)
    return r.finish()


SLOW_MSI_CASES = [
    # name, the package's step, how long its custom action runs (ms) and its exit code, the launcher's
    # exit code, at most this many seconds from the custom action's end to the next step. A direct
    # step is held the same way, by the process it started.
    ("dialog", r"1,pkg\slow.msi,/qn", 4000, 0, 0, NO_SETTLE_MAX + 2),
    ("fails", r"1,pkg\slow.msi,/qn, ,", 4000, 1, 1603, NO_SETTLE_MAX + 2),
]


@scenario(["p64"])
def msi_slow(prefix, artifacts):
    """An .msi step without a wait list is held by the msiexec.exe it started until the package is
    installed (a deferred custom action runs some seconds), and the package's result is the step's:
    a custom action that fails fails the run with 1603."""
    rc = 0
    for name, step, action_ms, action_code, code, most in SLOW_MSI_CASES:
        r = Run(prefix, "msi_slow_" + name, artifacts)
        m = r.medium
        m.add_launcher(LAUNCHER[prefix.name])
        # The custom action's copy of fakeinst.exe is installed elsewhere: it finds this through E2E_CFGDIR.
        m.write_cfg(os.path.join(m.dir, "slowca.exe"), run_ms=action_ms, exit_code=action_code)
        m.add_installer("after/mark.exe", run_ms=200)
        os.makedirs(os.path.join(m.dir, "pkg"))
        _build_msi(os.path.join(m.dir, "pkg", "slow.msi"), "e2eslow.wxs", prefix.fixtures)
        m.write_ini([("SetupSilent", [step, r"1,after\mark.exe, ,"])])
        path = os.path.join(m.artifacts, "run.log")
        evs = r.run(args=["/s", '/log:"%s"' % winpath(path)], timeout=60)
        action = r.one("slowca.exe")
        mark = r.one("mark.exe")
        if action and mark:
            end = end_of(evs, action["pid"])
            r.check_gap(mark, end and end["time"], 0, most, "the next step started only after the package's "
                        "custom action had ended")
        r.check_exit(code)
        if os.path.exists(path):
            log("step log of %s:\n%s" % (name, open(path, "rb").read().decode("ascii", "replace")))
        rc |= r.finish()
    return rc


@scenario(["p64"])
def detect(prefix, artifacts):
    """[Detect] against Wine's own Windows Installer and registry: a package installed by the first
    run is skipped by the second (its custom action, which runs on every installation, does not run
    again), a step whose reg: value is there never starts, and an installer that ends 0 without
    writing what its rule names fails the run with 1603."""
    r = Run(prefix, "detect", artifacts)
    m = r.medium
    c = r.checks
    m.add_launcher(LAUNCHER[prefix.name])
    m.write_cfg(os.path.join(m.dir, "slowca.exe"), run_ms=300)
    m.add_installer("a/setup.exe", run_ms=200)
    m.add_installer("b/setup.exe", run_ms=200)
    os.makedirs(os.path.join(m.dir, "pkg"))
    msi = os.path.join(m.dir, "pkg", "slow.msi")
    _build_msi(msi, "e2eslow.wxs", prefix.fixtures)
    # Product Id="*": a new product code each build, so the package is not installed yet.
    props = subprocess.run(["msiinfo", "export", msi, "Property"], stdout=subprocess.PIPE, check=True).stdout
    code = re.search(rb"^ProductCode\t(\{[0-9A-F-]+\})", props, re.M).group(1).decode()
    prefix.wine(["reg", "add", r"HKLM\SOFTWARE\StageRunE2E", "/v", "Detect", "/d", "2.5.1", "/f"])
    rules = [r"pkg\slow.msi=msi:%s>=1.0" % code, r"A\SETUP.EXE=reg:HKLM\SOFTWARE\StageRunE2E,Detect>=2.5",
             r"b\setup.exe=reg:HKLM\SOFTWARE\StageRunE2E,NeverWritten"]
    steps = [r"1,pkg\slow.msi,/qn", r"1,a\setup.exe,/q"]

    def run(label, steps, code):
        m.write_file("StageRun.ini", "[SetupList]\n%s\n[Detect]\n%s\n" % (
            "\n".join("Setup%d=%s" % (i, s) for i, s in enumerate(steps, 1)), "\n".join(rules)))
        path = os.path.join(m.artifacts, label + ".log")
        r.run(args=["/s", '/log:"%s"' % winpath(path)], timeout=60)
        r.check_exit(code)
        text = open(path, "rb").read().decode("ascii", "replace") if os.path.exists(path) else ""
        log("step log of the %s run:\n%s" % (label, text))
        return [l[24:] for l in text.split("\r\n") if l]

    run("first", steps, 0)
    c.check(len(starts(r.events(), "slowca.exe")) == 1, "the first run installed the package")
    c.check(not starts(r.events(), "setup.exe"), "a step whose reg: value is there never started")
    lines = run("second", steps, 0)
    c.check("step 1: already installed: msi:%s>=1.0 is installed, version 1.0.0: skipped" % code in lines,
            "the second run's log says the package is already installed")
    c.check(len(starts(r.events(), "slowca.exe")) == 1, "the second run did not install the package again")
    check = os.path.join(os.environ.get("E2E_DIST", os.path.join(REPO, "dist")), checker_name())
    _, text = prefix.wine([check, m.win], check=False)
    log(text)
    c.check("detect      msi:%s>=1.0: holds here (is installed, version 1.0.0): skipped as installed" % code
            in text, "the checker finds the package's rule holds")
    lines = run("third", steps + [r"1,b\setup.exe,/q"], 1603)
    c.check(lines[-1:] == ["==== end of run, exit code 1603: step 3 failed: installed, but the [Detect] rule "
                           "does not hold"], "an installer that ended 0 without installing failed the run")
    return r.finish()


@scenario(["p64", "p32"])
def devices(prefix, artifacts):
    """Device remove ("-1"), rescan ("-2") and a driver step for an absent
    hardware id, followed by an ordinary step."""
    r = Run(prefix, "devices", artifacts)
    m = r.medium
    m.add_launcher(LAUNCHER[prefix.name])
    shutil.copy(prefix.tool("e2edev.inf"), os.path.join(m.dir, "e2edev.inf"))
    tag = prefix.name.upper()
    prefix.wine([prefix.tool("devtool.exe"), "add", r"ROOT\E2E_REMOVE_%s" % tag, "To be removed"])
    prefix.wine([prefix.tool("devtool.exe"), "add", r"ROOT\E2E_KEEP_%s" % tag, "To be kept"])
    m.add_installer("end/done.exe", run_ms=200)
    m.write_ini([("SetupList", [
        "-1,device,e2e_remove_%s" % tag.lower(),
        "-2,rescan",
        "0,e2edev.inf,e2e_absent_hardware_id",
        r"1,end\done.exe, ,",
    ])])
    evs = r.run(timeout=40)
    c = r.checks
    _, gone = prefix.wine([prefix.tool("devtool.exe"), "show", "E2E_REMOVE_%s" % tag])
    _, kept = prefix.wine([prefix.tool("devtool.exe"), "show", "E2E_KEEP_%s" % tag])
    c.check(gone.strip() == "none", "remove step removed the matching device", gone.strip())
    c.check("desc=To be kept" in kept and "driver=\t" in kept and "status=present" in kept,
            "the other device is untouched (still present, no driver)", kept.strip())
    c.check(bool(starts(evs, "done.exe")), "the run went on after the rescan and the absent-id driver step")
    r.check_exit()
    return r.finish()


@scenario(["p64"], starts_32bit=True)
def handoff(prefix, artifacts):
    """The 32-bit launcher on a 64-bit prefix ends two msiexec.exe, hands the
    run to stagerun64.exe and returns when it has ended, with its exit code;
    with /s the silent section is used."""
    rc = 0
    for silent in (False, True):
        r = Run(prefix, "handoff_silent" if silent else "handoff", artifacts)
        m = r.medium
        m.add_launcher("stagerun.exe")
        m.add_launcher("stagerun64.exe")
        fake = m.add_installer("tools/msiexec.exe", run_ms=-1)
        m.add_installer("a/setup.exe", run_ms=500)
        m.add_installer("s/silent.exe", run_ms=500)
        m.write_ini([("SetupList", [r"1,a\setup.exe, ,"]), ("SetupSilent", [r"1,s\silent.exe, ,"])])
        sp = prefix.wine_bg([prefix.tool("e2etool.exe"), "spawn", "3", winpath(fake, prefix.path)],
                            extra_env=m.env())
        r.background.append(sp)
        r.wait_for(lambda: len(starts(r.events(), "msiexec.exe")) == 3, 30, "three fake msiexec.exe")
        # Which launcher ended which msiexec.exe only the launchers know: the step log tells, the
        # fixtures' own records confirm that those processes did end.
        log_path = os.path.join(m.dir, "run.log")
        switch = '/log:"%s"' % winpath(log_path, prefix.path)
        evs = r.run("stagerun.exe", (["/s"] if silent else []) + [switch], timeout=30)
        c = r.checks
        r.check_exit()
        gone = prefix.wine([prefix.tool("e2etool.exe"), "waitgone", "40000", "stagerun64.exe"], check=False,
                           timeout=60)[0] == 0
        c.check(gone, "stagerun64.exe finished the run")
        evs = r.events()
        reaped = {e["pid"] for e in evs if e["event"] == "reaped"}
        lines = []
        if os.path.exists(log_path):
            shutil.copy(log_path, os.path.join(m.artifacts, "run.log"))
            with open(log_path, "rb") as f:
                lines = f.read().decode("ascii", "replace").split("\r\n")
        sibling_at = next((i for i, l in enumerate(lines) if "==== StageRun 1.0.0, 64-bit " in l), len(lines))
        ended = [(i, int(pid)) for i, l in enumerate(lines)
                 for pid in re.findall(r"ended msiexec\.exe \(process (\d+)\)", l, re.I)]
        by_launcher = {pid for i, pid in ended if i < sibling_at}
        by_sibling = {pid for i, pid in ended if i > sibling_at}
        c.check(len(by_launcher) == 2 and by_launcher <= reaped,
                "stagerun.exe ended two msiexec.exe before it started stagerun64.exe",
                "(%s; ended: %s)" % (sorted(by_launcher), sorted(reaped)))
        c.check(len(by_sibling) == 1 and by_sibling <= reaped - by_launcher,
                "stagerun64.exe ended the third at its own launch", "(%s)" % sorted(by_sibling))
        want, other = ("silent.exe", "setup.exe") if silent else ("setup.exe", "silent.exe")
        ev = r.one(want)
        c.check(not starts(evs, other), "%s was not run" % other)
        if ev:
            c.check(ev.get("pname", "").lower() == "stagerun64.exe", "%s was started by stagerun64.exe" % want,
                    "(parent %s)" % ev.get("pname"))
            c.check(ev["ppid"] != r.launch["pid"], "%s was not started by stagerun.exe" % want)
            r.check_shown(ev)
            # A caller waits for stagerun.exe: it returns only after the sibling's last installer.
            r.check_gap(r.exit, (end_of(evs, ev["pid"]) or {}).get("time"), 0, 15,
                        "stagerun.exe returned after %s ended" % want)
        rc |= r.finish()
    # The hand-off launch itself, seen by a stand-in sibling that records how it was started, and
    # whose exit code the launcher passes on once it has ended.
    r = Run(prefix, "handoff_shown", artifacts)
    r.medium.add_launcher("stagerun.exe")
    r.medium.add_installer("stagerun64.exe", run_ms=2000, exit_code=3010)
    r.medium.write_ini([("SetupList", [r"1,a\setup.exe, ,"])])
    r.run("stagerun.exe", ["/s", "/norestart"], timeout=30)
    sibling = r.one("stagerun64.exe")
    if sibling:
        r.check_child_of_launcher(sibling)
        r.check_shown(sibling)
        r.checks.check(r.params(sibling) == " /s /norestart", "stagerun64.exe got /s /norestart",
                       "(%r)" % r.params(sibling))
        r.check_gap(r.exit, (end_of(r.events(), sibling["pid"]) or {}).get("time"), 0, 3,
                    "stagerun.exe returned when stagerun64.exe ended")
    r.check_exit(3010)
    return rc | r.finish()


@scenario(["p64"], starts_32bit=True)
def handoff_elsewhere(prefix, artifacts):
    """Started by full path from another folder, as a shortcut or a deployment
    tool starts it, with the quoted name glued to "/s": the sibling beside the
    program runs the silent list, never a stagerun64.exe of the current folder.
    Without the sibling, the failed hand-off is said and the exit code is 2."""
    r = Run(prefix, "handoff_elsewhere", artifacts)
    m = r.medium
    m.add_launcher("stagerun.exe")
    m.add_launcher("stagerun64.exe")
    m.add_installer("a/setup.exe", run_ms=300)
    m.add_installer("s/silent.exe", run_ms=300)
    m.add_installer("elsewhere/stagerun64.exe", run_ms=300)
    m.write_ini([("SetupList", [r"1,a\setup.exe, ,"]), ("SetupSilent", [r"1,s\silent.exe, ,"])])
    elsewhere = m.win + "\\elsewhere"
    r.run("stagerun.exe", ["/s"], timeout=30, cwd=elsewhere, extra_env={"E2E_GLUE": "1"})
    c = r.checks
    c.check('"/s' in (r.launch or {}).get("cmd", ""), "the quoted program name was glued to /s",
            "(%s)" % (r.launch or {}).get("cmd"))
    r.check_exit()
    gone = prefix.wine([prefix.tool("e2etool.exe"), "waitgone", "30000", "stagerun64.exe"], check=False,
                       timeout=45)[0] == 0
    c.check(gone, "stagerun64.exe finished the run")
    evs = r.events()
    planted = [e for e in starts(evs, "stagerun64.exe")]
    c.check(not planted, "the stagerun64.exe of the current folder never ran", "(%d starts)" % len(planted))
    ev = r.one("silent.exe")
    if ev:
        c.check(ev.get("pname", "").lower() == "stagerun64.exe", "silent.exe was started by stagerun64.exe",
                "(parent %s)" % ev.get("pname"))
    c.check(not starts(evs, "setup.exe"), "the silent list was used")
    rc = r.finish()

    r = Run(prefix, "handoff_no_sibling", artifacts)
    m = r.medium
    m.add_launcher("stagerun.exe")
    m.add_installer("a/setup.exe", run_ms=300)
    m.write_ini([("SetupList", [r"1,a\setup.exe, ,"])])
    box = DialogCatcher(r, "^Cannot start stagerun64.exe$", "handoff-failed", key="Return")
    r.run("stagerun.exe", timeout=30, watcher=box)
    c = r.checks
    c.check(box.seen_at is not None, "the failed hand-off was said in an error box")
    c.check(r.exit is not None and r.exit.get("code") == 2, "exit code 2 for a failed hand-off",
            "(%r)" % r.exit)
    r.run("stagerun.exe", ["/s"], timeout=30)
    c.check(r.exit is not None and r.exit.get("code") == 2, "silent: exit code 2 as well", "(%r)" % r.exit)
    c.check(not starts(r.events(), "setup.exe"), "nothing of the list ran")
    return rc | r.finish()


@scenario(["p64"])
def checker(prefix, artifacts):
    """The medium checker (stagerun-check64.exe where no 32-bit program runs)
    on a medium with traps: the plan, the findings with their lines, the exit
    code, and the JSON form for pipelines."""
    import json
    r = Run(prefix, "checker", artifacts)
    m = r.medium
    m.add_launcher("stagerun.exe")
    for f in ("s1.exe", "sub/a.exe", "tool.exe", "b.exe"):
        m.add_installer(f, run_ms=0)
    m.write_ini([("SetupList", ["1,s1.exe, ", r"1,sub\a.exe, ,", "2,tool.exe, ,",
                                r'1,b.exe,-s -f1"%curdir%\missing.iss"'])])
    check = os.path.join(os.environ.get("E2E_DIST", os.path.join(REPO, "dist")), checker_name())
    c = r.checks
    code, text = prefix.wine([check, m.win], check=False)
    log(text)
    c.check(code == 2, "exit code 2 for a medium with errors", "(%d)" % code)
    for line in ("Step 2 (StageRun.ini:3): run directly, wait for it and its wait list, then settle about 6 s",
                 "    folder      %s\\sub" % m.win,
                 "%s: error: sibling-missing: " % m.win,
                 "StageRun.ini:2: warning: trimmed-blank: step 1: ",
                 "StageRun.ini:4: error: file-missing: step 3: tool.exe is not in %s\\sub" % m.win,
                 "StageRun.ini:5: error: response-file-missing: step 4: ",
                 "3 errors, 1 warning"):
        c.check(any(l.startswith(line) for l in text.splitlines()), "the report says: %s" % line.strip())
    code, text = prefix.wine([check, "/json", m.win], check=False)
    try:
        doc = json.loads(text)
    except ValueError as exc:
        doc = {}
        c.check(False, "the /json form is one JSON document", str(exc))
    codes = ["%s@%d" % (f["code"], f["line"]) for f in doc.get("findings", [])]
    c.check(codes == ["sibling-missing@0", "trimmed-blank@2", "file-missing@4", "response-file-missing@5"],
            "the JSON findings", "(%s)" % codes)
    c.check(code == 2 and doc.get("exitCode") == 2, "JSON: exit code 2")
    c.check([s.get("action") for s in doc.get("steps", [])] == ["dialog", "launch", "skip", "dialog"],
            "JSON: the steps' actions")
    code, text = prefix.wine([check, m.win + "\\nothing"], check=False)
    c.check(code == 3 and "no such folder" in text, "a missing folder: exit code 3 and a clear message",
            "(%d %s)" % (code, text.strip()))
    return r.finish()


@scenario(["p64"], starts_32bit=True)
def checker_wow64(prefix, artifacts):
    """The 32-bit checker on a 64-bit prefix hands the check to stagerun-check64.exe beside it: the
    report speaks for stagerun64.exe, a %programfiles% path is the one stagerun64.exe passes (not
    "Program Files (x86)", which a 32-bit program sees), and without the sibling it says so with
    exit code 3."""
    import json
    r = Run(prefix, "checker_wow64", artifacts)
    m = r.medium
    c = r.checks
    m.add_launcher("stagerun.exe")
    m.add_launcher("stagerun64.exe")
    m.add_installer("setup.exe", run_ms=200)
    m.write_ini([("SetupList", [r'1,setup.exe,-s -f2"%programfiles%\Vendor\setup.log"'])])
    check = os.path.join(os.environ.get("E2E_DIST", os.path.join(REPO, "dist")), "stagerun-check.exe")
    code, text = prefix.wine([check, "/json", m.win], check=False)
    log(text)
    try:
        doc = json.loads(text)
    except ValueError as exc:
        doc = {}
        c.check(False, "the /json form of the 64-bit checker is one JSON document", str(exc))
    c.check(code == 0 and doc.get("exitCode") == 0, "exit code 0 passed on", "(%d)" % code)
    c.check(doc.get("launcher") == "stagerun64.exe" and doc.get("windows") == "64-bit",
            "the JSON report speaks for stagerun64.exe", "(%r %r)" % (doc.get("launcher"), doc.get("windows")))
    planned = [s.get("parameters") for s in doc.get("steps", [])]
    code, text = prefix.wine([check, m.win], check=False)
    first = text.splitlines()[0] if text else ""
    c.check(first == "For     stagerun64.exe on 64-bit Windows", "the report's first line names stagerun64.exe",
            "(%r)" % first)
    r.run("stagerun64.exe", timeout=30)
    setup = r.one("setup.exe")
    passed = r.params(setup).strip() if setup else None
    c.check(planned == [passed], "the planned parameters are those stagerun64.exe passed",
            "(planned %r, passed %r)" % (planned, passed))
    c.check(passed is not None and r"\PROGRAM FILES\VENDOR" in passed.upper() and "(X86)" not in passed.upper(),
            "%programfiles% is the 64-bit folder", "(%r)" % passed)
    alone = os.path.join(m.dir, "alone")
    os.makedirs(alone, exist_ok=True)
    shutil.copy(check, alone)
    code, text = prefix.wine([os.path.join(alone, "stagerun-check.exe"), m.win], check=False)
    c.check(code == 3 and "stagerun-check64.exe is missing" in text,
            "without stagerun-check64.exe beside it: exit code 3 and a plain message", "(%d %s)" % (code, text.strip()))
    return r.finish()


def _build_nsis(dest):
    p = subprocess.run(["makensis", "-V2", "-DOUT=" + dest, os.path.join(DATA, "e2ensis.nsi")],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if p.returncode != 0:
        raise HarnessError("makensis failed: " + p.stdout.decode("utf-8", "replace"))


@scenario(["p64"])
def checker_installers(prefix, artifacts):
    """The checker on real installers, an NSIS one (makensis) and an MSI (wixl), each in a silent step
    without its unattended switches: it names both types, reads the package's ProductCode as msiinfo
    does and warns not-silent for both; the starter list /new prints for the folder, saved as
    StageRun.ini, checks without errors and passes each installer its switches."""
    import json
    r = Run(prefix, "checker_installers", artifacts)
    m = r.medium
    c = r.checks
    m.add_launcher("stagerun64.exe")
    os.makedirs(os.path.join(m.dir, "nsis"))
    os.makedirs(os.path.join(m.dir, "pkg"))
    _build_nsis(os.path.join(m.dir, "nsis", "setup.exe"))
    msi = os.path.join(m.dir, "pkg", "e2epkg.msi")
    _build_msi(msi)
    props = subprocess.run(["msiinfo", "export", msi, "Property"], stdout=subprocess.PIPE, check=True).stdout
    code = re.search(rb"^ProductCode\t(\{[0-9A-F-]+\})", props, re.M).group(1).decode()
    # NSIS takes only an upper-case /S; /norestart alone leaves the package's window up.
    m.write_ini([("SetupSilent", [r"1,nsis\setup.exe,/s, ,", r"1,pkg\e2epkg.msi,/norestart"])])
    check = os.path.join(os.environ.get("E2E_DIST", os.path.join(REPO, "dist")), "stagerun-check64.exe")

    def report(*args):
        rc, text = prefix.wine([check] + list(args) + [m.win], check=False)
        log(text)
        try:
            return rc, text, json.loads(text) if "/json" in args else {}
        except ValueError as exc:
            c.check(False, "the /json form is one JSON document", str(exc))
            return rc, text, {}

    rc, text, _ = report("/s")
    c.check(rc == 1, "exit code 1: warnings only", "(%d)" % rc)
    for line, what in (("StageRun.ini:2: warning: not-silent: step 1: ", "the NSIS step's lower-case /s"),
                       ("StageRun.ini:3: warning: not-silent: step 2: ", "the MSI step's /norestart alone")):
        c.check(any(l.startswith(line) for l in text.splitlines()), "not-silent for " + what)
    _, _, doc = report("/s", "/json")
    found = [(s.get("installer"), s.get("productCode")) for s in doc.get("steps", [])]
    c.check(found == [("nsis", None), ("msi", code)], "JSON: both types, and the ProductCode msiinfo reads",
            "(%r, msiinfo %s)" % (found, code))
    rc, listing = prefix.wine([check, "/new", m.win], check=False)
    log("/new printed (exit code %d):\n%s" % (rc, listing))
    c.check("msi:%s>=1.0.0" % code in listing, "the starter list's [Detect] rule for the package")
    m.write_file("StageRun.ini", listing)
    rc, text, _ = report()
    c.check(rc in (0, 1), "the starter list checks with 0 errors", "(%d)" % rc)
    rc, _, doc = report("/s", "/json")
    steps = [s.get("installer") for s in doc.get("steps", [])]
    silent = [f for f in doc.get("findings", []) if f.get("code") == "not-silent"]
    c.check(steps == ["nsis", "msi"] and not silent, "its silent run: one step per installer, each with "
            "its unattended switches", "(%r, %r)" % (steps, silent))
    return r.finish()


@scenario(["p64"], starts_32bit=True)
def step_log(prefix, artifacts):
    """/s /log:<path> through the 32-bit launcher on a 64-bit prefix: the
    log shows the hand-off, the switches passed on, each step and the end of
    both runs, the 32-bit launcher's last, with the sibling's exit code."""
    r = Run(prefix, "step_log", artifacts)
    m = r.medium
    c = r.checks
    m.add_launcher("stagerun.exe")
    m.add_launcher("stagerun64.exe")
    m.add_installer("a/setup.exe", run_ms=2000)
    m.add_installer("b/setup.exe", run_ms=800)
    m.write_ini([("SetupSilent", [r"1,a\setup.exe, ,", r"1,missing.exe,/q", r"1,b\setup.exe,/S"])])
    folder = os.path.join(prefix.path, "drive_c", "e2e logs")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    path = os.path.join(folder, "run.log")
    switch = '/log:"%s"' % winpath(path, prefix.path)
    r.run("stagerun.exe", ["/s", switch], timeout=40)
    r.check_exit(1603)  # step 2's installer is missing
    text = ""
    if os.path.exists(path):
        with open(path, "rb") as f:
            text = f.read().decode("ascii", "replace")
        shutil.copy(path, os.path.join(m.artifacts, "run.log"))
    lines = text.split("\r\n")
    c.check(text.endswith("\r\n"), "the log ends with a whole line")
    stamp = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ")
    events = [l[24:] for l in lines if l]
    c.check(all(stamp.match(l) for l in lines if l), "every line starts with the local time to the millisecond")

    def index(prefix_text):
        found = [i for i, e in enumerate(events) if e.startswith(prefix_text)]
        c.check(bool(found), "the log holds %r" % prefix_text)
        return found[0] if found else -1

    win = winpath(path, prefix.path)
    first = index('==== StageRun 1.0.0, 32-bit on 64-bit Windows ')
    handoff = index('hand-off to %s\\stagerun64.exe, parameters "/s /log:"%s"": started' % (m.win, win))
    second = index('==== StageRun 1.0.0, 64-bit on 64-bit Windows ')
    steps = [index('step 1: run .\\setup.exe in %s\\a directly' % m.win),
             index('step 1: started (ShellExecute answered'),
             index('step 1: held by SETUP.EXE'),
             index('step 2: skipped: .\\missing.exe is missing'),
             index('step 3: run .\\setup.exe in %s\\b under the dialog, parameters "/S"' % m.win),
             index('step 3: started (ShellExecute answered'),
             index('step 3: setup.exe ended with exit code 0'),
             index('step 4: no more steps: the run ends')]
    ends = [i for i, e in enumerate(events) if e.startswith("==== end of run, exit code 1603: ")]
    c.check(len(ends) == 2, "both launchers noted the end of their run", "(%d)" % len(ends))
    c.check(events[-2:] == ["==== end of run, exit code 1603: step 2 failed: file missing",
                            "==== end of run, exit code 1603: stagerun64.exe's"],
            "the sibling's end, then the 32-bit launcher's, with the reason", "(%s)" % events[-2:])
    # The hand-off line is written once the shell has started the sibling, which may have written
    # its header by then; its first step comes a timer period later.
    c.check(0 <= first < handoff < min(steps) and first < second < min(steps) and steps == sorted(steps)
            and ends and ends[-1] > steps[-1], "the hand-off comes first, then the sibling's run in step order")
    if second >= 0:
        c.check('command line "/s /log:"%s""' % win in events[second], "the sibling got /s and the log switch",
                events[second])
    log("step log:\n" + text)
    return r.finish()


@scenario(["p32"])
def no_handoff(prefix, artifacts):
    """On a 32-bit prefix stagerun.exe does the work itself, even with
    stagerun64.exe beside it."""
    r = Run(prefix, "no_handoff", artifacts)
    m = r.medium
    m.add_launcher("stagerun.exe")
    m.write_file("stagerun64.exe", "not a program: a 32-bit system must never start it\n")
    m.add_installer("a/setup.exe", run_ms=1000)
    m.write_ini([("SetupList", [r"1,a\setup.exe, ,"])])
    evs = r.run("stagerun.exe", timeout=40)
    c = r.checks
    ev = r.one("setup.exe")
    if ev:
        r.check_child_of_launcher(ev)
        r.check_shown(ev)
        end = end_of(evs, ev["pid"])
        r.check_gap(r.exit, end and end["time"], at_least=SETTLE_MIN, at_most=12,
                    what="stagerun.exe stayed until its step had settled")
    r.check_exit()
    return r.finish()


@scenario(["p32"])
def korean(prefix, artifacts):
    """Korean system locale: the Korean progress dialog and restart question."""
    r = Run(prefix, "korean", artifacts)
    m = r.medium
    m.add_launcher(LAUNCHER[prefix.name])
    m.add_installer("k/setup.exe", run_ms=4000)
    m.write_ini([("SetupList", [r"1,k\setup.exe,/S, ,1"])])
    dialog = DialogCatcher(r, "^설치중$", "progress-dialog-ko")
    question = DialogCatcher(r, "^시스템 재부팅$", "restart-question-ko", key="n")
    evs = r.run(timeout=40, watcher=Multi(dialog, question), extra_env={"LC_ALL": "ko_KR.UTF-8"})
    c = r.checks
    c.check(dialog.seen_at is not None, "Korean progress dialog was shown")
    if dialog.shot:
        path, geo, whole, region = dialog.shot
        log("  Korean dialog screenshot: %s" % path)
        c.check(whole >= 3 and region >= 3, "Korean dialog screenshot is not blank",
                "(%d colours, %d in the dialog)" % (whole, region))
    c.check(question.seen_at is not None, "Korean restart question was shown")
    c.check(bool(r.one("setup.exe")), "the step ran")
    r.check_exit(3010)  # the restart was needed and answered No
    return r.finish()


@scenario(["p32"])
def korean_names(prefix, artifacts):
    """Korean system locale, names holding a syllable whose trail byte is an
    ASCII letter ("똠" is 0x8C 0x63 in code page 949): the installer of that
    name is waited for, and a response file in a folder of that name is
    found, so its -f1 option is kept."""
    r = Run(prefix, "korean_names", artifacts)
    m = r.medium
    m.add_launcher(LAUNCHER[prefix.name])
    m.add_installer("똠.exe", run_ms=8000)
    m.add_installer("next.exe", run_ms=0)
    m.write_file("똠/a.iss", "")
    m.write_ini([("SetupList", ["1,똠.exe, ,", r'1,next.exe,-s -f1"%curdir%\똠\a.iss"'])], encoding="cp949")
    r.run(timeout=60, extra_env={"LC_ALL": "ko_KR.UTF-8"})
    c = r.checks
    ev = r.one("next.exe")
    if ev and r.launch:
        # 8 s of installer, then the settle rounds; a watch that missed the name would go on
        # after the settle rounds alone, about 7 s after the start.
        r.check_gap(ev, r.launch["time"], at_least=8 + SETTLE_MIN, at_most=25,
                    what="next.exe waited for the installer with the Korean name")
        c.check("-F1\"" in r.params(ev), "the -f1 option with the Korean folder was kept",
                "(%s)" % r.params(ev))
    r.check_exit()
    return r.finish()


def _restart_scenario(prefix, artifacts, name, silent):
    r = Run(prefix, name, artifacts)
    m = r.medium
    m.add_launcher(LAUNCHER[prefix.name])
    m.add_installer("a/setup.exe", run_ms=500)
    m.write_ini([("SetupList", [r"1,a\setup.exe, , ,1"]), ("SetupSilent", [r"1,a\setup.exe, , ,1"])])
    r.add_runonce_marker()
    sentinel = r.start_sentinel()
    question = DialogCatcher(r, "^System Rebooting$", "restart-question", key=None if silent else "y")
    try:
        r.run(args=["/s"] if silent else [], timeout=40, watcher=question)
        r.wait_for(lambda: starts(r.events(), "restarted.exe"), 30, "the restart-time RunOnce entry")
    except HarnessError as exc:
        r.checks.check(False, str(exc))
    finally:
        r.remove_runonce_marker()
    c = r.checks
    evs = r.events()
    if silent:
        c.check(question.seen_at is None, "silent run: no restart question")
    else:
        c.check(question.seen_at is not None, "restart question shown")
    c.check(bool(starts(evs, "restarted.exe")), "the prefix restarted (its RunOnce entry ran)")
    time.sleep(1)
    c.check(sentinel.poll() is not None and not any(e["event"] == "sentinel-down" for e in evs),
            "other programs were ended by the forced restart")
    return r.finish()


@scenario(["p64"])
def restart_yes(prefix, artifacts):
    """Restart question answered Yes: the forced restart is requested."""
    return _restart_scenario(prefix, artifacts, "restart_yes", silent=False)


@scenario(["p32"])
def restart_silent(prefix, artifacts):
    """Silent run with a restart flag: restart without a question."""
    return _restart_scenario(prefix, artifacts, "restart_silent", silent=True)


@scenario(["p64", "p32"])
def missing_ini(prefix, artifacts):
    """No StageRun.ini: the launcher ends at once with exit code 1603 (nothing
    was installed)."""
    r = Run(prefix, "missing_ini", artifacts)
    r.medium.add_launcher(LAUNCHER[prefix.name])
    r.start_sentinel()  # the bound is the launcher's, not Wine's start-up (see dll_redirection)
    r.run(timeout=20)
    r.check_exit(1603, within=3)
    return r.finish()


@scenario(["p64"])
def loader_choice(prefix, artifacts):
    """Whether this machine runs 32-bit programs, found by running Wine's
    32-bit loader, agrees with starting the 32-bit checker through the `wine`
    wrapper; with STAGERUN_NO_32BIT=1 the 64-bit loader and checker are used
    and the 32-bit tests end as skipped before they start anything."""
    c = Checks("loader_choice on p64")
    here = os.path.dirname(os.path.abspath(__file__))
    dist = os.environ.get("E2E_DIST", os.path.join(REPO, "dist"))

    def run(args, forced, env=None):
        env = dict(env or os.environ)
        env.pop("STAGERUN_NO_32BIT", None)
        if forced:
            env["STAGERUN_NO_32BIT"] = "1"
        with tempfile.TemporaryFile() as out:  # Wine's side processes would hold a pipe open
            code = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=120).returncode
            out.seek(0)
            return code, out.read().decode("utf-8", "replace")

    def shell(forced):
        _, out = run([sys.executable, os.path.join(here, "winestart.py"), "shell"], forced)
        return out, dict(l.replace("export ", "").split("=", 1) for l in out.splitlines() if "=" in l)

    out, found = shell(False)
    env = prefix.env()
    env.pop("WINELOADER", None)
    code, version = run(["wine", os.path.join(dist, "stagerun-check.exe"), "/version"], False, env)
    runs = code == 0 and version.startswith("stagerun-check ")
    c.check((found.get("CHECKER") == "stagerun-check.exe") == runs,
            "the detection agrees with the wrapper starting the 32-bit checker", "(%s; %d %s)" % (out, code, version))

    out, forced = shell(True)
    c.check(forced.get("WINE") == LOADER64 and forced.get("CHECKER") == "stagerun-check64.exe" and
            "(STAGERUN_NO_32BIT=1): 32-bit end-to-end tests are skipped" in out, "forced: the 64-bit loader and "
            "checker, and the line saying why", "(%s)" % out)
    env["WINELOADER"] = forced.get("WINELOADER", "")
    code, version = run([forced.get("WINE", "?"), os.path.join(dist, forced.get("CHECKER", "?")), "/version"], True,
                        env)
    c.check(code == 0 and version.startswith("stagerun-check "), "forced: the 64-bit checker runs",
            "(%d %s)" % (code, version))
    work = os.path.join(artifacts, "loader_choice")
    for args in (["setup", "p32"], ["run", "handoff", "p64"]):
        code, out = run([sys.executable, os.path.join(here, "e2e.py"), "--work", work] + args, True)
        c.check(code == 77 and "skipped: " in out, "forced: e2e.py %s ends as skipped" % " ".join(args),
                "(%d %s)" % (code, out))
    c.check(not os.path.exists(os.path.join(work, "prefix-p32")), "forced: no 32-bit prefix was made")
    return c.done()


EXIT_CASES = [
    # name, steps of [SetupSilent], the installer's settings, switches, exit code, log line
    ("clean", [r"1,a\setup.exe,/S"], {"run_ms": 1500}, ["/s"], 0,
     "all steps done"),
    ("missing", [r"1,a\gone.exe,/S"], {"run_ms": 1500}, ["/s"], 1603,
     "step 1 failed: file missing"),
    ("fails", [r"1,a\setup.exe,/S"], {"run_ms": 1500, "exit_code": 1603}, ["/s"], 1603,
     "step 1 failed: exit code 1603"),
    ("needs_restart", [r"1,a\setup.exe,/S"], {"run_ms": 1500, "exit_code": 3010}, ["/s"], 3010,
     "an installer needs a restart"),
    ("norestart", [r"1,a\setup.exe,/S, ,1"], {"run_ms": 1500}, ["/s", "/norestart"], 3010,
     "no restart (/norestart)"),
]


@scenario(["p64"])
def exit_codes(prefix, artifacts):
    """As a deployment tool runs a medium: e2etool starts the launcher, waits
    for it and records its exit code and when it returned. A clean run (0), a
    missing installer (1603), an installer that fails (1603) or needs a restart
    (3010), and a restart flag under /s /norestart (3010, and the machine is
    not restarted); the step log's last line says why."""
    rc = 0
    for name, steps, cfg, switches, code, why in EXIT_CASES:
        r = Run(prefix, "exit_" + name, artifacts)
        m = r.medium
        c = r.checks
        m.add_launcher(LAUNCHER[prefix.name])
        m.add_installer("a/setup.exe", **cfg)
        m.write_ini([("SetupSilent", steps)])
        path = os.path.join(m.artifacts, "run.log")
        sentinel = r.start_sentinel() if "/norestart" in switches else None
        r.run(args=switches + ['/log:"%s"' % winpath(path)], timeout=40)
        r.check_exit(code)
        ran = starts(r.events(), "setup.exe")
        if code == 0 or "exit_code" in cfg:
            ended = end_of(r.events(), ran[0]["pid"]) if ran else None
            r.check_gap(r.exit, ended and ended["time"], 0, 3, "returned after the installer ended")
        with open(path, "rb") as f:
            lines = [l[24:] for l in f.read().decode("ascii", "replace").split("\r\n") if l]
        c.check(lines[-1:] == ["==== end of run, exit code %d: %s" % (code, why)],
                "the log's last line says why", "(%s)" % lines[-1:])
        if "exit_code" in cfg:
            said = "step 1: setup.exe ended with exit code %d: " % cfg["exit_code"]
            c.check(any(l.startswith(said) for l in lines), "the installer's exit code is in the log")
        if sentinel:
            time.sleep(1)
            c.check(sentinel.poll() is None and not any(e["event"] == "sentinel-down" for e in r.events()),
                    "/norestart: the machine was not restarted (the sentinel still runs)")
        log("step log of %s:\n  %s" % (name, "\n  ".join(lines)))
        rc |= r.finish()
    return rc


INSTALLER_CASES = [
    # name, steps of [SetupSilent], installers and their exit codes, [ExitCodes] lines, exit code,
    # the log's last line, lines the log holds, installers that must not start
    ("declared", [r'1,a\setup.exe,/qn ADDLOCAL="Core,Extras", ,', r"1,redist\vc_redist.x64.exe,/quiet"],
     {"a/setup.exe": 0, "redist/vc_redist.x64.exe": 1638}, [r"redist\vc_redist.x64.exe=1638:success"], 0,
     "all steps done", ["step 2: vc_redist.x64.exe ended with exit code 1638: success ([ExitCodes])"], []),
    ("busy", [r"1,a\setup.exe,/q", r"1,b\later.exe,/q"], {"a/setup.exe": 1618, "b/later.exe": 0}, [], 1618,
     "step 1 found the Windows Installer busy",
     ["step 1: setup.exe ended with exit code 1618: Windows Installer busy (default)",
      "step 2: later.exe ended with exit code 0: success (default)"], []),
    ("restart_started", [r"1,a\setup.exe,/q, ,1", r"1,b\later.exe,/q"], {"a/setup.exe": 1641, "b/later.exe": 0},
     [], 1641, "step 1 started a restart: no step after it",
     ["step 1: setup.exe ended with exit code 1641: restart started (default)",
      "no further step starts: step 1's installer started a restart",
      "no restart of the launcher's own: one is under way"], ["later.exe"]),
]


@scenario(["p64"])
def real_installers(prefix, artifacts):
    """Real installers' arguments and exit codes, as a deployment tool runs a medium (e2etool
    starts the launcher and records its exit code): an MSI feature list with commas reaches the
    installer whole and a 1638 that [ExitCodes] declares a success gives 0; an undeclared 1618 is
    passed on while the rest of the list runs; after a 1641 the next step does not start, the
    launcher does not restart on top of it (the step asks for a restart) and the run exits 1641.
    The step log names the rule that decided each code."""
    rc = 0
    for name, steps, installers, declared, code, why, said, never in INSTALLER_CASES:
        r = Run(prefix, "installers_" + name, artifacts)
        m = r.medium
        c = r.checks
        m.add_launcher(LAUNCHER[prefix.name])
        for rel, exit_code in installers.items():
            m.add_installer(rel, run_ms=800, exit_code=exit_code)
        m.write_ini([("SetupSilent", steps)])
        with open(os.path.join(m.dir, "StageRun.ini"), "a", newline="") as f:
            f.write("".join(l + "\r\n" for l in ["[ExitCodes]"] + declared))
        path = os.path.join(m.artifacts, "run.log")
        sentinel = r.start_sentinel() if never else None
        r.run(args=["/s", '/log:"%s"' % winpath(path)], timeout=40)
        r.check_exit(code)
        with open(path, "rb") as f:
            lines = [l[24:] for l in f.read().decode("ascii", "replace").split("\r\n") if l]
        c.check(lines[-1:] == ["==== end of run, exit code %d: %s" % (code, why)],
                "the log's last line says why", "(%s)" % lines[-1:])
        for line in said:
            c.check(line in lines, "the log says %r" % line)
        for rel in installers:
            ran = starts(r.events(), rel.split("/")[-1])
            if rel.split("/")[-1] in never:
                c.check(not ran, "%s did not start" % rel)
            else:
                c.check(len(ran) == 1, "%s ran once" % rel, "(%d starts)" % len(ran))
        if name == "declared":
            setup = r.one("setup.exe")
            c.check(setup is not None and r.params(setup).strip() == '/qn ADDLOCAL="Core,Extras"',
                    "the feature list reached the installer whole", "(%r)" % (setup and r.params(setup)))
        if sentinel:
            c.check(sentinel.poll() is None and not any(e["event"] == "sentinel-down" for e in r.events()),
                    "the launcher did not restart the machine (the sentinel still runs)")
        log("step log of %s:\n  %s" % (name, "\n  ".join(lines)))
        rc |= r.finish()
    return rc


# ---------------------------------------------------------------------------
# DLL planting

PLANTED_DLLS = ("newdev.dll", "cfgmgr32.dll", "version.dll")
RUNTIME_LOADED = ("newdev.dll", "cfgmgr32.dll")  # the launcher loads these itself
# Wine prefers its own copy of a DLL it implements even when one lies beside
# the program; Windows takes the first one it finds. Native-first for the
# planted names makes Wine search the way Windows does.
PLANT_OVERRIDES = {"WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d;newdev,cfgmgr32,version=n,b"}


def _plant(prefix, folder):
    for name in PLANTED_DLLS:
        shutil.copy(prefix.tool("planted/" + name), os.path.join(folder, name))


def _marker_lines(folder, names):
    """"pid exe" lines of the marker files that planted copies in FOLDER left."""
    found = []
    for name in names:
        marker = os.path.join(folder, name + ".loaded")
        if os.path.exists(marker):
            with open(marker) as f:
                found += [(name, l.strip()) for l in f if l.strip()]
    return found


def _in_system_dir(path):
    p = path.lower()
    return p.startswith("c:\\windows\\system32\\") or p.startswith("c:\\windows\\syswow64\\")


def _device_inf(prefix, dst, hwid, desc):
    """The fixture INF for another hardware id, so this scenario's device is its own."""
    with open(prefix.tool("e2edev.inf")) as f:
        text = f.read()
    text = text.replace(r"ROOT\E2E_STAGERUN_DEV", hwid).replace(DEVICE_DESC_INSTALLED, desc)
    with open(dst, "w", newline="") as f:
        f.write(text)


@scenario(["p64", "p32"])
def dll_planting(prefix, artifacts):
    """newdev.dll, cfgmgr32.dll and version.dll planted beside the launcher
    and in a kind "1" step's folder are never loaded on the launcher's
    account, while a driver step after that step still installs its driver.
    Wine's own user32.dll and setupapi.dll import version.dll (Windows' do
    not), so a planted version.dll may arrive through them only."""
    r = Run(prefix, "dll_planting", artifacts)
    m = r.medium
    c = r.checks
    # A hardware id of this run's own: a device from an earlier run in the prefix stays.
    tag = "%s_%d" % (prefix.name.upper(), int(time.time() * 1000) % 10000000)
    hwid = r"ROOT\E2E_PLANT_%s" % tag
    desc = "StageRun E2E Planting Device %s (driver installed)" % tag
    exe = LAUNCHER[prefix.name]
    m.add_launcher(exe)
    m.add_installer("app/setup.exe", run_ms=800)
    app = os.path.join(m.dir, "app")
    _device_inf(prefix, os.path.join(m.dir, "e2edev.inf"), hwid, desc)
    # The driver step tests ".\e2edev.inf" in the current directory (the step's folder by then)
    # and installs the copy beside the launcher.
    shutil.copy(os.path.join(m.dir, "e2edev.inf"), os.path.join(app, "e2edev.inf"))
    prefix.wine([prefix.tool("devtool.exe"), "add", hwid, "Unconfigured planting device"])
    m.write_ini([("SetupList", [
        r"1,app\setup.exe,/S",
        "0,e2edev.inf,e2e_plant_%s" % tag.lower(),
    ])])
    _plant(prefix, m.dir)
    _plant(prefix, app)

    # Controls, in a folder of their own: an unprotected program picks up the planted copies
    # beside it (version.dll through its own import, which the record names), and searches its
    # current directory for a name that the system directory lacks.
    ctl = os.path.join(m.dir, "control")
    ctl_cwd = os.path.join(ctl, "cwd")
    os.makedirs(ctl_cwd)
    _plant(prefix, ctl)
    shutil.copy(prefix.tool("planted/version.dll"), os.path.join(ctl_cwd, "e2eonly.dll"))
    probe = os.path.join(ctl, "plantprobe.exe")
    shutil.copy(prefix.tool("plantprobe.exe"), probe)
    prefix.wine([prefix.tool("e2etool.exe"), "run", "20000", winpath(ctl_cwd, prefix.path),
                 winpath(probe, prefix.path)] + list(RUNTIME_LOADED) + ["e2eonly.dll"],
                extra_env=m.env(PLANT_OVERRIDES))
    evs = r.events()
    probes = {e["name"].lower(): e.get("loaded", "-") for e in evs if e["event"] == "probe"}
    ctl_win = winpath(ctl, prefix.path)
    for name in RUNTIME_LOADED:
        got = probes.get(name, "-")
        c.check(got.lower() == (ctl_win + "\\" + name).lower(),
                "control: an unprotected program loads the %s beside it" % name, "(loaded %s)" % got)
    got = probes.get("e2eonly.dll", "-")
    c.check(got.lower() == (winpath(ctl_cwd, prefix.path) + "\\e2eonly.dll").lower(),
            "control: an unprotected program loads a DLL from its current directory", "(loaded %s)" % got)
    pv = [e for e in evs if e["event"] == "planted" and e.get("dll", "").lower().endswith("\\version.dll")]
    probe_win = winpath(probe, prefix.path).lower()
    c.check(any(probe_win in e.get("importers", "").lower().split(",") for e in pv),
            "control: a program importing version.dll gets the planted copy, and the record names it",
            "(%r)" % [e.get("importers") for e in pv])

    evs = r.run(timeout=60, extra_env=PLANT_OVERRIDES)
    launcher_pid = (r.launch or {}).get("pid")
    setup = r.one("setup.exe")
    if setup:
        c.check(setup["cwd"].lower() == (m.win + r"\app").lower(), "the kind 1 step ran in app\\ (planted too)",
                "(cwd %s)" % setup["cwd"])
    mine = [e for e in evs if e["event"] == "planted" and launcher_pid is not None and e.get("pid") == launcher_pid]
    for name in RUNTIME_LOADED:
        got = [e["dll"] for e in mine if e.get("dll", "").lower().endswith("\\" + name)]
        c.check(not got, "the launcher did not load a planted %s" % name, "(%s)" % ", ".join(got))
    markers = [(n, l) for folder in (m.dir, app) for n, l in _marker_lines(folder, RUNTIME_LOADED)
               if l.lower().endswith("\\" + exe.lower())]
    c.check(not markers, "no newdev/cfgmgr32 marker file names the launcher", "(%r)" % markers)
    ver = [e for e in mine if e.get("dll", "").lower().endswith("\\version.dll")]
    own = [e for e in ver if not e.get("importers") or
           not all(_in_system_dir(p) for p in e["importers"].split(","))]
    c.check(not own, "a planted version.dll came to the launcher only through the platform's own DLLs",
            "(%r)" % [(e.get("dll"), e.get("importers")) for e in own])
    if ver:
        log("  note: Wine loaded %s into the launcher for %s" %
            (", ".join(e["dll"] for e in ver), "; ".join(e.get("importers", "") for e in ver)))
    _, dev = prefix.wine([prefix.tool("devtool.exe"), "show", "E2E_PLANT_" + tag])
    c.check("desc=" + desc in dev, "driver step installed the INF's driver (description)", dev.strip())
    c.check("driver={" in dev, "driver step gave the device a driver key", dev.strip())
    r.check_exit()
    return r.finish()


@scenario(["p64", "p32"])
def dll_redirection(prefix, artifacts):
    """A "<launcher>.local" folder or file beside the launcher: exit code 1
    and no step started; without it the same medium runs its step."""
    r = Run(prefix, "dll_redirection", artifacts)
    m = r.medium
    c = r.checks
    exe = LAUNCHER[prefix.name]
    m.add_launcher(exe)
    m.add_installer("a/setup.exe", run_ms=300)
    m.write_ini([("SetupList", [r"1,a\setup.exe,/S"])])
    local = os.path.join(m.dir, exe + ".local")
    # The first program after the prefix's own processes have ended can take about 11 s to start
    # under Wine on a loaded machine; a program kept running keeps them up, so the bound is the
    # launcher's.
    r.start_sentinel()
    for form in ("folder", "file"):
        if form == "folder":
            os.makedirs(local)
        else:
            with open(local, "w") as f:
                f.write("")
        r.run(timeout=20)
        c.check(r.exit is not None and r.exit["event"] == "exit" and r.exit.get("code") == 1,
                "%s.local %s: exit code 1" % (exe, form), "(%r)" % r.exit)
        r.check_gap(r.exit, (r.launch or {}).get("time"), 0, 5,
                    "%s.local %s: ended at once" % (exe, form))
        c.check(not starts(r.events(), "setup.exe"), "%s.local %s: no step started" % (exe, form))
        if form == "folder":
            os.rmdir(local)
        else:
            os.remove(local)
    r.run(timeout=30)
    c.check(bool(starts(r.events(), "setup.exe")), "without the .local the same medium runs its step")
    r.check_exit()
    return r.finish()
