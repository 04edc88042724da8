#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for FUZZ_SECONDS (default 300)
# on a copy of its seed corpus. A finding stops the script with the target's
# crash file in build-fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-300}
build=${FUZZ_BUILD:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPAGRIM_FUZZ=ON $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=detect_leaks=0
for target in "$build"/fuzz_*; do
    name=$(basename "$target")
    seeds=fuzz/corpus/${name#fuzz_}
    work="$build/corpus/$name"
    findings="$build/findings/$name"
    mkdir -p "$work" "$findings"
    cp -n "$seeds"/* "$work"/ 2>/dev/null || true
    echo "== $name: ${seconds} s"
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" 2>&1 | tail -n 12
done
