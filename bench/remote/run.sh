#!/usr/bin/env bash
# The viewer on an X server reached over TCP through a loopback throttled
# with tc (tbf), without MIT-SHM, as over `ssh -X`: for each link, the
# display rate, the camera's rate, the frames lost after start, the time
# from a click in the panel (which takes the focus with it) to its effect
# on the camera, and the time to close. Runs in a private network
# namespace; nothing leaves this machine.
# It is the remote display test's run with more links, in the build's test
# environment (tests/run-test).
#   bench/remote/run.sh [build dir, default build]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
REMOTE_LINKS=${REMOTE_LINKS:-unthrottled,100mbit,20mbit,5mbit,1mbit} \
  tests/run-test "$build/tests/test-environment" tests/genicam/in-private-network tests/src/on-remote-display \
  "$build/tests/src/remote_display_test" 2>&1 | grep -E '^link|FAILED|Skipped'
