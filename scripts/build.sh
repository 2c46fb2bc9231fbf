#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR).
# Usage: scripts/build.sh [-Doption=value...] [target...]
# Options go to the first configuration; without targets everything is built (the tests
# and benchmarks included), with targets only those and what they need.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
options=()
targets=()
for arg in "$@"; do
    case "$arg" in
    -*) options+=("$arg") ;;
    *) targets+=("$arg") ;;
    esac
done
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "${options[@]}"
if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}"
else
    cmake --build "$build" --parallel "$(nproc)"
fi
