#!/usr/bin/env bash
# Runs a test on an X server of its own, so that the windows of tests running beside it can
# take neither its pointer nor its focus. When no server starts, the test runs as it is (and
# skips what needs a display).
unset DISPLAY
. "$(dirname "$0")/../tools/display.sh"
qz_start_display || echo "own_display.sh: no X server of its own; running without one" >&2
"$@"
