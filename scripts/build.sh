#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR), passing extra arguments to CMake.
# BUILD_TARGETS="Tarlo01 tarlo02-sim" builds only those targets and what they link; the
# default is everything. Prints one line a step ("building 12 of 40: protocol/Log.cpp"); the
# compiler's whole output goes to <build dir>/build.log and is shown when the build fails
# (BUILD_VERBOSE=1 shows it as it comes). Uses ccache when it is installed, so rebuilds after
# a small change stay short, and Ninja for a new build folder when it is installed, so the
# steps are counted; an existing folder keeps the generator it was made with.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${BUILD_DIR:-build}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
generator=()
[ -f "$dir/CMakeCache.txt" ] || ! command -v ninja >/dev/null || generator=(-G Ninja)

# Debian's hardening flags, as the packages are built with them (dpkg-buildflags), so a fault
# they find (-Werror=format-security) stops this build first. CMake takes them when it makes a
# build folder; -O and -g stay the build type's and file paths stay as they are. _FORTIFY_SOURCE
# stays the package build's: here, with warnings as errors, at -O3 and beside the sanitizers,
# its checks would be a build failure of their own on a newer compiler.
if [ ! -f "$dir/CMakeCache.txt" ] && command -v dpkg-buildflags >/dev/null; then
  debian_flags() {
    DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath,-fixdebugpath" dpkg-buildflags --get "$1" |
      tr ' ' '\n' | grep -Ev '^(-g|-O[0-9sgz]?|-D_FORTIFY_SOURCE=[0-9]|)$' | tr '\n' ' '
  }
  cppflags=$(debian_flags CPPFLAGS)
  export CFLAGS="$cppflags$(debian_flags CFLAGS)${CFLAGS:-}"
  export CXXFLAGS="$cppflags$(debian_flags CXXFLAGS)${CXXFLAGS:-}"
  export LDFLAGS="$(debian_flags LDFLAGS)${LDFLAGS:-}"
fi

echo "configuring $dir"
mkdir -p "$dir"
if ! cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DTARLO_WERROR=ON \
  "${launcher[@]}" "$@" >"$dir/configure.log" 2>&1; then
  cat "$dir/configure.log" >&2
  echo "configuring $dir failed" >&2
  exit 1
fi

targets=()
[ -n "${BUILD_TARGETS:-}" ] && read -r -a names <<<"$BUILD_TARGETS" && targets=(--target "${names[@]}")
if [ -n "${BUILD_VERBOSE:-}" ]; then
  cmake --build "$dir" "${targets[@]}" -j"$(nproc)"
  exit
fi
echo "building ${BUILD_TARGETS:-everything} (the compiler's output: $dir/build.log)"
set +e
# Ninja says "[12/40] Building CXX object protocol/CMakeFiles/tarlo_protocol.dir/Log.cpp.o";
# make says "[ 45%] Building ...". Either becomes "building 12 of 40: protocol/Log.cpp".
cmake --build "$dir" "${targets[@]}" -j"$(nproc)" 2>&1 | tee "$dir/build.log" | awk '
  function short(what) {
    sub(/^(Building|Linking) [A-Z]+ (object|static library|executable|shared library) /, "", what)
    gsub(/CMakeFiles\/[^\/]*\.dir\//, "", what)
    sub(/\.o$/, "", what)
    return what
  }
  /^\[[0-9]+\/[0-9]+\] / {
    split(substr($1, 2, length($1) - 2), n, "/")
    step = $0; sub(/^\[[^]]*\] /, "", step)
    if (step ~ /^(Building|Linking)/) printf "building %d of %d: %s%s\n", n[1], n[2], (step ~ /^Linking/ ? "linking " : ""), short(step)
    fflush(); next
  }
  /^\[ *[0-9]+%\] (Building|Linking)/ {
    pct = $0; sub(/^\[ */, "", pct); sub(/%.*/, "", pct)
    step = $0; sub(/^\[[^]]*\] /, "", step)
    printf "building %d%%: %s%s\n", pct, (step ~ /^Linking/ ? "linking " : ""), short(step)
    fflush()
  }'
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  tail -n 60 "$dir/build.log" >&2
  echo "building failed (exit $status); the whole output is in $dir/build.log" >&2
  exit "$status"
fi
echo "built $dir"
