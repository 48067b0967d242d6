#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh), installs them on this
# machine, builds the host of tests/api/consumer against them through the
# CMake package and through pkg-config, runs it and the installed msgexport on
# the sample backup, runs lintian, then purges the packages and checks that
# none of their files is left. The packages are purged whatever step fails.
# Needs the sample backup of the plain build (build/plain/examples/sample-backup).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(libmsgservice1 libmsgservice-dev msgexport)
sample=$PWD/build/plain/examples/sample-backup
build_msgexport=$PWD/build/plain/tools/msgexport/msgexport
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
work=$(mktemp -d)

purge() {
    # apt-get refuses names it no longer knows of; what is left is checked below.
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1 || true
}
trap 'purge; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
fail() {
    echo "check-packages: $*" >&2
    exit 1
}

if [ ! -f "$sample/SMS/sms.db" ] || [ ! -x "$build_msgexport" ]; then
    fail "build build/plain first (no $sample)"
fi

scripts/package.sh
debs=(build/packages/*.deb)
[ "${#debs[@]}" -eq "${#packages[@]}" ] || fail "expected ${#packages[@]} packages: ${debs[*]}"
version=$(dpkg-deb -f build/packages/msgexport_*.deb Version)
for deb in "${debs[@]}"; do
    dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\.||' >>"$work/files"
done

echo "== lintian"
lintian --fail-on error "${debs[@]}" || fail "lintian reports errors"

echo "== installing ${packages[*]} $version"
purge # left over by an interrupted run
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${debs[@]/#/./}" >/dev/null

echo "== a host built with find_package(MsgService)"
cmake -S tests/api/consumer -B "$work/cmake" -G Ninja >/dev/null
grep -q '^MsgService_DIR:PATH=/usr/lib/' "$work/cmake/CMakeCache.txt" || fail "the CMake package was not found in /usr/lib"
cmake --build "$work/cmake" >/dev/null
"$work/cmake/consumer" "$sample" | tee "$work/cmake.out"
grep -Eq '^loaded [1-9][0-9]* sessions: true, details true$' "$work/cmake.out" || fail "the CMake host did not load the sample"

echo "== a host built with pkg-config"
# shellcheck disable=SC2046 # the flags are meant to split
c++ -std=c++17 -fPIC tests/api/consumer/main.cpp -o "$work/pc-consumer" $(pkg-config --cflags --libs msgdetails)
"$work/pc-consumer" "$sample" | tee "$work/pc.out"
cmp -s "$work/cmake.out" "$work/pc.out" || fail "the pkg-config host differs"

echo "== the installed msgexport"
[ "$(command -v msgexport)" = /usr/bin/msgexport ] || fail "msgexport is not /usr/bin/msgexport"
# The first line names the version; the next one says whether media conversion is built in.
[ "$(msgexport --version | head -n 1)" = "msgexport $version" ] || fail "msgexport --version: $(msgexport --version)"
TZ=UTC msgexport --quiet "$sample" >"$work/installed.txt"
TZ=UTC "$build_msgexport" --quiet "$sample" >"$work/built.txt"
if [ ! -s "$work/installed.txt" ] || ! cmp -s "$work/installed.txt" "$work/built.txt"; then
    fail "the installed msgexport exports the sample differently"
fi
grep -qx /usr/share/man/man1/msgexport.1.gz "$work/files" || fail "no manual page in the msgexport package"

echo "== purging"
purge
for package in "${packages[@]}"; do
    if dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null | grep -q '^[a-z]i'; then
        fail "$package is still installed"
    fi
done
left=$(while read -r file; do if [ -e "$file" ] || [ -L "$file" ]; then echo "$file"; fi; done <"$work/files")
for dir in /usr/include/msgservice /usr/lib/*/cmake/MsgService "${packages[@]/#//usr/share/doc/}"; do
    if [ -e "$dir" ]; then left+=" $dir"; fi
done
[ -z "$left" ] || fail "left after the purge: $left"
echo "== packages built, installed, used and purged cleanly"
