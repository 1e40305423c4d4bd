# Sourced by test.sh and play.sh: without a DISPLAY, starts a virtual X server (Xvfb) for the
# rest of the run, exports DISPLAY and stops the server on exit.
# qz_start_display: returns 0 when a display is there (or was started), 1 otherwise.
qz_start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  command -v Xvfb >/dev/null || return 1
  qz_xvfb_fd_file=$(mktemp)
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$qz_xvfb_fd_file" >/dev/null 2>&1 &
  qz_xvfb_pid=$!
  trap 'kill "$qz_xvfb_pid" 2>/dev/null || true; rm -f "$qz_xvfb_fd_file"' EXIT
  for _ in $(seq 100); do [ -s "$qz_xvfb_fd_file" ] && break; sleep 0.1; done
  [ -s "$qz_xvfb_fd_file" ] || return 1
  export DISPLAY=":$(head -n1 "$qz_xvfb_fd_file")"
  return 0
}
