#!/usr/bin/env bash
# Photographs for the benchmarks: the JPEG pictures of Debian's ukui-wallpapers package
# (installed by run-bench.sh) of at least 3000x2000 pixels. Prints their paths.
set -euo pipefail
found=0
while read -r path; do
  [ "$(vipsheader -f width "$path")" -ge 3000 ] && [ "$(vipsheader -f height "$path")" -ge 2000 ] \
    || continue
  echo "$path"
  found=1
done < <(dpkg -L ukui-wallpapers | grep -E '\.jpg$' | sort)
[ "$found" = 1 ] || { echo "bench: no photograph of 3000x2000 or more" >&2; exit 1; }
