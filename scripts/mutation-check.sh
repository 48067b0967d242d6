#!/usr/bin/env bash
# Measures what the test suite catches: applies each single-line fault of a
# list to a scratch copy of the tree, one at a time, builds it incrementally,
# runs the plain suite and prints "caught" or "missed" per fault.
#
#   scripts/mutation-check.sh [LIST] [FIRST [LAST]]
#
# LIST defaults to scripts/mutations.txt; FIRST and LAST (1-based, among the
# faults) run a part of it. Each line of the list is
#   file | exact text, found exactly once | replacement | what mistake it is
# and blank lines and lines starting with '#' are skipped. A fault whose build
# fails counts as caught only when its description starts with "(build)".
# MSGSERVICE_MUTATION_DIR sets the scratch folder (a temporary one by default,
# removed at the end; a given one is kept and reused, and a fault left applied
# by an interrupted run is undone when it is reused).
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
list=$(realpath "${1:-$source_dir/scripts/mutations.txt}")
first=${2:-1}
last=${3:-1000000}

if [[ -n ${MSGSERVICE_MUTATION_DIR:-} ]]; then
    scratch=$MSGSERVICE_MUTATION_DIR
    mkdir -p "$scratch"
else
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/mutation-check.XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
fi
tree=$scratch/tree
build=$scratch/build

# One copy of the tracked files and one configured build, reused per fault.
# A scratch folder given again gets only the files that differ, so that its
# build redoes only what they change.
mkdir -p "$tree"
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard) | while IFS= read -r -d '' file; do
    [[ -f $source_dir/$file ]] || continue
    if ! cmp -s "$source_dir/$file" "$tree/$file"; then
        mkdir -p "$(dirname "$tree/$file")" && cp "$source_dir/$file" "$tree/$file" || exit 1
    fi
done || exit 1
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$scratch/configure.log" 2>&1 \
    || { echo "configure failed, see $scratch/configure.log" >&2; exit 1; }
nice cmake --build "$build" -j 2 >"$scratch/build.log" 2>&1 \
    || { echo "the unchanged tree does not build, see $scratch/build.log" >&2; exit 1; }

# Replaces the text in the file, or fails when it is not there exactly once.
apply() { # file find replace
    python3 - "$@" <<'EOF'
import sys
path, find, replace = sys.argv[1:4]
text = open(path, encoding="utf-8").read()
count = text.count(find)
if count != 1:
    sys.exit(f"found {count} times in {path}: {find}")
open(path, "w", encoding="utf-8").write(text.replace(find, replace))
EOF
}

caught=0
missed=0
index=0
while IFS= read -r line || [[ -n $line ]]; do
    [[ -z ${line// } || $line == \#* ]] && continue
    index=$((index + 1))
    ((index < first || index > last)) && continue
    IFS=$'\x1f' read -r file find replace what <<<"${line// | /$'\x1f'}"
    if [[ -z $file || -z $find || -z $what ]]; then
        echo "line $index is not 'file | find | replace | what': $line" >&2
        exit 1
    fi
    cp "$tree/$file" "$scratch/original" || exit 1
    apply "$tree/$file" "$find" "$replace" || exit 1
    started=$SECONDS
    if ! nice cmake --build "$build" -j 2 </dev/null >"$scratch/fault-$index.log" 2>&1; then
        if [[ $what == "(build)"* ]]; then result=caught; else result="build-failed"; fi
    # Without the cost data of earlier runs ctest starts with the fast unit
    # tests, which catch most faults before the slow ones would have begun.
    elif rm -f "$build/Testing/Temporary/CTestCostData.txt" &&
        nice ctest --test-dir "$build" -j 2 --stop-on-failure --timeout 300 </dev/null >>"$scratch/fault-$index.log" 2>&1; then
        result=missed
    else
        result=caught
    fi
    # The file's time stamp moves on, so the next build sees it changed back.
    cp "$scratch/original" "$tree/$file"
    touch "$tree/$file"
    case $result in
    caught) caught=$((caught + 1)) ;;
    missed) missed=$((missed + 1)) ;;
    *) echo "fault $index does not build; mark it (build) or change it, see $scratch/fault-$index.log" >&2
       missed=$((missed + 1)) ;;
    esac
    by=$(sed -n '/tests FAILED/,$p' "$scratch/fault-$index.log" | grep -m1 -oE '[0-9]+ - [^ ]+' | sed 's/^[0-9]* - //')
    printf '%-7s %2d %4ss %s: %s%s\n' "$result" "$index" $((SECONDS - started)) "$file" "$what" \
        "${by:+ [$by]}"
done <"$list"

# Leave the build as the unchanged tree makes it.
nice cmake --build "$build" -j 2 >/dev/null 2>&1
echo "$caught caught, $missed missed"
