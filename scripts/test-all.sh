#!/usr/bin/env bash
# Builds everything and runs every test: the plain build, the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, a bounded fuzz run, the
# Debian packages installed and purged again on this machine, and the Windows
# cross build with its suite under Wine and its installer installed and
# uninstalled there.
# MSGSERVICE_FUZZ_SECONDS sets the fuzz run's length (60 by default).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test

jobs=$(nproc)
fuzz_seconds=${MSGSERVICE_FUZZ_SECONDS:-60}

echo "== plain build and tests"
cmake -S . -B build/plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build/plain -j "$jobs"
ctest --test-dir build/plain --output-on-failure -j "$jobs"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMSGSERVICE_SANITIZE=address,undefined \
    -DMSGSERVICE_BUILD_BENCH=OFF
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

echo "== fuzzing the archived-body decoder and whole backup loads for half of ${fuzz_seconds}s each, the backup records, the message-detail property lists and (where built) msgexport's media paths for a third of it each"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DMSGSERVICE_BUILD_FUZZ=ON -DMSGSERVICE_BUILD_TESTS=OFF -DMSGSERVICE_BUILD_TOOLS=OFF \
    -DMSGSERVICE_BUILD_BENCH=OFF -DMSGSERVICE_FUZZ_SECONDS="$fuzz_seconds"
cmake --build build/fuzz -j "$jobs"
ctest --test-dir build/fuzz --output-on-failure

echo "== Debian packages: built, installed, used, lintian, purged"
MSGSERVICE_JOBS=$jobs scripts/check-packages.sh

echo "== Windows: cross build (MinGW-w64), the suite and the installer under Wine"
# A fresh machine gets the toolchain here, and its first run builds Qt 5 Core
# into the cache (windows-deps.sh says so); later runs reuse it.
scripts/install-deps.sh windows
start=$SECONDS
MSGSERVICE_JOBS=$jobs scripts/windows-build.sh
# The NSIS installer and the ZIP, installed and uninstalled under Wine.
scripts/check-windows-installer.sh
echo "== Windows stage: $((SECONDS - start)) s"

echo "== all tests passed"
