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
  libz-mingw-w64-dev libwine-dev wine64
  googletest cmake ninja-build ccache xvfb xauth
  g++ g++-multilib make procps python3
  imagemagick fonts-wine
)
# Installed on their own: they come from the i386 package lists, which a mirror
# can serve broken while the rest are sound, and the 64-bit build and its tests
# need none of them. Where they are missing, scripts/test.sh says what that
# costs (a failed 32-bit stage where 32-bit programs run, a skipped one where not).
packages32=(wine32:i386)

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
lists_fresh=0
update_lists() {
  [ "$lists_fresh" -eq 1 ] && return 0
  lists_fresh=1
  # A mirror caught mid-sync fails one index ("File has unexpected size")
  # while the rest arrive: try again, then go on with what was fetched and
  # let the install itself say whether anything is really missing.
  local attempt
  for attempt in 1 2 3; do
    "${sudo_cmd[@]}" apt-get update && return 0
    echo "setup: apt-get update failed (attempt $attempt of 3)"
    [ "$attempt" -lt 3 ] && sleep $((attempt * 10))
  done
  echo "setup: going on with the package lists that did arrive"
}
missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
apt_install() {
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "$@"
}

# When the i386 list of the security suite is the broken one, the amd64
# libraries installed from that suite are newer than any i386 build apt can
# see, and a library installed for both architectures must have one version.
# Take the release's own builds instead, and where an installed amd64 library
# has no i386 twin at all, move both to the release's version of it.
install_i386_from_release() {
  local codename pins=() round output dep v32 v64 added
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 1
  echo "setup: installing $* from the $codename release's own package builds"
  for round in 1 2 3 4 5 6; do
    if output=$(apt-get install -s -t "$codename" --allow-downgrades --no-install-recommends "$@" "${pins[@]}" 2>&1); then
      apt_install -t "$codename" --allow-downgrades "$@" "${pins[@]}"
      return
    fi
    added=0
    for dep in $(grep -oE 'Depends: [^ ]+:i386' <<<"$output" | sed 's/Depends: //; s/:i386$//' | sort -u); do
      printf '%s\n' "${pins[@]}" | grep -qx "$dep=.*" && continue
      v32=$(apt-cache policy "$dep:i386" | awk '$1=="Candidate:"{print $2}')
      v64=$(dpkg-query -W -f='${Version}' "$dep:amd64" 2>/dev/null || true)
      [ -n "$v32" ] && [ "$v32" != "(none)" ] && [ -n "$v64" ] && [ "$v64" != "$v32" ] || continue
      echo "setup: $dep: amd64 $v64 has no i386 build; both take $v32"
      pins+=("$dep=$v32" "$dep:i386=$v32")
      added=1
    done
    [ "$added" -eq 1 ] || break
  done
  grep -E 'Depends:|^E:' <<<"$output" | head -20
  return 1
}

mapfile -t missing < <(missing_of "${packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  update_lists
  apt_install "${missing[@]}"
fi
mapfile -t missing < <(missing_of "${packages32[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  update_lists
  if ! apt_install "${missing[@]}" && ! install_i386_from_release "${missing[@]}"; then
    echo "setup: WARNING: could not install ${missing[*]}; the 32-bit build cannot run under Wine here"
  fi
fi

"$here/wine-prefix.sh"
