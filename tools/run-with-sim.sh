#!/usr/bin/env bash
# Runs one command beside a fresh simulated reader (tools/sim) in a Wine prefix
# of the rig's own, then stops the simulator.
#   tools/run-with-sim.sh [--modem-lines] [--script FILE] -- command args...
# The command sees RA03V_SIM_CONTROL (the simulator's TCP control port on
# 127.0.0.1) and RA03V_WINE_PREFIX (the prefix, which scripts/wine-env.sh
# takes). With --modem-lines, LD_PRELOAD carries the modem-line library so that
# Wine processes (64-bit and 32-bit) see a null-modem cable on the virtual ports.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../scripts/wine-env.sh"
native="${RA03V_NATIVE_DIR:-$RA03V_ROOT/build/native}"
preload=0
sim_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --modem-lines) preload=1; shift ;;
    --script) sim_args+=(--script "$2"); shift 2 ;;
    --) shift; break ;;
    *) echo "run-with-sim: unknown option $1" >&2; exit 2 ;;
  esac
done
# A simulator owns the comN names of its prefix: take a copy of the prefix that
# no other simulator holds (the lock lasts as long as this script and what it
# runs), or wait for one. Without copies, simulators take turns on the main one.
mapfile -t rig_prefixes < <(ra03v_rig_prefixes)
[ ${#rig_prefixes[@]} -gt 0 ] || rig_prefixes=("$RA03V_MAIN_PREFIX")
taken=""
while [ -z "$taken" ]; do
  for copy in "${rig_prefixes[@]}"; do
    exec 9>"$copy/.rig-lock"
    if flock -n 9; then taken=$copy; break; fi
  done
  [ -n "$taken" ] || sleep 0.1
done
export RA03V_WINE_PREFIX="$taken" WINEPREFIX="$taken"
work=$(mktemp -d "${TMPDIR:-/tmp}/ra03v_sim.XXXXXX")
ready="$work/control-port"
# The modem-line library records the framing the driver asked for here.
export RA03V_LINE_STATE_DIR="$work/lines"
mkdir -p "$RA03V_LINE_STATE_DIR"
"$native/ra03v_sim" --prefix "$WINEPREFIX" --ready-file "$ready" \
  --line-state "$RA03V_LINE_STATE_DIR" "${sim_args[@]}" >/dev/null &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$ready" ] && break; sleep 0.05; done
[ -s "$ready" ] || { echo "run-with-sim: the simulator did not start" >&2; exit 1; }
export RA03V_SIM_CONTROL=$(cat "$ready")
if [ $preload -eq 1 ]; then
  # $LIB is expanded by the dynamic loader, per process: a 32-bit Wine process
  # takes the 32-bit build, a 64-bit one the 64-bit build (tools/CMakeLists.txt).
  export LD_PRELOAD="$native/\$LIB/libra03v_modem_lines.so${LD_PRELOAD:+:$LD_PRELOAD}"
fi
status=0
"$@" || status=$?
exit $status
