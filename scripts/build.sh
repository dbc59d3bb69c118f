#!/usr/bin/env bash
# Configures and builds Fendrel in build/. Arguments are CMake options for the configuration
# (e.g. -DFENDREL_WERROR=ON); without any, an existing configuration is kept as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ] || [ ! -f build/build.ninja ]; then
  cmake -G Ninja -B build -S . "$@"
fi
cmake --build build
