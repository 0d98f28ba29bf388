#!/bin/sh
# Installs what is missing, builds, and starts the full-screen emulator (with FILE, if given)
# in the current directory.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
(cd "$root" && ./scripts/deps.sh && ./scripts/build.sh >/dev/null)
exec "$root/build/marrowgleam" "$@"
