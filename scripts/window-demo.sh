#!/usr/bin/env bash
# The station's window on simulated phones: four phones of the firehose family in download mode
# (the fourth refuses every write, to show a failure), an image set made for them and chosen as
# the multi-download page's folder. Press "Start all" and watch the rows; close the window to end.
# Expects a built tree (scripts/demo.sh builds it) and a display.
set -euo pipefail
cd "$(dirname "$0")/.."

bin=build/bin
# Everything lives in a folder inside the checkout, removed at the end: the device tree, the
# phones' disks, the image set and the registry the window writes (counters, COM names).
work=$(mktemp -d "$PWD/build/window-demo.XXXXXX")
export FENDREL_SYSFS_ROOT="$work/station/sys" FENDREL_REGISTRY_DIR="$work/registry"
sim=""
trap '[ -z "$sim" ] || kill "$sim" 2>/dev/null; rm -rf "$work"' EXIT

"$bin/fendrel-cli" setup > /dev/null
scripts/make-image-set.sh "$work/set" > /dev/null
# The image folder the multi-download page starts with (its registry value sPath).
hive="$FENDREL_REGISTRY_DIR/HKEY_LOCAL_MACHINE.reg"
folder=$(printf '%s/' "$work/set" | sed 's/\\/\\\\/g; s/"/\\"/g')
awk -v value="\"sPath\"=\"$folder\"" \
  '{ print } $0 == "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fendrel]" { print value }' \
  "$hive" > "$hive.new"
mv "$hive.new" "$hive"

mkfifo "$work/sim-commands"
"$bin/fendrel-sim" --dir "$work/station" download:firehose download:firehose \
  download:firehose download:firehose < "$work/sim-commands" > "$work/sim.log" &
sim=$!
exec 3> "$work/sim-commands"
for _ in $(seq 100); do
  grep -qx ready "$work/sim.log" && break
  sleep 0.1
done
grep -qx ready "$work/sim.log" || { cat "$work/sim.log" >&2; exit 1; }
echo "fault 4 nak" >&3

echo "Four simulated phones are plugged in; the fourth refuses every write."
echo "The window lists them: press \"Start all\" and watch the rows. Close the window to end."
"$bin/fendrel"
