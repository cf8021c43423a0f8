#!/usr/bin/env bash
# make bench: the picture path timed per photograph, results under bench/results/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mapfile -t photos < <(bash "$root/scripts/bench-photos.sh")
out=$root/bench/results
mkdir -p "$out"
exe=$root/build/win/bench/picture_path_bench.exe
{
  echo "# Picture path, per photograph (seconds, best of 3; one core, under Wine)"
  echo
  echo "Photographs: the JPEG wallpapers of Debian's ukui-wallpapers package."
  echo
  echo "## Reducing to 640x480"
  echo
  "$root/scripts/wine-run.sh" "$exe" 640 480 3 "${photos[@]}"
} | tee "$out/picture_path.md"
