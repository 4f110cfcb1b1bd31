#!/usr/bin/env bash
# Builds and runs every benchmark program of the project and prints their
# figures, each program on the shipping 32-bit build and on the 64-bit build,
# one labelled block beside the other. A machine that cannot execute 32-bit
# programs gives the 64-bit figures alone and says so.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/arch32.sh"
"$here/setup.sh"
"$here/build.sh"
# The test builds leave the 32-bit benchmarks out; both are built here.
for preset in win32-test win64-test; do
  [ -f "$root/build/$preset/build.ninja" ] && cmake --build "$root/build/$preset" --target bench/all
done
. "$here/wine-session.sh"
ra03v_session_start
builds=(win64-test)
if ra03v_can_run_32bit; then
  builds=(win32-test win64-test)
else
  echo "== 32-bit figures SKIPPED: $RA03V_32BIT_REASON"
fi
label() { [ "$1" = win32-test ] && echo "32-bit (shipping bitness)" || echo "64-bit"; }
status=0
for b in "$root"/build/win64-test/bench/*.exe; do
  [ -e "$b" ] || continue
  name=$(basename "$b")
  for build in "${builds[@]}"; do
    program="$root/build/$build/bench/$name"
    echo "== $name · $(label "$build")"
    # Beside a simulated reader on a null-modem cable, for those that use one.
    "$root/tools/run-with-sim.sh" --modem-lines -- "$here/wine-run.sh" "$program" || status=1
  done
done
exit $status
