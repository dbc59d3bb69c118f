#!/usr/bin/env bash
# Installs the Debian packages that building and testing Fendrel needs.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libusb-1.0-0-dev nlohmann-json3-dev libsqlite3-dev pkg-config fastboot clang-format binutils
  dpkg-dev
  qt6-base-dev fonts-liberation2 xvfb xauth
  # the Windows build (scripts/windows-test.sh): cross compiler and the loader its tests run in
  g++-mingw-w64-x86-64-posix wine64
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
