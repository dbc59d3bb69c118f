#!/usr/bin/env bash
# The Windows build: cross-builds every Windows target with MinGW-w64 into build-windows/ (or
# $FENDREL_WINDOWS_BUILD) and runs the Windows tests under wine64, in a fresh Wine prefix inside
# the build folder (nothing of ~/.wine is used). Arguments are passed to the configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${FENDREL_WINDOWS_BUILD:-build-windows}
launcher=()
command -v ccache > /dev/null &&
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# The simulators are Linux programs: the native build (scripts/test.sh) lends its fastboot device.
native=()
[ -x build/bin/fendrel-fastboot-sim ] && native=(-DFENDREL_NATIVE_BUILD="$PWD/build")
cmake -G Ninja -B "$build" -S . -Wno-dev -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  "${launcher[@]}" "${native[@]}" "$@"
cmake --build "$build"

export WINEPREFIX="$(cd "$build" && pwd)/wine-prefix"
export WINEDEBUG=-all
# No Mono or Gecko: the tests need neither, and asking for them would wait for an answer. Wine's
# own DIFxAPI.dll would hide the stand-in that Tarnwick's tests place.
export WINEDLLOVERRIDES="mscoree,mshtml=;difxapi=n"
wine=/usr/lib/wine/wine64
rm -rf "$WINEPREFIX"
"$wine" wineboot --init > /dev/null 2>&1
# The prefix's server goes when the tests are done, also when one fails.
trap '/usr/lib/wine/wineserver -k > /dev/null 2>&1 || true' EXIT
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
