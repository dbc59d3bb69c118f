#!/usr/bin/env bash
# Configures (once) and builds Fendrel in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/build.ninja ] || cmake -G Ninja -B build -S . "$@"
cmake --build build
