#!/usr/bin/env bash
# fendrel-cli.exe under Wine asks a simulated phone, running natively, for its status through the
# serial port: Wine maps COM9 to the phone's diagnostic pseudo-terminal by a link in the prefix's
# dosdevices. One phone, three answers: its status, silence (the wait must end with the
# time-out) and a phone that leaves the bus halfway through its answer (the port is gone).
#   serial_info.sh FENDREL_SIM FENDREL_CLI_EXE WINE WORK_FOLDER
set -euo pipefail
sim=$1 cli=$2 wine=$3 work=$4
# Each run of the program must end well within this, whatever the phone does.
bound=120

if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/dosdevices" ]; then
  echo "skipped: WINEPREFIX names no Wine prefix to link COM9 in (scripts/windows-test.sh makes one)"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work"
link=$WINEPREFIX/dosdevices/com9

# The simulator takes its commands from a pipe that stays open until the end.
mkfifo "$work/commands"
"$sim" --dir "$work/station" --esn 5EED0001 normal < "$work/commands" > "$work/sim.log" 2>&1 &
sim_pid=$!
exec 3> "$work/commands"
trap 'echo quit >&3 || true; wait "$sim_pid" || true; rm -f "$link"' EXIT

# Waits until the simulator's log has $2 lines (1 unless given) matching $1.
await() {
  for _ in $(seq $((bound * 10))); do
    [ "$(grep -c "$1" "$work/sim.log")" -ge "${2:-1}" ] && return 0
    kill -0 "$sim_pid" 2> /dev/null || break
    sleep 0.1
  done
  echo "the simulated phone never printed '$1':" >&2
  cat "$work/sim.log" >&2
  return 1
}
await '^ready'
# The phone's first tty is its diagnostic port.
tty=$(grep -o '^phone 1 at .*' "$work/sim.log" | grep -o '=/dev/pts/[0-9]*' | head -1 | cut -c2-)
ln -sfn "$tty" "$link"

cases=0 faults=0
# check FAULT EXPECTED_STATUS EXPECTED_TEXT: info COM9 with the phone showing FAULT.
check() {
  local fault=$1 want_status=$2 want_text=$3 status=0
  cases=$((cases + 1))
  echo "fault 1 $fault" >&3
  await "^phone 1 fault set" "$cases"
  timeout "$bound" "$wine" "$cli" info COM9 > "$work/out.txt" 2>&1 || status=$?
  if [ "$status" -eq 124 ]; then
    echo "FAIL ($fault): fendrel-cli.exe info COM9 did not end within $bound s"
    faults=$((faults + 1))
  elif [ "$status" -ne "$want_status" ] || ! grep -q "$want_text" "$work/out.txt"; then
    echo "FAIL ($fault): exit status $status (wanted $want_status), wanted '$want_text' in:"
    cat "$work/out.txt"
    faults=$((faults + 1))
  else
    echo "ok ($fault): $(grep "$want_text" "$work/out.txt")"
  fi
}
check none 0 'ESN          0x5EED0001'
check silent 1 'status request: no answer within the time-out'
# Last: the phone is gone after it.
check unplug-mid-reply 1 'status request: the port went away'
[ "$faults" -eq 0 ]
