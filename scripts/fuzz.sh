#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz and runs each for SECONDS
# seconds (the argument, 30 by default) on a copy of its seed corpus in
# tests/fuzz/corpus/<name>/. New inputs go to build-fuzz/work/, removed at the
# end, never into the repository; an input that makes a target fail is kept in
# build-fuzz/findings/<name>/, and the script then fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVELDRA_BUILD_FUZZERS=ON -DVELDRA_BUILD_WINDOWS=OFF -DVELDRA_BUILD_BENCH=OFF
cmake --build build-fuzz --target veldra_fuzzers

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:print_stacktrace=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
work=build-fuzz/work
rm -rf "$work" build-fuzz/findings
trap 'rm -rf "$work"' EXIT
failed=()
for seeds in tests/fuzz/corpus/*/; do
  name=$(basename "$seeds")
  max_len=4096
  [ "$name" = free_format ] && max_len=4
  mkdir -p "$work/$name" build-fuzz/findings/"$name"
  cp -r "$seeds". "$work/$name/"
  if build-fuzz/tests/fuzz/fuzz_"$name" "$work/$name" -max_total_time="$seconds" -max_len="$max_len" \
       -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 \
       -artifact_prefix=build-fuzz/findings/"$name"/ >"$work/$name.log" 2>&1; then
    echo "fuzz $name: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$name.log" | tail -1)"
  else
    echo "fuzz $name: FAILED; the input is in build-fuzz/findings/$name/" >&2
    tail -n 40 "$work/$name.log" >&2
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
