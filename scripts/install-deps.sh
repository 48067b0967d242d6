#!/usr/bin/env bash
# Installs what building, testing and running msgservice need on Debian 12.
# Usage: scripts/install-deps.sh [runtime|test|bench|package]
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config qtbase5-dev libsqlite3-dev libplist-dev libssl-dev)
if [ "${1:-test}" = test ]; then
    # GoogleTest, clang with libFuzzer's runtime, binutils for the symbol
    # check, chromium for the browser test of the HTML export, the packaging
    # tools and lintian for the package check, time for the export benchmark's smoke.
    packages+=(libgtest-dev libgmock-dev clang libclang-rt-14-dev binutils chromium file dpkg-dev lintian time)
elif [ "${1:-test}" = package ]; then
    packages+=(file dpkg-dev) # what cpack's DEB generator runs
elif [ "${1:-test}" = bench ]; then
    packages+=(gnuplot-nox time) # the plots; peak RSS of msgexport runs
fi

# Repeated runs stay offline when everything is there already.
installed=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null | grep -c '^ii' || true)
if [ "$installed" -eq "${#packages[@]}" ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
