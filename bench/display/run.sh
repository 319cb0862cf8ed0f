#!/usr/bin/env bash
# Live view over the matrix of sensors and rates, mono and colour, on a
# private 1920x1200 Xvfb with softva: one line per case (see display_bench.cpp).
# The window follows the viewer's own rule (the image halved until it fits
# 80 % of the screen).
# SOFTVA_DRIVERS_PATH measures another softva build's folder instead of the
# build's own (as bench/present/run.sh's second argument does).
#   bench/display/run.sh [build dir] [seconds per case]
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
seconds=${2:-30}
export LIBVA_DRIVER_NAME=softva LIBVA_DRIVERS_PATH=${SOFTVA_DRIVERS_PATH:-$build/softva} LIBVA_MESSAGING_LEVEL=0
export XVFB_SCREEN=1920x1200x24
bench=$build/bench/display/display_bench

# sensor size, then display_bench arguments: the rate comes from the exposure
# or from the rows read (8 ms per 1024 rows).
cases=(
  "1280x1024 --mode 2 --exposure 1000"           # 640x512, 2x2 binning: 250 fps
  "1280x1024 --mode 0 --exposure 10000"          # 1280x1024: 100 fps
  "1280x1024 --mode 0 --exposure 1000 --roi 1280x64"  # 1280x64: 1,000 fps at the panel's shortest exposure
  "2448x2048 --mode 0 --exposure 1000"           # 2448x2048: 62.5 fps
  "5472x3648 --mode 0 --exposure 1000"           # 5472x3648: 35 fps
)
for c in "${cases[@]}"; do
  read -r size args <<<"$c"
  for colour in "" --colour; do
    # shellcheck disable=SC2086
    ZEBSIM_SENSOR_SIZE=$size "$top/tests/xvfb-run" "$bench" "$seconds" $args $colour | grep " camera "
  done
done

# A modern global-shutter sensor (read-out 2 ms per 1024 rows) capped at 60
# frames a second, colour and mono, and mono at 100; each with all threads
# and with one (TOLMIREX_THREADS=1), side by side.
fast=(
  "60 --colour"
  "60"
  "100"
)
for c in "${fast[@]}"; do
  read -r rate args <<<"$c"
  for threads in "" 1; do
    # shellcheck disable=SC2086
    line=$(TOLMIREX_THREADS=$threads ZEBSIM_READOUT=fast ZEBSIM_FRAME_RATE=$rate ZEBSIM_SENSOR_SIZE=5472x3648 \
      "$top/tests/xvfb-run" "$bench" "$seconds" --mode 0 --exposure 1000 $args | grep " camera ")
    echo "$line  [fast read-out, ${rate} fps cap, threads: ${threads:-all}]"
  done
done
