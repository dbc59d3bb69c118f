#!/usr/bin/env bash
# brenlo-flash.exe under Wine flashes an image into the simulated fastboot device running
# natively on 127.0.0.1, through Brenlo.dll's TCP transport; the partition must then hold it.
#   brenlo_tcp_flash.sh FASTBOOT_SIM BRENLO_FLASH_EXE WINE WORK_FOLDER
set -euo pipefail
sim=$1 flash=$2 wine=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
head -c 300000 /dev/urandom > "$work/boot.img"
"$sim" --quiet --partition "boot=$work/partition.img" > "$work/sim.log" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  grep -q listening "$work/sim.log" && break
  sleep 0.1
done
port=$(grep -o '127\.0\.0\.1:[0-9]*' "$work/sim.log" | cut -d: -f2)
"$wine" "$flash" -s "tcp:127.0.0.1:$port" --flash boot "Z:$work/boot.img"
cmp "$work/boot.img" "$work/partition.img"
echo "boot flashed over tcp:127.0.0.1:$port"
