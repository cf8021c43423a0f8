#!/usr/bin/env bash
# The photographs of the benchmarks and the demo: the JPEG pictures of Debian's
# ukui-wallpapers package (installed by the caller) of at least 3000x2000 pixels, their
# sizes read by ImageMagick. Prints their paths.
set -euo pipefail
found=0
while read -r path; do
  read -r w h < <(identify -ping -format '%w %h\n' "$path" 2>/dev/null) || continue
  [ "${w:-0}" -ge 3000 ] && [ "${h:-0}" -ge 2000 ] || continue
  echo "$path"
  found=1
done < <(dpkg -L ukui-wallpapers | grep -E '\.jpg$' | sort)
[ "$found" = 1 ] || { echo "no photograph of 3000x2000 or more" >&2; exit 1; }
