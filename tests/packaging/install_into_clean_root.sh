#!/usr/bin/env bash
# install_into_clean_root.sh BUILD: builds the Debian package from BUILD with cpack, installs it
# with dpkg into an empty root (the package's own files and maintainer script only; the libraries
# it depends on are the host's), and checks that it installed what a station needs and that its
# programs start there: --version, `fendrel-cli ports`, the registry keys of its post-install
# step. Removes everything it made; exit status 0 only when all of it held.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "install_into_clean_root: $*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  fail "cpack failed"
}
deb=$(echo "$work"/package/fendrel_*.deb)
[ -f "$deb" ] || fail "no package was made"

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
# The post-install step creates the registry keys of whoever installs; here in a folder of the
# test's, never the settings of the user running it.
export FENDREL_REGISTRY_DIR="$work/state"
unset SUDO_USER
dpkg --root="$root" --log=/dev/null --force-script-chrootless --force-depends --force-not-root \
  -i "$deb" >"$work/dpkg.log" 2>&1 || {
  cat "$work/dpkg.log" >&2
  fail "dpkg -i failed"
}
dpkg --root="$root" --status fendrel | grep -qx "Status: install ok installed" ||
  fail "dpkg does not hold the package as installed"

for file in opt/fendrel/config.ini "opt/fendrel/NV Decoder.zdf" opt/fendrel/resource/resource.txt \
  opt/fendrel/libNandMulDL.so opt/fendrel/libEmmc.so opt/fendrel/libNorDL.so \
  opt/fendrel/libbrenlo.so lib/udev/rules.d/52-fendrel.rules; do
  [ -f "$root/$file" ] || fail "$file is not installed"
done
[ -d "$root/opt/fendrel/Backup" ] || fail "the post-install step made no Backup folder"
grep -q 'ID_MM_DEVICE_IGNORE' "$root/lib/udev/rules.d/52-fendrel.rules" || fail "the udev rules lack ID_MM_DEVICE_IGNORE"

version=$(sed -n 's/^Version: //p' <(dpkg-deb -f "$deb"))
programs=(fendrel-cli fendrel-filecode fendrel-msp tarnwick brenlo-flash)
[ -e "$root/opt/fendrel/fendrel" ] && programs+=(fendrel)
for program in "${programs[@]}"; do
  said=$("$root/usr/bin/$program" --version) || fail "$program --version failed"
  [ "$said" = "$program $version" ] || fail "$program --version said '$said'"
done
if [ -e "$root/opt/fendrel/fendrel" ]; then
  [ -f "$root/usr/share/applications/fendrel.desktop" ] || fail "no desktop entry"
  [ -f "$root/usr/share/icons/hicolor/scalable/apps/fendrel.svg" ] || fail "no icon"
fi

# The installed program finds its config.ini beside it and lists ports (none: an empty tree).
mkdir -p "$work/sys/class/tty" "$work/sys/bus/usb/devices"
listed=$(FENDREL_SYSFS_ROOT="$work/sys" "$root/usr/bin/fendrel-cli" ports) ||
  fail "fendrel-cli ports failed: $listed"
[ "$(head -n 1 <<<"$listed")" = "$(printf '%-8s %-12s %-10s %s' PORT TYPE KIND NODE)" ] ||
  fail "fendrel-cli ports said: $listed"
grep -q '^\[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fendrel\]' "$work/state/HKEY_LOCAL_MACHINE.reg" ||
  fail "the post-install step created no registry keys"

dpkg --root="$root" --log=/dev/null --force-script-chrootless --force-not-root --purge fendrel \
  >"$work/dpkg.log" 2>&1 || {
  cat "$work/dpkg.log" >&2
  fail "dpkg --purge failed"
}
[ ! -e "$root/opt/fendrel/fendrel-cli" ] || fail "the programs stayed after --purge"
echo "installed, started and removed: $(basename "$deb")"
