#!/usr/bin/env bash
# Presentation speed: softva's vaPutSurface against GStreamer's
# videoconvert/videoscale/ximagesink on the same private Xvfb, at two sizes.
# Usage: bench/present/run.sh [build-dir]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
bench=$build/bench/present/softva_present_bench
[ -x "$bench" ] || { echo "build softva_present_bench first (cmake --build $build --target softva_present_bench)" >&2; exit 1; }
command -v gst-launch-1.0 >/dev/null || { echo "gst-launch-1.0 is not installed" >&2; exit 1; }

if [ -z "${SOFTVA_BENCH_ON_XVFB:-}" ]; then
  export SOFTVA_BENCH_ON_XVFB=1
  exec "$root/tests/xvfb-run" "$0" "$build"
fi
export LIBVA_DRIVER_NAME=softva LIBVA_DRIVERS_PATH=$build/softva LIBVA_MESSAGING_LEVEL=0

frames=600
# Frames per second of one gst-launch run of $frames frozen frames.
gst_fps() {
  local start end
  start=$(date +%s.%N)
  gst-launch-1.0 -q "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$frames / ($end - $start)" | bc -l
}

measure() {
  local sw=$1 sh=$2 dw=$3 dh=$4
  local src="videotestsrc num-buffers=1 pattern=ball ! video/x-raw,format=NV12,width=$sw,height=$sh ! imagefreeze num-buffers=$frames"
  local ours convert_first scale_first best
  ours=$("$bench" "${sw}x${sh}" "${dw}x${dh}" 3)
  # shellcheck disable=SC2086
  convert_first=$(gst_fps $src ! videoconvert ! videoscale ! video/x-raw,width=$dw,height=$dh ! ximagesink sync=false)
  # shellcheck disable=SC2086
  scale_first=$(gst_fps $src ! videoscale ! video/x-raw,width=$dw,height=$dh ! videoconvert ! ximagesink sync=false)
  best=$(echo "if ($convert_first > $scale_first) $convert_first else $scale_first" | bc -l)
  printf '%4dx%-4d -> %4dx%-4d  softva %7.1f fps   gstreamer %7.1f fps (convert>scale %.1f, scale>convert %.1f)   ratio %.2f\n' \
    "$sw" "$sh" "$dw" "$dh" "$ours" "$best" "$convert_first" "$scale_first" "$(echo "$ours / $best" | bc -l)"
}

measure 1280 1024 640 512
measure 1920 1200 960 600
