#!/usr/bin/env bash
# The virtual machine's road, taken on purpose (VANTOREL_VM=1): a command's output and
# exit code must come back as they are, and where this machine runs 32-bit code itself
# (so make test never boots the machine) a host test and an end-to-end test run there.
#   vm-check.sh BUILD_DIR
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failed=0
fail() { echo "vm-check: $*" >&2; failed=1; }

VANTOREL_VM=1 bash "$here/i386.sh" sh -c 'echo to stdout; echo to stderr >&2; exit 3' \
  >"$out/stdout" 2>"$out/stderr"
code=$?
[ $code = 3 ] || fail "a command that exits 3 in the virtual machine gave $code"
grep -qx 'to stdout' "$out/stdout" || fail "its standard output did not come back"
grep -qx 'to stderr' "$out/stderr" || fail "its standard error did not come back"
[ $failed = 1 ] || echo "vm-check: a failing command fails its caller with its own exit code ($code)"

if bash "$here/i386.sh" --native; then
  VANTOREL_VM=1 bash "$here/i386.sh" bash "$here/bench.sh" ctest --test-dir "$build" \
    --output-on-failure --timeout 600 -R '^(host\.runtime_strings_test|win\.app_zip_test)$' \
    | tee "$out/ctest"
  [ "${PIPESTATUS[0]}" = 0 ] || fail "the tests failed in the virtual machine"
  grep -q '100% tests passed, 0 tests failed out of 2$' "$out/ctest" \
    || fail "not both tests ran in the virtual machine"
fi
exit $failed
