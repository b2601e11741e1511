#!/usr/bin/env bash
# Installs what is missing, then runs every test: the normal build (warnings
# as errors), the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the fuzz targets for a minute each.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"
"$root/scripts/setup.sh"

echo "== build and test"
"$root/scripts/build.sh" build -DTILLORA_WERROR=ON
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

echo "== sanitizers (ASan + UBSan)"
"$root/scripts/build.sh" build-asan -DTILLORA_WERROR=ON -DTILLORA_SANITIZE=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"

echo "== threads (TSan) over the components that run workers"
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DTILLORA_WERROR=ON -DTILLORA_TSAN=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
# shellcheck disable=SC2046
cmake --build "$root/build-tsan" --target $(cat "$root/scripts/tsan-targets.txt")
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir "$root/build-tsan" --output-on-failure -j "$jobs" -R "$(cat "$root/scripts/tsan-tests.txt")"

echo "== fuzzing"
cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DTILLORA_FUZZ=ON -DTILLORA_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
# Only the fuzz programs: the suite already ran under the sanitizers above.
cmake --build "$root/build-fuzz" --target fuzz_parse fuzz_call_function
"$root/scripts/fuzz.sh" "$root/build-fuzz" "${TILLORA_FUZZ_SECONDS:-60}"
echo "== all tests passed"
