#!/usr/bin/env bash
# tarlo02-logd's CPU cost side by side with a minimal Python reader-publisher (reference.py:
# pyserial + paho-mqtt), both reading their own simulator and publishing to one Mosquitto
# broker at the same time, at 1 record a second and at the simulator's fastest (50 a second). CPU is the
# time on a core of every thread of each process (/proc/PID/task/*/schedstat, nanoseconds).
# Each reads every record; the records each handled over the measured time come from the
# count in its retained state, so the ratio is that of the cost per handled record.
# Usage: cost-vs-python.sh [BUILD_DIR]   (default: build); BENCH_SECONDS (default 120) a rate.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build}"
logd="$build/logd/tarlo02-logd"
sim="$build/tools/tarlo02-sim/tarlo02-sim"
seconds=${BENCH_SECONDS:-120}
py=/usr/bin/python3
if ! $py -c 'import paho.mqtt.client, serial' 2>/dev/null; then
  echo "installing the reference's libraries: python3-paho-mqtt python3-serial"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get install -y -qq --no-install-recommends python3-paho-mqtt python3-serial >/dev/null
fi
work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The records count in a retained state.
records_in() {
  mosquitto_sub -h 127.0.0.1 -p "$port" -t "$1" -C 1 -W 10 \
    | $py -c 'import json, sys; print(json.load(sys.stdin)["records"])'
}
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {print s}'; }
free_port() { $py -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(free_port)
printf 'user %s\npersistence false\nlistener %s 127.0.0.1\nallow_anonymous true\n' "$(id -un)" "$port" > "$work/broker.conf"
/usr/sbin/mosquitto -c "$work/broker.conf" 2> "$work/broker.log" & pids+=($!)
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done

# rate <label> <interval ms>: both programs on their own simulator, measured over the same time.
rate() {
  local label=$1 interval=$2
  for who in logd py; do
    "$sim" --link "$work/$who-$interval" --interval "$interval" --seed 7 > /dev/null 2>&1 & pids+=($!)
  done
  for _ in $(seq 100); do [ -e "$work/logd-$interval" ] && [ -e "$work/py-$interval" ] && break; sleep 0.1; done
  [ -e "$work/logd-$interval" ] && [ -e "$work/py-$interval" ] || { echo "$label: the simulators did not start" >&2; return 1; }
  mkdir -p "$work/l-$interval" "$work/p-$interval"
  "$logd" --port "$work/logd-$interval" --log-dir "$work/l-$interval" --id "l$interval" \
    --broker "127.0.0.1:$port" 2> "$work/logd-$interval.err" & local l=$!; pids+=($l)
  $py "$here/reference.py" "$work/py-$interval" "$work/p-$interval" "$port" "ref/$interval/state" \
    2> "$work/py-$interval.err" & local p=$!; pids+=($p)
  sleep 5
  local l0 p0 l1 p1 lr0 pr0 lr1 pr1
  l0=$(cpu_ns $l); p0=$(cpu_ns $p)
  lr0=$(records_in "tarlo02/l$interval/state"); pr0=$(records_in "ref/$interval/state")
  sleep "$seconds"
  l1=$(cpu_ns $l); p1=$(cpu_ns $p)
  lr1=$(records_in "tarlo02/l$interval/state"); pr1=$(records_in "ref/$interval/state")
  kill -TERM $l; wait $l 2>/dev/null || true
  kill $p; wait $p 2>/dev/null || true
  local ln=$((lr1 - lr0)) pn=$((pr1 - pr0))
  echo "$label, ${seconds} s: tarlo02-logd handled $ln records, $(echo "scale=4; 100 * ($l1 - $l0) / ($seconds * 10^9)" | bc)% of a core, $(echo "scale=1; ($l1 - $l0) / $ln / 1000" | bc) µs a record; reference $pn records, $(echo "scale=4; 100 * ($p1 - $p0) / ($seconds * 10^9)" | bc)%, $(echo "scale=1; ($p1 - $p0) / $pn / 1000" | bc) µs a record; ratio a record $(echo "scale=2; ($l1 - $l0) * $pn / (($p1 - $p0) * $ln)" | bc)"
}
rate "1 record a second" 1000
rate "the simulator's fastest (20 ms)" 20
