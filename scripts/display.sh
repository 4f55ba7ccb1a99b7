# Sourced by the project's scripts: a private X display (Xvfb) with a small window manager.
# Without a window manager, destroying a visible window under Wine stalls for about two seconds.
#   start_private_display   sets DISPLAY and remembers the pids
#   stop_private_display    ends the window manager and the X server it started
vorlin_display_pids=()

start_private_display() {
  local n=${VORLIN_DISPLAY_BASE:-90}
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  vorlin_display_pids+=($!)
  local i
  for i in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.05
  done
  export DISPLAY=":$n"
  openbox --sm-disable >/dev/null 2>&1 &
  vorlin_display_pids+=($!)
  # Give the window manager a moment to take the screen before the first window appears.
  for i in $(seq 1 40); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
  done
}

stop_private_display() {
  local pid
  for pid in "${vorlin_display_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${vorlin_display_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  vorlin_display_pids=()
}
