#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the engine's fuzz targets with clang into BUILD and runs each for
# SECONDS over the seeds SEED_MAKER writes and the inputs kept in
# tests/fuzz/corpus/; fails when a target finds a fault (the input is kept
# in BUILD/artifacts/).
#   run_fuzzers.sh CLANGXX SEED_MAKER BUILD SECONDS
set -euo pipefail
clangxx=$1 seed_maker=$2 build=$3 seconds=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$build"

# Without its runtimes clang cannot build a fuzzer: the test is skipped.
probe=$build/probe.cpp
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' > "$probe"
if ! "$clangxx" -fsanitize=fuzzer,address,undefined "$probe" -o "$build/probe" 2>/dev/null; then
  echo "engine_fuzz: $clangxx cannot link libFuzzer with the sanitizers (libclang-rt-dev missing?); skipped"
  exit 77
fi

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER="$clangxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2
rm -rf "$build/seeds"
"$seed_maker" "$build/seeds"
mkdir -p "$build/artifacts"

# Each target learns into its own corpus in BUILD, which later runs start
# from. The files an input becomes go to memory where there is some.
[ ! -w /dev/shm ] || export TMPDIR=/dev/shm
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1
for target in song_map kept_piece kept_gain self_contained_frame; do
  case $target in
    self_contained_frame) seeds=$build/seeds/frames ;;
    *) seeds=$build/seeds/songs ;;
  esac
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  inputs=("$corpus" "$seeds")
  [ ! -d "$here/corpus/$target" ] || inputs+=("$here/corpus/$target")
  log=$build/$target.log
  echo "== $target: $seconds s"
  if ! "$build/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "${inputs[@]}" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "engine_fuzz: $target found a fault; the input is in $build/artifacts/, the whole log in $log"
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log" || true
done
