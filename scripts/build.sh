#!/usr/bin/env bash
# Configures and builds the configurations and the native Linux test rig
# (tools/, host compiler, build/native): the shipping 32-bit DLL, the same
# 32-bit code with its test programs, the 64-bit test build. The 32-bit test
# programs are built only where the machine can execute 32-bit programs, since
# nothing else could run them; RA03V_BUILD_32BIT_TESTS=1 builds them anyway.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/.."
. "$here/arch32.sh"
presets=(win32-release win32-test win64-test)
if ! ra03v_can_run_32bit && [ "${RA03V_32BIT_EXECUTES:-0}" -eq 0 ] &&
  [ "${RA03V_BUILD_32BIT_TESTS:-0}" != 1 ]; then
  presets=(win32-release win64-test)
  echo "build: the 32-bit test programs are not built: $RA03V_32BIT_REASON"
fi
[ -f build/native/build.ninja ] || cmake -S tools -B build/native -G Ninja >/dev/null
cmake --build build/native
for preset in "${presets[@]}"; do
  # Configured every time: a preset's cache variables may have changed.
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
