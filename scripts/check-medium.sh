#!/usr/bin/env bash
# `make check-medium DIR=...`: runs dist/stagerun-check.exe (stagerun-check64.exe where no 32-bit
# program runs, tests/e2e/winestart.py) under Wine on a medium folder of this machine, in a Wine
# prefix of its own (made on first use, about 20 s), and exits with its code.
set -euo pipefail
cd "$(dirname "$0")/.."

dir="${1:-}"
shift || true
if [ -z "$dir" ] || [ ! -d "$dir" ]; then
  echo "check-medium: give the medium's folder: make check-medium DIR=path/to/medium" >&2
  exit 3
fi
export WINEPREFIX="$PWD/build/check-prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$WINEPREFIX"
eval "$(python3 tests/e2e/winestart.py shell)"
folder=$("$WINE" winepath.exe -w "$(cd "$dir" && pwd)" 2>/dev/null)
status=0
timeout 120 "$WINE" "dist/$CHECKER" "$@" "$folder" || status=$?
wineserver -w 2>/dev/null || true
exit "$status"
