#!/usr/bin/env bash
# Builds msgexport and the bundled sample backup, then exports the sample's
# conversations as text to standard output (and as HTML into build/sample-html).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh runtime

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DMSGSERVICE_BUILD_TESTS=OFF -DMSGSERVICE_BUILD_BENCH=OFF
cmake --build build/release -j "$(nproc)"

sample=build/release/examples/sample-backup
build/release/tools/msgexport/msgexport --quiet "$sample"
build/release/tools/msgexport/msgexport --quiet --format html --output build/sample-html "$sample"
echo "HTML export: build/sample-html/index.html"
