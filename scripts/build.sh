#!/usr/bin/env bash
# Configures and builds both targets (the shipping 32-bit DLL and the 64-bit
# test build) and the native Linux test rig (tools/, host compiler, build/native).
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/native/build.ninja ] || cmake -S tools -B build/native -G Ninja >/dev/null
cmake --build build/native
for preset in win32-release win64-test; do
  [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
