#!/usr/bin/env bash
# make fuzz: builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, 32-bit) into build/fuzz, writes their seed corpora and runs
# each target in turn, one process at a time, for FUZZ_SECONDS (default 180).
#   FUZZ_SECONDS=1800 FUZZ_TARGETS="jpeg_decoder bmp" make fuzz
# The real pictures of FUZZ_PICTURES (default: the test images of the libjpeg-turbo source
# package the build fetched) seed the JPEG, BMP and icon targets, copied at run time,
# never kept in the tree; FUZZ_PICTURES= leaves them out. Before each run the coverage
# of the made seeds alone and with the pictures is printed (libFuzzer's -runs=0 over
# them), then the run's.
# The corpora grow in build/fuzz/corpus/<target> from run to run; logs go to
# build/fuzz/logs/<target>-<time>.log, inputs that broke a target to
# build/fuzz/artifacts/<target>/.
# A broken target fails the run: turn its input into a file under
# tests/fuzz/regressions/<target>/, which make test replays in both builds. So does a
# target that read fewer of its seeds and corpus than it was given.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-$root/build}
out=$build/fuzz
seconds=${FUZZ_SECONDS:-180}
targets=${FUZZ_TARGETS:-jpeg_decoder bmp icon quantiser}

# Built here; run where 32-bit code runs (scripts/i386.sh), which calls this again with --run.
if [ "${1:-}" != --run ]; then
  bash "$root/scripts/build-libjpeg.sh" fuzz "$build/deps"
  test -f "$out/CMakeCache.txt" || cmake -S "$root" -B "$out" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/host-i386.cmake" \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DVANTOREL_SANITIZE=ON -DVANTOREL_FUZZ=ON -DLIBJPEG_PREFIX="$build/deps/fuzz" >/dev/null
  programs=(fuzz_seeds)
  for t in $targets; do programs+=("fuzz_$t"); done
  cmake --build "$out" -j2 --target "${programs[@]}"
  # In the virtual machine the limit follows the run: per target its seconds and the
  # coverage passes, and a margin for the boot and the seeds.
  export VANTOREL_VM_TIMEOUT=${VANTOREL_VM_TIMEOUT:-$(( $(wc -w <<<"$targets") * (seconds + 600) + 900 ))}
  exec bash "$root/scripts/i386.sh" bash "$root/scripts/fuzz.sh" --run
fi
"$out/tests/fuzz/fuzz_seeds" "$out/seeds"
if [ -n "${FUZZ_PICTURES+set}" ]; then
  pictures=$FUZZ_PICTURES
else
  pictures=
  for d in "$build"/deps/src/libjpeg-turbo-*/testimages; do
    if [ -d "$d" ]; then pictures=$d; break; fi
  done
  [ -n "$pictures" ] || echo "fuzz: no testimages/ in the fetched libjpeg-turbo source; the made seeds alone"
fi
rm -rf "$out/seeds-pictures"
mkdir -p "$out/seeds-pictures"
# Each file goes to the target its first bytes name: JPEG, BMP or icon.
for t in jpeg_decoder bmp icon; do mkdir -p "$out/seeds-pictures/$t"; done
for f in ${pictures:+"$pictures"/*}; do
  case $(head -c 4 "$f" | od -An -tx1 | tr -d ' \n') in
    ffd8ff*) t=jpeg_decoder ;;
    424d*) t=bmp ;;
    00000100) t=icon ;;
    *) continue ;;
  esac
  cp "$f" "$out/seeds-pictures/$t/"
done
for t in jpeg_decoder bmp icon; do
  echo "fuzz: $(ls "$out/seeds-pictures/$t" | wc -l) pictures for $t${pictures:+ from $pictures}"
done

# Huge allocations fail as they do in a 32-bit process, rather than ending the run.
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1
# The 32-bit libFuzzer lists folders with readdir, built without large-file support: on
# the virtual machine's 9p share the host's 64-bit directory offsets make it fail
# (EOVERFLOW) and libFuzzer reads nothing. So it is handed the files by name.
#   inputs LIST FOLDER...   writes LIST for -seed_inputs=@LIST; prints how many files
inputs() {
  local list=$1
  shift
  find "$@" -type f | paste -sd, | tr -d '\n' >"$list"
  find "$@" -type f | wc -l
}
# The inputs libFuzzer says it read (its log): fewer than it was given fails the run.
check_read() {
  local got
  got=$(sed -n 's/^INFO: seed corpus: files: \([0-9]*\) .*/\1/p' "$2" | tail -n 1)
  [ "${got:-0}" -ge "$1" ] && [ "$1" -gt 0 ] && return 0
  echo "fuzz: libFuzzer read ${got:-0} of the $1 seed and corpus files it was given (none made?); see $2"
  return 1
}
# The coverage the listed seeds reach on their own: run into an empty corpus so that no
# folder is written, every input kept whole.
coverage() {
  local t=$1 what=$2 list=$3 n=$4 scratch=$out/coverage/$1
  rm -rf "$scratch"
  mkdir -p "$scratch"
  "$out/tests/fuzz/fuzz_$t" "$scratch" -seed_inputs=@"$list" -runs=0 -max_len="$max_len" \
    -rss_limit_mb=2048 >"$scratch.log" 2>&1 || true
  local line
  line=$(grep -E '^#[0-9]+[[:space:]]+INITED' "$scratch.log" | tail -n 1) || true
  echo "fuzz: $t $what: ${line:-no coverage line}"
  rm -rf "$scratch"
  check_read "$n" "$scratch.log"
}

failed=()
for t in $targets; do
  log=$out/logs/$t-$(date +%Y%m%d-%H%M%S).log
  mkdir -p "$out/corpus/$t" "$out/artifacts/$t" "$out/logs" "$out/seeds-pictures/$t"
  # Long enough for the largest seed: a cut picture teaches the reader only refusals.
  max_len=$(find "$out/seeds/$t" "$out/seeds-pictures/$t" -type f -printf '%s\n' |
              sort -n | tail -n 1)
  [ "${max_len:-0}" -gt 65536 ] || max_len=65536
  lists=$out/logs/$t
  n=$(inputs "$lists.seeds" "$out/seeds/$t")
  coverage "$t" "made seeds" "$lists.seeds" "$n" || { failed+=("$t"); continue; }
  n=$(inputs "$lists.pictures" "$out/seeds/$t" "$out/seeds-pictures/$t")
  [ -z "$(ls -A "$out/seeds-pictures/$t")" ] ||
    coverage "$t" "made seeds and pictures" "$lists.pictures" "$n" || { failed+=("$t"); continue; }
  # The corpus is read from the list too; new inputs go into its folder.
  n=$(inputs "$lists.inputs" "$out/corpus/$t" "$out/seeds/$t" "$out/seeds-pictures/$t")
  echo "fuzz: $t for ${seconds}s"
  if "$out/tests/fuzz/fuzz_$t" "$out/corpus/$t" -seed_inputs=@"$lists.inputs" \
       -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len="$max_len" \
       -artifact_prefix="$out/artifacts/$t/" -print_final_stats=1 \
       >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" || true
    check_read "$n" "$log" || failed+=("$t")
  else
    failed+=("$t")
    echo "fuzz: $t broke; see $log and $out/artifacts/$t/"
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz: failed targets: ${failed[*]}"; exit 1; }
