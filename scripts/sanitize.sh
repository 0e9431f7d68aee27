#!/usr/bin/env bash
# Builds the programs and every test with GCC's AddressSanitizer and
# UndefinedBehaviorSanitizer (with float-cast-overflow, which "undefined"
# leaves out) in build-asan, and runs the tests there. Any sanitizer report
# ends the test that raised it, so that it fails. Leaks inside Qt that are
# none of ours are listed in scripts/lsan_suppressions.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
flags="-fsanitize=address,undefined -fsanitize=float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_CXX_FLAGS="$flags" \
  -DVELDRA_BUILD_BENCH=OFF
cmake --build build-asan

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:print_stacktrace=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan_suppressions.txt:print_suppressions=0
ctest --test-dir build-asan --output-on-failure
