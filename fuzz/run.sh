#!/usr/bin/env bash
# Builds the reception and log reader fuzz targets with clang and runs each on a copy of
# its seed corpus for a bounded time (FUZZ_SECONDS, 10 by default). Exits non-zero on a
# crash, a sanitizer report, a broken invariant or a build failure; the input that
# failed is kept under <build dir>/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${FUZZ_BUILD_DIR:-build-fuzz}"
seconds="${FUZZ_SECONDS:-10}"

mkdir -p "$dir/artifacts"
if ! CC=clang CXX=clang++ cmake -S fuzz -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$dir/configure.log" 2>&1; then
  cat "$dir/configure.log"
  echo "fuzz: configuring the fuzz target failed"
  exit 1
fi
if ! cmake --build "$dir" --target fuzz_reception fuzz_logreader -j"$(nproc)" >"$dir/build.log" 2>&1; then
  cat "$dir/build.log"
  echo "fuzz: building the fuzz target failed"
  exit 1
fi

# The committed seeds stay as they are: the fuzzer adds its finds to a copy.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r fuzz/corpus "$work/corpus"
mv "$work/corpus/logreader" "$work/logreader"

log="$dir/fuzz_reception.log"
status=0
"$dir/fuzz_reception" -dict=fuzz/reception.dict -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
  "$work/corpus" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)' "$log" | tail -n 80
  echo "fuzz: fuzz_reception failed (exit $status); the failing input is in $dir/artifacts/"
  echo "fuzz: replay it with $dir/fuzz_reception <input>; full log in $log"
  exit 1
fi
grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1
grep -E '^Done [0-9]+ runs' "$log" | tail -n 1
grep -E '^stat::average_exec_per_sec' "$log" | tail -n 1
echo "fuzz: fuzz_reception ran ${seconds} s clean"

# The log reader, for the same time.
log="$dir/fuzz_logreader.log"
status=0
"$dir/fuzz_logreader" -dict=fuzz/logreader.dict -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/artifacts/logreader-" \
  "$work/logreader" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)' "$log" | tail -n 80
  echo "fuzz: fuzz_logreader failed (exit $status); the failing input is in $dir/artifacts/"
  echo "fuzz: replay it with $dir/fuzz_logreader <input>; full log in $log"
  exit 1
fi
grep -E '^Done [0-9]+ runs' "$log" | tail -n 1
grep -E '^stat::average_exec_per_sec' "$log" | tail -n 1
echo "fuzz: fuzz_logreader ran ${seconds} s clean"
