# Sourced by the scripts: where the project's Wine lives and how it is run.
RA03V_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The main prefix runs everything but the simulated reader's tests. Each
# simulator owns the comN names of its prefix, so the rig runs in copies of the
# main prefix (.wine-rig/N), one simulator in each: tools/run-with-sim.sh takes
# a free copy and exports RA03V_WINE_PREFIX for what it runs.
RA03V_MAIN_PREFIX="$RA03V_ROOT/.wine-prefix"
RA03V_RIG_PREFIXES="$RA03V_ROOT/.wine-rig"
RA03V_RIG_SLOTS=${RA03V_RIG_SLOTS:-6}
export WINEPREFIX="${RA03V_WINE_PREFIX:-$RA03V_MAIN_PREFIX}"
# The rig's copies that exist, one per line.
ra03v_rig_prefixes() {
  local copy
  for copy in "$RA03V_RIG_PREFIXES"/*; do
    [ -f "$copy/system.reg" ] && echo "$copy"
  done
  return 0
}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts: the project needs neither.
# winedbg disabled: a crashing program ends at once instead of waiting
# behind a crash dialog that nobody can close on the virtual display.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winedbg.exe=d"}
RA03V_WINE=/usr/lib/wine/wine64
RA03V_WINESERVER=/usr/lib/wine/wineserver
