#!/usr/bin/env bash
# Builds the Windows program and its tests (scripts/build-windows.sh) and runs every suite
# under wine without a display: the ones that need no pseudo-terminal, and the serial suite's
# test of the Win32 layer on COM5, which wine maps to a pseudo-terminal whose far end is the
# controller simulator (built for Linux in build/, or $LINUX_BUILD_DIR). Exits non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build-windows.sh
source windows/env.sh
windows_toolchain >/dev/null
windows_wine_env
dir="${BUILD_DIR:-build-windows}"
BUILD_DIR="${LINUX_BUILD_DIR:-build}" BUILD_TARGETS=tarlo02-sim bash scripts/build.sh >/dev/null
sim="${LINUX_BUILD_DIR:-build}/tools/tarlo02-sim/tarlo02-sim"

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  wine reg delete 'HKLM\Software\Wine\Ports' /v COM5 /f >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The simulator's line under a fixed name; wine maps COM5 to it (and lists it among the
# system's ports) when its server starts, so the server is started afresh after the mapping.
"$sim" --interval 100 --link "$work/com5" --command-log "$work/commands.log" 2>"$work/sim.log" >/dev/null &
sim_pid=$!
for _ in $(seq 100); do
  [ -e "$work/com5" ] && break
  sleep 0.1
done
[ -e "$work/com5" ] || { cat "$work/sim.log" >&2; echo "the simulator made no line" >&2; exit 1; }
wineserver -k 2>/dev/null || true
DISPLAY='' wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$work/com5" /f >/dev/null
wineserver -k 2>/dev/null || true

echo "testing under wine (no display)"
DISPLAY='' WINEQT_QPA_PLATFORM=offscreen WINEQT_QPA_FONTDIR="$(winpath "$PWD/$dir/deploy/fonts")" \
  TARLO_TEST_COM=COM5 TARLO_TEST_COMMAND_LOG="$(winpath "$work/commands.log")" \
  ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 300
