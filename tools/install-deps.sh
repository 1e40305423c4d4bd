#!/usr/bin/env bash
# Installs, by Debian package name, whatever the build, the tests and the player still miss.
# Idempotent and quiet when everything is present; never upgrades unrelated packages.
# Squirrel 3.1 is not in Debian 12: it comes from Debian 11 (bullseye), pinned low so that
# nothing else is ever taken from there.
set -euo pipefail

PACKAGES=(
  cmake ninja-build ccache pkg-config g++ clang python3
  libgtest-dev libgmock-dev libbenchmark-dev libglm-dev
  zlib1g-dev libpugixml-dev
  libstb-dev vorbis-tools
  libfreetype-dev fonts-dejavu-core python3-pil
  libbullet-dev
  libsdl2-dev libgl-dev libgl1-mesa-dri xvfb xauth xdotool
  libopenal-dev libopenal1
  valgrind
  libembree-dev
)
# Taken from bullseye: "package" is installed as "package/bullseye".
BULLSEYE_PACKAGES=(libsquirrel-dev)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}" "${BULLSEYE_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

# Adds a bullseye source built from the machine's own Debian entry (same mirror and keyring).
add_bullseye_source() {
  local list=/etc/apt/sources.list.d/qz-bullseye.sources
  local prefs=/etc/apt/preferences.d/qz-bullseye
  if [ ! -f "$list" ]; then
    local uri="" keyring=""
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      # First stanza whose suites are the main bookworm suite.
      uri=$(awk '/^URIs:/{u=$2} /^Suites:/{if ($0 ~ /bookworm( |$)/) {print u; exit}}' /etc/apt/sources.list.d/debian.sources)
      keyring=$(awk '/^Signed-By:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources)
    fi
    if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
      uri=$(awk '$1=="deb" && $0 ~ / bookworm /{for(i=2;i<=NF;i++) if ($i ~ /^[a-z]+:\/\//) {print $i; exit}}' /etc/apt/sources.list)
    fi
    if [ -z "$uri" ]; then
      echo "install-deps: no Debian source entry found to derive a bullseye source from" >&2
      exit 1
    fi
    [ -n "$keyring" ] || keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    printf 'Types: deb\nURIs: %s\nSuites: bullseye\nComponents: main\nSigned-By: %s\n' "$uri" "$keyring" | $SUDO tee "$list" >/dev/null
  fi
  if [ ! -f "$prefs" ]; then
    printf 'Package: *\nPin: release n=bullseye\nPin-Priority: 100\n' | $SUDO tee "$prefs" >/dev/null
  fi
}

need_bullseye=0
regular=()
bullseye=()
for p in "${missing[@]}"; do
  is_b=0
  for b in "${BULLSEYE_PACKAGES[@]}"; do [ "$p" = "$b" ] && is_b=1; done
  if [ $is_b -eq 1 ]; then bullseye+=("$p/bullseye"); need_bullseye=1; else regular+=("$p"); fi
done

echo "install-deps: installing ${missing[*]}"
[ $need_bullseye -eq 1 ] && add_bullseye_source
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends --no-upgrade "${regular[@]}" "${bullseye[@]}" >/dev/null
echo "install-deps: done"
