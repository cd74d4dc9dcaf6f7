#!/usr/bin/env bash
# Benchmarks of tarlo02-logd against a real Mosquitto broker and the controller simulator:
#   1. CPU at the line's highest record rate, log only and publishing (the difference is what
#      MQTT costs beyond reading and logging);
#   2. memory while the broker is down (BENCH_DOWN_SECONDS, default 120; 3600 for the hour);
#   3. BENCH_SERVICES services (default 50) with a simulator each against one broker: every
#      message a service hands to the broker arrives at a subscriber.
# Usage: logd-bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build="${1:-build}"
logd="$build/logd/tarlo02-logd"
sim="$build/tools/tarlo02-sim/tarlo02-sim"
work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kib() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
hz=$(getconf CLK_TCK)

start_broker() { # port
  printf 'user %s\npersistence false\nlistener %s 127.0.0.1\nallow_anonymous true\nmax_connections -1\n' \
    "$(id -un)" "$1" > "$work/broker.conf"
  /usr/sbin/mosquitto -c "$work/broker.conf" 2> "$work/broker.log" & pids+=($!)
  for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return; sleep 0.1; done
  echo "broker did not start" >&2; exit 1
}
start_sim() { # name interval
  "$sim" --link "$work/$1" --interval "$2" --seed 7 > /dev/null 2>&1 & pids+=($!)
  for _ in $(seq 100); do [ -e "$work/$1" ] && return; sleep 0.1; done
}

seconds=${BENCH_SECONDS:-30}
port=$(free_port)
start_broker "$port"

# 1. CPU at 50 records a second (a record is about 40 bytes: the line carries at most ~48).
cpu_run() { # extra args...
  mkdir -p "$work/logs1"
  "$logd" --port "$work/fast" --log-dir "$work/logs1" --id fast "$@" 2> "$work/fast.err" & local p=$!
  sleep 3
  local t0; t0=$(cpu_ticks $p)
  sleep "$seconds"
  local t1; t1=$(cpu_ticks $p)
  kill -TERM $p; wait $p || true
  echo "scale=3; 100 * ($t1 - $t0) / $hz / $seconds" | bc
}
start_sim fast 20
log_only=$(cpu_run)
publishing=$(cpu_run --broker "127.0.0.1:$port")
records=$(grep -o '[0-9]* records read' "$work/fast.err" | grep -o '^[0-9]*')
echo "1. 50 records/s for ${seconds}s: log only ${log_only}% of a core, publishing ${publishing}% ($records records in the publishing run)"
echo "   MQTT beyond reading: $(echo "$publishing - $log_only" | bc)% of a core"

# 2. Memory with the broker down: a port nobody listens on.
down=${BENCH_DOWN_SECONDS:-120}
mkdir -p "$work/logs2"
"$logd" --port "$work/fast" --log-dir "$work/logs2" --id down --broker "127.0.0.1:$(free_port)" 2> "$work/down.err" & p=$!
sleep 10
rss0=$(rss_kib $p)
sleep "$down"
rss1=$(rss_kib $p)
kill -TERM $p; wait $p || true
echo "2. broker down, 50 records/s: RSS ${rss0} KiB after 10 s, ${rss1} KiB after $((down + 10)) s"

# 3. Many services against one broker.
n=${BENCH_SERVICES:-50}
mosquitto_sub -h 127.0.0.1 -p "$port" -t '#' -F '%t' > "$work/sub.txt" & sub=$!; pids+=($sub)
sleep 1
svc=()
for i in $(seq "$n"); do
  start_sim "s$i" 1000
  mkdir -p "$work/logs-s$i"
  "$logd" --port "$work/s$i" --log-dir "$work/logs-s$i" --id "s$i" --broker "127.0.0.1:$port" 2> "$work/s$i.err" & svc+=($!)
done
sleep "$seconds"
for p in "${svc[@]}"; do kill -TERM "$p"; done
for p in "${svc[@]}"; do wait "$p" || true; done
sleep 1
kill "$sub"
missing=0; sent_all=0; got_all=0
for i in $(seq "$n"); do
  sent=$(grep -o '[0-9]* messages published' "$work/s$i.err" | grep -o '^[0-9]*' || echo 0)
  got=$(grep -cE "^(tarlo02/s$i/|homeassistant/.*/tarlo02_s$i/)" "$work/sub.txt" || true)
  sent_all=$((sent_all + sent)); got_all=$((got_all + got))
  [ "$got" -ge "$sent" ] || { missing=$((missing + sent - got)); echo "   s$i: $sent sent, $got arrived"; }
done
states=$(grep -c '/state$' "$work/sub.txt" || true)
echo "3. $n services for ${seconds}s: $sent_all messages handed to the broker, $got_all arrived ($states states), $missing missing"
