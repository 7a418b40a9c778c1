#!/usr/bin/env bash
# Fuzzes every reader: builds the libFuzzer targets of fuzz/ with clang
# (AddressSanitizer, UndefinedBehaviorSanitizer with float-cast-overflow) and
# runs each for the given number of seconds, then reports per target the
# executions, executions per second, coverage and findings.
#
#   scripts/fuzz.sh [seconds per target] [target ...]
#
# Default 60 s, every target of fuzz/targets.cmake. Environment:
#   FENLARK_FUZZ_BUILD   build folder (default build/fuzz)
#   FENLARK_FUZZ_JOBS    targets fuzzed side by side (default 1)
#   FENLARK_FUZZ_BUILD_JOBS  compile jobs (default: the machine's cores)
#   FENLARK_FUZZ_TIMEOUT     seconds one input may take (default 10)
#   FENLARK_FUZZ_MEMORY_MB   memory one run may hold and one allocation may
#                            ask for, in MB (default 2048)
#   FENLARK_FUZZ_SLOW        an input taking longer than this many seconds is
#                            kept as a slow unit (default 2)
#   FENLARK_FUZZ_TMPDIR      where the targets write their inputs (default
#                            /dev/shm where it is writable: each input is
#                            written and read back as a file, and on a disk
#                            the writes cost several times the reading)
#
# A reader that needs more than the time or memory limit on a small file has
# already frozen or killed a user's window: those inputs are findings (timeout-,
# oom-), as are crashes, leaks and sanitizer reports (crash-, leak-). Slow
# units (slow-unit-) do not stop the run but are findings too.
#
# A target may have a dictionary (fuzz/<target>.dict) and libFuzzer options
# of its own (fuzz/<target>.options, one per line). Each target starts from
# its seeds (fuzz/corpus/<target>/) and minimised
# findings (fuzz/regressions/<target>/), plus what earlier runs in the same
# build folder added (<build>/corpus/<target>/; the committed seeds are never
# written to). A finding stops its target's run and is left in
# <build>/findings/<target>/ (emptied when the target's next run starts);
# minimise it with
#   <build>/fuzz/fuzz_<target> -minimize_crash=1 -runs=100000 <finding>
# mend the reader and keep the minimised input in fuzz/regressions/<target>/,
# where the test build replays it (tests/fuzz/).
#
# Coverage counts the edges of the project's own code only: GDAL, libtiff,
# OpenJPEG, GeographicLib and the C++ library are the system's uninstrumented
# builds, so the fuzzer neither steers by their code nor checks its memory
# accesses.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
shift || true

"$root/scripts/install-deps.sh"
# clang with libFuzzer's runtime and its OpenMP, installed as install-deps.sh
# installs the rest.
fuzz_packages=(clang libclang-rt-dev libomp-dev)
missing=()
for p in "${fuzz_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "fuzz: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build="${FENLARK_FUZZ_BUILD:-$root/build/fuzz}"
parallel="${FENLARK_FUZZ_JOBS:-1}"
timeout="${FENLARK_FUZZ_TIMEOUT:-10}"
memory="${FENLARK_FUZZ_MEMORY_MB:-2048}"
slow="${FENLARK_FUZZ_SLOW:-2}"
scratch="${FENLARK_FUZZ_TMPDIR:-}"
if [ -z "$scratch" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch=/dev/shm; fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DFENLARK_FUZZ=ON -DFENLARK_SANITIZE=OFF -DFENLARK_BUILD_TESTS=OFF -DFENLARK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${FENLARK_FUZZ_BUILD_JOBS:-$(nproc)}" --target fenlark_fuzz

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(sed -n 's/^fenlark_fuzz_target(\([a-z0-9_]*\).*/\1/p' "$root/fuzz/targets.cmake")
fi

# One run of one target; its log is <build>/logs/<target>.log.
fuzz_one() {
  local target="$1"
  local corpus="$build/corpus/$target" findings="$build/findings/$target" log="$build/logs/$target.log"
  rm -rf "$findings"
  mkdir -p "$corpus" "$findings" "$build/logs"
  local seeds=()
  for dir in "$root/fuzz/corpus/$target" "$root/fuzz/regressions/$target"; do
    [ -d "$dir" ] && seeds+=("$dir")
  done
  local options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/"
                 -timeout="$timeout" -report_slow_units="$slow"
                 -rss_limit_mb="$memory" -malloc_limit_mb="$memory" -close_fd_mask=1)
  [ -f "$root/fuzz/$target.dict" ] && options+=(-dict="$root/fuzz/$target.dict")
  # Options of the target's own (one per line), e.g. its largest input.
  if [ -f "$root/fuzz/$target.options" ]; then
    while read -r option; do
      [ -n "$option" ] && options+=("$option")
    done <"$root/fuzz/$target.options"
  fi
  # The readers' own threads stay single: runs are compared by coverage,
  # and other targets may be running beside this one.
  TMPDIR="${scratch:-${TMPDIR:-/tmp}}" OMP_NUM_THREADS=1 \
  ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:${ASAN_OPTIONS:-}" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$build/fuzz/fuzz_$target" "${options[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1 || true
}

running=0
for target in "${targets[@]}"; do
  if [ ! -x "$build/fuzz/fuzz_$target" ]; then
    echo "fuzz: no target $target" >&2
    exit 2
  fi
  echo "fuzz: $target for $seconds s"
  fuzz_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

printf '\n%-24s %14s %10s %8s %8s %9s  %s\n' target executions exec/s edges features corpus findings
status=0
for target in "${targets[@]}"; do
  log="$build/logs/$target.log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  edges=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  features=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  files=$(find "$build/corpus/$target" -type f | wc -l)
  # Findings by kind: the prefix libFuzzer gives each artifact.
  found=$(find "$build/findings/$target" -type f | wc -l)
  kinds="none"
  if [ "$found" -gt 0 ]; then
    kinds=$(find "$build/findings/$target" -type f -printf '%f\n' | sed 's/-[0-9a-f]*$//' | sort | uniq -c \
      | awk '{printf "%s%s %s", sep, $1, $2; sep=", "}')
  fi
  printf '%-24s %14s %10s %8s %8s %9s  %s\n' "$target" "${runs:-?}" "${speed:-?}" "${edges:-?}" \
    "${features:-?}" "$files" "$kinds"
  if [ "$found" -gt 0 ]; then
    status=1
    find "$build/findings/$target" -type f | sed 's/^/    /'
  fi
done
echo "logs: $build/logs/"
exit $status
