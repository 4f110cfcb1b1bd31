#!/usr/bin/env bash
# Builds and runs every benchmark program of the project and prints their figures.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/setup.sh"
"$here/build.sh"
. "$here/wine-session.sh"
ra03v_session_start
status=0
for b in "$here"/../build/win64-test/bench/*.exe; do
  [ -e "$b" ] || continue
  echo "== $(basename "$b")"
  # Beside a simulated reader on a null-modem cable, for those that use one.
  "$here/../tools/run-with-sim.sh" --modem-lines -- "$here/wine-run.sh" "$b" || status=1
done
exit $status
