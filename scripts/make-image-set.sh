#!/usr/bin/env bash
# Makes an image set for simulated firehose phones in DIR: random partition images, a GPT,
# rawprogram0.xml, patch0.xml and a stand-in programmer (prog_emmc_firehose_8x26.mbn), which
# `fendrel-cli flash --folder DIR` writes to a phone of `fendrel-sim ... download:firehose`.
# With --expected FILE it also writes the disk image a blank eMMC holds once the set is written.
#
#   scripts/make-image-set.sh DIR [--disk-mib N] [--data-mib N] [--seed N] [--expected FILE]
#
# --disk-mib is the phone's eMMC (default 64, fendrel-sim's default), --data-mib the images
# together (default 24). Builds the project first when the tool is not there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool="$root/build/bin/fendrel-make-image-set"
if [ $# -lt 1 ]; then
  echo "usage: scripts/make-image-set.sh DIR [--disk-mib N] [--data-mib N] [--seed N] [--expected FILE]" >&2
  exit 2
fi
[ -x "$tool" ] || "$root/scripts/build.sh" >&2
folder=$1
shift
exec "$tool" --folder "$folder" "$@"
