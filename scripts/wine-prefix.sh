#!/usr/bin/env bash
# Creates the project-local Wine prefix once. A new prefix links COM1 to the
# system console; every default comN link is removed so that only the ports the
# test rig creates exist.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
export WINEPREFIX="$RA03V_MAIN_PREFIX"
. "$here/arch32.sh"

make_prefix() {
  echo "setup: creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$RA03V_WINE" wineboot -i >/dev/null 2>&1 || true
  "$RA03V_WINESERVER" -w
  [ -f "$WINEPREFIX/system.reg" ] || { echo "setup: wineboot failed" >&2; exit 1; }
  date +%s%N > "$WINEPREFIX/.ra03v-made"
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
  date +%s%N > "$WINEPREFIX/.ra03v-made"
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

# The rig's copies of the prefix (scripts/wine-env.sh), made again whenever the
# main prefix was made or updated since. Wine's DLL folders are the bulk of a
# prefix and are only read: they are hard links; every other file is a copy,
# since Wine rewrites its registry and settings files.
[ -s "$WINEPREFIX/.ra03v-made" ] || date +%s%N > "$WINEPREFIX/.ra03v-made"
stamp="$(cat "$WINEPREFIX/.ra03v-made") $(cat "$WINEPREFIX/.update-timestamp" 2>/dev/null || true)"
for slot in $(seq 1 "$RA03V_RIG_SLOTS"); do
  copy="$RA03V_RIG_PREFIXES/$slot"
  [ -f "$copy/system.reg" ] && [ "$(cat "$copy/.ra03v-copy-of" 2>/dev/null)" = "$stamp" ] && continue
  echo "setup: copying the Wine prefix for the rig: $copy"
  "$RA03V_WINESERVER" -w  # the registry written out first
  rm -rf "$copy"
  mkdir -p "$RA03V_RIG_PREFIXES"
  cp -al "$WINEPREFIX" "$copy" 2>/dev/null || { rm -rf "$copy"; cp -a "$WINEPREFIX" "$copy"; }
  find "$copy" -type f ! -path "$copy/drive_c/windows/system32/*" \
    ! -path "$copy/drive_c/windows/syswow64/*" -exec sh -c \
    'for f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f"; done' sh {} +
  printf '%s' "$stamp" > "$copy/.ra03v-copy-of"
done
