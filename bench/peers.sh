#!/usr/bin/env bash
# Times the native tools on the same pictures, one thread each, every tool's whole run
# from start to exit (as a user waits for it): the djpeg decode alone (accurate integer
# IDCT, pixels to /dev/null) as the floor, the same decode by DJPEG32 (a 32-bit build of
# the libjpeg-turbo Vantorel links), ImageMagick's -resize and vips resize, both to
# exactly WIDTHxHEIGHT at quality 70. Each file keeps its fastest of PASSES passes made
# over all files in turn. Prints "name djpeg vips magick djpeg32" (tab-separated,
# seconds).
#   DJPEG32=path peers.sh WIDTH HEIGHT PASSES OUTPUT_FOLDER FILE...
set -euo pipefail
width=$1 height=$2 passes=$3 out=$4
shift 4
export MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1 OMP_NUM_THREADS=1
# The real tools, not whatever stands in front of them on the PATH.
djpeg=/usr/bin/djpeg magick=/usr/bin/convert vips=/usr/bin/vips
djpeg32=${DJPEG32:?the 32-bit djpeg}

# Microseconds taken by a command; it must succeed.
elapsed() {
  local t0=${EPOCHREALTIME/./}
  "$@" >/dev/null 2>&1 || { echo "peers: failed: $*" >&2; exit 1; }
  local t1=${EPOCHREALTIME/./}
  echo $((t1 - t0))
}

# vips resize takes scale factors; these give exactly the size asked for (checked below).
scale() { awk -v to="$1" -v from="$2" 'BEGIN { printf "%.17g", to / from }'; }

declare -A best
keep() {  # keep KEY MICROSECONDS
  if [ -z "${best[$1]:-}" ] || [ "$2" -lt "${best[$1]}" ]; then best[$1]=$2; fi
}

mkdir -p "$out"
for ((pass = 0; pass < passes; pass++)); do
  for f in "$@"; do
    name=$(basename "$f")
    w=$(vipsheader -f width "$f") h=$(vipsheader -f height "$f")
    keep "$name djpeg" "$(elapsed "$djpeg" -dct int -outfile /dev/null "$f")"
    keep "$name djpeg32" "$(elapsed "$djpeg32" -dct int -outfile /dev/null "$f")"
    keep "$name vips" "$(elapsed "$vips" resize "$f" "$out/vips-$name[Q=70]" \
      "$(scale "$width" "$w")" --vscale "$(scale "$height" "$h")")"
    keep "$name magick" "$(elapsed "$magick" "$f" -resize "${width}x${height}!" -quality 70 \
      "$out/magick-$name")"
  done
done
for f in "$@"; do
  name=$(basename "$f")
  for tool in vips magick; do
    size=$(vipsheader -f width "$out/$tool-$name")x$(vipsheader -f height "$out/$tool-$name")
    [ "$size" = "${width}x${height}" ] || { echo "peers: $tool made $size of $name" >&2; exit 1; }
  done
  printf '%s\t%s\t%s\t%s\t%s\n' "$name" "${best[$name djpeg]}" "${best[$name vips]}" \
    "${best[$name magick]}" "${best[$name djpeg32]}" |
    awk -F'\t' -v OFS='\t' '{ for (i = 2; i <= 5; i++) $i = sprintf("%.6f", $i / 1e6); print }'
done
