#!/usr/bin/env bash
# Every test on a fresh machine: installs what is needed, builds, runs the whole suite.
# Arguments are passed to the build's configuration (see scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh "$@"
cd build
ctest --output-on-failure -j "$(nproc)"
