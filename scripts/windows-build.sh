#!/usr/bin/env bash
# Cross-builds the library for Windows into build/windows (the five DLLs,
# msgexport.exe, list-sessions.exe and the tests, with the DLLs they need in
# build/windows/bin) and runs the suite under Wine.
# The first run on a machine builds Qt 5 Core and the other dependencies into
# a cache (scripts/windows-deps.sh); later runs reuse it.
# What goes to Windows users is packed from this build by
# scripts/check-windows-installer.sh (an NSIS installer and a ZIP).
# Usage: scripts/windows-build.sh [--no-tests]
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${MSGSERVICE_JOBS:-$(nproc)}
host=x86_64-w64-mingw32
root=$PWD
build=$root/build/windows
bin=$build/bin

prefix=$(scripts/windows-deps.sh | tail -1)

# The PDF export's stack (Pango, Cairo, gdk-pixbuf) has a prefix of its own
# beside the dependencies; MSGSERVICE_WINDOWS_PDF=0 builds without it.
pdf_prefix=""
if [ "${MSGSERVICE_WINDOWS_PDF:-1}" = 1 ]; then
    pdf_prefix=$(dirname "$prefix")/pdf-prefix
fi
pdf=OFF
[ -z "$pdf_prefix" ] || pdf=ON

# The sample backup is drawn with Qt Gui, which the Windows Qt leaves out;
# the Linux build's generator writes the same files.
if [ ! -f build/plain/build.ninja ]; then
    cmake -S . -B build/plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build/plain -j "$jobs" --target make-sample-backup >/dev/null

# A compiler cache beside the dependencies: CI starts from a clean clone, and
# compiling against Qt is most of this build.
launcher=(-DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER=)
if command -v ccache >/dev/null; then
    export CCACHE_DIR=${CCACHE_DIR:-$(dirname "$(dirname "$prefix")")/ccache-windows}
    export CCACHE_BASEDIR=$root CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-2G}
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Release at -O2 without debug information: PE debug sections make the links
# the slowest part of the build.
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64.cmake" "${launcher[@]}" \
    -DMSGSERVICE_WINDOWS_PREFIX="$prefix" -DMSGSERVICE_WINDOWS_PDF_PREFIX="$pdf_prefix" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DMSGSERVICE_BUILD_BENCH=OFF -DMSGSERVICE_WITH_PDF=$pdf \
    -DMSGSERVICE_MAKE_SAMPLE_BACKUP="$root/build/plain/examples/make-sample-backup" \
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$bin" >/dev/null
cmake --build "$build" -j "$jobs"

# The runtime DLLs beside the programs, as a Windows installer would place them.
mkdir -p "$bin"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp -u "$($host-g++ -print-file-name=$dll)" "$bin/"
done
cp -u "$prefix"/bin/*.dll "$bin/"
if [ -n "$pdf_prefix" ]; then
    # Cairo is built with -D_FORTIFY_SOURCE, which MinGW resolves in libssp.
    cp -u "$pdf_prefix"/bin/*.dll "$($host-gcc -print-file-name=libssp-0.dll)" "$bin/"
fi

if [ "${1:-}" = --no-tests ]; then
    exit 0
fi

# A Wine prefix of our own, set up once beside the dependency cache.
export WINEPREFIX
WINEPREFIX=$(dirname "$(dirname "$prefix")")/wine
export WINEDEBUG=-all
# Test programs outside bin (msgexport's) find their DLLs through the PATH.
export WINEPATH="Z:${bin//\//\\}"
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== setting up the Wine prefix $WINEPREFIX"
    "$wine" wineboot --init >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
fi
"$wine" "$bin/msgexport.exe" --version
ctest --test-dir "$build" --output-on-failure -j "$jobs"
