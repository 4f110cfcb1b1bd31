#!/usr/bin/env bash
# The end-to-end demo: a simulated RA-03V reader on a virtual COM port, read by
# the driver DLL through the command-line host under Wine.
#   scripts/demo.sh
# Sets up and builds first; ends by itself (exit 0 when every expected event
# arrived) within a minute.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
port=11
events=5

if [ "${1:-}" != "--inside-rig" ]; then
  echo "== set-up (Debian packages, Wine prefix)"
  "$here/setup.sh" >/dev/null
  echo "== build (32-bit shipping DLL, 64-bit build, native rig)"
  "$here/build.sh" >/dev/null
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
host="$root/build/win64-test/bin/ra03v_host.exe"
dll="$root/build/win64-test/bin/ra03v.dll"
echo "== ra03v_host.exe --port $port --count $events under Wine"
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
status=0
wait "$host_pid" || status=$?
echo "   reader commands seen by the simulator: $(sim stats $port)"
got=$(grep -c 'Считыватель' "$out" || true)
echo "== host exit code $status, $got card events (expected $events)"
[ "$status" -eq 0 ] && [ "$got" -eq "$events" ]
