#!/usr/bin/env bash
# Configures and builds both targets: the shipping 32-bit DLL and the 64-bit test build.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win32-release win64-test; do
  [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
