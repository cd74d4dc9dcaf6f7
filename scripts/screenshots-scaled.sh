#!/usr/bin/env bash
# Shows the window on a virtual X display (Xvfb) at each scale factor given, as a desktop set to
# 125 %, 150 % or 200 % would show it, and keeps a screenshot of it: OUT_DIR/window-<percent>.png
# (default build/screenshots, factors 1.25 1.5 2). The program starts in a folder of its own
# each time, with preferences that name a port (so the switch is in view) and place the window
# at the top left. Needs the program built (${BUILD_DIR:-build}) and Xvfb.
#   bash scripts/screenshots-scaled.sh [OUT_DIR [FACTOR...]]
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${BUILD_DIR:-build}/app/Tarlo01")
[ -x "$program" ] || { echo "no program at $program: build it first" >&2; exit 1; }
out=$(realpath -m "${1:-build/screenshots}")
[ $# -gt 0 ] && shift
factors=("$@")
[ ${#factors[@]} -gt 0 ] || factors=(1.25 1.5 2)
mkdir -p "$out"

fb=$(mktemp -d)
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$fb" "$work"
}
trap cleanup EXIT
display=:$((90 + RANDOM % 9))
# Large enough for the window at 200 % (690 x 1246 pixels) at its place.
Xvfb "$display" -screen 0 1600x1400x24 -fbdir "$fb" -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -f "$fb/Xvfb_screen0" ] && break
  sleep 0.1
done
[ -f "$fb/Xvfb_screen0" ] || { echo "Xvfb did not start" >&2; exit 1; }

for factor in "${factors[@]}"; do
  percent=$(awk -v f="$factor" 'BEGIN { printf "%d", f * 100 + 0.5 }')
  dir="$work/$percent"
  mkdir -p "$dir"
  # Seven lines of preferences with a port name, so the connection switch is in view.
  printf '%s\r\n' COM1 10 10 361 662 PL USB >"$dir/tarlo02.ini"
  (cd "$dir" && DISPLAY=$display QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$factor exec "$program" \
    >"$dir/program.log" 2>&1) &
  app_pid=$!
  box=$(python3 windows/screenshot.py wait "$fb/Xvfb_screen0") ||
    { cat "$dir/program.log" >&2; echo "no window at $factor" >&2; exit 1; }
  read -r x y w h <<<"$box"
  python3 windows/screenshot.py grab "$fb/Xvfb_screen0" "$out/window-$percent.png" "$x" "$y" "$w" "$h"
  echo "at $percent %: window ${w}x${h}: $out/window-$percent.png"
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
done
