#!/usr/bin/env bash
# Installs every Debian package the project needs and prepares the project's own
# Wine prefix. Idempotent: packages already present are not fetched again.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# The shipping DLL is 32-bit: its tests run under Wine's 32-bit loader
# (wine32, from the i386 architecture) in a 64-bit prefix, beside the rig's
# 32-bit modem-line library (g++-multilib). Both install even where the
# machine cannot execute 32-bit programs; scripts/test.sh says so there.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev libwine-dev wine64 wine32:i386
  googletest cmake ninja-build xvfb xauth
  g++ g++-multilib make procps python3
  imagemagick fonts-wine
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

"$here/wine-prefix.sh"
