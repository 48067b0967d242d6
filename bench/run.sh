#!/usr/bin/env bash
# The load benchmark in one command: a Release build, the synthetic backups of
# every profile (generated once, cached in the build folder), 10 000, 100 000
# and 1 000 000 messages timed against the floor, then docs/performance.md and
# its plots (docs/performance.png, docs/performance-PROFILE.png) rewritten.
# Installs what it needs when gnuplot is missing.
#
# BUILD_DIR (build-bench), MSGBENCH_PROFILES (default,short,media),
# MSGBENCH_SIZES (10000,100000,1000000), MSGBENCH_RUNS (5), JOBS (2) and
# MSGBENCH_VIEW_MESSAGES (100000, the computer backup's size) change the defaults.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build-bench}
profiles=${MSGBENCH_PROFILES:-default,short,media}
sizes=${MSGBENCH_SIZES:-10000,100000,1000000}
runs=${MSGBENCH_RUNS:-5}
jobs=${JOBS:-2}
view_messages=${MSGBENCH_VIEW_MESSAGES:-100000}

{ command -v gnuplot && [ -x /usr/bin/time ]; } >/dev/null || scripts/install-deps.sh bench

# A new build folder gets only what the benchmark needs; an existing one keeps
# its other settings (its tests, say) and is switched to Release.
fresh=()
[ -f "$build/CMakeCache.txt" ] || fresh=(-G Ninja -DMSGSERVICE_BUILD_TESTS=OFF)
cmake -S . -B "$build" "${fresh[@]}" -DCMAKE_BUILD_TYPE=Release -DMSGSERVICE_BUILD_BENCH=ON -DMSGSERVICE_BUILD_TOOLS=ON >/dev/null
cmake --build "$build" --target msgbench msgviewbench msgexport -j "$jobs"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# Backups first, then written out, so that no writeback of a new backup runs
# under the measurements.
IFS=, read -r -a names <<<"$profiles"
for profile in "${names[@]}"; do
    "$build/bench/msgbench" --profile "$profile" --sizes "$sizes" --cache "$build/bench-backups" --generate-only
done
sync
uptime
mkdir -p docs
pages=()
for profile in "${names[@]}"; do
    "$build/bench/msgbench" --profile "$profile" --sizes "$sizes" --runs "$runs" --cache "$build/bench-backups" \
        --markdown "$out/$profile.md" --data "$out/$profile.dat"
    plot=docs/performance-$profile.png
    [ "$profile" = default ] && plot=docs/performance.png
    gnuplot -e "datafile='$out/$profile.dat'; outfile='$plot'; profile='$profile'" bench/performance.gp
    pages+=("$out/$profile.md")
done
MSGBENCH="$build/bench/msgbench" MSGEXPORT="$build/tools/msgexport/msgexport" MSGBENCH_CACHE="$build/bench-backups" \
    MSGBENCH_PROFILES="$profiles" bench/export.sh "${sizes##*,}" >"$out/export.md"
{
    printf '## Opening a computer backup\n\n'
    printf '`msgviewbench` writes the default backup of %s messages as a computer backup, plain and encrypted, and\n' "$view_messages"
    printf 'times `VexoBackup::makeBackupView` on each: links for the plain one, decrypted files for the encrypted ones.\n\n'
    "$build/bench/msgviewbench" --messages "$view_messages" --runs "$runs" --cache "$build/bench-backups"
    echo
} >"$out/view.md"
cat "${pages[@]}" "$out/export.md" "$out/view.md" bench/performance-notes.md > docs/performance.md
echo "run.sh: wrote docs/performance.md and its plots"
