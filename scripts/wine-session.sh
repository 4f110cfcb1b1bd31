# Sourced: starts Xvfb and one persistent Wine server for the calling script and
# stops both when it exits. Process starts are much faster against a running
# server, and a pty hang-up cannot stall a server that is not its session leader.
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

ra03v_session_stop() {
  "$RA03V_WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "${RA03V_XVFB_PID:-}" ] && kill "$RA03V_XVFB_PID" >/dev/null 2>&1 || true
}

ra03v_session_start() {
  if [ -z "${DISPLAY:-}" ]; then
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    RA03V_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  # The server opens the virtual serial ports (pseudo-terminals) itself. It must
  # not lead a session: a session leader without a terminal takes the first
  # terminal it opens as its controlling one, and that terminal's hang-up (the
  # simulated reader vanishing) would then reach the server. So a shell leads
  # a new session and the server runs as its child (the trailing command keeps
  # the shell from exec-ing the server in its own place).
  setsid sh -c '"$0" -p -f; exit 0' "$RA03V_WINESERVER" >/dev/null 2>&1 < /dev/null &
  for _ in $(seq 50); do "$RA03V_WINE" cmd /c exit 0 >/dev/null 2>&1 && break; sleep 0.2; done
  trap ra03v_session_stop EXIT
}
