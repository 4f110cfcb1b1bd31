#!/usr/bin/env bash
# Runs one Windows program of the 64-bit build under the project's Wine prefix.
# CTest uses it as the cross-compiling emulator.
. "$(dirname "$0")/wine-env.sh"
exec "$RA03V_WINE" "$@"
