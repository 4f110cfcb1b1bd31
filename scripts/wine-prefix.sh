#!/usr/bin/env bash
# Creates the project-local Wine prefix once. A new prefix links COM1 to the
# system console; every default comN link is removed so that only the ports the
# test rig creates exist.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$RA03V_WINE" wineboot -i >/dev/null 2>&1 || true
  "$RA03V_WINESERVER" -w
  [ -f "$WINEPREFIX/system.reg" ] || { echo "setup: wineboot failed" >&2; exit 1; }
fi
# The tests run without a window manager: Wine must not manage windows, or it
# waits for a manager's answer each time a window with a caption is hidden.
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  "$RA03V_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  "$RA03V_WINESERVER" -w
fi
find "$WINEPREFIX/dosdevices" -maxdepth 1 -name 'com[0-9]*' -type l \
  ! -lname '/dev/pts/*' ! -lname "$RA03V_ROOT/*" -delete 2>/dev/null || true
# A crashing test program must end at once instead of waiting in Wine's debugger.
"$RA03V_WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
