#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh "$@"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"$(nproc)" --timeout 300
# Then the reception fuzz target, built with clang, for a bounded time.
bash fuzz/run.sh
