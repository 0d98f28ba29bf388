#!/bin/sh
# Installs what is missing, builds, and starts the full-screen emulator (with FILE, if given).
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh >/dev/null
exec ./build/marrowgleam "$@"
