#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors,
# checks the formatting, runs each fuzzer briefly, then runs the whole test suite, then builds
# the Debian package and drives what it holds.
#   bash scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh --tests
jobs=$(nproc)

echo "== formatting"
mapfile -t sources < <(git ls-files '*.h' '*.cpp' '*.c' 2>/dev/null || find include src tests modules bench -name '*.[ch]' -o -name '*.cpp' 2>/dev/null)
if ((${#sources[@]})); then
    clang-format --dry-run --Werror "${sources[@]}"
fi

echo "== fuzzers (clang, libFuzzer)"
fuzz_build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$fuzz_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORV_FUZZ=ON -DORV_SANITIZE=ON -DORV_WERROR=ON >/dev/null
fuzzers=$(cmake --build "$fuzz_build" --target help | sed -n 's/^\(fuzz_[a-z_0-9]*\):.*/\1/p')
# shellcheck disable=SC2086
cmake --build "$fuzz_build" -j "$jobs" --target $fuzzers
for f in $fuzzers; do
    name=${f#fuzz_}
    work=$(mktemp -d)
    # A short run from the seed corpus; new inputs go to a scratch folder, not the repository.
    "$fuzz_build/tests/fuzz/$f" -max_total_time="${ORV_FUZZ_SECONDS:-20}" -max_len=65536 \
        -print_final_stats=1 "$work" "tests/fuzz/$name/corpus" >"$work.log" 2>&1 ||
        { tail -50 "$work.log"; exit 1; }
    echo "$f: $(grep -o 'stat::number_of_executed_units: [0-9]*' "$work.log" || tail -1 "$work.log")"
    rm -rf "$work" "$work.log"
done

echo "== build (AddressSanitizer + UndefinedBehaviorSanitizer)"
build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORV_SANITIZE=ON -DORV_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs"

echo "== tests"
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$build" && ctest -j "$jobs" --output-on-failure --timeout 300)

echo "== package (Release build, lintian, the unpacked program with ffmpeg and curl)"
bash tests/packaging/package_test.sh
