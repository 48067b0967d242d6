#!/usr/bin/env bash
# msgexport's media step. Prints a Markdown section:
#  - thumbnails of 12-megapixel HEIC photos (4032 x 3024): libheif's own
#    heif-convert to JPEG, one process per photo with as many at once as
#    there are cores (the floor), against msgmediabench convert (decode, a
#    full-size JPEG and a 1024-pixel thumbnail per photo, a worker per core);
#  - a backup's worth of media (PHOTOS 1600 x 1200 HEIC photos, VIDEOS
#    H.264 movies, VOICES Opus voice messages) converted once, then again
#    into the same folder (which must convert nothing);
#  - peak RSS of each run.
#
# Usage: bench/media.sh [BIG PHOTOS VIDEOS VOICES]   (default 24 200 20 40)
# BUILD_DIR (build-bench) and JOBS (2) as in export.sh; MSGMEDIABENCH names a
# built binary instead (nothing is built then); MSGBENCH_CACHE the folder of
# the generated files (kept: encoding them is slow).
set -euo pipefail
cd "$(dirname "$0")/.."

big=${1:-24}
photos=${2:-200}
videos=${3:-20}
voices=${4:-40}
build=${BUILD_DIR:-build-bench}
cache=${MSGBENCH_CACHE:-$build/bench-media}

if [ -z "${MSGMEDIABENCH:-}" ]; then
    fresh=()
    [ -f "$build/CMakeCache.txt" ] || fresh=(-G Ninja -DMSGSERVICE_BUILD_TESTS=OFF)
    cmake -S . -B "$build" "${fresh[@]}" -DCMAKE_BUILD_TYPE=Release -DMSGSERVICE_BUILD_BENCH=ON \
        -DMSGSERVICE_BUILD_TOOLS=ON >/dev/null
    cmake --build "$build" --target msgmediabench -j "${JOBS:-2}" >&2
    MSGMEDIABENCH=$build/bench/msgmediabench
fi
for tool in /usr/bin/time heif-convert; do
    command -v "$tool" >/dev/null || { echo "media.sh: needs $tool (scripts/install-deps.sh bench)" >&2; exit 1; }
done
cores=$(nproc)

"$MSGMEDIABENCH" generate "$cache/big" 4032 "$big"
"$MSGMEDIABENCH" generate "$cache/backup" 1600 "$photos" "$videos" "$voices"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a command under /usr/bin/time; prints its wall-clock seconds, peak
# RSS in KiB and CPU seconds (user and system, children included), and
# leaves its output in $work/out.txt.
timed() {
    /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" >"$work/out.txt" 2>"$work/err.txt" || {
        echo "media.sh: failed: $*" >&2
        cat "$work/err.txt" >&2
        exit 1
    }
    awk '{ print $1, $2, $3 + $4 }' "$work/time"
}

mkdir -p "$work/floor"
# shellcheck disable=SC2016
read -r floor_s floor_rss floor_cpu < <(timed bash -c 'ls "$1"/*.heic | xargs -P "$2" -I{} sh -c '"'"'heif-convert -q 85 "$1" "$2/$(basename "$1").jpg" >/dev/null'"'"' _ {} "$3"' \
    _ "$cache/big" "$cores" "$work/floor")
read -r ours_s ours_rss ours_cpu < <(timed "$MSGMEDIABENCH" convert "$work/ours" "$cache"/big/*.heic)
ours_line=$(cat "$work/out.txt")
read -r backup_s backup_rss backup_cpu < <(timed "$MSGMEDIABENCH" convert "$work/backup" "$cache"/backup/*)
backup_line=$(cat "$work/out.txt")
read -r again_s again_rss again_cpu < <(timed "$MSGMEDIABENCH" convert "$work/backup" "$cache"/backup/*)
again_line=$(cat "$work/out.txt")

per() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.2f", n / s }'; }
echo "## msgexport media step"
echo
echo "\`bench/media.sh $big $photos $videos $voices\` on $cores cores ($(date -u +%Y-%m-%d))."
echo
echo "| Run | Files | Seconds | Files/s | CPU seconds | Peak RSS (MiB) |"
echo "|---|---|---|---|---|---|"
echo "| heif-convert, 12-MP HEIC to JPEG, $cores at once (floor) | $big | $floor_s | $(per "$big" "$floor_s") | $floor_cpu | $((floor_rss / 1024)) (one process) |"
echo "| msgexport: 12-MP HEIC to JPEG + thumbnail | $big | $ours_s | $(per "$big" "$ours_s") | $ours_cpu | $((ours_rss / 1024)) |"
echo "| msgexport: backup's media ($photos photos, $videos videos, $voices voice messages) | $((photos + videos + voices)) | $backup_s | $(per "$((photos + videos + voices))" "$backup_s") | $backup_cpu | $((backup_rss / 1024)) |"
echo "| the same again into the same folder | $((photos + videos + voices)) | $again_s | $(per "$((photos + videos + voices))" "$again_s") | $again_cpu | $((again_rss / 1024)) |"
echo
echo "Ratio to the floor per photo: $(awk -v a="$ours_s" -v b="$floor_s" 'BEGIN { printf "%.2f", a / b }') in wall-clock time," \
    "$(awk -v a="$ours_cpu" -v b="$floor_cpu" 'BEGIN { printf "%.2f", a / b }') in CPU time (target: at most 1.3)."
echo "Converted / reused / failed: first run $(echo "$backup_line" | awk '{ print $4 " / " $5 " / " $6 }'), second run $(echo "$again_line" | awk '{ print $4 " / " $5 " / " $6 }')."
