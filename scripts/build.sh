#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR), passing extra arguments to CMake.
# Uses ccache when it is installed, so rebuilds after a small change stay short.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${BUILD_DIR:-build}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DTARLO_WERROR=ON "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
