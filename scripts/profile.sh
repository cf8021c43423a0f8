#!/usr/bin/env bash
# make profile: where the picture path's time goes, on the host, for the photographs of
# make bench reduced to 640x480. Two profiles, both with perf:
#  1. bench/picture_path_profile (decode, stretch, encode: the calls under image_load,
#     image_resize and image_save) from a 32-bit build without sanitizers;
#  2. djpeg alone, from the same libjpeg-turbo source built at 32 and at 64 bits, to show
#     what the word size costs the decoder, function by function.
# Writes build/results/profile.md (bench/results/ holds the reference run, copied there
# by hand). PROFILE_ROUNDS sets the rounds (default 20).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-$root/build}
rounds=${PROFILE_ROUNDS:-20}
hz=10000
results=$build/results
work=$build/profile-runs
out=$build/profile

# perf samples the real processor: in the emulated machine it would time the emulator.
if ! bash "$root/scripts/i386.sh" --native; then
  echo "profile: this machine runs no 32-bit code, and perf cannot measure 32-bit code inside the" >&2
  echo "profile: project's emulated machine: nothing is profiled here. Run make profile on a machine" >&2
  echo "profile: whose processor runs 32-bit code (and where perf stat -e instructions true works)." >&2
  exit 1
fi
bash "$root/scripts/build-libjpeg.sh" host "$build/deps"
bash "$root/scripts/build-libjpeg.sh" host64 "$build/deps"
test -f "$out/CMakeCache.txt" || cmake -S "$root" -B "$out" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/host-i386.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLIBJPEG_PREFIX="$build/deps/host" >/dev/null
cmake --build "$out" -j2 --target picture_path_profile >/dev/null
mapfile -t photos < <(bash "$root/scripts/bench-photos.sh")
rm -rf "$work"
mkdir -p "$work" "$results"

# perf's flat profile as "share<TAB>samples<TAB>function", largest first; the kernel's
# functions (page faults, mostly) are taken together as one.
flat() {
  perf report -i "$1" --stdio --sort symbol -F overhead,sample,sym 2>/dev/null |
    awk '/^ *[0-9.]+%/ { share = $1; sub(/%/, "", share); samples = $2
                         if ($3 == "[k]") { kshare += share; ksamples += samples; next }
                         $1 = ""; $2 = ""; $3 = ""; sub(/^ +/, ""); sub(/( +-)* *$/, "")
                         printf "%.2f%%\t%s\t%s\n", share, samples, $0 }
         END { if (ksamples) printf "%.2f%%\t%d\t(the kernel)\n", kshare, ksamples }' |
    sort -t$'\t' -k2,2nr | awk -F'\t' '$1 + 0 >= 0.5'
}

echo "profile: the picture path, $rounds rounds" >&2
perf record -q -F "$hz" -o "$work/path.data" -- \
  "$out/bench/picture_path_profile" 640 480 "$rounds" "${photos[@]}" >"$work/path.tsv" 2>/dev/null
flat "$work/path.data" >"$work/path.flat"

for bits in 32 64; do
  djpeg=$build/deps/host/bin/djpeg
  [ "$bits" = 64 ] && djpeg=$build/deps/host64/bin/djpeg
  echo "profile: djpeg at $bits bits, $rounds rounds" >&2
  perf record -q -F "$hz" -o "$work/djpeg$bits.data" -- bash -c '
    djpeg=$1 rounds=$2; shift 2
    for ((r = 0; r < rounds; r++)); do
      for f in "$@"; do "$djpeg" -dct int -outfile /dev/null "$f"; done
    done' _ "$djpeg" "$rounds" "${photos[@]}" 2>/dev/null
  flat "$work/djpeg$bits.data" >"$work/djpeg$bits.flat"
done

pictures=$((rounds * ${#photos[@]}))
{
  echo "# Where the picture path's time goes"
  echo
  echo "Made by \`make profile\` on $(date -u '+%Y-%m-%d %H:%M UTC'): $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(perf --version); sampling at $hz Hz; the photographs of \`make bench\` ($(IFS=,; echo "${photos[*]##*/}" | sed 's/,/, /g')), $rounds rounds each."
  echo
  echo "## The picture path, 32-bit host build"
  echo
  echo "bench/picture_path_profile: the JPEG decoder plug-in into a bottom-up 24-bit buffer, the halftone stretch to 640x480, the JPEG encoder plug-in into memory; the calls under image_load, image_resize and image_save, without the GDI calls. Seconds per picture, the fastest round:"
  echo
  echo "| picture | size | decode | stretch | encode | stretch / decode | encode / decode |"
  echo "|---|---|---:|---:|---:|---:|---:|"
  awk -F'\t' '{ printf "| %s | %sx%s | %.4f | %.4f | %.4f | %.3f | %.3f |\n",
                $1, $2, $3, $4, $5, $6, $5 / $4, $6 / $4 }' "$work/path.tsv"
  echo
  echo "Functions taking 0.5% or more of the run:"
  echo
  echo "| share | function |"
  echo "|---:|---|"
  awk -F'\t' '{ printf "| %s | `%s` |\n", $1, $3 }' "$work/path.flat"
  echo
  echo "## Decoding alone: djpeg at 32 and at 64 bits"
  echo
  echo "The djpeg of libjpeg-turbo from the same source package and the same build settings, built for i386 (the word size Vantorel runs at) and for the machine's own 64 bits; \`djpeg -dct int -outfile /dev/null\` over the same pictures. Milliseconds per picture spent in each function (samples / $hz Hz / $pictures pictures):"
  echo
  echo "| function | 32-bit | 64-bit | 32-bit / 64-bit |"
  echo "|---|---:|---:|---:|"
  awk -F'\t' -v hz="$hz" -v n="$pictures" '
    FNR == 1 { file++ }
    { ms = $2 / hz / n * 1000; key = $3
      if (!(key in seen)) { seen[key] = 1; order[++count] = key }
      if (file == 1) a[key] = ms; else b[key] = ms
      if (file == 1) ta += ms; else tb += ms }
    END {
      for (i = 1; i <= count; i++) {
        k = order[i]
        if (a[k] < 0.1 && b[k] < 0.1) continue
        printf "| `%s` | %.2f | %.2f | %s |\n", k, a[k], b[k], (b[k] > 0 ? sprintf("%.2f", a[k] / b[k]) : "-")
      }
      printf "| **all functions of 0.5%% or more** | **%.2f** | **%.2f** | **%.2f** |\n", ta, tb, ta / tb
    }' "$work/djpeg32.flat" "$work/djpeg64.flat"
} | tee "$results/profile.md"
echo "profile: results in $results/profile.md" >&2
