#!/usr/bin/env bash
# Installs what building, testing and running msgservice need on Debian 12.
# Usage: scripts/install-deps.sh [runtime|test|bench]
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config qtbase5-dev libsqlite3-dev)
if [ "${1:-test}" = test ]; then
    # GoogleTest, clang with libFuzzer's runtime, binutils for the symbol
    # check, chromium for the browser test of the HTML export.
    packages+=(libgtest-dev libgmock-dev clang libclang-rt-14-dev binutils chromium)
elif [ "${1:-test}" = bench ]; then
    packages+=(gnuplot-nox) # the plot of docs/performance.png
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
