#!/usr/bin/env bash
# Runs a command where 32-bit x86 code runs: here, when this machine's CPU runs it, and
# otherwise in the project's virtual machine (scripts/vm.sh), with the checkout at the
# same path. Either way the command's output, files and exit code are its own.
#   i386.sh COMMAND...
#   i386.sh --native      exit code 0 when this machine runs 32-bit code itself
# VANTOREL_VM=1 takes the virtual machine even where 32-bit code runs here.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[ $# -gt 0 ] || { echo "usage: i386.sh COMMAND... | i386.sh --native" >&2; exit 2; }

# Some kernels refuse every 32-bit program (IA-32 emulation off): ask this one.
runs_i386() {
  local probe code=0
  probe=$(mktemp -d) && [ -d "$probe" ] || { echo "i386: no temporary folder could be made" >&2; exit 1; }
  printf 'int main(void) { return 0; }\n' >"$probe/p.c"
  if ! gcc -m32 "$probe/p.c" -o "$probe/p" 2>"$probe/cc.log"; then
    echo "i386: cannot build a 32-bit probe (gcc -m32; make setup installs g++-multilib):" >&2
    cat "$probe/cc.log" >&2
    rm -rf "$probe"
    exit 1
  fi
  "$probe/p" 2>/dev/null || code=1
  rm -rf "$probe"
  return $code
}

if [ "$1" = --native ]; then
  [ -n "${VANTOREL_IN_VM:-}" ] || runs_i386
  exit
fi
# Inside the virtual machine 32-bit code runs.
[ -n "${VANTOREL_IN_VM:-}" ] && exec "$@"
[ "${VANTOREL_VM:-0}" = 1 ] && exec bash "$here/vm.sh" "$@"
runs_i386 && exec "$@"
echo "i386: this machine runs no 32-bit code: the virtual machine runs $*" >&2
exec bash "$here/vm.sh" "$@"
