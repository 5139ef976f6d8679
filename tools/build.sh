#!/usr/bin/env bash
# Configures and builds Quillet into build/ (or $QUILLET_BUILD_DIR).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${QUILLET_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
