#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs the ones named, or all of them.
#   scripts/bench.sh                 every benchmark
#   scripts/bench.sh bench_normalize one executable (Google Benchmark flags may follow)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFENLARK_BUILD_TESTS=OFF -DFENLARK_BUILD_BENCH=ON
cmake --build "$build"
if [ $# -gt 0 ]; then
  name="$1"; shift
  exec "$build/bench/$name" "$@"
fi
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] && "$b"
done
