#!/usr/bin/env bash
# Builds, starts Xvfb and Wine, opens the connection settings dialog beside the
# simulated reader (virtual COM ports, so the port list shows all three
# pictures) and saves screenshots for a person to look at:
#   out/port-settings-dialog.png           the dialog as a reader shows it
#   out/port-settings-dialog-ports.png     with the port list dropped down
#   out/port-settings-dialog-extra.png     with the extra group the system keeps hidden
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
"$here/setup.sh"
"$here/build.sh"
. "$here/wine-session.sh"
ra03v_session_start
mkdir -p "$root/out"
work=$(mktemp -d)
trap 'rm -rf "$work"; ra03v_session_stop' EXIT
mkfifo "$work/in" "$work/out"

names=(port-settings-dialog port-settings-dialog-ports port-settings-dialog-extra)
"$root/tools/run-with-sim.sh" -- "$here/wine-run.sh" \
  "$root/build/win64-test/bin/ui_dialog_screenshot.exe" <"$work/in" >"$work/out" &
program=$!
exec 3>"$work/in" 4<"$work/out"
while read -r word number <&4; do
  number=${number%$'\r'}
  [ "$word" = ready ] || continue
  sleep 0.5  # let the window finish painting
  file="$root/out/${names[$((number - 1))]}.png"
  import -window root -crop 800x760+240+132 +repage "$file"
  echo "saved $file"
  echo >&3
done
exec 3>&- 4<&-
wait "$program"
