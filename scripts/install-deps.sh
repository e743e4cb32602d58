#!/bin/bash
# Installs what the build and the tests need, from Debian's packages only, and
# unpacks Debian's pugixml sources for the Windows build. Skips what is there.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest libpugixml-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine64 wine32:i386 fonts-wine
  xvfb xauth x11-utils xdotool oathtool dpkg-dev xz-utils libssl-dev
  git python3 python3-markdown unzip imagemagick
  osslsigncode openssl clang-format
)
# The fuzzing script asks for clang and its libFuzzer runtime; the build and
# the tests do not need them.
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    as_root apt-get update -qq
    apt_updated=1
  fi
}

if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  # 32-bit Wine needs the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  apt_update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# pugixml for MinGW is compiled from Debian's source package.
pugixml_dir="$root/build/deps/pugixml"
if [ ! -f "$pugixml_dir/src/pugixml.cpp" ]; then
  if ! apt-cache showsrc pugixml 2>/dev/null | grep -q '^Package: pugixml'; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "install-deps: adding a deb-src entry for $codename"
    as_root tee /etc/apt/sources.list.d/otp-tool-deb-src.sources >/dev/null <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt_updated=0
    apt_update
  fi
  work="$root/build/deps/src"
  rm -rf "$work"
  mkdir -p "$work"
  (cd "$work" && apt-get source -qq pugixml >/dev/null 2>&1 || apt-get source pugixml)
  unpacked=$(find "$work" -maxdepth 1 -type d -name 'pugixml-*' | head -n1)
  if [ -z "$unpacked" ] || [ ! -f "$unpacked/src/pugixml.cpp" ]; then
    echo "install-deps: could not unpack Debian's pugixml source" >&2
    exit 1
  fi
  rm -rf "$pugixml_dir"
  mv "$unpacked" "$pugixml_dir"
  rm -rf "$work"
  echo "install-deps: pugixml source in $pugixml_dir"
fi
