#!/usr/bin/env bash
# Installs what building and testing Velmora Slides needs on Debian 12, and
# nothing when it is all there. Runs as root, or uses sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config python3
  g++-mingw-w64-i686
  libsdl2-dev libturbojpeg0-dev libx11-dev libxtst-dev
  googletest libgtest-dev libbenchmark-dev
  xvfb x11-apps x11-utils imagemagick libjpeg-turbo-progs
  wine wine32:i386
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  # Wine runs the 32-bit program with its 32-bit half.
  as_root dpkg --add-architecture i386
fi
as_root apt-get update -qq
log=$(mktemp)
if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
rm -f "$log"
