#!/usr/bin/env bash
# make bench: Vantorel's picture path against the djpeg floor, vips resize and
# ImageMagick's -resize, on one core, on the same pictures: photographs reduced to
# 640x480, and 640x480 pictures (made from them) enlarged to 3840x2400. Results, the
# tables and a bar chart, go to build/results/; the tables in bench/results/ are the
# reference run, copied there by hand. BENCH_ROUNDS sets the rounds (default 3).
# make bench installs the tools first; in the project's virtual machine every tool runs in
# the same emulated guest, and only the ratios of one run compare.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${BENCH_ROUNDS:-3}

exe=$root/build/win/bench/picture_path_bench.exe
work=$root/build/bench
results=$root/build/results
rm -rf "$work"
mkdir -p "$work/small" "$results"
mapfile -t photos < <(bash "$root/scripts/bench-photos.sh")
# The pictures to enlarge: each photograph at 640x480, quality 90, baseline, no metadata.
small=()
for f in "${photos[@]}"; do
  /usr/bin/convert "$f" -strip -resize '640x480!' -interlace none -quality 90 \
    "$work/small/$(basename "$f")"
  small+=("$work/small/$(basename "$f")")
done

# Vantorel runs one batch per round: a first pass, then two passes timed as the steady
# state. The native tools make two passes per round. Rounds alternate the tools so that
# a change in the machine's load falls on all of them.
export MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1 OMP_NUM_THREADS=1
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for ((round = 1; round <= rounds; round++)); do
  echo "bench: round $round of $rounds" >&2
  for c in reduce:640:480 enlarge:3840:2400; do
    IFS=: read -r name w h <<<"$c"
    if [ "$name" = reduce ]; then set -- "${photos[@]}"; else set -- "${small[@]}"; fi
    mkdir -p "$work/out-$name"
    "$root/scripts/wine-run.sh" "$exe" "$w" "$h" 3 "$work/out-$name" "$@" >>"$work/$name-vantorel.tsv"
    DJPEG32=$root/build/deps/host/bin/djpeg bash "$root/bench/peers.sh" "$w" "$h" 2 \
      "$work/out-$name" "$@" >>"$work/$name-peers.tsv"
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# What Vantorel wrote has the size asked for.
for out in "$work"/out-reduce/*.jpg "$work"/out-enlarge/*.jpg; do
  case $(basename "$out") in vips-* | magick-*) continue ;; esac
  size=$(vipsheader -f width "$out")x$(vipsheader -f height "$out")
  want=640x480; [[ $out == */out-enlarge/* ]] && want=3840x2400
  [ "$size" = "$want" ] || { echo "bench: Vantorel wrote $size for $out" >&2; exit 1; }
done

reduce_title="Reducing photographs to 640x480"
enlarge_title="Enlarging 640x480 pictures to 3840x2400"
{
  echo "# Picture path against the usual tools, one core"
  echo
  echo "Made by \`make bench\` on $(date -u '+%Y-%m-%d %H:%M UTC'): $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(getconf _NPROCESSORS_ONLN) cores; load average $load_before before, $load_after after."
  if [ -n "${VANTOREL_IN_VM:-}" ]; then
    echo
    echo "**Under emulation:** this machine runs no 32-bit code, so every tool here ran inside the project's virtual machine (qemu, TCG, no hardware virtualisation). Its seconds are not a real machine's: only the ratios between tools of this one run mean anything."
  fi
  echo
  echo "- Pictures: the JPEG photographs of Debian's ukui-wallpapers package ($(IFS=,; echo "${photos[*]##*/}" | sed 's/,/, /g')), and for enlarging each of them made 640x480 (ImageMagick, quality 90, baseline, metadata stripped)."
  echo "- Vantorel: the driver's calls \`image_load\`, \`image_resize\`, \`image_save\` (\"JPEG\", quality 70) and \`image_free\`, timed inside bench/picture_path_bench.exe under $(wine --version); the files go through in folder order, in $rounds rounds of one batch of three passes each; each picture keeps its fastest pass after a batch's first (the first pass of a batch is shown apart)."
  echo "- Floor: \`djpeg -dct int -outfile /dev/null\` ($(/usr/bin/djpeg -version 2>&1 | head -n1)), native 64-bit. Beside it the same decode by the djpeg of the 32-bit build of libjpeg-turbo that Vantorel links (build/deps/host, native i386): what decoding alone costs at Vantorel's word size."
  echo "- vips: \`vips resize in.jpg out.jpg[Q=70] W/w --vscale H/h\` ($(vips --version)), native, VIPS_CONCURRENCY=1; it writes exactly WxH."
  echo "- ImageMagick: \`convert in.jpg -resize WxH! -quality 70 out.jpg\` ($(/usr/bin/convert -version | head -n1 | cut -d' ' -f2-3)), native, MAGICK_THREAD_LIMIT=1."
  echo "- The native tools are timed from start to exit, $((2 * rounds)) runs per picture, the fastest kept. Rounds alternate Vantorel and the native tools."
  echo
  awk -v title="$reduce_title" -v data="$work/reduce.dat" -v floor_max=1.25 -v vips_min=2 -v magick_min=4 \
    -f "$root/bench/report.awk" "$work/reduce-vantorel.tsv" "$work/reduce-peers.tsv"
  awk -v title="$enlarge_title" -v data="$work/enlarge.dat" -v magick_min=2 \
    -f "$root/bench/report.awk" "$work/enlarge-vantorel.tsv" "$work/enlarge-peers.tsv"
  echo "![seconds per picture](picture_path.png)"
} | tee "$results/picture_path.md"
gnuplot -e "reduce='$work/reduce.dat'; enlarge='$work/enlarge.dat'; reduce_title='$reduce_title'; enlarge_title='$enlarge_title'; out='$results/picture_path.png'" \
  "$root/bench/chart.gp"
echo "bench: results in build/results/picture_path.md and picture_path.png" >&2
