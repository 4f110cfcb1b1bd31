#!/usr/bin/env bash
# Configures and builds the three configurations (the shipping 32-bit DLL, the
# same 32-bit code with its test programs, the 64-bit test build) and the native
# Linux test rig (tools/, host compiler, build/native).
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/native/build.ninja ] || cmake -S tools -B build/native -G Ninja >/dev/null
cmake --build build/native
for preset in win32-release win32-test win64-test; do
  # Configured every time: a preset's cache variables may have changed.
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
