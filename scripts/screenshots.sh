#!/usr/bin/env bash
# Takes the README's screenshots of the window (docs/*.png) from the real window on an X server
# of its own (Xvfb), in the middle of runs on simulated phones. Expects a built tree.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p docs
xvfb-run -a -s "-screen 0 1400x900x24" env QT_QPA_PLATFORM=xcb \
  build/tests/window_screenshots "$PWD/docs"
ls -l docs/*.png
