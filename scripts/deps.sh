#!/bin/sh
# Installs the Debian 12 packages Marrowgleam needs to build, run and test, where missing.
set -e
PACKAGES="g++ cmake make pkg-config libsdl1.2-compat-dev libgl-dev libgtest-dev libbenchmark-dev
  libpng-dev zlib1g-dev nlohmann-json3-dev opense-basic xvfb xauth xdotool x11-apps imagemagick
  mesa-utils pasmo zmakebas"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends $missing
