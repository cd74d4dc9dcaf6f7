#!/usr/bin/env bash
# Builds the fuzz targets with clang; for each, replays its whole committed corpus, then
# fuzzes a copy of it for a bounded time (FUZZ_SECONDS, 10 by default). Exits non-zero on a
# crash, a sanitizer report, a broken invariant or a build failure; the input that failed
# is kept under <build dir>/artifacts/.
# FUZZ_KEEP=1 merges what the run found into fuzz/corpus/<target>, minimised (libFuzzer's
# -merge=1), so a run's finds can be committed and replayed by every later run.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${FUZZ_BUILD_DIR:-build-fuzz}"
seconds="${FUZZ_SECONDS:-10}"
targets=(reception logreader files serial)

mkdir -p "$dir/artifacts"
if ! CC=clang CXX=clang++ cmake -S fuzz -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$dir/configure.log" 2>&1; then
  cat "$dir/configure.log"
  echo "fuzz: configuring the fuzz targets failed"
  exit 1
fi
if ! cmake --build "$dir" --target "${targets[@]/#/fuzz_}" -j"$(nproc)" >"$dir/build.log" 2>&1; then
  cat "$dir/build.log"
  echo "fuzz: building the fuzz targets failed"
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# fail <target> <log> <status>
fail() {
  grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)' "$2" | tail -n 80
  echo "fuzz: fuzz_$1 failed (exit $3); the failing input is in $dir/artifacts/"
  echo "fuzz: replay it with $dir/fuzz_$1 <input>; full log in $2"
  exit 1
}

for t in "${targets[@]}"; do
  bin="$dir/fuzz_$t"
  corpus="fuzz/corpus/$t"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  log="$dir/fuzz_$t.log"
  common=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$dir/artifacts/$t-")

  # Every committed input, as it is.
  status=0
  "$bin" "${common[@]}" -runs=0 "$corpus" >"$log.replay" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "$t" "$log.replay" "$status"
  echo "fuzz: fuzz_$t replayed $(find "$corpus" -type f | wc -l) committed inputs"

  # New inputs, on a copy: the committed seeds stay as they are.
  cp -r "$corpus" "$work/$t"
  status=0
  "$bin" "${dict[@]}" "${common[@]}" -max_total_time="$seconds" -print_final_stats=1 "$work/$t" >"$log" 2>&1 ||
    status=$?
  [ "$status" -eq 0 ] || fail "$t" "$log" "$status"
  grep -E '^Done [0-9]+ runs' "$log" | tail -n 1
  grep -E '^stat::average_exec_per_sec' "$log" | tail -n 1
  echo "fuzz: fuzz_$t ran ${seconds} s clean"

  if [ "${FUZZ_KEEP:-0}" = 1 ]; then
    "$bin" -merge=1 "$corpus" "$work/$t" >"$log.merge" 2>&1
    echo "fuzz: fuzz/corpus/$t now holds $(find "$corpus" -type f | wc -l) inputs"
  fi
done
