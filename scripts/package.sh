#!/usr/bin/env bash
# Builds the Debian packages libmsgservice1, libmsgservice-dev and msgexport
# into build/packages/ from a release build in build/package.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package

build=build/package
out=build/packages
# Debian's hardening flags (fortify, stack protector, relro, bindnow); the
# build type sets the optimisation, and the packages are stripped anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
    -DMSGSERVICE_BUILD_TESTS=OFF -DMSGSERVICE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${MSGSERVICE_JOBS:-$(nproc)}"
rm -rf "$out"
mkdir -p "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$PWD/$out" >/dev/null
rm -rf "$out/_CPack_Packages"
ls "$out"/*.deb
