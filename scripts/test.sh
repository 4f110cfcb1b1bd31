#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/setup.sh"
"$here/build.sh"
. "$here/wine-session.sh"
ra03v_session_start
cd "$here/.."
status=0
echo "== 32-bit shipping build: layout and binary checks"
ctest --preset win32-release || status=1
echo "== 64-bit build: all tests under wine64"
ctest --preset win64-test || status=1
exit $status
