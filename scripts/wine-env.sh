# Sourced by the scripts: where the project's Wine lives and how it is run.
RA03V_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$RA03V_ROOT/.wine-prefix"
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts: the project needs neither.
# winedbg disabled: a crashing program ends at once instead of waiting
# behind a crash dialog that nobody can close on the virtual display.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winedbg.exe=d"}
RA03V_WINE=/usr/lib/wine/wine64
RA03V_WINESERVER=/usr/lib/wine/wineserver
