#!/usr/bin/env bash
# Installs every Debian package the project needs and prepares the project's own
# Wine prefix. Idempotent: packages already present are not fetched again.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev libwine-dev wine64
  googletest cmake ninja-build xvfb xauth
  g++ make procps python3
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
