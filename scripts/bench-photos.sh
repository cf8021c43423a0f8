#!/usr/bin/env bash
# Photographs for the benchmarks: the JPEG wallpapers of Debian's ukui-wallpapers
# package (3640x2400 and 3840x2400), installed when missing. Prints their paths.
set -euo pipefail
SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
if ! dpkg-query -W -f='${Status}' ukui-wallpapers 2>/dev/null | grep -q 'install ok installed'; then
  echo "bench: installing ukui-wallpapers" >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends ukui-wallpapers >&2
fi
ls /usr/share/backgrounds/*.jpg
