#!/bin/sh
# Installs what is missing, builds, and runs every test: first all but those that measure the
# full-screen program against the wall clock, side by side; then those (label realtime) one at
# a time, so that no other test competes with them for the computer. Each of them skips,
# saying why, when the computer is too busy to give the program what it needs.
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh
cd build
status=0
ctest --output-on-failure -j"$(nproc)" -LE realtime "$@" || status=$?
ctest --output-on-failure -L realtime "$@" || status=$?
exit $status
