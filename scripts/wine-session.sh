# Sourced: starts Xvfb and a persistent Wine server for each of the project's
# prefixes for the calling script, and stops them when it exits. Process starts
# are much faster against a running server, and a pty hang-up cannot stall a
# server that is not its session leader.
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

# The main prefix and the rig's copies, each with a server of its own.
ra03v_session_prefixes() {
  echo "$RA03V_MAIN_PREFIX"
  ra03v_rig_prefixes
}

ra03v_session_stop() {
  local prefix prefixes
  mapfile -t prefixes < <(ra03v_session_prefixes)
  for prefix in "${prefixes[@]}"; do
    WINEPREFIX="$prefix" "$RA03V_WINESERVER" -k >/dev/null 2>&1 || true
  done
  [ -n "${RA03V_KEEPER_DIR:-}" ] && rm -rf "$RA03V_KEEPER_DIR"
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
  local prefix prefixes ready=()
  mapfile -t prefixes < <(ra03v_session_prefixes)
  for prefix in "${prefixes[@]}"; do
    WINEPREFIX="$prefix" setsid sh -c '"$0" -p -f; exit 0' "$RA03V_WINESERVER" \
      >/dev/null 2>&1 < /dev/null &
  done
  for prefix in "${prefixes[@]}"; do
    for _ in $(seq 50); do
      WINEPREFIX="$prefix" "$RA03V_WINE" cmd /c exit 0 >/dev/null 2>&1 && break
      sleep 0.2
    done &
    ready+=($!)
  done
  wait "${ready[@]}"
  # A program in each prefix that lives as long as the session keeps the
  # prefix's desktop process and services up. Otherwise the first test program
  # to open a window starts the desktop process, which inherits that program's
  # output and holds CTest's pipe open (the test "runs" on) until the prefix's
  # last program has ended. The keepers wait on a pipe nobody writes to;
  # stopping the servers ends them.
  RA03V_KEEPER_DIR=$(mktemp -d "${TMPDIR:-/tmp}/ra03v_session.XXXXXX")
  mkfifo "$RA03V_KEEPER_DIR/keep"
  exec {RA03V_KEEPER_FD}<>"$RA03V_KEEPER_DIR/keep"
  for prefix in "${prefixes[@]}"; do
    WINEPREFIX="$prefix" "$RA03V_WINE" cmd /c "set /p keep=" \
      < "$RA03V_KEEPER_DIR/keep" >/dev/null 2>&1 &
  done
  trap ra03v_session_stop EXIT
}
