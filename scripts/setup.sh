#!/usr/bin/env bash
# Installs what the build and the tests need on Debian, once; a second run changes nothing.
# Runs as root, or through sudo when it is not. Packages given as arguments are
# installed as well (make fuzz adds its compiler, make demo its photographs).
# One line per step; what apt and dpkg print goes to build/setup.log, which a failed
# step names.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
say() { printf 'setup: %s\n' "$*"; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$root/build"
log=$root/build/setup.log
# step WHAT COMMAND...: says what, runs the command into the log.
step() {
  local what=$1; shift
  say "$what"
  printf '\n== %s: %s\n' "$(date -u '+%F %T')" "$what" >>"$log"
  "$@" </dev/null >>"$log" 2>&1 || { say "$what: failed, see $log" >&2; tail -n 15 "$log" >&2; exit 1; }
}

PACKAGES=(wine wine32:i386 xvfb gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
          cmake make nasm googletest g++-multilib dpkg-dev file fonts-wine "$@")

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  step "adding the i386 architecture" $SUDO dpkg --add-architecture i386
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
  step "updating the package lists (apt-get update)" $SUDO apt-get update
fi
if [ ${#missing[@]} -gt 0 ]; then
  step "installing ${missing[*]}" \
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
else
  say "all packages present"
fi

# Where this machine runs no 32-bit code, that code runs in the project's virtual machine
# (scripts/vm.sh), which needs these two.
if [ -z "${VANTOREL_SETUP_VM:-}" ] && ! bash "$root/scripts/i386.sh" --native 2>/dev/null; then
  say "this machine runs no 32-bit code: adding the virtual machine's packages"
  VANTOREL_SETUP_VM=1 exec bash "${BASH_SOURCE[0]}" qemu-system-x86 busybox-static
fi
