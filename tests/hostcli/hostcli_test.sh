#!/usr/bin/env bash
# The command-line host as a person uses it, beside the simulated reader:
# exit codes and messages for bad use, a DLL that cannot be loaded, a port
# that cannot be opened, and two readers reading cards until a count.
#   hostcli_test.sh HOST_EXE DLL   (run by tools/run-with-sim.sh --modem-lines)
set -uo pipefail
host=$1
dll=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-env.sh"
export WINEDEBUG=-all
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

. "$here/../../tools/sim-control.sh"

winpath() { printf 'Z:%s' "${1//\//\\}"; }
run_host() { "$RA03V_WINE" "$host" "$@"; }

# Wrong use: usage text on stderr, exit 2.
out=$(run_host --port 11 2>&1); status=$?
[ $status -eq 2 ] || fail "usage: exit $status"
grep -q 'usage: ra03v_host' <<<"$out" || fail "usage: no usage text: $out"

# A DLL that is not there: exit 3 with the system's reason.
sim create 11 >/dev/null
out=$(run_host --dll 'Z:\nowhere\ra03v.dll' --port 11 --seconds 1 2>&1); status=$?
[ $status -eq 3 ] || fail "missing DLL: exit $status"
grep -q 'cannot load the driver' <<<"$out" || fail "missing DLL: message: $out"
grep -q '(126)' <<<"$out" || fail "missing DLL: no system error code: $out"

# A DLL that is not a driver: exit 3.
out=$(run_host --dll 'C:\windows\system32\version.dll' --port 11 --seconds 1 2>&1); status=$?
[ $status -eq 3 ] || fail "not a driver: exit $status"
grep -q 'no Query export' <<<"$out" || fail "not a driver: message: $out"

# A port with nothing behind it: exit 4, nothing written anywhere.
out=$(run_host --dll "$(winpath "$dll")" --port 13 --seconds 1 2>&1); status=$?
[ $status -eq 4 ] || fail "missing port: exit $status"
grep -q 'COM13 cannot be opened' <<<"$out" || fail "missing port: message: $out"

# Two readers; one card on each; the host stops at two events by itself.
sim create 12 >/dev/null
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run_host --dll "$(winpath "$dll")" --port 11 --port 12 --count 2 --seconds 30 >"$log" 2>&1 &
pid=$!
# Cards only once both readers are on: a line answering the switch-on's own
# poll is dropped, as the reader is not listening yet.
for _ in $(seq 300); do
  grep -q 'on COM12: switched on' "$log" && break
  sleep 0.1
done
sim card 11 AAAA1111 1 >/dev/null
sim card 12 BBBB2222 1 >/dev/null
wait $pid; status=$?
[ $status -eq 0 ] || fail "two readers: exit $status"
# Each card on its own reader's line: the device code printed at switch-on.
code11=$(grep 'on COM11: switched on' "$log" | grep -o '{[^}]*}')
code12=$(grep 'on COM12: switched on' "$log" | grep -o '{[^}]*}')
[ -n "$code11" ] && [ -n "$code12" ] && [ "$code11" != "$code12" ] || fail "device codes: $(cat "$log")"
grep -q "$code11  Считыватель  AAAA1111" "$log" || fail "card on COM11 missing: $(cat "$log")"
grep -q "$code12  Считыватель  BBBB2222" "$log" || fail "card on COM12 missing: $(cat "$log")"
grep -q '^events: 2' "$log" || fail "event count: $(cat "$log")"
for port in 11 12; do
  case "$(sim stats $port)" in *f=1*) ;; *) fail "COM$port not switched off: $(sim stats $port)" ;; esac
done

# Suppression and trace: a card held for four polls is one event, the next
# card another; the trace file named at start holds this reader's lines.
run_host --dll "$(winpath "$dll")" --port 11 --suppress 2000 --trace --count 2 --seconds 30 \
  >"$log" 2>&1 &
pid=$!
for _ in $(seq 300); do
  grep -q 'on COM11: switched on' "$log" && break
  sleep 0.1
done
sim card 11 AAAA1111 4 >/dev/null
sim card 11 CCCC3333 1 >/dev/null
wait $pid; status=$?
[ $status -eq 0 ] || fail "suppress and trace: exit $status: $(cat "$log")"
[ "$(grep -c 'Считыватель  ' "$log")" -eq 2 ] && grep -q 'Считыватель  AAAA1111' "$log" &&
  grep -q 'Считыватель  CCCC3333' "$log" || fail "suppressed events: $(cat "$log")"
code=$(grep 'on COM11: switched on' "$log" | grep -o '{[^}]*}')
trace=$(grep '^trace: ' "$log" | cut -c8- | tr -d '\r')
trace=${trace#Z:}
trace=${trace//\\//}
if [ -n "$code" ] && [ -f "$trace" ]; then
  lines=$(iconv -f CP1251 -t UTF-8 "$trace" | grep -F "$code")
  grep -q 'событие "AAAA1111"' <<<"$lines" && grep -q 'повтор подавлен "AAAA1111"' <<<"$lines" &&
    grep -q 'записано "f"' <<<"$lines" || fail "trace lines: $lines"
else
  fail "trace file: '$trace' for '$code': $(cat "$log")"
fi

[ $failures -eq 0 ] && echo "hostcli: all checks passed"
exit $((failures > 0))
