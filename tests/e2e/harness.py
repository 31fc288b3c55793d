"""End-to-end harness: throwaway Wine prefixes under Xvfb, scenario media,
running the launcher with a time limit, and reading back what the fixture
programs recorded.

A prefix ("p64" or "p32") is made once per test run by `e2e.py setup` and
described by a small JSON state file (display, Xvfb pid, prefix path); every
scenario reads that file, and `e2e.py cleanup` ends the Xvfb and the prefix's
wineserver by id and removes the prefix.
"""

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time

from winestart import require_32bit, wine_command

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DATA = os.path.join(REPO, "tests", "e2e", "data")
ARCHES = {"p64": {"winearch": "win64", "build": "win64"},
          "p32": {"winearch": "win32", "build": "win32"}}


class HarnessError(Exception):
    pass


def log(msg):
    print(msg, flush=True)


def winpath(unix_path, prefix=None):
    """Windows name of a Linux path: inside the prefix's drive_c it is C:\\...,
    elsewhere Wine's Z: drive maps the Linux root."""
    p = os.path.abspath(unix_path)
    if prefix:
        drive_c = os.path.join(prefix, "drive_c")
        if p == drive_c or p.startswith(drive_c + os.sep):
            return "C:" + (p[len(drive_c):] or "\\").replace("/", "\\")
    return "Z:" + p.replace("/", "\\")


def _alive(pid, needle):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return needle.encode() in f.read()
    except OSError:
        return False


class Prefix:
    """One throwaway Wine prefix with its own Xvfb display."""

    def __init__(self, work, name):
        if name not in ARCHES:
            raise HarnessError("unknown prefix %s" % name)
        self.work = os.path.abspath(work)
        self.name = name
        self.arch = ARCHES[name]
        self.path = os.path.join(self.work, "prefix-" + name)
        self.state_file = os.path.join(self.work, "state-%s.json" % name)
        self.display = None
        self.xvfb_pid = None
        self.locale = "C.UTF-8"
        build_root = os.environ.get("E2E_BUILD_ROOT", os.path.join(REPO, "build"))
        self.fixtures = os.path.join(build_root, self.arch["build"], "tests", "e2e", "fixtures")

    # -- environment -------------------------------------------------------
    def env(self, extra=None):
        env = dict(os.environ)
        for k in list(env):
            if k.startswith("LC_") or k in ("LANG", "LANGUAGE"):
                del env[k]
        env.update({
            "WINEPREFIX": self.path,
            "WINEARCH": self.arch["winearch"],
            "WINEDEBUG": "-all",
            # No Gecko/Mono download prompts, no menu entries on the host.
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "LC_ALL": self.locale,
        })
        if self.display:
            env["DISPLAY"] = self.display
        env.update(wine_command(self.arch["winearch"])[1])
        if extra:
            env.update(extra)
        return env

    def wine(self, args, extra_env=None, timeout=60, check=True):
        """Runs `wine ARGS` to completion and returns (exit code, stdout).
        Output goes through files, not pipes: processes that Wine starts on
        the side (services, explorer) inherit them and would hold a pipe open."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            p = subprocess.Popen(self.command() + list(args), env=self.env(extra_env), stdin=subprocess.DEVNULL,
                                 stdout=out, stderr=err, start_new_session=True)
            try:
                p.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
                raise HarnessError("wine %s did not end within %ss" % (" ".join(args), timeout))
            out.seek(0)
            err.seek(0)
            text = out.read().decode("utf-8", "replace").replace("\r\n", "\n")
            errtext = err.read().decode("utf-8", "replace")
        if check and p.returncode != 0:
            raise HarnessError("wine %s failed (%d): %s %s" % (" ".join(args), p.returncode, text, errtext[-2000:]))
        return p.returncode, text

    def command(self):
        return wine_command(self.arch["winearch"])[0]

    def wine_bg(self, args, extra_env=None):
        return subprocess.Popen(self.command() + list(args), env=self.env(extra_env), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)

    def tool(self, name):
        path = os.path.join(self.fixtures, name)
        if not os.path.exists(path):
            raise HarnessError("fixture %s missing: build the %s cross build first" % (path, self.arch["build"]))
        return path

    # -- lifecycle ---------------------------------------------------------
    def require_32bit(self):
        if self.arch["winearch"] == "win32":
            require_32bit("a 32-bit Wine prefix")

    def setup(self):
        self.require_32bit()
        os.makedirs(self.work, exist_ok=True)
        self.cleanup(quiet=True)
        r, w = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL,
                                start_new_session=True)
        os.close(w)
        number = b""
        deadline = time.time() + 20
        while not number.endswith(b"\n") and time.time() < deadline:
            chunk = os.read(r, 16)
            if not chunk:
                break
            number += chunk
        os.close(r)
        if not number.strip():
            xvfb.kill()
            raise HarnessError("Xvfb did not report a display")
        self.display = ":" + number.decode().strip()
        self.xvfb_pid = xvfb.pid
        self._save()
        t0 = time.time()
        # A server that stays up between scenarios saves its start-up on every
        # wine call; cleanup ends it with `wineserver -k`.
        subprocess.run(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wine(["wineboot", "-i"], timeout=240)
        # No window manager runs on the Xvfb: let Wine draw captions itself so
        # screenshots show the dialogs' titles.
        self.wine(["reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated", "/d", "N", "/f"])
        # Nor wait up to 2 s in each hidden dialog for a window manager that will never answer.
        self.wine(["reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"])
        for tool in ("fakeinst.exe", "e2etool.exe", "devtool.exe"):
            self.tool(tool)
        log("prefix %s ready in %.1fs (WINEPREFIX=%s DISPLAY=%s)" % (self.name, time.time() - t0, self.path,
                                                                      self.display))

    def _save(self):
        with open(self.state_file, "w") as f:
            json.dump({"display": self.display, "xvfb_pid": self.xvfb_pid, "path": self.path}, f)

    def load(self):
        self.require_32bit()
        if not os.path.exists(self.state_file):
            raise HarnessError("prefix %s not set up (run e2e.py setup %s)" % (self.name, self.name))
        with open(self.state_file) as f:
            st = json.load(f)
        self.display = st["display"]
        self.xvfb_pid = st["xvfb_pid"]
        if not _alive(self.xvfb_pid, "Xvfb"):
            raise HarnessError("Xvfb of prefix %s (pid %d) is gone" % (self.name, self.xvfb_pid))
        return self

    def cleanup(self, quiet=False):
        st = {}
        if os.path.exists(self.state_file):
            with open(self.state_file) as f:
                st = json.load(f)
        if os.path.isdir(self.path):
            self.display = st.get("display")
            subprocess.run(["wineserver", "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
        pid = st.get("xvfb_pid")
        if pid and _alive(pid, "Xvfb"):
            os.kill(pid, signal.SIGTERM)
            for _ in range(50):
                if not _alive(pid, "Xvfb"):
                    break
                time.sleep(0.1)
            else:
                os.kill(pid, signal.SIGKILL)
        shutil.rmtree(self.path, ignore_errors=True)
        if os.path.exists(self.state_file):
            os.remove(self.state_file)
        if not quiet:
            log("prefix %s removed" % self.name)

    # -- processes inside the prefix ---------------------------------------
    def processes(self):
        _, out = self.wine([self.tool("e2etool.exe"), "ps"])
        procs = []
        for line in out.splitlines():
            parts = line.split("\t")
            if len(parts) == 3:
                procs.append({"pid": int(parts[0]), "ppid": int(parts[1]), "name": parts[2]})
        return procs

    def kill_pids(self, pids, code=77):
        if pids:
            self.wine([self.tool("e2etool.exe"), "kill", str(code)] + [str(p) for p in pids], check=False)

    # -- X display ----------------------------------------------------------
    def xdo(self, *args):
        p = subprocess.run(["xdotool"] + list(args), env=self.env(), stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL)
        return p.stdout.decode("utf-8", "replace").split()

    def find_window(self, title_regex):
        ids = self.xdo("search", "--onlyvisible", "--name", title_regex)
        return ids[0] if ids else None

    def window_geometry(self, wid):
        out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], env=self.env(),
                             stdout=subprocess.PIPE).stdout.decode()
        geo = dict(l.split("=", 1) for l in out.split() if "=" in l)
        return int(geo["X"]), int(geo["Y"]), int(geo["WIDTH"]), int(geo["HEIGHT"])

    def screenshot(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(["import", "-display", self.display, "-window", "root", path], env=self.env(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def press_key_on(self, wid, key):
        """Keyboard input goes where the pointer is (no window manager runs):
        move the pointer onto the window first."""
        self.xdo("mousemove", "--window", wid, "20", "20")
        time.sleep(0.3)
        self.xdo("key", key)


def image_colours(path, crop=None):
    """Number of distinct colours in a PNG, or in a WxH+X+Y region of it."""
    args = ["convert", path]
    if crop:
        args += ["-crop", crop, "+repage"]
    args += ["-format", "%k", "info:"]
    out = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE).stdout.decode().strip()
    try:
        return int(out)
    except ValueError:
        raise HarnessError("cannot read %s: %r" % (path, out))


# ---------------------------------------------------------------------------
# Event log written by the fixtures (see fixtures/e2elog.h)

def read_events(path):
    events = []
    if not os.path.exists(path):
        return events
    with open(path, "rb") as f:
        for raw in f.read().decode("utf-8", "replace").splitlines():
            parts = raw.split("\t")
            ev = {"event": parts[0]}
            for p in parts[1:]:
                if "=" in p:
                    k, v = p.split("=", 1)
                    ev[k] = v
            for k in ("pid", "ppid", "time", "child", "code", "exit"):
                if k in ev:
                    try:
                        ev[k] = int(ev[k], 0) if k != "time" else int(ev[k])
                    except ValueError:
                        pass
            events.append(ev)
    return events


def split_command(cmd):
    """Splits a raw Windows command line into (program part, rest) the way
    the C runtime finds the program name: quoted up to the closing quote,
    otherwise up to the first blank."""
    if cmd.startswith('"'):
        end = cmd.find('"', 1)
        if end < 0:
            return cmd, ""
        return cmd[:end + 1], cmd[end + 1:]
    end = cmd.find(" ")
    if end < 0:
        return cmd, ""
    return cmd[:end], cmd[end:]


class Medium:
    """A scenario's installation medium inside the prefix's drive C:, with the
    launcher(s), StageRun.ini, fixture installers and their behaviour files."""

    def __init__(self, prefix, name, artifacts):
        self.prefix = prefix
        self.name = name
        self.dir = os.path.join(prefix.path, "drive_c", "media", name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.artifacts = os.path.join(artifacts, prefix.name + "-" + name)
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)
        self.log_path = os.path.join(self.artifacts, "events.log")
        self.windir = os.path.join(prefix.path, "drive_c", "windows")

    @property
    def win(self):
        return winpath(self.dir, self.prefix.path)

    def env(self, extra=None):
        e = {"E2E_LOG": winpath(self.log_path), "E2E_CFGDIR": self.win}
        if extra:
            e.update(extra)
        return e

    def add_launcher(self, exe):
        src = os.path.join(os.environ.get("E2E_DIST", os.path.join(REPO, "dist")), exe)
        if not os.path.exists(src):
            raise HarnessError("launcher %s missing: run `make dist` first" % src)
        shutil.copy(src, os.path.join(self.dir, exe))

    def add_installer(self, rel, **cfg):
        """Copies the fake installer to REL (forward slashes) with a behaviour
        file beside it; list values give repeated keys (child=...)."""
        dst = os.path.join(self.dir, *rel.split("/"))
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy(self.prefix.tool("fakeinst.exe"), dst)
        self.write_cfg(dst, **cfg)
        return dst

    def write_cfg(self, exe_path, **cfg):
        lines = []
        for k, v in cfg.items():
            for item in (v if isinstance(v, list) else [v]):
                lines.append("%s=%s" % (k, item))
        with open(exe_path + ".cfg", "w") as f:
            f.write("\n".join(lines) + "\n")

    def write_file(self, rel, content, encoding="ascii"):
        dst = os.path.join(self.dir, *rel.split("/"))
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "w", encoding=encoding, newline="\r\n") as f:
            f.write(content)
        return dst

    def write_ini(self, sections, encoding="ascii"):
        """sections: list of (name, [step values]) in file order. The ini
        reader strips blanks at the ends of a value, so a step without
        arguments is written "1,file, ," (blank field, then a comma)."""
        text = ""
        for name, steps in sections:
            text += "[%s]\r\n" % name
            for i, v in enumerate(steps, 1):
                text += "Setup%d=%s\r\n" % (i, v)
        with open(os.path.join(self.dir, "StageRun.ini"), "w", newline="", encoding=encoding) as f:
            f.write(text)

    def events(self):
        return read_events(self.log_path)

    def run(self, exe, args=(), timeout=60, watcher=None, extra_env=None, cwd=None):
        """Starts EXE of the medium through `e2etool run` (a plain CreateProcess
        from the medium's folder, as a double click would, or from cwd, a
        Windows path) and waits until it has ended, calling watcher(elapsed)
        about every 0.2 s meanwhile."""
        launcher = os.path.join(self.dir, exe)
        p = self.prefix.wine_bg([self.prefix.tool("e2etool.exe"), "run", str(int(timeout * 1000)),
                                 cwd or self.win,
                                 winpath(launcher, self.prefix.path)] + list(args), extra_env=self.env(extra_env))
        t0 = time.time()
        try:
            while p.poll() is None:
                if time.time() - t0 > timeout + 20:
                    raise HarnessError("e2etool run did not end within %ss" % (timeout + 20))
                if watcher:
                    watcher(time.time() - t0)
                time.sleep(0.2)
        finally:
            if p.poll() is None:
                p.kill()
                p.wait()
        return p.returncode

    def leftovers(self):
        """Fixture processes of this scenario that are still running."""
        started = {e["pid"] for e in self.events() if e["event"] == "start"}
        return [p for p in self.prefix.processes() if p["pid"] in started]

    def end_leftovers(self):
        left = self.leftovers()
        self.prefix.kill_pids([p["pid"] for p in left])
        return left


# ---------------------------------------------------------------------------
# Checking

class Checks:
    def __init__(self, name):
        self.name = name
        self.failures = []
        self.count = 0

    def check(self, cond, what, detail=""):
        self.count += 1
        if cond:
            log("  ok   %s" % what)
        else:
            log("  FAIL %s %s" % (what, detail))
            self.failures.append(what + (" " + detail if detail else ""))
        return cond

    def done(self):
        if self.failures:
            log("%s: %d of %d checks failed" % (self.name, len(self.failures), self.count))
            for f in self.failures:
                log("  - " + f)
            return 1
        log("%s: all %d checks passed" % (self.name, self.count))
        return 0


def starts(events, name=None, role=None):
    out = [e for e in events if e["event"] == "start"]
    if name:
        out = [e for e in out if e.get("name", "").lower() == name.lower()]
    if role:
        out = [e for e in out if e.get("role") == role]
    return out


def end_of(events, pid):
    for e in events:
        if e["event"] == "end" and e.get("pid") == pid:
            return e
    return None


def timeline(events, t0=None):
    """Readable account of the fixture records, one line each."""
    if not events:
        return ["  (no records)"]
    t0 = t0 or min(e["time"] for e in events if "time" in e)
    lines = []
    for e in events:
        t = ("%7.2fs" % ((e["time"] - t0) / 1000.0)) if "time" in e else "        "
        rest = "  ".join("%s=%s" % (k, v) for k, v in e.items() if k not in ("event", "time"))
        lines.append("  %s %-14s %s" % (t, e["event"], rest))
    return lines
