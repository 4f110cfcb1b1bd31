#!/usr/bin/env bash
# Runs two builds of serial_bench one after the other beside one simulated
# reader, so that figures before and after a change come from one run:
#   bench/unread_bytes_compare.sh BEFORE.exe AFTER.exe
# (for example serial_bench.exe built with the older sources copied aside,
# and build/win64-test/bench/serial_bench.exe). Needs a running Wine session
# (scripts/wine-session.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 2 ] || { echo "usage: $0 BEFORE.exe AFTER.exe" >&2; exit 2; }
exec "$here/tools/run-with-sim.sh" --modem-lines -- bash -c '
  echo "== before: $1"; "$0" "$1"
  echo "== after: $2"; "$0" "$2"' "$here/scripts/wine-run.sh" "$1" "$2"
