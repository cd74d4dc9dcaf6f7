#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program with the controller simulator as
# its device: the simulator serves a pseudo-terminal behind run/tarlo-sim, and the program
# starts in run/ with a "tarlo02.ini" that names it, so you only flip the switch.
# Stopping the program stops the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
bash scripts/install-deps.sh
# Only what this starts; the tests build the rest into the same folder later.
BUILD_TARGETS="Tarlo01 tarlo02-sim" bash scripts/build.sh

work="$root/run"
mkdir -p "$work"
link="$work/tarlo-sim"
"$root/build/tools/tarlo02-sim/tarlo02-sim" --link "$link" --interval 1000 \
  --command-log "$work/commands.log" >"$work/sim.out" 2>"$work/sim.err" &
sim=$!
stop_sim() { kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; }
trap stop_sim EXIT
trap 'exit 130' INT TERM HUP
for _ in $(seq 50); do
  [ -s "$work/sim.out" ] && break
  sleep 0.1
done
[ -s "$work/sim.out" ] || { echo "the simulator did not start; see $work/sim.err" >&2; exit 1; }
echo "simulator: $(head -n1 "$work/sim.out") behind $link"

# Preferences: keep what the program stored last time, with the simulator as the port.
ini="$work/tarlo02.ini"
if [ -f "$ini" ] && [ "$(wc -l <"$ini")" -eq 7 ]; then
  { printf '%s\r\n' "$link"; tail -n +2 "$ini"; } >"$ini.new" && mv "$ini.new" "$ini"
else
  printf '%s\r\n' "$link" 100 100 361 662 PL USB >"$ini"
fi

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "no display found: starting on a virtual one (xvfb-run)" >&2
  cd "$work" && xvfb-run -a "$root/build/app/Tarlo01"
else
  cd "$work" && "$root/build/app/Tarlo01"
fi
