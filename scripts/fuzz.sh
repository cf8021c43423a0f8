#!/usr/bin/env bash
# make fuzz: builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, 32-bit) into build/fuzz, writes their seed corpora and runs
# each target in turn, one process at a time, for FUZZ_SECONDS (default 180).
#   FUZZ_SECONDS=1800 FUZZ_TARGETS="jpeg_decoder bmp" make fuzz
# The corpora grow in build/fuzz/corpus/<target> from run to run; logs go to
# build/fuzz/logs/<target>-<time>.log, inputs that broke a target to
# build/fuzz/artifacts/<target>/.
# A broken target fails the run: turn its input into a file under
# tests/fuzz/regressions/<target>/, which make test replays in both builds.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-$root/build}
out=$build/fuzz
seconds=${FUZZ_SECONDS:-180}
targets=${FUZZ_TARGETS:-jpeg_decoder bmp icon quantiser}

bash "$root/scripts/build-libjpeg.sh" fuzz "$build/deps"
test -f "$out/CMakeCache.txt" || cmake -S "$root" -B "$out" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/host-i386.cmake" \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DVANTOREL_SANITIZE=ON -DVANTOREL_FUZZ=ON -DLIBJPEG_PREFIX="$build/deps/fuzz" >/dev/null
programs=(fuzz_seeds)
for t in $targets; do programs+=("fuzz_$t"); done
cmake --build "$out" -j2 --target "${programs[@]}"
"$out/tests/fuzz/fuzz_seeds" "$out/seeds"

# Huge allocations fail as they do in a 32-bit process, rather than ending the run.
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1
failed=()
for t in $targets; do
  log=$out/logs/$t-$(date +%Y%m%d-%H%M%S).log
  mkdir -p "$out/corpus/$t" "$out/artifacts/$t" "$out/logs"
  echo "fuzz: $t for ${seconds}s"
  if "$out/tests/fuzz/fuzz_$t" "$out/corpus/$t" "$out/seeds/$t" \
       -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=65536 \
       -artifact_prefix="$out/artifacts/$t/" -print_final_stats=1 \
       >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" || true
  else
    failed+=("$t")
    echo "fuzz: $t broke; see $log and $out/artifacts/$t/"
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz: broken targets: ${failed[*]}"; exit 1; }
