#!/usr/bin/env bash
# Creates the project-local Wine prefix once. A new prefix links COM1 to the
# system console; every default comN link is removed so that only the ports the
# test rig creates exist.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
. "$here/arch32.sh"

make_prefix() {
  echo "setup: creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$RA03V_WINE" wineboot -i >/dev/null 2>&1 || true
  "$RA03V_WINESERVER" -w
  [ -f "$WINEPREFIX/system.reg" ] || { echo "setup: wineboot failed" >&2; exit 1; }
}

# The 32-bit half of a 64-bit prefix: syswow64 filled with Wine's 32-bit DLLs.
has_32bit_half() {
  compgen -G "$WINEPREFIX/drive_c/windows/syswow64/*.dll" >/dev/null
}

[ -f "$WINEPREFIX/system.reg" ] || make_prefix
# A prefix made before 32-bit Wine was installed (or on a machine that could not
# run it) has an empty syswow64 and runs no 32-bit program. Where 32-bit
# programs can run, bring it up to date, and make it anew if that is not enough.
if ra03v_can_run_32bit && ! has_32bit_half; then
  echo "setup: the Wine prefix has no 32-bit part; updating it"
  "$RA03V_WINE" wineboot -u >/dev/null 2>&1 || true
  "$RA03V_WINESERVER" -w
  if ! has_32bit_half; then
    rm -rf "$WINEPREFIX"
    make_prefix
  fi
  has_32bit_half || { echo "setup: the Wine prefix still has no 32-bit part" >&2; exit 1; }
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
