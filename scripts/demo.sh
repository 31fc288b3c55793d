#!/usr/bin/env bash
# `make demo`: runs the sample medium of examples/demo/ with the real launcher
# under Wine, headless, and prints a timeline of what happened. Expects
# dist/ and the fixture builds (the Makefile makes them first).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh wine

for f in dist/stagerun.exe dist/stagerun64.exe dist/stagerun-check.exe dist/stagerun-check64.exe build/win64/tests/e2e/fixtures/fakeinst.exe; do
  if [ ! -f "$f" ]; then
    echo "demo: $f is missing: run 'make demo' (it builds dist/ and the fixtures first)" >&2
    exit 1
  fi
done

exec timeout 300 python3 tests/e2e/demo.py
