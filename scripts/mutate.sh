#!/usr/bin/env bash
# Measures what the tests catch: applies each fault patch in turn, builds, runs the tests that
# should notice it, and prints caught / survived / failed-by-chance per source folder.
#
#   bash scripts/mutate.sh [PATCH_OR_FOLDER ...]      (default: tests/faults)
#
# A fault patch is a unified diff against the tree (`git diff` output) that changes one small
# thing. A line "Suites: protocol history" before the diff names the test suites to run first;
# without one, the suites of the folder it changes (see suites_of below).
#
# The patches are applied to a copy of the tree in $MUTATE_DIR (default build-mutate/src),
# built in build-mutate/src/build, so the working tree is never patched, and a run that is
# interrupted leaves nothing behind (the copy is brought back in line at the next start).
# For each patch: apply, build the suites' binaries, run the suites (first failing test: run
# it again; failing twice is "caught", failing once is a failure by chance, and the rest of the
# suites run on without it), undo the patch. The patches no suite of theirs caught are then
# tried again against every test (the whole build and the whole suite).
#
#   MUTATE_DIR=DIR       the copy and its build (default build-mutate)
#   MUTATE_TIMEOUT=SEC   the limit for one test without a limit of its own (default 120)
#   MUTATE_FULL=0        do not try survivors against the whole suite
#
# Results: one line a patch as it goes, the table at the end, and $MUTATE_DIR/results.tsv
# (patch, folder, result, caught by). The exit status is 0 when every patch applied and built.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
work="$(mkdir -p "${MUTATE_DIR:-build-mutate}" && cd "${MUTATE_DIR:-build-mutate}" && pwd)"
src="$work/src"
build="$src/build"
timeout="${MUTATE_TIMEOUT:-120}"
logs="$work/logs"
command -v patch >/dev/null || { echo "mutate.sh needs GNU patch (apt-get install patch)" >&2; exit 1; }
command -v ninja >/dev/null || { echo "mutate.sh needs ninja (apt-get install ninja-build)" >&2; exit 1; }

# The suites that test each folder's code, run first for a fault there.
suites_of() {
  case "$1" in
    app) echo "window flow" ;;
    assets) echo "assets" ;;
    connection) echo "flow" ;;
    history) echo "history" ;;
    logd) echo "logd" ;;
    platform) echo "window flow" ;;
    protocol) echo "protocol" ;;
    serial) echo "serial" ;;
    settingsfile) echo "settingsfile flow" ;;
    tools) echo "sim" ;;
    ui) echo "ui" ;;
    *) echo "" ;;
  esac
}

patches=()
[ $# -gt 0 ] || set -- tests/faults
for arg in "$@"; do
  if [ -d "$arg" ]; then
    while IFS= read -r p; do patches+=("$(cd "$(dirname "$p")" && pwd)/$(basename "$p")"); done \
      < <(find "$arg" -name '*.patch' -type f | sort)
  elif [ -f "$arg" ]; then
    patches+=("$(cd "$(dirname "$arg")" && pwd)/$(basename "$arg")")
  else
    echo "no such patch or folder: $arg" >&2
    exit 1
  fi
done
[ ${#patches[@]} -gt 0 ] || { echo "no patches in $*" >&2; exit 1; }
# The patches as they are now: the folder may change while the run goes on.
rm -rf "$work/patches"
mkdir -p "$work/patches"
for i in "${!patches[@]}"; do
  cp "${patches[$i]}" "$work/patches/$(basename "${patches[$i]}")"
  patches[i]="$work/patches/$(basename "${patches[$i]}")"
done

# The copy: every file git knows of or would add, as it is in the working tree now. A file is
# copied only when it differs, with a new time, so the build redoes what changed since (also
# what an interrupted run left patched) and nothing else.
echo "copying the tree to $src"
mkdir -p "$src" "$logs"
rel="${work#"$root"/}"
[ "$rel" != "$work" ] || rel="//none"
files() { git ls-files -co --exclude-standard | grep -v "^$rel/" || true; }
files | tr '\n' '\0' | while IFS= read -r -d '' f; do
  [ -f "$f" ] || continue
  if ! cmp -s "$f" "$src/$f"; then
    mkdir -p "$src/$(dirname "$f")"
    cp -f "$f" "$src/$f"
  fi
done
# Files gone from the tree go from the copy too (the build folder is the copy's own).
(cd "$src" && find . -path ./build -prune -o -type f -print | sed 's|^\./||') | sort >"$work/copy.list"
files | sort >"$work/tree.list"
comm -23 "$work/copy.list" "$work/tree.list" | while IFS= read -r f; do rm -f "$src/$f"; done

applied=""
undo() {
  if [ -n "$applied" ]; then
    (cd "$src" && patch -R -p1 -s --no-backup-if-mismatch -r - <"$applied" >/dev/null) ||
      echo "could not undo $applied in $src: the next run copies the tree again" >&2
    applied=""
  fi
}
trap 'undo' EXIT
trap 'undo; exit 130' INT TERM

apply() {
  (cd "$src" && patch -p1 --dry-run -s -F0 --no-backup-if-mismatch -r - <"$1" >/dev/null 2>&1) || return 1
  applied="$1"
  (cd "$src" && patch -p1 -s -F0 --no-backup-if-mismatch -r - <"$1" >/dev/null)
}

# Builds the given targets (all when none) in the copy; the output goes to $1.
build() {
  local log="$1"
  shift
  (cd "$src" && BUILD_DIR=build BUILD_TARGETS="$*" bash scripts/build.sh >"$log" 2>&1)
}

# The build targets of suites: each suite's folder under tests/.
targets_of() {
  local t=() s
  for s in $1; do t+=("tests/$s/all"); done
  echo "${t[*]}"
}

escape() { printf '%s' "$1" | sed 's/[][\.*^$+?(){}|/]/\\&/g'; }

# Runs the tests matching regex $1 (all when empty), stopping at the first failure; a test
# that fails is run once more alone. Sets `caught` to the test that failed twice, and adds
# those that failed only once to `chance`.
run_tests() {
  local include="$1" log="$2" exclude="" out failed
  caught=""
  while :; do
    local args=(--test-dir "$build" --stop-on-failure --no-tests=error --timeout "$timeout")
    [ -n "$include" ] && args+=(-R "$include")
    [ -n "$exclude" ] && args+=(-E "$exclude")
    if out="$(QT_QPA_PLATFORM=offscreen ctest "${args[@]}" 2>&1)"; then
      printf '%s\n' "$out" >>"$log"
      return 0
    fi
    printf '%s\n' "$out" >>"$log"
    failed="$(printf '%s\n' "$out" | sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1/p' | head -n 1)"
    if [ -z "$failed" ]; then
      caught="ctest (see $log)"
      return 0
    fi
    if ! QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --timeout "$timeout" \
      -R "^$(escape "$failed")\$" >>"$log" 2>&1; then
      caught="$failed"
      return 0
    fi
    chance+=("$failed")
    exclude="${exclude:+$exclude|}^$(escape "$failed")\$"
  done
}

folder_of() {
  sed -n 's|^+++ b/\([^/]*\)/.*|\1|p' "$1" | head -n 1
}

declare -A result by folder_at
survivors=()
status=0
n=0
for p in "${patches[@]}"; do
  n=$((n + 1))
  name="$(basename "$p" .patch)"
  folder="$(folder_of "$p")"
  folder="${folder:-?}"
  folder_at[$p]="$folder"
  log="$logs/$name.log"
  : >"$log"
  suites="$(sed -n 's/^Suites:[[:space:]]*//p' "$p" | head -n 1)"
  [ -n "$suites" ] || suites="$(suites_of "$folder")"
  start=$SECONDS
  chance=()
  if ! apply "$p"; then
    result[$p]="not applied"
    status=1
  elif ! build "$log" "$(targets_of "$suites")"; then
    result[$p]="not built"
    status=1
  else
    read -r -a names <<<"$suites"
    regex="^($(IFS='|' && echo "${names[*]}"))\\."
    run_tests "$regex" "$log"
    if [ -n "$caught" ]; then
      result[$p]="caught"
      by[$p]="$caught"
    elif [ ${#chance[@]} -gt 0 ]; then
      result[$p]="by chance"
      by[$p]="${chance[*]}"
    else
      result[$p]="survived"
      survivors+=("$p")
    fi
  fi
  undo
  printf '[%d/%d] %-11s %-12s %s%s (%ds)\n' "$n" "${#patches[@]}" "${result[$p]}" "$folder" "$name" \
    "${by[$p]:+  by ${by[$p]}}" $((SECONDS - start))
done

if [ ${#survivors[@]} -gt 0 ] && [ "${MUTATE_FULL:-1}" != 0 ]; then
  echo "trying the ${#survivors[@]} survivors against the whole suite"
  for p in "${survivors[@]}"; do
    name="$(basename "$p" .patch)"
    log="$logs/$name.log"
    start=$SECONDS
    chance=()
    apply "$p"
    if ! build "$log"; then
      result[$p]="not built"
      status=1
    else
      run_tests "" "$log"
      if [ -n "$caught" ]; then
        result[$p]="caught"
        by[$p]="$caught"
      elif [ ${#chance[@]} -gt 0 ]; then
        result[$p]="by chance"
        by[$p]="${chance[*]}"
      fi
    fi
    undo
    printf '%-11s %-12s %s%s (%ds)\n' "${result[$p]}" "${folder_at[$p]}" "$name" "${by[$p]:+  by ${by[$p]}}" \
      $((SECONDS - start))
  done
fi

# The table: one row a folder, then the total.
tsv="$work/results.tsv"
printf 'patch\tfolder\tresult\tcaught by\n' >"$tsv"
for p in "${patches[@]}"; do
  printf '%s\t%s\t%s\t%s\n' "$(basename "$p")" "${folder_at[$p]}" "${result[$p]}" "${by[$p]:-}" >>"$tsv"
done
echo
awk -F'\t' 'NR > 1 {
    f[$2] = 1; n[$2, $3]++; n["all", $3]++
  }
  function row(name,   c, s, b, x, tried) {
    c = n[name, "caught"] + 0; s = n[name, "survived"] + 0; b = n[name, "by chance"] + 0
    x = n[name, "not applied"] + n[name, "not built"]
    tried = c + s + b
    printf "%-13s %7d %9d %10d %8d %9s\n", name, c, s, b, x, tried ? sprintf("%.0f %%", 100 * c / tried) : "-"
  }
  END {
    printf "%-13s %7s %9s %10s %8s %9s\n", "folder", "caught", "survived", "by chance", "not run", "caught"
    k = 0
    for (name in f) names[++k] = name
    for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (names[j] < names[i]) { t = names[i]; names[i] = names[j]; names[j] = t }
    for (i = 1; i <= k; i++) row(names[i])
    row("all")
  }' "$tsv"
echo "(each patch: $tsv; logs in $logs)"
exit "$status"
