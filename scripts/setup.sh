#!/usr/bin/env bash
# Installs what the build and the tests need on Debian, once; a second run changes nothing.
# Runs as root, or through sudo when it is not. Packages given as arguments are
# installed as well (make fuzz adds its compiler).
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
say() { printf 'setup: %s\n' "$*"; }

PACKAGES=(wine wine32:i386 xvfb gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
          cmake make nasm googletest g++-multilib dpkg-dev file xdotool "$@")

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  say "adding the i386 architecture"
  $SUDO dpkg --add-architecture i386
  need_update=1
fi

# libjpeg-turbo is built from its source package, so apt needs deb-src entries; they are
# derived from the machine's own deb entries (same URIs and suites).
SRC_FILE=/etc/apt/sources.list.d/vantorel-src.sources
has_src() {
  grep -rqsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null
}
if ! has_src; then
  say "adding deb-src entries in $SRC_FILE"
  tmp=$(mktemp)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 stanzas: keep those whose Types include deb, turn them into deb-src
    awk 'BEGIN { RS = ""; ORS = "" }
         $0 ~ /Types:[ \t]*([^\n]* )?deb([ \t\n]|$)/ {
           n = split($0, line, "\n")
           for (i = 1; i <= n; i++) {
             if (line[i] ~ /^#/) continue
             if (line[i] ~ /^Types:/) line[i] = "Types: deb-src"
             print line[i] "\n"
           }
           print "\n"
         }' "$f" >> "$tmp"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list | sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' > "$tmp.list" || true
    if [ -s "$tmp.list" ]; then $SUDO cp "$tmp.list" /etc/apt/sources.list.d/vantorel-src.list; fi
    rm -f "$tmp.list"
  fi
  if [ -s "$tmp" ]; then $SUDO cp "$tmp" "$SRC_FILE"; fi
  rm -f "$tmp"
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  say "apt-get update"
  $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  say "installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  say "all packages present"
fi
