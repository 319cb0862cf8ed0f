#!/usr/bin/env bash
# Live view at the simulated camera's fastest mode on a private X server, in
# monochrome and in colour: frames acquired, lost and displayed.
#   bench/display/run.sh [build dir] [seconds]
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
seconds=${2:-30}
export LIBVA_DRIVER_NAME=softva LIBVA_DRIVERS_PATH="$build/softva"
"$top/tests/xvfb-run" "$build/bench/display/display_bench" "$seconds"
"$top/tests/xvfb-run" "$build/bench/display/display_bench" "$seconds" --colour
