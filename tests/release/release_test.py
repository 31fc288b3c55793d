#!/usr/bin/env python3
"""Release tests (CTest label release; signed-run is an e2e test).

  release_test.py [--work DIR] version       version resource of every program in dist/
  release_test.py [--work DIR] reproducible  second build in another folder, byte for byte
  release_test.py [--work DIR] signing       make dist SIGN_PFX=... with a throwaway certificate
  release_test.py [--work DIR] kit           make kit: members, SHA256SUMS, same bytes twice
  release_test.py [--work DIR] signed-run    signed launchers run a medium (needs the e2e p64 prefix)

version, reproducible and kit need `make dist` first. signing and kit run
`make dist` / `make kit` themselves with DIST pointed into DIR, so dist/
itself is never touched.
"""

import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

from harness import Checks, Prefix, winpath  # noqa: E402
import scenarios  # noqa: E402
from winestart import require_32bit  # noqa: E402

PRESETS = ("win32", "win64")
DESCRIPTIONS = {"stagerun.exe": "StageRun setup launcher", "stagerun64.exe": "StageRun setup launcher",
                "stagerun-check.exe": "StageRun medium checker", "stagerun-check64.exe": "StageRun medium checker"}


def version_from_header():
    with open(os.path.join(REPO, "res", "version.h")) as f:
        text = f.read()
    return tuple(int(re.search(r"^#define STAGERUN_VERSION_%s (\d+)$" % p, text, re.M).group(1))
                 for p in ("MAJOR", "MINOR", "PATCH"))


def release_files(root):
    """Build outputs that the cross builds under ROOT list for release."""
    files = []
    for preset in PRESETS:
        path = os.path.join(root, "build", preset, "release-files.txt")
        if not os.path.exists(path):
            raise SystemExit("%s missing: run `make dist` first" % path)
        with open(path) as f:
            files += [line.strip() for line in f if line.strip()]
    return files


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def run(args, cwd=REPO, env=None, timeout=600):
    """Runs a command, returns (exit code, stdout + stderr as text)."""
    full_env = dict(os.environ)
    # A make started from here is not a sub-make of the one that started ctest.
    for k in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL"):
        full_env.pop(k, None)
    full_env.update(env or {})
    p = subprocess.run(args, cwd=cwd, env=full_env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, timeout=timeout)
    return p.returncode, p.stdout.decode("utf-8", "replace")


def shipped_programs():
    return [os.path.basename(f) for f in release_files(REPO)]


def expected_programs():
    names = ["stagerun.exe", "stagerun64.exe"]
    if os.path.isdir(os.path.join(REPO, "checker")):
        names += ["stagerun-check.exe", "stagerun-check64.exe"]
    else:
        print("  note: no checker/ in this tree, so no checker is expected")
    return names


# ---------------------------------------------------------------------------

def test_version():
    c = Checks("version resource")
    major, minor, patch = version_from_header()
    version = "%d.%d.%d" % (major, minor, patch)
    c.check(sorted(shipped_programs()) == sorted(expected_programs()),
            "the builds ship the expected programs",
            "(%s)" % ", ".join(shipped_programs()))
    for name in shipped_programs():
        code, rc = run(["x86_64-w64-mingw32-windres", "-i", os.path.join(REPO, "dist", name), "-O", "rc"])
        if not c.check(code == 0, "%s: resources read back" % name, rc[-500:]):
            continue
        block = rc[rc.find("VERSIONINFO"):]
        values = dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', block))
        print("  %s: %s" % (name, values))
        numbers = "%d, %d, %d, 0\n" % (major, minor, patch)
        c.check("FILEVERSION " + numbers in block and "PRODUCTVERSION " + numbers in block,
                "%s: FILEVERSION and PRODUCTVERSION %s" % (name, numbers.strip()))
        for key, want in (("ProductName", "StageRun"), ("ProductVersion", version), ("FileVersion", version),
                          ("OriginalFilename", name), ("FileDescription", DESCRIPTIONS.get(name))):
            c.check(values.get(key) == want, "%s: %s is %r" % (name, key, want), "(%r)" % values.get(key))
        c.check("StageRun developers" in values.get("LegalCopyright", ""), "%s: copyright line" % name)
        if DESCRIPTIONS.get(name) == "StageRun setup launcher":
            c.check('version=""%s.0""' % version in rc, "%s: manifest version %s.0" % (name, version))
    return c.done()


def tree_copy(dest):
    """The files of the tree as they are now (tracked or new, not ignored) copied to DEST."""
    code, out = run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"])
    if code != 0:
        raise SystemExit("git ls-files failed: %s" % out)
    for rel in filter(None, out.split("\0")):
        src = os.path.join(REPO, rel)
        if not os.path.isfile(src):
            continue  # deleted in the work tree
        os.makedirs(os.path.dirname(os.path.join(dest, rel)), exist_ok=True)
        shutil.copy2(src, os.path.join(dest, rel))


def test_reproducible(work):
    c = Checks("reproducible build")
    first = {os.path.basename(f): f for f in release_files(REPO)}
    # At least two seconds after the first build, so that any time stamp would differ.
    newest = max(os.path.getmtime(f) for f in first.values())
    time.sleep(max(0.0, newest + 2 - time.time()))
    os.makedirs(work, exist_ok=True)
    other = tempfile.mkdtemp(prefix="second-build-", dir=work)
    try:
        src = os.path.join(other, "tree")
        tree_copy(src)
        for preset in PRESETS:
            for args in (["cmake", "--preset", preset], ["cmake", "--build", "build/" + preset, "--target",
                                                           "release", "-j", "2"]):
                code, out = run(args, cwd=src)
                if not c.check(code == 0, "second build: %s" % " ".join(args), "\n" + out[-3000:]):
                    return c.done()
        second = {os.path.basename(f): f for f in release_files(src)}
        c.check(sorted(second) == sorted(first), "both builds made the same programs",
                "(%s / %s)" % (sorted(first), sorted(second)))
        for name in sorted(first):
            if name not in second:
                continue
            a, b = read(first[name]), read(second[name])
            where = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
            c.check(a == b, "%s: byte for byte the same (%s)" % (name, sha256(first[name])),
                    "(%d / %d bytes, first difference at offset %#x)" % (len(a), len(b), where))
    finally:
        shutil.rmtree(other, ignore_errors=True)
    return c.done()


# ---------------------------------------------------------------------------
# Throwaway code-signing certificates

def make_certificate(folder, name, password):
    """Self-signed code-signing certificate in FOLDER: (pfx, password file, certificate PEM)."""
    key, cert = os.path.join(folder, name + ".key"), os.path.join(folder, name + ".pem")
    pfx, pw = os.path.join(folder, name + ".pfx"), os.path.join(folder, name + ".pass")
    with open(pw, "w") as f:
        f.write(password + "\n")
    code, out = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                     "-days", "2", "-subj", "/CN=%s" % name, "-addext", "extendedKeyUsage=codeSigning",
                     "-addext", "keyUsage=digitalSignature"])
    if code == 0:
        code, out = run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                         "-passout", "file:" + pw])
    if code != 0:
        raise SystemExit("openssl could not make a throwaway certificate: %s" % out)
    return pfx, pw, cert


def verify(path, ca_file):
    return run(["osslsigncode", "verify", "-CAfile", ca_file, "-in", path])


def snapshot(folder):
    """Every file in FOLDER (hidden ones too) with its bytes and modification time."""
    return {n: (sha256(os.path.join(folder, n)), os.stat(os.path.join(folder, n)).st_mtime_ns)
            for n in sorted(os.listdir(folder))}


def test_signing(work):
    c = Checks("signing")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    pfx, pw, cert = make_certificate(work, "StageRun test signer", "correct horse")
    _, _, stranger = make_certificate(work, "Someone else", "battery staple")
    dist = os.path.join(work, "dist")
    unsigned = {os.path.basename(f): f for f in release_files(REPO)}

    code, out = run(["make", "dist", "DIST=" + dist, "SIGN_PFX=" + pfx, "SIGN_PASSWORD_FILE=" + pw])
    c.check(code == 0, "make dist with SIGN_PFX and SIGN_PASSWORD_FILE succeeds", "\n" + out[-3000:])
    for name in sorted(unsigned):
        path = os.path.join(dist, name)
        if not c.check(os.path.exists(path), "%s is in DIST" % name):
            continue
        code, out = verify(path, cert)
        print("\n".join("    " + l for l in out.splitlines() if l.strip()))
        c.check(code == 0 and "Signature verification: ok" in out, "%s: signature verifies" % name)
        c.check("Subject: /CN=StageRun test signer" in out, "%s: signed by the test certificate" % name)
        c.check("Message digest algorithm  : SHA256" in out, "%s: SHA-256 digest" % name)
        code, _ = verify(path, stranger)
        c.check(code != 0, "%s: does not verify against another certificate" % name)
    c.check(not [n for n in os.listdir(dist) if n.startswith(".")], "no temporary files left in DIST")

    before = snapshot(dist)
    bad = os.path.join(work, "wrong.pass")
    with open(bad, "w") as f:
        f.write("not the password\n")
    code, out = run(["make", "dist", "DIST=" + dist, "SIGN_PFX=" + pfx, "SIGN_PASSWORD_FILE=" + bad])
    c.check(code != 0, "wrong password: make dist fails")
    c.check("wrong password" in out and "nothing was signed" in out, "wrong password: says so",
            "\n" + out[-1000:])
    c.check(snapshot(dist) == before, "wrong password: DIST untouched")

    code, out = run(["make", "dist", "DIST=" + dist, "SIGN_PFX=" + os.path.join(work, "missing.pfx"),
                     "SIGN_PASSWORD_FILE=" + pw])
    c.check(code != 0 and "cannot read" in out and "missing.pfx" in out,
            "missing PFX: make dist fails and names the file", "\n" + out[-1000:])
    c.check(snapshot(dist) == before, "missing PFX: DIST untouched")

    # One file that cannot be signed, after one that can: none of them may land.
    junk = os.path.join(work, "notape.exe")
    with open(junk, "w") as f:
        f.write("not a program\n")
    first = unsigned["stagerun.exe"]
    code, out = run(["bash", os.path.join(REPO, "scripts", "sign.sh"), dist, first, junk],
                    env={"SIGN_PFX": pfx, "SIGN_PASSWORD_FILE": pw})
    c.check(code != 0 and "notape.exe" in out, "a file that cannot be signed fails the run",
            "\n" + out[-1000:])
    c.check(snapshot(dist) == before, "a failed run leaves DIST as it was, signed files included")
    return c.done()


# ---------------------------------------------------------------------------

def test_kit(work):
    c = Checks("kit")
    shutil.rmtree(work, ignore_errors=True)
    dist = os.path.join(work, "dist")
    os.makedirs(dist)
    version = "%d.%d.%d" % version_from_header()
    folder = "stagerun-%s/" % version
    kit = os.path.join(dist, "stagerun-%s.zip" % version)
    code, out = run(["make", "kit", "DIST=" + dist])
    if not c.check(code == 0 and os.path.exists(kit), "make kit writes %s" % os.path.basename(kit),
                   "\n" + out[-3000:]):
        return c.done()
    first = read(kit)
    with zipfile.ZipFile(kit) as z:
        infos = z.infolist()
        data = {i.filename: z.read(i) for i in infos}
    names = [n[len(folder):] for n in data if n.startswith(folder)]
    print("  members: %s" % ", ".join(names))
    c.check(len(names) == len(data), "every member is in %s" % folder)
    want = expected_programs() + ["StageRun.ini", "SHA256SUMS"]
    if os.path.exists(os.path.join(REPO, "docs", "authoring.md")):
        want.append("authoring.md")
    else:
        print("  note: no docs/authoring.md in this tree, so the kit has no guide")
    c.check(sorted(names) == sorted(want), "the kit holds %s" % ", ".join(sorted(want)))

    sums = data.get(folder + "SHA256SUMS", b"").decode()
    listed = [line.split("  ", 1)[-1] for line in sums.splitlines()]
    c.check(sorted(listed) == sorted(n for n in names if n != "SHA256SUMS"),
            "SHA256SUMS names every other member once", "(%s)" % listed)
    for name in shipped_programs():
        c.check(data.get(folder + name) == read(os.path.join(dist, name)),
                "%s is the one make dist made" % name)
    template = read(os.path.join(REPO, "examples", "template", "StageRun.ini"))
    c.check(data.get(folder + "StageRun.ini") == template.replace(b"\n", b"\r\n"),
            "StageRun.ini is the template, with Windows line ends")
    epoch = os.environ.get("SOURCE_DATE_EPOCH") or run(["git", "log", "-1", "--format=%ct"])[1]
    stamp = time.gmtime(int(epoch.strip()))[:6]
    stamp = stamp[:5] + (stamp[5] // 2 * 2,)  # zip times count in steps of two seconds
    c.check(all(i.date_time == stamp for i in infos),
            "members stamped with SOURCE_DATE_EPOCH or the last commit",
            "(%s / %s)" % (infos[0].date_time, stamp))

    unpacked = os.path.join(work, "unpacked")
    with zipfile.ZipFile(kit) as z:
        z.extractall(unpacked)
    code, out = run(["sha256sum", "--strict", "-c", "SHA256SUMS"], cwd=os.path.join(unpacked, folder))
    c.check(code == 0 and out.count(": OK") == len(listed), "the members match SHA256SUMS (sha256sum -c)",
            "\n" + out)

    # Later, from freshly copied programs: the same bytes.
    time.sleep(1.1)
    code, out = run(["make", "kit", "DIST=" + dist])
    c.check(code == 0 and read(kit) == first, "a second make kit gives the same bytes",
            "\n" + out[-2000:])
    return c.done()


# ---------------------------------------------------------------------------

def test_signed_run(work, e2e_work):
    require_32bit("the run of the signed launchers")
    prefix = Prefix(e2e_work, "p64").load()
    keys = os.path.join(work, "keys")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(keys)
    pfx, pw, cert = make_certificate(keys, "StageRun test signer", "correct horse")
    signed = os.path.join(work, "signed")
    os.makedirs(signed)
    launchers = [os.path.join(REPO, "dist", n) for n in ("stagerun.exe", "stagerun64.exe")]
    code, out = run(["bash", os.path.join(REPO, "scripts", "sign.sh"), signed] + launchers,
                    env={"SIGN_PFX": pfx, "SIGN_PASSWORD_FILE": pw})
    if code != 0:
        print(out)
        return 1

    r = scenarios.Run(prefix, "signed_launchers", os.path.join(e2e_work, "artifacts"))
    m = r.medium
    c = r.checks
    for name in ("stagerun.exe", "stagerun64.exe"):
        shutil.copy(os.path.join(signed, name), os.path.join(m.dir, name))
        code, _ = verify(os.path.join(m.dir, name), cert)
        c.check(code == 0, "the medium's %s carries a valid signature" % name)
    m.add_installer("a/setup.exe", run_ms=500)
    m.write_ini([("SetupList", [r"1,a\setup.exe,/quiet"])])
    r.run("stagerun.exe", timeout=30)
    r.check_exit()
    gone = prefix.wine([prefix.tool("e2etool.exe"), "waitgone", "30000", "stagerun64.exe"], check=False,
                       timeout=60)[0] == 0
    c.check(gone, "the signed stagerun64.exe finished the run")
    ev = r.one("setup.exe")
    if ev:
        c.check(ev.get("pname", "").lower() == "stagerun64.exe",
                "setup.exe was started by the signed stagerun64.exe",
                "(parent %s)" % ev.get("pname"))
        c.check(r.params(ev).strip() == "/quiet", "setup.exe got its arguments", "(%r)" % r.params(ev))
        c.check(ev["cwd"].lower() == (m.win + r"\a").lower(), "setup.exe ran in its own folder")
    print("  medium %s" % winpath(m.dir, prefix.path))
    return r.finish()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--work", default=os.path.join(REPO, "build", "release"))
    ap.add_argument("--e2e-work", default=os.path.join(REPO, "build", "host", "e2e"))
    ap.add_argument("test", choices=["version", "reproducible", "signing", "kit", "signed-run"])
    args = ap.parse_args()
    work = os.path.join(os.path.abspath(args.work), args.test)
    t0 = time.time()
    tests = {"version": test_version, "reproducible": lambda: test_reproducible(work),
             "signing": lambda: test_signing(work), "kit": lambda: test_kit(work),
             "signed-run": lambda: test_signed_run(work, args.e2e_work)}
    rc = tests[args.test]()
    print("%s took %.1fs" % (args.test, time.time() - t0))
    return rc


if __name__ == "__main__":
    sys.exit(main())
