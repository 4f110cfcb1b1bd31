#!/usr/bin/env bash
# The end-to-end demo: a simulated RA-03V reader on a virtual COM port, read by
# the driver DLL through the command-line host under Wine.
#   scripts/demo.sh
# Sets up and builds first; ends by itself (exit 0 when every expected event,
# and the loss and recovery of a pulled cable, arrived) within a minute.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
port=11
events=6

if [ "${1:-}" != "--inside-rig" ]; then
  echo "== set-up (Debian packages, Wine prefix)"
  "$here/setup.sh" >/dev/null
  echo "== build (32-bit shipping DLL, 32-bit and 64-bit test builds, native rig)"
  "$here/build.sh" >/dev/null
  # The shipping pair where the machine runs 32-bit programs, else the 64-bit one.
  . "$here/arch32.sh"
  if ra03v_can_run_32bit; then
    export RA03V_DEMO_BUILD=win32-release
    echo "== running the shipping 32-bit DLL with the 32-bit command-line host"
  else
    export RA03V_DEMO_BUILD=win64-test
    echo "== running the 64-bit DLL with the 64-bit command-line host:"
    echo "   the 32-bit pair cannot run here: $RA03V_32BIT_REASON"
  fi
  echo "== Wine session"
  . "$here/wine-session.sh"
  ra03v_session_start
  echo "== simulated reader with the modem-line library"
  # Not exec: the session's exit trap must stop Xvfb and the Wine server.
  "$root/tools/run-with-sim.sh" --modem-lines -- "$0" --inside-rig
  exit $?
fi

. "$root/tools/sim-control.sh"

. "$here/wine-env.sh"
# Wine's own notes (serial stubs) would drown the events.
export WINEDEBUG="${WINEDEBUG:--all}"
echo "   virtual port: COM$port -> $(sim create $port | cut -d' ' -f2-)"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
build="${RA03V_DEMO_BUILD:-win64-test}"
host="$root/build/$build/bin/ra03v_host.exe"
dll="$root/build/$build/bin/ra03v.dll"
echo "== $build/bin/ra03v_host.exe --port $port --count $events under Wine"
"$RA03V_WINE" "$host" --dll "Z:${dll//\//\\}" --port "$port" \
  --count "$events" --seconds 40 > >(tee "$out") 2>&1 &
host_pid=$!

# The cards come once the reader is switched on: a line answering the
# switch-on's own poll is dropped, as the reader is not listening yet.
for _ in $(seq 300); do
  grep -q 'switched on' "$out" && break
  sleep 0.1
done
echo "   reader switched on: $(sim stats $port)"
echo "   presenting a card held for 3 polls: 0123ABCD"
sim card $port 0123ABCD 3 >/dev/null
sleep 2
echo "   presenting a short code: 123 (the event keeps its CR LF)"
sim card $port 123 1 >/dev/null
sleep 1
echo "   sending a line of blanks (no event)"
sim send $port '\s\s\s\s\s\s\r\n' >/dev/null
sleep 1
echo "   presenting a long line, cut to 8: 98765432FFFF"
sim card $port 98765432FFFF 1 >/dev/null
sleep 1
# The cable pulled mid-stream and put back: the driver notices, tries the
# port every second and takes it up again by itself.
echo "   pulling the cable; it goes back in (same COM name) 3 s later"
sim unplug $port 3000 >/dev/null
wait_for() {  # wait_for PATTERN SECONDS
  for _ in $(seq $(($2 * 10))); do
    grep -q "$1" "$out" && return 0
    sleep 0.1
  done
  return 1
}
wait_for 'НетСвязи' 10 || echo "   (no loss line)"
wait_for 'СвязьВосстановлена' 15 || echo "   (no recovery line)"
echo "   presenting a card after the recovery, with no host action: 4444DDDD"
sim card $port 4444DDDD 1 >/dev/null
status=0
wait "$host_pid" || status=$?
echo "   reader commands seen by the simulator: $(sim stats $port)"
got=$(grep -c 'Считыватель' "$out" || true)
# The loss, then the recovery, then the card read after it.
order=$(grep -o 'НетСвязи\|СвязьВосстановлена\|4444DDDD' "$out" | tr '\n' ' ')
echo "== host exit code $status, $got card events (expected $events); after the pull: $order"
[ "$status" -eq 0 ] && [ "$got" -eq "$events" ] &&
  [ "$order" = "НетСвязи СвязьВосстановлена 4444DDDD " ]
