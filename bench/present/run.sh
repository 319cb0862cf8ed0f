#!/usr/bin/env bash
# Presentation speed: softva's vaPutSurface reductions next to the X server's
# own limit (XShmPutImage of a ready picture of the window size) on the same
# private Xvfb.  Given a second driver folder (an older softva_drv_video.so),
# it is measured in the same run, interleaved, and the ratio printed.
# Each figure is the best of three 3-second runs, so a burst of other work on
# the machine does not count.
# Usage: bench/present/run.sh [build-dir] [older-driver-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
older=${2:-}
bench=$build/bench/present/softva_present_bench
[ -x "$bench" ] || { echo "build softva_present_bench first (cmake --build $build --target softva_present_bench)" >&2; exit 1; }

if [ -z "${SOFTVA_BENCH_ON_XVFB:-}" ]; then
  export SOFTVA_BENCH_ON_XVFB=1
  XVFB_SCREEN=${XVFB_SCREEN:-2560x1600x24} exec "$root/tests/xvfb-run" "$0" "$build" "$older"
fi
export LIBVA_DRIVER_NAME=softva LIBVA_MESSAGING_LEVEL=0

best_of_three() { # best_of_three <driver dir> <bench args...>
  local dir=$1 best=0 fps; shift
  for _ in 1 2 3; do
    fps=$(LIBVA_DRIVERS_PATH=$dir "$bench" "$@")
    best=$(echo "if ($fps > $best) $fps else $best" | bc -l)
  done
  echo "$best"
}

measure() {
  local src=$1 dst=$2 ours limit line
  ours=$(best_of_three "$build/softva" "$src" "$dst" 3)
  limit=$(best_of_three "$build/softva" "$src" "$dst" 3 --server-limit)
  line=$(printf '%9s -> %-9s  softva %7.1f fps' "$src" "$dst" "$ours")
  if [ -n "$older" ]; then
    local before
    before=$(best_of_three "$older" "$src" "$dst" 3)
    line+=$(printf '   before %7.1f fps (x%.2f)' "$before" "$(echo "$ours / $before" | bc -l)")
  fi
  printf '%s   XShmPutImage %7.1f fps   softva at %3.0f %% of the server\n' "$line" "$limit" \
    "$(echo "100 * $ours / $limit" | bc -l)"
}

measure 1280x1024 640x512
measure 2448x2048 1224x1024
measure 5472x3648 1368x912

# The same large reduction on one thread and on all the driver may use.
one=$(TOLMIREX_THREADS=1 best_of_three "$build/softva" 5472x3648 1368x912 3)
all=$(best_of_three "$build/softva" 5472x3648 1368x912 3)
printf '5472x3648 -> 1368x912   1 thread %7.1f fps   all threads (%s) %7.1f fps   x%.2f\n' "$one" "$(nproc)" "$all" \
  "$(echo "$all / $one" | bc -l)"
