#!/usr/bin/env bash
# The main job on a fresh machine: installs what is needed, builds, and shows the window on
# simulated phones when there is a display, or runs the console demo of what Fendrel can do.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

# With a display the main job is the window on simulated phones; without one (or with
# --console) the console demo below.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${1:-}" != "--console" ]; then
  exec scripts/window-demo.sh
fi

bin=build/bin
# Everything the demo makes lives in a folder inside the checkout, removed at the end: the
# phones' device tree, their disk images and the registry the station writes (COM names, the
# keys of `setup`), so the demo changes nothing on the machine outside the checkout.
work=$(mktemp -d "$PWD/build/demo.XXXXXX")
export FENDREL_SYSFS_ROOT="$work/station/sys" FENDREL_REGISTRY_DIR="$work/registry"
sim=""
trap '[ -z "$sim" ] || kill "$sim" 2>/dev/null; rm -rf "$work"' EXIT

# Waits until the simulator has printed the line $1.
await() {
  for _ in $(seq 100); do
    grep -qx "$1" "$work/sim.log" && return 0
    sleep 0.1
  done
  echo "fendrel-sim did not answer; it printed:" >&2
  cat "$work/sim.log" >&2
  return 1
}

echo "== Installation: the registry keys the station opens (and never creates)"
"$bin/fendrel-cli" setup

echo

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

echo
echo "== Three simulated phones: normal mode (9025), download mode (9008), disk mode (9006)"
mkfifo "$work/sim-commands"
"$bin/fendrel-sim" --dir "$work/station" normal download disk \
  < "$work/sim-commands" > "$work/sim.log" &
sim=$!
exec 3> "$work/sim-commands"
await ready
cat "$work/sim.log"
echo
"$bin/fendrel-cli" ports

echo
echo "== The download-mode phone is unplugged..."
echo "unplug 2" >&3
await "phone 2 unplugged"
"$bin/fendrel-cli" ports

echo
echo "== ...and plugged back in: it keeps its COM name"
echo "plug 2 download" >&3
await "phone 2 at USB 1-2: .*"
"$bin/fendrel-cli" ports

echo
echo "== A technician asks the phones about themselves"
diag_port=$("$bin/fendrel-cli" ports | awk '$4 == "diag" { print $1; exit }')
download_port=$("$bin/fendrel-cli" ports | awk '$4 == "download" { print $1; exit }')
"$bin/fendrel-cli" info "$diag_port"
"$bin/fendrel-cli" info "$download_port"

echo
echo "== The normal-mode phone is taken offline and into download mode: its diagnostic port"
echo "== goes away and a download port with a COM name of its own comes in its place"
"$bin/fendrel-cli" to-download "$diag_port"

echo
echo "== The phone restarts in normal mode, and the station upgrades it as a download page does:"
echo "== one worker detects it, backs up its ESN and NV items, and switches it to download mode."
echo "== This phone comes back in download mode, not as a disk, so the raw-disk route finds no"
echo "== disk of it to write and the run ends with the station's failure verdict."
echo "plug 1 normal" >&3
await "phone 1 at USB 1-1: .*"
diag_port=$("$bin/fendrel-cli" ports | awk '$4 == "diag" { print $1; exit }')
"$bin/fendrel-cli" flash --esn --rf "$diag_port" || echo "(verdict: failed, exit status $?)"

echo
echo "== The NV backup the run left beside the program, checked against its digest"
backup=$(ls -t "$bin"/Backup/OTHER/*/_"$diag_port"_*.znv | head -n 1)
"$bin/fendrel-cli" nv-check "$backup"

echo quit >&3
wait "$sim"
sim=""

echo
echo "== An older NAND phone: in download mode its boot loader speaks DMSS download, takes a RAM"
echo "== programmer (MPRG7627A.bin) and starts it; the programmer speaks streaming download and"
echo "== writes a multi-image set: the partition table, then each image by its type. A set made"
echo "== for the demo from random bytes and a stand-in programmer:"
mkdir -p "$work/nand-set"
for file in partition.mbn:256 qcsblhd_cfgdata.mbn:4096 qcsbl.mbn:65536 oemsblhd.mbn:40 \
  oemsbl.mbn:262144 amsshd.mbn:40 amss.mbn:8388608 MPRG7627A.bin:32768; do
  head -c "${file#*:}" /dev/urandom > "$work/nand-set/${file%%:*}"
done
ls "$work/nand-set"
export FENDREL_SYSFS_ROOT="$work/nand/sys"
mkfifo "$work/nand-commands"
"$bin/fendrel-sim" --dir "$work/nand" download:nand < "$work/nand-commands" > "$work/sim.log" &
sim=$!
exec 3> "$work/nand-commands"
await ready
"$bin/fendrel-cli" ports

echo
echo "== The station writes it as the multi-download page does (libNandMulDL.so picks the NAND"
echo "== route from the folder's files). The set has no raw-disk layout (rawprogram0.xml), so"
echo "== the plugin's success is the run's verdict; the worker then finds the phone's diagnostic"
echo "== port again once it has restarted."
"$bin/fendrel-cli" flash --folder "$work/nand-set" all
echo "The run ended with SUCCESS."

echo
echo "== Every image the phone keeps against the file the station sent, byte for byte"
for pair in partition.mbn:partition-table.mbn qcsblhd_cfgdata.mbn:qcsblhd-cfgdata.mbn \
  qcsbl.mbn:qcsbl.mbn oemsblhd.mbn:oemsbl-header.mbn oemsbl.mbn:oemsbl.mbn \
  amsshd.mbn:amss-header.mbn amss.mbn:amss.mbn; do
  cmp "$work/nand-set/${pair%%:*}" "$work/nand/nand/phone1/${pair#*:}"
done
echo "The NAND holds every image of the set; the phone restarted in normal mode:"
"$bin/fendrel-cli" ports

echo quit >&3
wait "$sim"
sim=""

echo
echo "== A phone of a newer kind: in download mode it speaks Sahara and, once a programmer runs,"
echo "== Firehose, against its eMMC (here a disk image). An image set for it, made for the demo:"
echo "== random images, a GPT, rawprogram0.xml, patch0.xml and a stand-in programmer"
scripts/make-image-set.sh "$work/set" --expected "$work/expected.img"
ls "$work/set"
export FENDREL_SYSFS_ROOT="$work/firehose/sys"
mkfifo "$work/firehose-commands"
"$bin/fendrel-sim" --dir "$work/firehose" download:firehose \
  < "$work/firehose-commands" > "$work/sim.log" &
sim=$!
exec 3> "$work/firehose-commands"
await ready
"$bin/fendrel-cli" ports

echo
echo "== The station writes it as the multi-download page does: the programmer goes up over"
echo "== Sahara, every region over Firehose and checked by the phone's digest, the GPT's fields"
echo "== patched for the eMMC's size, and the phone restarts in normal mode"
"$bin/fendrel-cli" flash --folder "$work/set" all

echo
echo "== The phone's eMMC against the image set's layout, byte for byte"
cmp "$work/firehose/disks/phone1.img" "$work/expected.img"
echo "The eMMC holds the image set exactly, the GPT patched for its $(($(stat -c %s "$work/expected.img") / 1048576)) MiB."
"$bin/fendrel-cli" ports

echo quit >&3
wait "$sim"
sim=""

echo
echo "== Raw-disk phones (9006): a phone in disk mode shows its flash as a disk, and a normal-mode"
echo "== phone of the emmc family comes back as one at its own USB place when told to switch."
echo "== The station writes both at once from the same image set with its raw programmer,"
echo "== fendrel-msp, each worker on its own phone's disk only, and resets them to normal mode."
export FENDREL_SYSFS_ROOT="$work/rawdisk/sys"
mkfifo "$work/rawdisk-commands"
"$bin/fendrel-sim" --dir "$work/rawdisk" disk normal:emmc \
  < "$work/rawdisk-commands" > "$work/sim.log" &
sim=$!
exec 3> "$work/rawdisk-commands"
await ready
"$bin/fendrel-cli" ports
echo
# Each worker writes its script in the current folder: here the demo's own.
cli="$PWD/$bin/fendrel-cli"
(cd "$work" && "$cli" flash --type EMMC --folder "$work/set" --esn all)

echo
echo "== Both phones' flash against the image set's layout, byte for byte; both back in normal mode"
cmp "$work/rawdisk/disks/phone1.img" "$work/expected.img"
cmp "$work/rawdisk/disks/phone2.img" "$work/expected.img"
echo "Both disks hold the image set exactly."
"$bin/fendrel-cli" ports

echo quit >&3
wait "$sim"
sim=""
