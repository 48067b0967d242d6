#!/usr/bin/env bash
# msgexport's throughput: for each backup profile, a generated backup of
# MESSAGES messages (default 1 000 000) exported as text, JSON, HTML and (when
# built in) PDF with --quiet (text and JSON to /dev/null, HTML and PDF into a
# new folder), against a
# load alone of the same backup (msgbench --load-once, another process).
# Prints a Markdown section: medians of the wall-clock times, the writing's
# rate (messages over export minus load), the load's share and the peaks, and
# the same from CPU time (user and system), which other jobs on the machine
# disturb less.
#
# Usage: bench/export.sh [MESSAGES]
# MSGBENCH_PROFILES (default,short,media), MSGBENCH_RUNS (3), BUILD_DIR
# (build-bench) and JOBS (2) change the defaults. MSGBENCH and MSGEXPORT name
# built binaries instead (nothing is built then), MSGBENCH_CACHE the folder
# of the generated backups.
set -euo pipefail
cd "$(dirname "$0")/.."

messages=${1:-1000000}
profiles=${MSGBENCH_PROFILES:-default,short,media}
runs=${MSGBENCH_RUNS:-3}
build=${BUILD_DIR:-build-bench}
cache=${MSGBENCH_CACHE:-$build/bench-backups}

if [ -z "${MSGBENCH:-}" ] || [ -z "${MSGEXPORT:-}" ]; then
    fresh=()
    [ -f "$build/CMakeCache.txt" ] || fresh=(-G Ninja -DMSGSERVICE_BUILD_TESTS=OFF)
    cmake -S . -B "$build" "${fresh[@]}" -DCMAKE_BUILD_TYPE=Release -DMSGSERVICE_BUILD_BENCH=ON \
        -DMSGSERVICE_BUILD_TOOLS=ON >/dev/null
    cmake --build "$build" --target msgbench msgexport -j "${JOBS:-2}" >&2
    MSGBENCH=$build/bench/msgbench
    MSGEXPORT=$build/tools/msgexport/msgexport
fi
[ -x /usr/bin/time ] || { echo "export.sh: needs /usr/bin/time (scripts/install-deps.sh bench)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a command `runs` times; prints the median wall-clock seconds, the
# median peak RSS in KiB and the median CPU seconds of the process.
measure() {
    local i mid=$(((runs + 1) / 2))
    : >"$work/times"
    for ((i = 0; i < runs; ++i)); do
        rm -rf "$work/out"
        /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
            echo "export.sh: failed: $*" >&2
            cat "$work/stderr" >&2
            exit 1
        }
        awk '{ print $1, $2, $3 + $4 }' "$work/time" >>"$work/times"
    done
    echo "$(sort -n -k1,1 "$work/times" | sed -n "${mid}p" | cut -d' ' -f1)" \
        "$(sort -n -k2,2 "$work/times" | sed -n "${mid}p" | cut -d' ' -f2)" \
        "$(sort -n -k3,3 "$work/times" | sed -n "${mid}p" | cut -d' ' -f3)"
}

echo "## msgexport throughput"
echo
echo "\`bench/export.sh $messages\` (run by \`bench/run.sh\` at its largest size, for every profile) times \`msgexport --quiet\`"
echo "as a user runs it, text and JSON to /dev/null and HTML into a new folder, and a load alone of the same backup"
echo "(\`msgbench --load-once\`, a process of its own, so that both include starting a process). Each is run $runs"
echo "times; the table takes the median wall-clock time (\`/usr/bin/time\` \`%e\`), the median peak RSS of the process"
echo "(\`%M\`) and the median CPU time (\`%U\` plus \`%S\`), which other jobs on the machine disturb less. The writing is"
echo "the export's time minus the load's, its rate the messages over that difference, the load share the load over"
echo "the export. Targets: writing at 1 000 000 (text), 700 000 (JSON) and 400 000 (HTML) messages a second, end to"
echo "end within 1.3 times the load (HTML 1.5), peak RSS within the load's plus 64 MiB. CI runs the script once at"
echo "10 000 messages as a smoke; those times judge nothing. PDF (when built in): end to end within 3 times the HTML"
echo "export, peak RSS within the load's plus 128 MiB."
echo
echo "| Profile | Format | End to end (s) | Load (s) | Writing (s) | Writing (messages/s) | Load share | Peak RSS (MiB) | Load's peak (MiB) | CPU end to end / load (s) | Writing by CPU (messages/s) | Targets |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"
IFS=, read -r -a names <<<"$profiles"
formats=(text json html)
"$MSGEXPORT" --version | grep -q "not built in" || formats+=(pdf)
for profile in "${names[@]}"; do
    folder=$("$MSGBENCH" --profile "$profile" --sizes "$messages" --cache "$cache" --generate-only |
        sed -n 's/.* ready in .* s (\(.*\))$/\1/p')
    [ -d "$folder" ] || { echo "export.sh: no backup for $profile" >&2; exit 1; }
    result=$(measure "$MSGBENCH" --load-once "$folder")
    read -r load loadPeak loadCpu <<<"$result"
    html=0
    for format in "${formats[@]}"; do
        output=()
        case $format in html | pdf) output=(--output "$work/out") ;; esac
        result=$(measure "$MSGEXPORT" --quiet --format "$format" "${output[@]}" "$folder")
        read -r total peak cpu <<<"$result"
        [ "$format" = html ] && html=$total
        awk -v p="$profile" -v f="$format" -v n="$messages" -v t="$total" -v l="$load" -v m="$peak" -v lm="$loadPeak" \
            -v c="$cpu" -v lc="$loadCpu" -v h="$html" 'BEGIN {
            # A writing of no time (a load slower than the export) says only that the machine was busy.
            w = t - l; rate = w > 0 ? sprintf("%.0f", n / w) : "n/a"; wc = c - lc; cpuRate = wc > 0 ? sprintf("%.0f", n / wc) : "n/a"
            goal = f == "text" ? 1000000 : f == "json" ? 700000 : 400000
            ratio = f == "html" ? 1.5 : 1.3
            met = (w > 0 && n / w >= goal) && t <= ratio * l && m <= lm + 65536
            # PDF: within three times the HTML export, its memory bounded by the largest conversation.
            if (f == "pdf") met = t <= 3 * h && m <= lm + 131072
            printf "| %s | %s | %.2f | %.2f | %.2f | %s | %.0f %% | %.0f | %.0f | %.2f / %.2f | %s | %s |\n", p, f, t, l,
                w, rate, 100 * l / t, m / 1024, lm / 1024, c, lc, cpuRate, met ? "met" : "**not met**" }'
    done
done
echo
cat bench/export-notes.md
