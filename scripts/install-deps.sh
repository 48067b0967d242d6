#!/usr/bin/env bash
# Installs what building, testing and running msgservice need on Debian 12.
# Usage: scripts/install-deps.sh [runtime|test|bench|package|windows]
set -euo pipefail

# Pango, Cairo and gdk-pixbuf lay out, draw and decode the pictures of the PDF
# export; the Noto and DejaVu fonts give it every script and colour emoji.
packages=(g++ cmake ninja-build pkg-config qtbase5-dev libsqlite3-dev libplist-dev libssl-dev
          libpango1.0-dev libcairo2-dev libgdk-pixbuf-2.0-dev fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji
          fonts-dejavu-core)
# msgexport's conversion of pictures (HEIC through libheif, which brings its
# HEVC decoder and encoder), voice messages and videos (FFmpeg's libraries).
packages+=(libheif-dev libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev)
if [ "${1:-test}" = test ]; then
    # GoogleTest, clang with libFuzzer's runtime, binutils for the symbol
    # check, chromium for the browser test of the HTML export, the packaging
    # tools and lintian for the package check, time for the export benchmark's smoke,
    # poppler's tools to read back the PDF export.
    packages+=(libgtest-dev libgmock-dev clang libclang-rt-14-dev binutils chromium file dpkg-dev lintian time
               poppler-utils)
elif [ "${1:-test}" = package ]; then
    packages+=(file dpkg-dev) # what cpack's DEB generator runs
elif [ "${1:-test}" = bench ]; then
    # The plots; peak RSS of msgexport runs; libheif's own converter, the
    # floor of the thumbnail step.
    packages+=(gnuplot-nox time libheif-examples)
elif [ "${1:-test}" = windows ]; then
    # The cross compiler, Wine to run what it builds, a compiler cache, what
    # building the Windows dependencies from Debian's source packages takes
    # (scripts/windows-deps.sh), makensis for the installer and groff for the
    # manual it carries as text; meson, gperf, nasm and GLib's code generators
    # for the PDF export's stack, and poppler's tools, which read back under
    # Wine what it writes (the Noto fonts it ships are the ones above).
    packages+=(g++-mingw-w64-x86-64-posix wine64 binutils-mingw-w64-x86-64 ccache dpkg-dev googletest
               make perl python3 tcl autoconf automake libtool autoconf-archive nsis groff-base
               meson gperf nasm libglib2.0-dev-bin poppler-utils)
fi

# Repeated runs stay offline when everything is there already; the Windows
# set also needs the source entries and the compiler's POSIX-threads flavour.
has_sources() { grep -Eqs '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/*; }
installed=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null | grep -c '^ii' || true)
if [ "$installed" -eq "${#packages[@]}" ] && { [ "${1:-test}" != windows ] ||
    { has_sources && [ "$(readlink -f /usr/bin/x86_64-w64-mingw32-g++)" = /usr/bin/x86_64-w64-mingw32-g++-posix ]; }; }; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
if [ "${1:-test}" = windows ] && ! has_sources; then
    # apt-get source needs the source entries of the Debian archive already in
    # use (other vendors' archives may publish no sources).
    echo "install-deps: adding source entries for the Debian archive (apt-get source)" >&2
    for list in /etc/apt/sources.list.d/*.sources; do
        if [ -e "$list" ]; then
            awk 'BEGIN { RS = ""; ORS = "\n\n" }
                /(^|\n)Types:[^\n]*deb/ && /(^|\n)URIs:[^\n]*debian/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$list"
        fi
    done | $sudo tee /etc/apt/sources.list.d/msgservice-deb-src.sources >/dev/null
    lines=$({ cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
        sed -n 's/^deb \(.*debian\)/deb-src \1/p')
    if [ -n "$lines" ]; then
        echo "$lines" | $sudo tee /etc/apt/sources.list.d/msgservice-deb-src.list >/dev/null
    fi
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
if [ "${1:-test}" = windows ]; then
    # std::thread needs the POSIX-threads flavour of the compiler.
    for tool in gcc g++; do
        $sudo update-alternatives --quiet --set x86_64-w64-mingw32-$tool /usr/bin/x86_64-w64-mingw32-$tool-posix
    done
fi
