#!/usr/bin/env bash
# The virtual machine's road, taken on purpose (VANTOREL_VM=1), in one boot: the command's
# output and exit code come back; its write is here within seconds while it still runs
# (so a run stopped midway keeps it) and its last write before its exit code; a caller's
# WINEPREFIX stays out; the run names a console log of its own. Where this machine runs
# 32-bit code itself (so make test never boots the machine) the same command also runs a
# host test and an end-to-end test there.
#   vm-check.sh BUILD_DIR
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../build}
mkdir -p "$build" && out=$(mktemp -d "$build/vm-check.XXXXXX") && out=$(cd "$out" && pwd) || exit 1
run=""
trap '[ -z "$run" ] || kill "$run" 2>/dev/null; rm -rf "$out"' EXIT
failed=0
fail() { echo "vm-check: $*" >&2; failed=1; }
tests=""
bash "$here/i386.sh" --native && tests=1
logs_before=$(ls "$(cd "$here/.." && pwd)/build/vm"/console-*.log 2>/dev/null)

# In the guest: $1 the shared folder, $2 whether to run the tests.
guest='echo to stdout; echo to stderr >&2; echo "prefix $WINEPREFIX"
echo kept >"$1/written"; echo written
for _ in $(seq 600); do [ -e "$1/seen" ] && break; sleep 0.1; done
[ -e "$1/seen" ] || exit 4
if [ -n "$2" ]; then
  bash "$3/bench.sh" ctest --test-dir "$4" --output-on-failure --timeout 600 \
    -R "^(host\.runtime_strings_test|win\.app_zip_test)$" >"$1/ctest" 2>&1 || exit 5
fi
echo last >"$1/last"
exit 3'
WINEPREFIX=/nonexistent/caller-prefix VANTOREL_VM=1 bash "$here/i386.sh" \
  bash -c "$guest" - "$out" "$tests" "$here" "$build" >"$out/stdout" 2>"$out/stderr" &
run=$!
# The guest waits for this machine to see its write before it goes on.
while kill -0 "$run" 2>/dev/null && ! grep -qx written "$out/stdout"; do sleep 0.5; done
for _ in $(seq 10); do grep -qx kept "$out/written" 2>/dev/null && break; sleep 0.5; done
if grep -qx kept "$out/written" 2>/dev/null; then
  touch "$out/seen"
else
  fail "a write in the virtual machine was not here while its command ran: a stopped run loses it"
fi
wait "$run"
code=$?
run=""
cat "$out/stderr" >&2
[ -z "$tests" ] || cat "$out/ctest" 2>/dev/null
case $code in
  3) echo "vm-check: a failing command fails its caller with its own exit code ($code)" ;;
  5) fail "the tests failed in the virtual machine" ;;
  *) fail "a command that exits 3 in the virtual machine gave $code" ;;
esac
grep -qx 'to stdout' "$out/stdout" || fail "its standard output did not come back"
grep -qx 'to stderr' "$out/stderr" || fail "its standard error did not come back"
grep -qx 'prefix /var/tmp/vantorel-wine' "$out/stdout" \
  || fail "the caller's WINEPREFIX reached the virtual machine: $(grep '^prefix' "$out/stdout")"
grep -qx last "$out/last" 2>/dev/null || fail "the command's last write was not here with its exit code"
log=$(sed -n 's/^vm: booting; its console: //p' "$out/stderr")
if [ -z "$log" ] || [ ! -f "$log" ] || grep -qxF -- "$log" <<<"$logs_before"; then
  fail "the run named no console log of its own (${log:-none})"
fi
for t in host.runtime_strings_test win.app_zip_test; do
  [ -z "$tests" ] || grep -qE "Test +#[0-9]+: $t \.+ +Passed" "$out/ctest" 2>/dev/null \
    || fail "$t did not pass in the virtual machine"
done
exit $failed
