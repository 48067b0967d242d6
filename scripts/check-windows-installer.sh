#!/usr/bin/env bash
# Packs the Windows build of scripts/windows-build.sh into an NSIS installer
# and a ZIP (build/windows-packages/), checks what they hold, and then, under
# Wine and with no library path: runs msgexport from the unpacked ZIP (its
# version, and a PDF export of the sample with the fonts shipped); installs
# the installer silently, runs the installed msgexport (--version, and the text
# export of the sample backup, which must match the build's own), uninstalls
# silently, and checks that nothing of it is left (files, folder, Start menu
# entries, registry keys).
# Usage: scripts/check-windows-installer.sh     (after scripts/windows-build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

build=$PWD/build/windows
out=$PWD/build/windows-packages
sample=$PWD/build/plain/examples/sample-backup
start=$SECONDS
fail() {
    echo "check-windows-installer: $*" >&2
    exit 1
}
step() { echo "== [$((SECONDS - start)) s] $*"; }

[ -f "$build/CPackConfig.cmake" ] || fail "no $build/CPackConfig.cmake: run scripts/windows-build.sh first"
[ -f "$sample/SMS/sms.db" ] || fail "no sample backup in $sample: run scripts/windows-build.sh first"
command -v makensis >/dev/null || fail "no makensis: run scripts/install-deps.sh windows"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
# What msgexport --version says first: the PDF export is built in unless the
# build was made without its stack (MSGSERVICE_WINDOWS_PDF=0).
pdf=$(sed -n 's/^MSGSERVICE_WITH_PDF:BOOL=//p' "$build/CMakeCache.txt")
if [ "$pdf" = ON ]; then banner="msgexport $version"; else banner="msgexport $version (PDF export not built in)"; fi
name=msgservice-$version-win64

step "packing the Windows build: $name.exe and $name.zip"
rm -rf "$out"
log=$(cpack -G "NSIS;ZIP" --config "$build/CPackConfig.cmake" -B "$out" 2>&1) || { echo "$log" >&2; fail "cpack failed"; }
rm -rf "$out/_CPack_Packages"
installer=$out/$name.exe
zip=$out/$name.zip
if [ ! -f "$installer" ] || [ ! -f "$zip" ]; then fail "cpack made no $installer or $zip"; fi
ls -l "$installer" "$zip"

# Wine as windows-build.sh sets it up: its prefix beside the dependency cache.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
deps=$(sed -n 's/^MSGSERVICE_WINDOWS_PREFIX:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$deps" ] || [ -n "${WINEPREFIX:-}" ] || fail "no MSGSERVICE_WINDOWS_PREFIX in $build: set WINEPREFIX"
export WINEPREFIX=${WINEPREFIX:-$(dirname "$(dirname "$deps")")/wine}
export WINEDEBUG=-all
unset WINEPATH # the programs find their DLLs beside them, or not at all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== setting up the Wine prefix $WINEPREFIX"
    "$wine" wineboot --init >/dev/null 2>&1
    "$wineserver" -w
fi
win_path() { echo "Z:${1//\//\\}"; }
run() { "$wine" "$@" | tr -d '\r'; } # Windows programs end their lines with CR LF

folder=msgservice-installer-check
install_dir=$WINEPREFIX/drive_c/$folder
work=$(mktemp -d)
# The installer's keys, as Wine's registry file names them (it is written out
# whenever the Wine server stops).
keys='^\[Software\\\\(Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\)?msgservice[]\\]'
registered() { grep -Eiq "$keys" "$WINEPREFIX/system.reg"; }
cleanup() {
    # After a failure or an interrupted run: no installation left for the next.
    if [ -e "$install_dir" ] || registered; then
        if [ -f "$install_dir/Uninstall.exe" ]; then
            "$wine" "$install_dir/Uninstall.exe" /S "_?=C:\\$folder" >/dev/null 2>&1 || true
        fi
        "$wine" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\msgservice' /f >/dev/null 2>&1 || true
        "$wine" reg delete 'HKLM\Software\msgservice' /f >/dev/null 2>&1 || true
        "$wineserver" -w
        rm -rf "$install_dir"
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
"$wineserver" -w # the registry file is current once the server has stopped
cleanup
mkdir -p "$work"

step "what the ZIP holds"
(cd "$work" && cmake -E tar xf "$zip")
root=$work/$name
[ -d "$root" ] || fail "the ZIP has no folder $name"
(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$work/zip.files"
missing=""
for file in bin/msgexport.exe bin/libmsgservice.dll bin/Qt5Core.dll bin/libsqlite3-0.dll bin/libcrypto-3-x64.dll \
    bin/libstdc++-6.dll bin/libgcc_s_seh-1.dll bin/libwinpthread-1.dll \
    include/msgservice/MsgService.h lib/libmsgservice.dll.a \
    lib/cmake/MsgService/MsgServiceConfig.cmake lib/cmake/MsgService/MsgServiceTargets.cmake doc/msgexport.txt; do
    grep -qxF "$file" "$work/zip.files" || missing+=" $file"
done
grep -q '^bin/libplist[^/]*\.dll$' "$work/zip.files" || missing+=" bin/libplist*.dll"
if [ "$pdf" = ON ]; then
    for file in bin/libpangocairo-1.0-0.dll bin/libcairo-2.dll bin/libfontconfig-1.dll bin/fonts/fonts.conf \
        bin/fonts/conf.d/10-scale-bitmap-fonts.conf bin/fonts/files/NotoSans-Regular.ttf \
        bin/fonts/files/NotoSansCJK-Regular.ttc bin/fonts/files/NotoColorEmoji.ttf; do
        grep -qxF "$file" "$work/zip.files" || missing+=" $file"
    done
fi
# Each of the project's import libraries has its DLL.
while read -r implib; do
    dll=${implib#lib/}
    grep -qxF "bin/${dll%.a}" "$work/zip.files" || missing+=" bin/${dll%.a}"
done < <(grep '^lib/lib[^/]*\.dll\.a$' "$work/zip.files")
[ -z "$missing" ] || fail "missing from the ZIP:$missing"
programs=$(grep -i '\.exe$' "$work/zip.files" | tr '\n' ' ')
[ "$programs" = "bin/msgexport.exe " ] || fail "the ZIP holds other programs than msgexport.exe: $programs"
echo "$(wc -l <"$work/zip.files") files, $(grep -c '^bin/.*\.dll$' "$work/zip.files") DLLs, one program"

step "msgexport from the unpacked ZIP"
[ "$(run "$root/bin/msgexport.exe" --version | head -n 1)" = "$banner" ] ||
    fail "msgexport --version from the ZIP: $(run "$root/bin/msgexport.exe" --version 2>&1)"
if [ "$pdf" = ON ]; then
    # The PDF export with what the ZIP holds alone: its DLLs, and its fonts
    # through the fonts.conf beside the program.
    run "$root/bin/msgexport.exe" --quiet --format pdf --output "$(win_path "$work/pdf")" "$(win_path "$sample")" ||
        fail "the PDF export from the ZIP failed"
    [ -s "$work/pdf/index.pdf" ] || fail "the PDF export from the ZIP wrote no index.pdf"
    fonts=$(pdffonts "$work/pdf/conversation-0001.pdf" | tail -n +3 | awk '{print $1 " " $(NF-4)}' | sed 's/^[A-Z]*+//')
    grep -qx 'NotoSans-Regular yes' <<<"$fonts" ||
        fail "the PDF export from the ZIP did not embed Noto Sans from its own fonts: $fonts"
    echo "exported the sample as PDF: $(find "$work/pdf" -name '*.pdf' | wc -l) documents"
fi

step "the installer, silently into C:\\$folder"
# /D comes last and unquoted (NSIS takes the rest of the command line).
"$wine" "$installer" /S "/D=C:\\$folder" || fail "the installer failed"
[ -f "$install_dir/Uninstall.exe" ] || fail "nothing installed in $install_dir"
(cd "$install_dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$work/installed.files"
{ cat "$work/zip.files"; echo Uninstall.exe; } | LC_ALL=C sort >"$work/expected.files"
diff "$work/expected.files" "$work/installed.files" >&2 || fail "the installer installs other files than the ZIP holds"
"$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\msgservice' >/dev/null 2>&1 ||
    fail "no uninstall entry in the registry"

step "the installed msgexport"
[ "$(run "$install_dir/bin/msgexport.exe" --version | head -n 1)" = "$banner" ] ||
    fail "msgexport --version: $(run "$install_dir/bin/msgexport.exe" --version 2>&1)"
TZ=UTC run "$install_dir/bin/msgexport.exe" --quiet "$(win_path "$sample")" >"$work/installed.txt"
TZ=UTC run "$build/bin/msgexport.exe" --quiet "$(win_path "$sample")" >"$work/built.txt"
if [ ! -s "$work/installed.txt" ] || ! cmp -s "$work/installed.txt" "$work/built.txt"; then
    diff "$work/built.txt" "$work/installed.txt" | head -20 >&2 || true
    fail "the installed msgexport exports the sample differently from the build's"
fi
echo "exported the sample: $(wc -l <"$work/installed.txt") lines, as the build's msgexport does"

step "the uninstaller, silently"
# It copies itself to the temporary folder, starts the copy and returns; the
# copy is done when Wine's server has nothing left to run.
"$wine" "$install_dir/Uninstall.exe" /S || fail "the uninstaller failed"
"$wineserver" -w
if [ -e "$install_dir" ]; then
    find "$install_dir" >&2
    fail "left in C:\\$folder after uninstalling"
fi
! registered || fail "registry keys left: $(grep -Ei "$keys" "$WINEPREFIX/system.reg")"
shortcuts=$(find "$WINEPREFIX/drive_c" -path '*/Start Menu/*' -iname '*msgservice*' 2>/dev/null || true)
[ -z "$shortcuts" ] || fail "Start menu entries left: $shortcuts"

echo "== Windows installer checked in $((SECONDS - start)) s: $(du -k "$installer" | cut -f1) KiB installer, $(du -k "$zip" | cut -f1) KiB ZIP"
