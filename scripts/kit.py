#!/usr/bin/env python3
"""Packs the medium kit: DIST/stagerun-<version>.zip (`make kit`).

  kit.py DIST RELEASE_LIST...

The kit holds, in a folder stagerun-<version>/, the programs that the release
lists name (as `make dist` put them into DIST, signed or not), the setup list
template as StageRun.ini, the media author's guide when the tree has one, and
SHA256SUMS over all of them. The same inputs give the same bytes: members in a
fixed order, each stamped with SOURCE_DATE_EPOCH (by default the time of the
last commit) and fixed permissions.
"""

import hashlib
import os
import re
import subprocess
import sys
import time
import zipfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEMPLATE = os.path.join(REPO, "examples", "template", "StageRun.ini")
GUIDE = os.path.join(REPO, "docs", "authoring.md")
ZIP_EPOCH = 315532800  # 1980-01-01, the earliest time a zip entry can hold


class KitError(Exception):
    pass


def version():
    with open(os.path.join(REPO, "res", "version.h")) as f:
        text = f.read()
    parts = []
    for part in ("MAJOR", "MINOR", "PATCH"):
        m = re.search(r"^#define STAGERUN_VERSION_%s (\d+)$" % part, text, re.M)
        if not m:
            raise KitError("res/version.h has no STAGERUN_VERSION_%s" % part)
        parts.append(m.group(1))
    return ".".join(parts)


def source_date_epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if not value:
        p = subprocess.run(["git", "-C", REPO, "log", "-1", "--format=%ct"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL)
        value = p.stdout.decode().strip() if p.returncode == 0 else ""
        if not value:
            raise KitError("no commit time to stamp the kit with: set SOURCE_DATE_EPOCH")
    if not value.isdigit():
        raise KitError("SOURCE_DATE_EPOCH %r is not a number of seconds" % value)
    return max(int(value), ZIP_EPOCH)


def programs(dist, lists):
    names = []
    for path in lists:
        if not os.path.exists(path):
            raise KitError("%s missing: run `make dist` first" % path)
        with open(path) as f:
            names += [os.path.basename(line.strip()) for line in f if line.strip()]
    for name in names:
        if names.count(name) > 1:
            raise KitError("%s is listed by more than one build: ship it from one only" % name)
        if not os.path.exists(os.path.join(dist, name)):
            raise KitError("%s missing in %s: run `make dist` first" % (name, dist))
    return names


def members(dist, lists):
    """(name in the kit, bytes, executable?) in kit order, SHA256SUMS last."""
    out = []
    for name in programs(dist, lists):
        with open(os.path.join(dist, name), "rb") as f:
            out.append((name, f.read(), True))
    # Windows line ends, for the editors a media author opens it with.
    with open(TEMPLATE, "rb") as f:
        out.append(("StageRun.ini", f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"), False))
    if os.path.exists(GUIDE):
        with open(GUIDE, "rb") as f:
            out.append(("authoring.md", f.read(), False))
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data, _ in out)
    out.append(("SHA256SUMS", sums.encode(), False))
    return out


def write_zip(path, folder, entries, stamp):
    date_time = time.gmtime(stamp)[:6]
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w") as z:
        for name, data, executable in entries:
            info = zipfile.ZipInfo("%s/%s" % (folder, name), date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the permissions below are read
            info.external_attr = (0o100755 if executable else 0o100644) << 16
            z.writestr(info, data)
    os.replace(tmp, path)


def main():
    if len(sys.argv) < 3:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    dist, lists = sys.argv[1], sys.argv[2:]
    try:
        folder = "stagerun-%s" % version()
        entries = members(dist, lists)
        path = os.path.join(dist, folder + ".zip")
        write_zip(path, folder, entries, source_date_epoch())
    except (KitError, OSError) as exc:
        print("kit: %s" % exc, file=sys.stderr)
        return 1
    print("kit: %s with %s" % (path, ", ".join(name for name, _, _ in entries)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
