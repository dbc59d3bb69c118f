#!/usr/bin/env bash
# The main job on a fresh machine: installs what is needed, builds, and runs what Fendrel can do.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

bin=build/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== The shipped configuration and its integrity line"
"$bin/fendrel-filecode" check "$bin/config.ini"

echo
echo "== A site edits its configuration: the station would refuse it until it is re-stamped"
sed 's/^BACKUPESN=0$/BACKUPESN=1/' "$bin/config.ini" > "$work/config.ini"
"$bin/fendrel-filecode" check "$work/config.ini" || true
"$bin/fendrel-filecode" stamp "$work/config.ini"
"$bin/fendrel-filecode" check "$work/config.ini"

echo
echo "== Texts as the station shows them"
"$bin/fendrel-cli" text 129 130 155 159 162 163 189 206

echo
echo "== The NV items a phone's backup would hold (NV Decoder.zdf beside the program)"
"$bin/fendrel-cli" nv-items
