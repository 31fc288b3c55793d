#!/usr/bin/env python3
"""Footprint and overhead of the launcher (`make bench`).

Builds the release executables (`make dist`), then measures under Wine, with
the end-to-end harness (tests/e2e/harness.py), each figure against a baseline
of the same run, and prints one table, also written to build/bench/results.md:

  1. size of dist/stagerun.exe and dist/stagerun64.exe as shipped (version
     resource included) and the DLLs they import;
  2. CPU time of the launcher per wall time while it watches a long installer,
     beside a fixture program that only sleeps and an NSIS installer that
     only waits for a program as long with ExecWait (fixtures/execwait.nsi,
     built with makensis), all at once in the same prefix;
  3. schedule overhead: run time of N direct-launch steps and of N dialog steps
     whose installers end at once, divided by the time the program's own
     constants prescribe (timer period, sleeps, settle rounds);
  4. start-up: launcher start to the first installer's start, less the
     prescribed first timer period, against a fixture that starts a program
     at once;
  5. peak resident memory of the launcher less that of the sleeping fixture.

Times come from the records of the fixture programs (tests/e2e/fixtures) and
of `e2etool run`; CPU time and peak memory (VmHWM) from /proc of the Wine
process. Results are medians over --runs runs. The figures never make the
script fail; a run that leaves no records does.

  bench.py [--quick] [--runs N] [--prefix p64|p32] [--no-build] [--out FILE] [--work DIR]

--quick (what `make test` runs): one run each, a few seconds of waiting and two
steps per schedule, so that the script is exercised; its figures mean little.
"""

import argparse
import datetime
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))

from harness import HarnessError, Medium, Prefix, REPO, log, read_events, winpath  # noqa: E402
from winestart import no_32bit  # noqa: E402

sys.path.insert(0, os.path.join(REPO, "scripts"))
from kit import version  # noqa: E402

LAUNCHER = {"p64": "stagerun64.exe", "p32": "stagerun.exe"}
# The size each launcher must stay within.
EXECUTABLES = (("stagerun.exe", 44 * 1024), ("stagerun64.exe", 44 * 1024))
# DLLs that every Windows installation has in its system directory.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "comctl32.dll",
               "setupapi.dll", "cfgmgr32.dll", "newdev.dll", "msvcrt.dll", "version.dll", "ole32.dll",
               "oleaut32.dll", "shlwapi.dll", "ntdll.dll"}
AIM_CPU_SHARE = 0.005
AIM_CPU_RATIO = 2.0
AIM_NSIS_RATIO = 1.0
NSIS_TARGET = {"p64": "amd64-unicode", "p32": "x86-unicode"}
AIM_SCHEDULE = 1.03
AIM_STARTUP_MS = 100
AIM_MEMORY_MIB = 2.0


class BenchError(Exception):
    pass


# ---------------------------------------------------------------------------
# The program's own timing constants, read from its sources

def program_constants():
    wanted = {"STEP_TIMER_PERIOD": "app/stagerun.h", "LAUNCH_PAUSE": "sequencer/mainwnd.cpp",
              "POLL_PAUSE": "sequencer/mainwnd.cpp", "SETTLE_ROUNDS": "sequencer/mainwnd.cpp"}
    found = {}
    for name, rel in wanted.items():
        with open(os.path.join(REPO, rel)) as f:
            m = re.search(r"^#define\s+%s\s+(\d+)\s*$" % name, f.read(), re.M)
        if not m:
            raise BenchError("constant %s not found in %s" % (name, rel))
        found[name] = int(m.group(1))
    return found


def prescribed_step_ms(c, dialog):
    """From one step's launch to the next step's launch (or, after the last
    step, to the empty slot that ends the run), for an installer that has
    gone by the first poll and an empty wait list:
      direct: launch pause, watch timer, poll pause, settle rounds, next-step timer;
      dialog: launch pause, dialog watch timer, poll pause, next-step timer."""
    if dialog:
        return c["LAUNCH_PAUSE"] + c["STEP_TIMER_PERIOD"] + c["POLL_PAUSE"] + c["STEP_TIMER_PERIOD"]
    return (c["LAUNCH_PAUSE"] + c["STEP_TIMER_PERIOD"] + c["POLL_PAUSE"] + c["SETTLE_ROUNDS"] * c["POLL_PAUSE"]
            + c["STEP_TIMER_PERIOD"])


# ---------------------------------------------------------------------------
# Figure 1: size and imports

def pe_info(path):
    """(file size, {section: raw size}, [imported DLL names]) of a PE file."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise BenchError("%s is not a PE file" % path)
    count, = struct.unpack_from("<H", data, pe + 6)
    opt_size, = struct.unpack_from("<H", data, pe + 20)
    opt = pe + 24
    magic, = struct.unpack_from("<H", data, opt)
    directories = opt + (96 if magic == 0x10B else 112)
    import_rva, _ = struct.unpack_from("<II", data, directories + 8)
    sections = []
    for i in range(count):
        name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, opt + opt_size + 40 * i)
        sections.append((name.rstrip(b"\0").decode(), vsize, va, rawsize, rawptr))

    def offset(rva):
        for _, vsize, va, rawsize, rawptr in sections:
            if va <= rva < va + max(vsize, rawsize):
                return rva - va + rawptr
        raise BenchError("%s: address %#x outside every section" % (path, rva))

    dlls = []
    if import_rva:
        d = offset(import_rva)
        while True:
            name_rva = struct.unpack_from("<IIIII", data, d)[3]
            if name_rva == 0:
                break
            o = offset(name_rva)
            dlls.append(data[o:data.index(b"\0", o)].decode())
            d += 20
    return len(data), {s[0]: s[3] for s in sections}, dlls


# ---------------------------------------------------------------------------
# Wine processes seen from Linux

CLOCK_TICK = os.sysconf("SC_CLK_TCK")


def find_wine_process(prefix, exe):
    """Linux pid of the Wine process running EXE (a file name) in PREFIX, or None."""
    marker = b"WINEPREFIX=" + prefix.path.encode() + b"\0"
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                argv0 = f.read().split(b"\0")[0]
            with open("/proc/%s/environ" % entry, "rb") as f:
                env = f.read()
        except OSError:
            continue
        name = argv0.decode("utf-8", "replace").strip('"').replace("/", "\\").rsplit("\\", 1)[-1]
        if name.lower() == exe.lower() and marker in env + b"\0":
            return int(entry)
    return None


class ProcessWatch:
    """Samples CPU time (user + system, all threads) and peak resident memory
    of one Wine process, found by its program name once it has started."""

    def __init__(self, prefix, exe):
        self.prefix = prefix
        self.exe = exe
        self.pid = None
        self.gone = False
        self.samples = []  # (wall seconds, cpu seconds)
        self.peak_kib = 0

    def poll(self):
        if self.gone:
            return
        if self.pid is None:
            self.pid = find_wine_process(self.prefix, self.exe)
            if self.pid is None:
                return
        try:
            with open("/proc/%d/stat" % self.pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            with open("/proc/%d/status" % self.pid) as f:
                status = f.read()
        except OSError:
            self.gone = True
            return
        cpu = (int(fields[11]) + int(fields[12])) / CLOCK_TICK
        self.samples.append((time.time(), cpu))
        m = re.search(r"^VmHWM:\s+(\d+) kB", status, re.M)
        if m:
            self.peak_kib = max(self.peak_kib, int(m.group(1)))

    def cpu_share(self, start, end):
        """CPU seconds per wall second between the first sample at or after
        START and the last at or before END (wall clock seconds)."""
        inside = [s for s in self.samples if start <= s[0] <= end]
        if len(inside) < 2 or inside[-1][0] - inside[0][0] < 0.5 * (end - start):
            raise BenchError("too few samples of %s between the marks (%d)" % (self.exe, len(inside)))
        return (inside[-1][1] - inside[0][1]) / (inside[-1][0] - inside[0][0])


def start_program(prefix, medium, exe_path, args, timeout_s):
    """Starts EXE_PATH in the medium's folder through `e2etool run`, as the
    end-to-end scenarios do; its launch and exit records go to the medium's log."""
    return prefix.wine_bg([prefix.tool("e2etool.exe"), "run", str(int(timeout_s * 1000)), medium.win,
                           winpath(exe_path, prefix.path)] + list(args), extra_env=medium.env())


def wait_all(procs, watches, timeout_s):
    t0 = time.time()
    while any(p.poll() is None for p in procs):
        if time.time() - t0 > timeout_s:
            for p in procs:
                if p.poll() is None:
                    p.kill()
                    p.wait()
            raise BenchError("runs did not end within %.0fs" % timeout_s)
        for w in watches:
            w.poll()
        time.sleep(0.1)
    for w in watches:
        w.poll()


def record(events, kind, **match):
    for e in events:
        if e["event"] == kind and all(e.get(k) == v for k, v in match.items()):
            return e
    raise BenchError("no %s record %s in the run's log" % (kind, match or ""))


def installer_starts(events):
    return sorted((e for e in events if e["event"] == "start"), key=lambda e: e["time"])


# ---------------------------------------------------------------------------
# The runs

class Bench:
    def __init__(self, prefix, launcher, quick, runs, work):
        self.prefix = prefix
        self.launcher = launcher
        self.quick = quick
        self.runs = runs
        self.artifacts = os.path.join(work, "artifacts")
        self.counter = 0
        self.consts = program_constants()
        self.fixture = os.path.join(prefix.fixtures, "..", "..", "bench", "fixtures", "benchfix.exe")
        if not os.path.exists(self.fixture):
            raise BenchError("%s missing: build the %s cross build first" % (self.fixture, prefix.arch["build"]))
        self.startup_ms = []        # launcher: launch to first installer start
        self.peaks = {}             # run kind -> [launcher peak KiB]
        self.sleeper_peaks = []
        self.window_peaks = []
        self.cpu = []               # (launcher, sleeper, hidden window, NSIS stub) CPU shares
        self.schedule = {False: [], True: []}  # dialog? -> [(measured ms, prescribed ms)]
        self.fixture_startup_ms = []

    def medium(self, kind):
        self.counter += 1
        return Medium(self.prefix, "bench-%s-%d" % (kind, self.counter), self.artifacts)

    def launcher_medium(self, kind, steps, run_ms, dialog):
        m = self.medium(kind)
        m.add_launcher(self.launcher)
        lines = []
        for i in range(1, steps + 1):
            m.add_installer("steps/step%02d.exe" % i, run_ms=run_ms)
            lines.append(r"1,steps\step%02d.exe,%s" % (i, "/quiet" if dialog else " ,"))
        m.write_ini([("SetupList", lines)])
        return m

    def nsis_medium(self, run_ms):
        """An NSIS installer, built here for the prefix's architecture, that waits for
        wait\\waited.exe (the fake installer, running RUN_MS)."""
        m = self.medium("nsis")
        stub = os.path.join(m.dir, "execwait.exe")
        p = subprocess.run(["makensis", "-V2", "-DTARGET=" + NSIS_TARGET[self.prefix.name], "-DOUT=" + stub,
                            os.path.join(HERE, "fixtures", "execwait.nsi")],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if p.returncode != 0:
            raise BenchError("makensis failed: " + p.stdout.decode("utf-8", "replace"))
        m.add_installer("wait/waited.exe", run_ms=run_ms)
        return m, stub

    def copy_fixture(self, medium, name):
        path = os.path.join(medium.dir, name)
        shutil.copy(self.fixture, path)
        return path

    def run_cpu(self):
        """One direct-launch step whose installer runs WAIT seconds, started
        together with the sleeper and the hidden-window fixture, which last
        longer, and the NSIS stub, whose program runs as long as the step's."""
        wait_s = 6 if self.quick else 60
        m = self.launcher_medium("cpu", 1, wait_s * 1000, dialog=False)
        n, stub = self.nsis_medium(wait_s * 1000)
        s = self.medium("baselines")
        sleeper = self.copy_fixture(s, "sleeper.exe")
        window = self.copy_fixture(s, "hiddenwin.exe")
        lw = ProcessWatch(self.prefix, self.launcher)
        sw = ProcessWatch(self.prefix, "sleeper.exe")
        ww = ProcessWatch(self.prefix, "hiddenwin.exe")
        nw = ProcessWatch(self.prefix, "execwait.exe")
        ms = str((wait_s + 8) * 1000)
        procs = [start_program(self.prefix, s, sleeper, ["sleep", ms], wait_s + 40),
                 start_program(self.prefix, s, window, ["window", ms], wait_s + 40),
                 start_program(self.prefix, n, stub, [], wait_s + 40),
                 start_program(self.prefix, m, os.path.join(m.dir, self.launcher), [], wait_s + 40)]
        wait_all(procs, [lw, sw, ww, nw], wait_s + 60)
        # The stub waits from its program's start to its end; the window measured lies inside both.
        nsis_evs = n.events()
        waited = record(nsis_evs, "start", name="waited.exe")
        waited_end = record(nsis_evs, "end", name="waited.exe")
        evs = m.events()
        launch = record(evs, "launch")
        record(evs, "exit")
        inst = record(evs, "start", name="step01.exe")
        end = record(evs, "end", name="step01.exe")
        # The launcher waits; its own start-up and the installer's are left out.
        start = max(inst["time"], waited["time"]) / 1000.0 + (1.0 if self.quick else 3.0)
        stop = min(end["time"], waited_end["time"]) / 1000.0 - 0.5
        self.cpu.append((lw.cpu_share(start, stop), sw.cpu_share(start, stop), ww.cpu_share(start, stop),
                         nw.cpu_share(start, stop)))
        self.startup_ms.append(inst["time"] - launch["time"])
        self.peaks.setdefault("waiting", []).append(lw.peak_kib)
        self.sleeper_peaks.append(sw.peak_kib)
        self.window_peaks.append(ww.peak_kib)
        log("  cpu run over %.1fs: launcher %.3f%%, sleeper %.3f%%, hidden window %.3f%%, NSIS stub %.3f%% "
            "of a core; peaks %d / %d / %d KiB" % (stop - start, 100 * self.cpu[-1][0], 100 * self.cpu[-1][1],
                                                  100 * self.cpu[-1][2], 100 * self.cpu[-1][3], lw.peak_kib,
                                                  sw.peak_kib, ww.peak_kib))

    def run_schedule(self, dialog):
        steps = 2 if self.quick else 10
        kind = "dialog" if dialog else "direct"
        m = self.launcher_medium(kind, steps, 0, dialog)
        lw = ProcessWatch(self.prefix, self.launcher)
        per_step = prescribed_step_ms(self.consts, dialog)
        limit = steps * per_step / 1000.0 + 60
        pl = start_program(self.prefix, m, os.path.join(m.dir, self.launcher), [], limit)
        wait_all([pl], [lw], limit + 20)
        evs = m.events()
        launch = record(evs, "launch")
        exit_ = record(evs, "exit")
        starts = installer_starts(evs)
        if len(starts) != steps:
            raise BenchError("%s run: %d of %d installers started" % (kind, len(starts), steps))
        measured = exit_["time"] - starts[0]["time"]
        self.schedule[dialog].append((measured, steps * per_step))
        if not dialog:
            self.startup_ms.append(starts[0]["time"] - launch["time"])
        self.peaks.setdefault(kind, []).append(lw.peak_kib)
        log("  %s run: %d steps in %d ms, prescribed %d ms; peak %d KiB"
            % (kind, steps, measured, steps * per_step, lw.peak_kib))

    def run_fixture_startup(self):
        m = self.medium("start")
        exe = self.copy_fixture(m, "starter.exe")
        target = m.add_installer("steps/step01.exe", run_ms=0)
        p = start_program(self.prefix, m, exe, ["start", winpath(target, self.prefix.path)], 30)
        wait_all([p], [], 50)
        deadline = time.time() + 20
        while not any(e["event"] == "end" for e in m.events()) and time.time() < deadline:
            time.sleep(0.1)
        evs = m.events()
        launch = record(evs, "launch")
        inst = record(evs, "start", name="step01.exe")
        self.fixture_startup_ms.append(inst["time"] - launch["time"])
        log("  start-up fixture: program started %d ms after launch" % self.fixture_startup_ms[-1])

    def run_all(self):
        for i in range(self.runs):
            log("round %d of %d" % (i + 1, self.runs))
            self.run_cpu()
            self.run_schedule(dialog=False)
            self.run_schedule(dialog=True)
            for _ in range(1 if self.quick else 2):
                self.run_fixture_startup()


# ---------------------------------------------------------------------------
# The table

def yes_no(ok):
    return "yes" if ok else "**no**"


def kib(n):
    return "%.1f KiB" % (n / 1024.0)


def size_rows():
    rows, notes = [], []
    for exe, aim in EXECUTABLES:
        path = os.path.join(REPO, "dist", exe)
        size, sections, dlls = pe_info(path)
        foreign = [d for d in dlls if d.lower() not in SYSTEM_DLLS]
        rows.append(("1 Size %s" % exe, "%d B (%s)" % (size, kib(size)), "-", kib(size), "<= %s" % kib(aim),
                     yes_no(size <= aim)))
        rows.append(("1 Imports %s" % exe, ", ".join(dlls), "-",
                     "only system DLLs" if not foreign else "also " + ", ".join(foreign),
                     "system DLLs only", yes_no(not foreign)))
        notes.append("%s sections (raw bytes): %s" % (exe, ", ".join("%s %d" % kv for kv in sections.items())))
    return rows, notes


def med(values):
    return statistics.median(values)


def figure_rows(b):
    rows, notes = [], []
    lc = med([c[0] for c in b.cpu])
    sc = med([c[1] for c in b.cpu])
    ratio = lc / sc if sc > 0 else float("inf")
    wc = med([c[2] for c in b.cpu])
    rows.append(("2 CPU while waiting", "%.3f%% of a core" % (100 * lc),
                 "sleeper %.3f%% (hidden window %.3f%%)" % (100 * sc, 100 * wc), "%.3f%%" % (100 * lc),
                 "<= 0.5%", yes_no(lc <= AIM_CPU_SHARE)))
    rows.append(("2 CPU, launcher / sleeper", "%.3f%%" % (100 * lc), "sleeper %.3f%%" % (100 * sc),
                 "%.2fx" % (lc / sc) if sc > 0 else "sleeper used none",
                 "<= %.0fx" % AIM_CPU_RATIO, yes_no(lc <= AIM_CPU_RATIO * sc)))
    nc = med([c[3] for c in b.cpu])
    rows.append(("2 CPU, launcher / NSIS ExecWait stub", "%.3f%%" % (100 * lc), "NSIS stub %.3f%%" % (100 * nc),
                 "%.2fx" % (lc / nc) if nc > 0 else "stub used none",
                 "<= %.2fx" % AIM_NSIS_RATIO, yes_no(lc <= AIM_NSIS_RATIO * nc)))
    notes.append("CPU runs (launcher / sleeper / hidden window / NSIS stub, % of a core): " +
                 ", ".join("%.3f / %.3f / %.3f / %.3f" % tuple(100 * x for x in c) for c in b.cpu))
    for dialog in (False, True):
        runs = b.schedule[dialog]
        ratios = [m / p for m, p in runs]
        r = med(ratios)
        steps = "dialog" if dialog else "direct-launch"
        rows.append(("3 Schedule, %d %s steps" % (runs[0][1] // prescribed_step_ms(b.consts, dialog), steps),
                     "%.2f s" % (med([m for m, _ in runs]) / 1000.0), "prescribed %.2f s" % (runs[0][1] / 1000.0),
                     "%.4f" % r, "<= %.2f" % AIM_SCHEDULE, yes_no(r <= AIM_SCHEDULE)))
        notes.append("%s schedule ratios: %s" % (steps, ", ".join("%.4f" % x for x in ratios)))
    period = b.consts["STEP_TIMER_PERIOD"]
    ls = med(b.startup_ms)
    fs = med(b.fixture_startup_ms)
    over = ls - period - fs
    rows.append(("4 Start-up to first installer", "%d ms" % ls, "%d ms timer + fixture %d ms" % (period, fs),
                 "%+d ms" % over, "<= %d ms" % AIM_STARTUP_MS, yes_no(over <= AIM_STARTUP_MS)))
    notes.append("launcher start-ups (ms): %s; fixture start-ups (ms): %s"
                 % (", ".join(str(x) for x in b.startup_ms), ", ".join(str(x) for x in b.fixture_startup_ms)))
    per_kind = {k: med(v) for k, v in b.peaks.items()}
    worst = max(per_kind, key=per_kind.get)
    sp = med(b.sleeper_peaks)
    wp = med(b.window_peaks)
    diff = (per_kind[worst] - sp) / 1024.0
    rows.append(("5 Peak resident memory", "%.1f MiB (%s runs)" % (per_kind[worst] / 1024.0, worst),
                 "sleeper %.1f MiB (hidden window %.1f MiB)" % (sp / 1024.0, wp / 1024.0), "%+.1f MiB" % diff,
                 "< %.0f MiB" % AIM_MEMORY_MIB,
                 yes_no(diff < AIM_MEMORY_MIB)))
    notes.append("launcher peaks (KiB) by run kind: %s; sleeper: %s"
                 % ("; ".join("%s %s" % (k, ", ".join(str(x) for x in v)) for k, v in b.peaks.items()),
                    ", ".join(str(x) for x in b.sleeper_peaks)) +
                 "; hidden window: " + ", ".join(str(x) for x in b.window_peaks))
    return rows, notes


def table(rows):
    head = ("Figure", "Launcher", "Baseline", "Result", "Aim", "Met")
    lines = ["| " + " | ".join(head) + " |", "|" + "|".join("---" for _ in head) + "|"]
    lines += ["| " + " | ".join(r) + " |" for r in rows]
    return lines


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="one short run of each figure (make test)")
    ap.add_argument("--runs", type=int, default=None, help="runs per figure (default 3, 1 with --quick)")
    ap.add_argument("--prefix", choices=sorted(LAUNCHER), default="p64",
                    help="p64: stagerun64.exe in a 64-bit prefix (default); p32: stagerun.exe in a 32-bit one "
                         "(p64 where no 32-bit program runs)")
    ap.add_argument("--no-build", action="store_true", help="use dist/ and the fixtures as they are")
    ap.add_argument("--out", default=os.path.join(REPO, "build", "bench", "results.md"))
    ap.add_argument("--work", default=os.path.join(REPO, "build", "bench", "work"))
    args = ap.parse_args()
    runs = args.runs or (1 if args.quick else 3)

    if not args.no_build:
        subprocess.run(["make", "-C", REPO, "dist"], check=True, stdout=sys.stderr)
    rows, notes = size_rows()
    # Where no 32-bit program runs, the 64-bit launcher is measured and the 32-bit one is not.
    if no_32bit():
        args.prefix = "p64"
        rows.append(("2-5 Figures of stagerun.exe", "not measured", "-",
                     "this machine runs no 32-bit program (%s)" % no_32bit(), "-", "-"))
    for r in rows:
        log("%s: %s" % (r[0], r[1]))

    prefix = Prefix(args.work, args.prefix)
    t0 = time.time()
    try:
        prefix.setup()
        b = Bench(prefix, LAUNCHER[args.prefix], args.quick, runs, args.work)
        b.run_all()
        more_rows, more_notes = figure_rows(b)
    except (BenchError, HarnessError) as exc:
        log("bench: %s" % exc)
        return 1
    finally:
        prefix.cleanup(quiet=True)
    rows += more_rows
    notes += more_notes
    notes.append("Wine's X11 driver runs with unmanaged windows (no window manager on the Xvfb); "
                 "the baselines are tests/bench/fixtures/benchfix.c")

    wine = subprocess.run(prefix.command() + ["--version"], stdout=subprocess.PIPE).stdout.decode().strip()
    quick = " (quick mode: one short run each; figures not meaningful)" if args.quick else ""
    head = ["# StageRun %s bench%s" % (version(), quick),
            "",
            "%s; %s with %s in a %s prefix; median of %d run%s; %d CPUs, load %s; bench took %.0f s."
            % (datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), wine, LAUNCHER[args.prefix],
               args.prefix, runs, "" if runs == 1 else "s", os.cpu_count(),
               open("/proc/loadavg").read().split()[0], time.time() - t0),
            ""]
    text = "\n".join(head + table(rows) + [""] + ["- " + n for n in notes]) + "\n"
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "w") as f:
        f.write(text)
    print()
    print(text, end="")
    log("written to %s" % args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
