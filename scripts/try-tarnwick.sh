#!/usr/bin/env bash
# Runs tarnwick against the stand-ins of its outside tools and library, in a folder of its own:
#   scripts/try-tarnwick.sh [windows-<major>.<minor>-<32|64>]   (default: this host)
# The stand-ins record every start, argument and call; the transcript and the registry are shown.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null

bench=$(mktemp -d)
trap 'rm -rf "$bench"' EXIT
standins=build/tests/standins
mkdir -p "$bench/program/32bit" "$bench/work/32bit" "$bench/work/64bit" "$bench/registry"
cp build/bin/tarnwick "$bench/program/"
cp "$standins/libtarnwick-standin-difxapi.so" "$bench/program/32bit/libDIFxAPI.so"
cp "$standins/tarnwick-standin-tool" "$bench/work/32bit/devcon.exe"
cp "$standins/tarnwick-standin-tool" "$bench/work/64bit/DPInst.exe"
# The keys the two values go into: the installation step creates the first, Windows the second.
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n' \
  >"$bench/registry/HKEY_LOCAL_MACHINE.reg"
printf 'Windows Registry Editor Version 5.00\n\n[%s]\n' \
  'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer' \
  >"$bench/registry/HKEY_CURRENT_USER.reg"

export FENDREL_REGISTRY_DIR="$bench/registry" TARNWICK_TRANSCRIPT="$bench/transcript.txt"
[ $# -eq 0 ] || export FENDREL_HOST_OS="$1"
for run in first second; do
  echo "== tarnwick, $run run (working folder $bench/work, program folder $bench/program)"
  (cd "$bench/work" && ../program/tarnwick)
  if [ -f "$bench/transcript.txt" ]; then cat "$bench/transcript.txt"; else echo "(nothing ran)"; fi
  rm -f "$bench/transcript.txt"
done
echo "== registry"
cat "$bench"/registry/*.reg
