#!/usr/bin/env bash
# Every test on a fresh machine: installs what is needed, builds, runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
cd build
ctest --output-on-failure -j "$(nproc)"
