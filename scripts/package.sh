#!/usr/bin/env bash
# Builds the Debian packages libmsgservice1, libmsgservice-dev and msgexport
# into build/packages/ from a release build in build/package.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package

build=build/package
out=build/packages
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DMSGSERVICE_BUILD_TESTS=OFF -DMSGSERVICE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${MSGSERVICE_JOBS:-$(nproc)}"
rm -rf "$out"
mkdir -p "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$PWD/$out" >/dev/null
rm -rf "$out/_CPack_Packages"
ls "$out"/*.deb
