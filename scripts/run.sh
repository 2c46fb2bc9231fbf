#!/usr/bin/env bash
# Installs what is needed, builds, and starts Vorlane (with any catalog named as argument).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Only the program, its data and the command-line front end: the tests and benchmarks
# are built by scripts/test.sh.
scripts/build.sh vorlane vorlane-cli
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Vorlane is built (build/bin/vorlane), but this machine has no display to show its window." >&2
    echo "Run it from a desktop session, or under a virtual display: xvfb-run -s '-screen 0 1280x800x24' build/bin/vorlane" >&2
    echo "The command-line front end works without a display: build/bin/vorlane-cli --help" >&2
    exit 1
fi
exec build/bin/vorlane "$@"
