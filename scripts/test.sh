#!/usr/bin/env bash
# Installs what is missing, builds the three configurations and runs every
# test: the shipping 32-bit build first, then the 64-bit build. A machine that
# cannot execute 32-bit programs runs the 64-bit suite alone and says so.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/arch32.sh"

stages=()
stage_start=$SECONDS
stage_done() {
  stages+=("$(printf '%-44s %5d s  %s' "$1" $((SECONDS - stage_start)) "$2")")
  stage_start=$SECONDS
}

"$here/setup.sh"
stage_done "set-up (packages, Wine prefix)" "done"
"$here/build.sh"
stage_done "build (win32-release, win32-test, win64-test)" "done"
. "$here/wine-session.sh"
ra03v_session_start
cd "$here/.."
status=0
passed=0
failed=0
log=$(mktemp)
trap 'rm -f "$log"; ra03v_session_stop' EXIT
run_suite() {  # name preset
  echo "== $1"
  local rc
  set +e
  ctest --preset "$2" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  # ctest's summary: "N% tests passed, F tests failed out of T"
  local summary
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -n "$summary" ]; then
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
    t=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    passed=$((passed + t - f))
    failed=$((failed + f))
  fi
  if [ "$rc" -eq 0 ]; then
    stage_done "$1" "passed${summary:+: $summary}"
  else
    status=1
    [ -n "$summary" ] || failed=$((failed + 1))
    stage_done "$1" "FAILED${summary:+: $summary}"
  fi
}

run_suite "32-bit shipping build: binary checks" win32-release
if ra03v_can_run_32bit; then
  run_suite "32-bit build: all tests under Wine (WoW64)" win32-test
elif [ "$RA03V_32BIT_EXECUTES" -eq 1 ]; then
  # The machine runs 32-bit programs, so the shipping bitness must be tested:
  # missing Wine is a failure, not a reason to skip.
  echo "== 32-bit build: FAILED, no test could run"
  echo "   why: $RA03V_32BIT_REASON"
  status=1
  failed=$((failed + 1))
  stage_done "32-bit build: all tests" "FAILED ($RA03V_32BIT_REASON)"
else
  echo "== 32-bit build: SKIPPED, every 32-bit test program is left out"
  echo "   why: $RA03V_32BIT_REASON"
  echo "   only the 64-bit suite runs on this machine"
  stage_done "32-bit build: all tests" "SKIPPED ($RA03V_32BIT_REASON)"
fi
run_suite "64-bit build: all tests under wine64" win64-test

echo "== stages"
printf '   %s\n' "${stages[@]}"
echo "tests: $passed passed, $failed failed"
exit $status
